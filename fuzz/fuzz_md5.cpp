// Fuzz target: a message fed in pieces gives the digest of the whole. The
// first four bytes seed the choice of piece sizes (empty and negative counts
// among them), the rest is the message.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <random>

#include "qel_md5.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4) return 0;
    uint32_t seed;
    memcpy(&seed, data, 4);
    data += 4;
    size -= 4;

    md5_byte_t whole[16], pieces[16];
    md5_state_t st;
    md5_init(&st);
    md5_append(&st, data, (int)size);
    md5_finish(&st, whole);

    std::minstd_rand rng(seed);
    md5_init(&st);
    for (size_t at = 0; at < size;) {
        int n = (int)(rng() % 140) - 4;
        if (n > (int)(size - at)) n = (int)(size - at);
        md5_append(&st, data + at, n);
        if (n > 0) at += (size_t)n;
    }
    md5_finish(&st, pieces);
    if (memcmp(whole, pieces, 16) != 0) abort();
    return 0;
}
