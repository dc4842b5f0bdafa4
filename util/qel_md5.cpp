// qel_md5: RFC 1321's compression of 64-byte blocks, its padding and its
// 64-bit length field.
#include "qel_md5.h"

#include <cstring>

static inline md5_word_t _rotl(md5_word_t x, int s) { return x << s | x >> (32 - s); }

// One step of each round: a = b + ((a + f(b, c, d) + x + t) <<< s).
static inline md5_word_t _ff(md5_word_t a, md5_word_t b, md5_word_t c, md5_word_t d, md5_word_t x, int s, md5_word_t t) {
    return b + _rotl(a + (d ^ (b & (c ^ d))) + x + t, s);
}
static inline md5_word_t _gg(md5_word_t a, md5_word_t b, md5_word_t c, md5_word_t d, md5_word_t x, int s, md5_word_t t) {
    return b + _rotl(a + (c ^ (d & (b ^ c))) + x + t, s);
}
static inline md5_word_t _hh(md5_word_t a, md5_word_t b, md5_word_t c, md5_word_t d, md5_word_t x, int s, md5_word_t t) {
    return b + _rotl(a + (b ^ c ^ d) + x + t, s);
}
static inline md5_word_t _ii(md5_word_t a, md5_word_t b, md5_word_t c, md5_word_t d, md5_word_t x, int s, md5_word_t t) {
    return b + _rotl(a + (c ^ (b | ~d)) + x + t, s);
}

static void md5_process(md5_state_t* pms, const md5_byte_t* data) {
    // The block's sixteen words are little-endian whatever the host and
    // whatever the alignment of data.
    md5_word_t x[16];
    memcpy(x, data, sizeof x);
#if __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    for (md5_word_t& w : x) w = __builtin_bswap32(w);
#endif
    md5_word_t a = pms->abcd[0], b = pms->abcd[1], c = pms->abcd[2], d = pms->abcd[3];

    a = _ff(a, b, c, d, x[0], 7, 0xd76aa478);
    d = _ff(d, a, b, c, x[1], 12, 0xe8c7b756);
    c = _ff(c, d, a, b, x[2], 17, 0x242070db);
    b = _ff(b, c, d, a, x[3], 22, 0xc1bdceee);
    a = _ff(a, b, c, d, x[4], 7, 0xf57c0faf);
    d = _ff(d, a, b, c, x[5], 12, 0x4787c62a);
    c = _ff(c, d, a, b, x[6], 17, 0xa8304613);
    b = _ff(b, c, d, a, x[7], 22, 0xfd469501);
    a = _ff(a, b, c, d, x[8], 7, 0x698098d8);
    d = _ff(d, a, b, c, x[9], 12, 0x8b44f7af);
    c = _ff(c, d, a, b, x[10], 17, 0xffff5bb1);
    b = _ff(b, c, d, a, x[11], 22, 0x895cd7be);
    a = _ff(a, b, c, d, x[12], 7, 0x6b901122);
    d = _ff(d, a, b, c, x[13], 12, 0xfd987193);
    c = _ff(c, d, a, b, x[14], 17, 0xa679438e);
    b = _ff(b, c, d, a, x[15], 22, 0x49b40821);

    a = _gg(a, b, c, d, x[1], 5, 0xf61e2562);
    d = _gg(d, a, b, c, x[6], 9, 0xc040b340);
    c = _gg(c, d, a, b, x[11], 14, 0x265e5a51);
    b = _gg(b, c, d, a, x[0], 20, 0xe9b6c7aa);
    a = _gg(a, b, c, d, x[5], 5, 0xd62f105d);
    d = _gg(d, a, b, c, x[10], 9, 0x02441453);
    c = _gg(c, d, a, b, x[15], 14, 0xd8a1e681);
    b = _gg(b, c, d, a, x[4], 20, 0xe7d3fbc8);
    a = _gg(a, b, c, d, x[9], 5, 0x21e1cde6);
    d = _gg(d, a, b, c, x[14], 9, 0xc33707d6);
    c = _gg(c, d, a, b, x[3], 14, 0xf4d50d87);
    b = _gg(b, c, d, a, x[8], 20, 0x455a14ed);
    a = _gg(a, b, c, d, x[13], 5, 0xa9e3e905);
    d = _gg(d, a, b, c, x[2], 9, 0xfcefa3f8);
    c = _gg(c, d, a, b, x[7], 14, 0x676f02d9);
    b = _gg(b, c, d, a, x[12], 20, 0x8d2a4c8a);

    a = _hh(a, b, c, d, x[5], 4, 0xfffa3942);
    d = _hh(d, a, b, c, x[8], 11, 0x8771f681);
    c = _hh(c, d, a, b, x[11], 16, 0x6d9d6122);
    b = _hh(b, c, d, a, x[14], 23, 0xfde5380c);
    a = _hh(a, b, c, d, x[1], 4, 0xa4beea44);
    d = _hh(d, a, b, c, x[4], 11, 0x4bdecfa9);
    c = _hh(c, d, a, b, x[7], 16, 0xf6bb4b60);
    b = _hh(b, c, d, a, x[10], 23, 0xbebfbc70);
    a = _hh(a, b, c, d, x[13], 4, 0x289b7ec6);
    d = _hh(d, a, b, c, x[0], 11, 0xeaa127fa);
    c = _hh(c, d, a, b, x[3], 16, 0xd4ef3085);
    b = _hh(b, c, d, a, x[6], 23, 0x04881d05);
    a = _hh(a, b, c, d, x[9], 4, 0xd9d4d039);
    d = _hh(d, a, b, c, x[12], 11, 0xe6db99e5);
    c = _hh(c, d, a, b, x[15], 16, 0x1fa27cf8);
    b = _hh(b, c, d, a, x[2], 23, 0xc4ac5665);

    a = _ii(a, b, c, d, x[0], 6, 0xf4292244);
    d = _ii(d, a, b, c, x[7], 10, 0x432aff97);
    c = _ii(c, d, a, b, x[14], 15, 0xab9423a7);
    b = _ii(b, c, d, a, x[5], 21, 0xfc93a039);
    a = _ii(a, b, c, d, x[12], 6, 0x655b59c3);
    d = _ii(d, a, b, c, x[3], 10, 0x8f0ccc92);
    c = _ii(c, d, a, b, x[10], 15, 0xffeff47d);
    b = _ii(b, c, d, a, x[1], 21, 0x85845dd1);
    a = _ii(a, b, c, d, x[8], 6, 0x6fa87e4f);
    d = _ii(d, a, b, c, x[15], 10, 0xfe2ce6e0);
    c = _ii(c, d, a, b, x[6], 15, 0xa3014314);
    b = _ii(b, c, d, a, x[13], 21, 0x4e0811a1);
    a = _ii(a, b, c, d, x[4], 6, 0xf7537e82);
    d = _ii(d, a, b, c, x[11], 10, 0xbd3af235);
    c = _ii(c, d, a, b, x[2], 15, 0x2ad7d2bb);
    b = _ii(b, c, d, a, x[9], 21, 0xeb86d391);

    pms->abcd[0] += a;
    pms->abcd[1] += b;
    pms->abcd[2] += c;
    pms->abcd[3] += d;
}

