// qel_md5: the MD5 message digest of RFC 1321, computed incrementally over a
// state record that the caller holds.
//
//     md5_state_t st;
//     md5_init(&st);
//     md5_append(&st, data, n);   // as often as needed
//     md5_byte_t digest[16];
//     md5_finish(&st, digest);    // st must be initialised again after this
//
// The state is a plain struct: copying it forks a digest in progress.
#ifndef QEL_MD5_H
#define QEL_MD5_H

#include <cstdint>

typedef uint8_t md5_byte_t;
typedef uint32_t md5_word_t;

typedef struct md5_state_s {
    md5_word_t count[2];  // message length in bits, 64 bits, low word first
    md5_word_t abcd[4];   // the digest buffer A, B, C, D
    md5_byte_t buf[64];   // input not yet processed (fewer than 64 bytes)
} md5_state_t;

void md5_init(md5_state_t* pms);
// Does nothing for nbytes of 0 or less.
void md5_append(md5_state_t* pms, const md5_byte_t* data, int nbytes);
void md5_finish(md5_state_t* pms, md5_byte_t digest[16]);

#endif
