// qel_base64: three bytes to four characters and back, through a table.
#include "qel_base64.h"

// A character's value is its index here.
static const std::string base64_chars = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// The value of each byte in the alphabet, 64 for every other byte ("=" too).
struct _Base64Values {
    unsigned char v[256];
    _Base64Values() {
        for (int i = 0; i < 256; i++) v[i] = 64;
        for (int i = 0; i < 64; i++) v[(unsigned char)base64_chars[i]] = (unsigned char)i;
    }
};
static const _Base64Values _base64_values;

static bool is_base64(unsigned char c) { return _base64_values.v[c] < 64; }

std::string base64_encode(unsigned char const* bytes_to_encode, unsigned int in_len) {
    const char* chars = base64_chars.data();
    std::string out;
    out.resize(((size_t)in_len + 2) / 3 * 4);
    char* o = &out[0];
    const unsigned char* p = bytes_to_encode;
    unsigned int whole = in_len / 3 * 3;
    for (unsigned int i = 0; i < whole; i += 3, p += 3, o += 4) {
        unsigned int g = (unsigned int)p[0] << 16 | (unsigned int)p[1] << 8 | p[2];
        o[0] = chars[g >> 18];
        o[1] = chars[g >> 12 & 63];
        o[2] = chars[g >> 6 & 63];
        o[3] = chars[g & 63];
    }
    unsigned int rest = in_len - whole;
    if (rest) {
        // The missing bytes count as zeros; their characters become "=".
        unsigned int g = (unsigned int)p[0] << 16 | (rest == 2 ? (unsigned int)p[1] << 8 : 0);
        o[0] = chars[g >> 18];
        o[1] = chars[g >> 12 & 63];
        o[2] = rest == 2 ? chars[g >> 6 & 63] : '=';
        o[3] = '=';
    }
    return out;
}

std::string base64_decode(std::string const& encoded_string) {
    size_t len = 0;
    while (len < encoded_string.size() && is_base64((unsigned char)encoded_string[len])) len++;

    // Every four characters give three bytes; a last group of k characters
    // gives k - 1, its leftover bits dropped.
    const unsigned char* p = (const unsigned char*)encoded_string.data();
    const unsigned char* v = _base64_values.v;
    size_t whole = len / 4 * 4, rest = len - whole;
    std::string out;
    out.resize(whole / 4 * 3 + (rest ? rest - 1 : 0));
    char* o = &out[0];
    for (size_t i = 0; i < whole; i += 4, p += 4, o += 3) {
        unsigned int g = (unsigned int)v[p[0]] << 18 | (unsigned int)v[p[1]] << 12 | (unsigned int)v[p[2]] << 6 | v[p[3]];
        o[0] = (char)(g >> 16);
        o[1] = (char)(g >> 8);
        o[2] = (char)g;
    }
    if (rest >= 2) {
        unsigned int g = (unsigned int)v[p[0]] << 18 | (unsigned int)v[p[1]] << 12 | (rest == 3 ? (unsigned int)v[p[2]] << 6 : 0);
        o[0] = (char)(g >> 16);
        if (rest == 3) o[1] = (char)(g >> 8);
    }
    return out;
}
