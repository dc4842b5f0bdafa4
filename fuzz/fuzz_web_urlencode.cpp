// Fuzz target: the form encoder. Whatever the room, the output is whole
// encodings of a prefix of the input and a NUL, zeros to the end of the room,
// nothing beyond it; with the room the length function asks for, all of the
// input.
//
// Input: two bytes give the room (0 to 1023), the rest is the text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "qel_web.h"

static int _hex(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

static bool _plain(uint8_t c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    int len = (data[0] | data[1] << 8) % 1024;
    const char* in = (const char*)data + 2;
    int l = (int)size - 2;

    std::vector<char> out((size_t)len + 1, 'Z');
    qel_web_urlencode(out.data(), len, in, l);
    if (out[(size_t)len] != 'Z') abort();
    if (len == 0) return 0;

    // Decode what came out and compare it with the input.
    int o = 0, i = 0;
    while (o < len && out[(size_t)o] != 0) {
        uint8_t want = (uint8_t)in[i];
        if (out[(size_t)o] == '%') {
            if (o + 2 >= len) abort();
            int hi = _hex(out[(size_t)o + 1]), lo = _hex(out[(size_t)o + 2]);
            if (hi < 0 || lo < 0 || (hi << 4 | lo) != want || _plain(want)) abort();
            o += 3;
        } else {
            if ((uint8_t)out[(size_t)o] != want || !_plain(want)) abort();
            o++;
        }
        i++;
    }
    if (o >= len) abort();
    for (int k = o; k < len; k++)
        if (out[(size_t)k] != 0) abort();
    // It stopped only for want of room.
    if (i < l && len - o > (_plain((uint8_t)in[i]) ? 1 : 3)) abort();

    int need = qel_web_urlencode_len(in, l);
    if (need < 1) abort();
    if (len >= need ? (i != l || o != need - 1) : i == l) abort();
    return 0;
}
