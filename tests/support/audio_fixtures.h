// Test helper: sound files made by code: WAV files with headers written
// here, and Ogg Vorbis files encoded from generated PCM with oggenc.
#ifndef QEL_TEST_AUDIO_FIXTURES_H
#define QEL_TEST_AUDIO_FIXTURES_H

#include <cstdint>
#include <string>
#include <vector>

// WAV format tags.
enum { WAV_PCM = 1, WAV_FLOAT = 3 };

// A whole WAV file: a RIFF header with one fmt chunk and one data chunk
// holding `data` as given (interleaved frames in the stated format).
std::string wav_file(int format_tag, int bits, int channels, int rate, const std::string& data);

// Interleaved sample values as the bytes of a WAV data chunk.
std::string wav_data_s16(const std::vector<int16_t>& v);
std::string wav_data_u8(const std::vector<uint8_t>& v);
std::string wav_data_f32(const std::vector<float>& v);

// frames * channels samples of a sine of `hz` at `rate`, amplitude `amp`
// (of full scale), the same on every channel.
std::vector<int16_t> pcm_sine(int frames, int channels, int rate, double hz, double amp);

// Encodes S16 PCM to an Ogg Vorbis file with oggenc; false when that fails.
bool ogg_encode(const std::string& path, const std::vector<int16_t>& pcm, int channels, int rate);

// How often consecutive values of one channel change sign (stride =
// channels, starting at `first`): a measure of pitch.
int sign_changes(const float* v, int count, int stride, int first);

#endif
