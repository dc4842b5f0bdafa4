// Shared by the audio fuzz targets: the loaders read files by path, so each
// input is written to one scratch file per process first.
#ifndef QEL_FUZZ_AUDIO_H
#define QEL_FUZZ_AUDIO_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include <stb_vorbis.h>

#include "qel_driver-audio.h"
#include "qel_driver-tex_load.h"

// The driver's texture loader asks the game for its filter; nothing loads here.
int _QEL_GL_TEXTURE_MAG_FILTER() { return GL_LINEAR; }

// The scratch file's path; `suffix` matters to loaders that go by the name.
inline std::string& _fuzz_audio_path() {
    static std::string path;
    return path;
}

inline const char* fuzz_audio_file(const uint8_t* data, size_t size, const char* suffix) {
    std::string& path = _fuzz_audio_path();
    if (path.empty()) {
        char tmpl[] = "/tmp/qel_fuzz_audio_XXXXXX";
        int fd = mkstemp(tmpl);
        if (fd < 0) abort();
        close(fd);
        unlink(tmpl);
        path = std::string(tmpl) + suffix;
        atexit([] { unlink(_fuzz_audio_path().c_str()); });
    }
    FILE* f = fopen(path.c_str(), "wb");
    if (!f) abort();
    if (size) fwrite(data, 1, size, f);
    fclose(f);
    return path.c_str();
}

// Reads a source from start to end (at most `cap` floats) in device-sized
// pieces, touching every value so a short buffer is caught.
inline void fuzz_audio_read(AudioSource* src, int cap) {
    static float buf[2048];
    int len = src->get_length();
    if (len > cap) len = cap;
    for (int pos = 0; pos < len; pos += 2048) {
        src->get_samples(pos, 2048, buf, false);
        volatile float sum = 0;
        for (float x : buf) sum = sum + x;
    }
}

// Reads `count` floats for a looping play, which go on through the source's
// end into its start, with the position wrapping as the callback wraps it.
inline void fuzz_audio_read_looping(AudioSource* src, int count) {
    static float buf[2048];
    int len = src->get_length();
    for (int pos = 0, done = 0; len > 0 && done < count; done += 2048) {
        src->get_samples(pos, 2048, buf, true);
        volatile float sum = 0;
        for (float x : buf) sum = sum + x;
        pos = (int)(((long long)pos + 2048) % len);
    }
}

// The file's rate when the loaders' decoder opens it, else 0.
inline unsigned fuzz_vorbis_rate(const uint8_t* data, size_t size) {
    char* arena = nullptr;
    stb_vorbis* v = _driver_audio_vorbis_open(data, (int)size, &arena);
    if (!v) return 0;
    unsigned rate = stb_vorbis_get_info(v).sample_rate;
    stb_vorbis_close(v);
    free(arena);
    return rate;
}

#endif
