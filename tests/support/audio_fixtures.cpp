// Test helper: WAV files written by code and Ogg files encoded with oggenc.
#include "audio_fixtures.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <unistd.h>

#include "child.h"
#include "tempdir.h"

static void _put16(std::string& s, unsigned v) {
    s += (char)(v & 0xFF);
    s += (char)((v >> 8) & 0xFF);
}
static void _put32(std::string& s, uint32_t v) {
    _put16(s, v & 0xFFFF);
    _put16(s, v >> 16);
}

std::string wav_file(int format_tag, int bits, int channels, int rate, const std::string& data) {
    std::string s = "RIFF";
    _put32(s, (uint32_t)(36 + data.size()));
    s += "WAVEfmt ";
    _put32(s, 16);
    _put16(s, (unsigned)format_tag);
    _put16(s, (unsigned)channels);
    _put32(s, (uint32_t)rate);
    unsigned block = (unsigned)(channels * bits / 8);
    _put32(s, (uint32_t)rate * block);
    _put16(s, block);
    _put16(s, (unsigned)bits);
    s += "data";
    _put32(s, (uint32_t)data.size());
    return s + data;
}

std::string wav_data_s16(const std::vector<int16_t>& v) {
    std::string s;
    for (int16_t x : v) _put16(s, (uint16_t)x);
    return s;
}

std::string wav_data_u8(const std::vector<uint8_t>& v) { return std::string(v.begin(), v.end()); }

std::string wav_data_f32(const std::vector<float>& v) {
    std::string s;
    for (float x : v) {
        uint32_t u;
        memcpy(&u, &x, 4);
        _put32(s, u);
    }
    return s;
}

std::vector<int16_t> pcm_sine(int frames, int channels, int rate, double hz, double amp) {
    std::vector<int16_t> v;
    v.reserve((size_t)frames * channels);
    for (int i = 0; i < frames; i++) {
        int16_t x = (int16_t)std::lround(std::sin(2 * M_PI * hz * i / rate) * amp * 32767);
        for (int c = 0; c < channels; c++) v.push_back(x);
    }
    return v;
}

bool ogg_encode(const std::string& path, const std::vector<int16_t>& pcm, int channels, int rate) {
    std::string raw = path + ".raw", log = path + ".log";
    write_file(raw, wav_data_s16(pcm));
    Child c = child_start({"/usr/bin/oggenc", "-Q", "-r", "-B", "16", "-C", std::to_string(channels), "-R",
                           std::to_string(rate), raw, "-o", path},
                          {}, log);
    bool ok = child_wait(c, 120000) == 0;
    unlink(raw.c_str());
    unlink(log.c_str());
    return ok && path_exists(path);
}

int sign_changes(const float* v, int count, int stride, int first) {
    int n = 0;
    for (int i = first + stride; i < count; i += stride)
        if ((v[i] < 0) != (v[i - stride] < 0)) n++;
    return n;
}
