// Ogg bytes through the streamed source: opening, the length it claims, mono
// and resampled decoding in device-sized pieces up to that length (at most
// 2^21 floats), the seek back to the start, a looping play's decoding on
// through the end, closing and opening again.
#include "fuzz_audio.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1 << 16)) return 0;
    AudioSourceVorbis v(fuzz_audio_file(data, size, ".ogg"));
    if (!v.load()) return 0;
    fuzz_audio_read(&v, 1 << 21);
    // From the start again.
    fuzz_audio_read(&v, 4096);
    // A looping play from the start, on through the end of a short file.
    v.load();
    fuzz_audio_read_looping(&v, 16384);
    v.unload();
    if (v.load()) fuzz_audio_read(&v, 2048);
    return 0;
}
