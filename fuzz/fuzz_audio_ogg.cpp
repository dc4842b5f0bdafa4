// Ogg bytes through the whole-file sample loader: stb_vorbis decoding of the
// whole file, the conversion from the file's channels and rate, and reads of
// the result. Files at rates below 8000 Hz or above 192000 Hz are skipped to
// keep runs fast (their conversion multiplies the size many times).
#include "fuzz_audio.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1 << 16)) return 0;
    unsigned rate = fuzz_vorbis_rate(data, size);
    if (rate && (rate < 8000 || rate > 192000)) return 0;
    AudioSourceMemory* m = _driver_audio_sample_load_ogg(fuzz_audio_file(data, size, ".ogg"));
    if (m) {
        fuzz_audio_read(m, 1 << 22);
        delete m;
    }
    return 0;
}
