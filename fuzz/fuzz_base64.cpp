// Fuzz target: any bytes survive an encode and decode; any text decodes
// without writing past its output, to bytes that survive the round trip too.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "qel_base64.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string bytes((const char*)data, size);
    std::string text = base64_encode(data, (unsigned int)size);
    if (text.size() != (size + 2) / 3 * 4) abort();
    if (base64_decode(text) != bytes) abort();

    std::string decoded = base64_decode(bytes);
    if (decoded.size() > size / 4 * 3 + 2) abort();
    if (base64_decode(base64_encode((const unsigned char*)decoded.data(), (unsigned int)decoded.size())) != decoded)
        abort();
    return 0;
}