void md5_init(md5_state_t* pms) {
    pms->count[0] = pms->count[1] = 0;
    pms->abcd[0] = 0x67452301;
    pms->abcd[1] = 0xefcdab89;
    pms->abcd[2] = 0x98badcfe;
    pms->abcd[3] = 0x10325476;
}

static uint64_t _md5_bits(const md5_state_t* pms) { return (uint64_t)pms->count[1] << 32 | pms->count[0]; }

void md5_append(md5_state_t* pms, const md5_byte_t* data, int nbytes) {
    if (nbytes <= 0) return;
    size_t left = (size_t)nbytes;
    size_t pending = (pms->count[0] >> 3) & 63;
    // The count is kept in 64 bits: a single call of 512 MiB already holds
    // 2^32 bits.
    uint64_t bits = _md5_bits(pms) + (uint64_t)left * 8;
    pms->count[0] = (md5_word_t)bits;
    pms->count[1] = (md5_word_t)(bits >> 32);

    if (pending) {
        size_t n = 64 - pending < left ? 64 - pending : left;
        memcpy(pms->buf + pending, data, n);
        data += n;
        left -= n;
        if (pending + n < 64) return;
        md5_process(pms, pms->buf);
    }
    for (; left >= 64; data += 64, left -= 64) md5_process(pms, data);
    if (left) memcpy(pms->buf, data, left);
}

void md5_finish(md5_state_t* pms, md5_byte_t digest[16]) {
    // 0x80, zeros up to 56 bytes modulo 64, then the length before padding.
    static const md5_byte_t pad[64] = {0x80};
    uint64_t bits = _md5_bits(pms);
    md5_byte_t length[8];
    for (int i = 0; i < 8; i++) length[i] = (md5_byte_t)(bits >> (8 * i));
    size_t pending = (size_t)(bits >> 3) & 63;
    md5_append(pms, pad, (int)((55 - pending) % 64 + 1));
    md5_append(pms, length, 8);
    for (int i = 0; i < 16; i++) digest[i] = (md5_byte_t)(pms->abcd[i / 4] >> (8 * (i % 4)));
}
