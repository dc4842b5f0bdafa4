// audio_fuzz_seeds: writes the seed corpora of the audio fuzz targets with
// the test suite's own sound fixtures: small WAV files in several formats and
// short Ogg Vorbis files encoded with oggenc. The outputs are committed; run
// this only to change them, from the top of the source tree:
//
//   g++ -std=c++17 -Itests/support tools/audio_fuzz_seeds.cpp tests/support/audio_fixtures.cpp \
//       tests/support/child.cpp tests/support/tempdir.cpp -o /tmp/audio_fuzz_seeds && /tmp/audio_fuzz_seeds
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "audio_fixtures.h"
#include "tempdir.h"

int main() {
    const std::string wav = "fuzz/corpus/audio_wav/", ogg = "fuzz/corpus/audio_ogg/",
                      stream = "fuzz/corpus/audio_stream/";
    for (const std::string& d : {wav, ogg, stream}) make_dir(d);

    std::vector<uint8_t> u8;
    for (int i = 0; i < 64; i++) u8.push_back((uint8_t)(128 + (i % 16) * 6));
    std::vector<float> f32;
    for (int i = 0; i < 16; i++) f32.push_back((float)(i - 8) / 8);
    write_file(wav + "u8_mono_8000.wav", wav_file(WAV_PCM, 8, 1, 8000, wav_data_u8(u8)));
    write_file(wav + "s16_stereo_44100.wav", wav_file(WAV_PCM, 16, 2, 44100, wav_data_s16(pcm_sine(32, 2, 44100, 2000, 0.5))));
    write_file(wav + "s16_mono_22050.wav", wav_file(WAV_PCM, 16, 1, 22050, wav_data_s16(pcm_sine(32, 1, 22050, 1000, 0.9))));
    write_file(wav + "f32_mono_48000.wav", wav_file(WAV_FLOAT, 32, 1, 48000, wav_data_f32(f32)));
    write_file(wav + "s16_nine_channels.wav", wav_file(WAV_PCM, 16, 9, 44100, wav_data_s16(pcm_sine(4, 9, 44100, 440, 0.5))));
    // Values that are no numbers, as a damaged float WAV holds them.
    std::vector<float> odd = {0.5f, NAN, INFINITY, -INFINITY, -0.5f, 0, NAN, 0.25f};
    write_file(wav + "f32_not_numbers.wav", wav_file(WAV_FLOAT, 32, 2, 44100, wav_data_f32(odd)));

    // Short and at low rates: the setup header is most of each file.
    struct Ogg {
        const char* name;
        int channels, rate, frames;
    };
    for (Ogg o : {Ogg{"mono_8000.ogg", 1, 8000, 400}, Ogg{"stereo_44100.ogg", 2, 44100, 600},
                  Ogg{"three_22050.ogg", 3, 22050, 300}}) {
        std::vector<int16_t> pcm = pcm_sine(o.frames, o.channels, o.rate, 440, 0.5);
        if (!ogg_encode(ogg + o.name, pcm, o.channels, o.rate) || !ogg_encode(stream + o.name, pcm, o.channels, o.rate)) {
            fprintf(stderr, "audio_fuzz_seeds: oggenc failed\n");
            return 1;
        }
    }
    // Cut inside its only audio page, so its length cannot be known.
    std::string whole = read_file(stream + "stereo_44100.ogg");
    write_file(stream + "stereo_44100_cut.ogg", whole.substr(0, whole.size() * 7 / 8));
    return 0;
}
