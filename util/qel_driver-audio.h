// qel_driver-audio: the audio half of the driver: the SDL audio device, the
// sound sources, the plays, and the mixing callback on SDL's audio thread.
//
// A source is decoded audio in memory (WAV through SDL, whole Ogg Vorbis
// files through stb_vorbis) or an Ogg Vorbis file decoded while it plays. All
// sources yield the work format: interleaved stereo floats at 44100 Hz, and
// every position and length counts floats (two per frame), not frames.
// Sources live in one list named by their index (0 is none) until the device
// closes; a play says which source sounds, how loud, where and whether it
// loops. The callback mixes every play in floats with a volume ramp per
// value, runs a peak limiter over the sum and converts it for the device.
//
// Threads: the main thread makes every change to the lists under SDL's audio
// lock; the callback runs with that lock held and may open a Vorbis stream.
#ifndef QEL_DRIVER_AUDIO_H
#define QEL_DRIVER_AUDIO_H

#include <SDL.h>

#include <atomic>
#include <vector>

#include "qel_driver-resample.h"

struct stb_vorbis;

class AudioSource {
  public:
    virtual int get_length();
    // Writes up to `length` floats from position `start` into r. A read for
    // a looping play goes on from the source's first value after its last,
    // as often as `length` reaches; any other read ends at the last value.
    virtual void get_samples(int start, int length, float* r, bool loop);
    virtual bool load();
    virtual void unload();
    virtual ~AudioSource();
};

class AudioSourceMemory : public AudioSource {
  public:
    int len;        // floats
    float* data;    // its own copy
    int _memused;   // bytes counted in the audio memory total

    AudioSourceMemory(int _len, const float* _data);
    ~AudioSourceMemory() override;
    AudioSourceMemory(const AudioSourceMemory&) = delete;
    AudioSourceMemory& operator=(const AudioSourceMemory&) = delete;
    int get_length() override;
    void get_samples(int start, int length, float* r, bool loop) override;
};

class AudioSourceVorbis : public AudioSource {
  public:
    char fname[1024];       // empty when the path did not fit
    stb_vorbis* data;       // the open decoder, null while closed
    char* arena;            // the decoder's memory while open
    void* file_mem;         // the whole file while open
    int len;                // floats while open
    int _memused;           // the file's size while open
    int channels;           // of the file, while open
    unsigned rate;          // of the file, while open
    Resampler* resampler;   // to 44100 Hz for files at another rate, else null
    bool _failed;           // the last open failed: only load() tries again

    explicit AudioSourceVorbis(const char* path);
    ~AudioSourceVorbis() override;
    AudioSourceVorbis(const AudioSourceVorbis&) = delete;
    AudioSourceVorbis& operator=(const AudioSourceVorbis&) = delete;
    int get_length() override;
    void get_samples(int start, int length, float* r, bool loop) override;
    bool load() override;
    void unload() override;

  private:
    bool _ready();
    void _rewind();
    int _decode(float* r, int frames);
    int _read(float* r, int frames, bool loop);
};

struct AudioPlaying {
    int src;
    float vol;
    float pan;   // recorded, not applied
    float _vol;  // the volume the previous buffer ended with
    int _init;   // 0 until the callback first mixes this play
    int cur;     // position in floats
    int loop;    // 1: goes on from the start after the end; 0: removed at the end
};

struct _SDL_audioData {
    SDL_AudioSpec work, _want, have;
    std::vector<AudioSource*> sources;  // entry 0 is null: no sound
    std::vector<AudioPlaying> playing;
    float peak;                         // the limiter's peak of the previous buffer
    std::atomic<unsigned long> memused; // both threads add to it

    // The callback's working memory, prepared when the device opens so that
    // the audio thread allocates nothing while it mixes: the conversion from
    // `work` to the device format `cvt_spec`; the buffer that the mix is
    // summed in and converted in place (n floats, times the conversion's
    // length multiplier); one play's values (n floats). Made again only when
    // `have` changes or a longer buffer comes. (A device at another rate
    // than 44100 Hz would still allocate: SDL's resampler takes its padding
    // from the heap on every conversion.)
    SDL_AudioCVT cvt;
    bool cvt_ok;
    SDL_AudioSpec cvt_spec;
    std::vector<float> mixbuf;
    std::vector<float> scratch;
    int prepared;                       // n that the buffers hold

    _SDL_audioData();
};

// Null while the device is closed.
extern _SDL_audioData* _sdl_audio_data;

void _driver_audio_init();
void _driver_audio_deinit();

// Sound handles are source indices; 0 on failure. Nothing happens, and loads
// return 0, while the device is closed.
int driver_audio_sample_load(const char* s);
int driver_audio_stream_load(const char* s, bool preload);
void driver_audio_sample_play(int v, float vol, float pan);
void driver_audio_stream_play(int v, float vol, float pos);
void driver_audio_stream_stop(int v);
void driver_audio_stream_volume(int v, float vol);
void driver_audio_sample_reload(int v);
void driver_audio_stream_reload(int v);
void driver_audio_loop();
void _driver_audio_memused(int n);

// The mixing steps, open to tests and benchmarks.
void _driver_audio_callback(void* userdata, Uint8* stream, int len);
void _driver_audio_mix(float* stream, int len, AudioPlaying* p, float* tmp);
void _driver_audio_normalize(float* stream, int len);
// Whether an Ogg Vorbis file's comment header is whole and consistent, which
// stb_vorbis needs before it may read the file.
bool _driver_audio_vorbis_headers_ok(const void* mem, int len);
// A decoder over a whole Ogg Vorbis file in memory, working only inside
// *arena (free it after stb_vorbis_close); null for a file it cannot open.
stb_vorbis* _driver_audio_vorbis_open(const void* mem, int len, char** arena);
// Whole-file decoders into the work format; null on failure.
AudioSourceMemory* _driver_audio_sample_load_wav(const char* s);
AudioSourceMemory* _driver_audio_sample_load_ogg(const char* s);

#endif
