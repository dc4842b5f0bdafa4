// WAV bytes through the sample loader: SDL's reader, the conversion to
// stereo floats at 44100 Hz with its size checks, and reads of the result.
// Files that would decode to more than 64 MB are skipped to keep runs fast;
// the loader itself refuses only what does not fit an int.
#include <cstring>

#include "fuzz_audio.h"

// SDL allocates a chunk's stated size before it reads the chunk. That memory
// is never touched, but under ASan a claim of gigabytes costs seconds, so
// inputs whose chunks claim far more than the input holds are skipped. SDL
// also takes a file that starts at "WAVE" without its RIFF header, whose
// chunks then start at byte 4 instead of 12.
static bool _chunks_fit(const uint8_t* data, size_t size) {
    size_t first = size >= 4 && memcmp(data, "WAVE", 4) == 0 ? 4 : 12;
    for (size_t at = first; at + 8 <= size;) {
        uint32_t len = data[at + 4] | data[at + 5] << 8 | data[at + 6] << 16 | (uint32_t)data[at + 7] << 24;
        if (len > size - at - 8 + (1u << 16)) return false;
        at += 8 + (size_t)len + (len & 1);
    }
    return true;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (!_chunks_fit(data, size)) return 0;
    SDL_AudioSpec spec;
    Uint8* pcm = nullptr;
    Uint32 len = 0;
    if (SDL_LoadWAV_RW(SDL_RWFromConstMem(data, (int)size), 1, &spec, &pcm, &len)) {
        SDL_FreeWAV(pcm);
        int frame = SDL_AUDIO_BITSIZE(spec.format) / 8 * spec.channels;
        if (spec.freq <= 0 || frame <= 0) return 0;
        if ((double)len / frame * 44100.0 / spec.freq * 8 > 64.0 * 1024 * 1024) return 0;
    }
    AudioSourceMemory* m = _driver_audio_sample_load_wav(fuzz_audio_file(data, size, ".wav"));
    if (m) {
        fuzz_audio_read(m, 1 << 22);
        delete m;
    }
    return 0;
}
