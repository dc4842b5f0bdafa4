// qel_base64: base64 text to and from bytes, for talking to online services.
//
// The alphabet and padding are those of RFC 4648 section 4; no line breaks
// are written. Decoding never fails: it reads up to the first "=" or the
// first byte outside the alphabet and ignores the rest, so padding is
// optional and a trailing line break is harmless.
#ifndef QEL_BASE64_H
#define QEL_BASE64_H

#include <string>

std::string base64_encode(unsigned char const* bytes_to_encode, unsigned int in_len);
std::string base64_decode(std::string const& encoded_string);

#endif
