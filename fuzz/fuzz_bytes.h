// Shared by the fuzz targets that read their input as a stream of choices;
// past its end every read gives 0, so any input is a whole run.
#ifndef QEL_FUZZ_BYTES_H
#define QEL_FUZZ_BYTES_H

#include <cstddef>
#include <cstdint>
#include <string>

struct Bytes {
    const uint8_t* p;
    size_t n;
    int next() {
        if (!n) return 0;
        n--;
        return *p++;
    }
    int signed8() { return (int8_t)next(); }
    // Up to `most` bytes, as many as the next byte chooses.
    std::string take(size_t most) {
        size_t k = (size_t)next() % (most + 1);
        if (k > n) k = n;
        std::string s((const char*)p, k);
        p += k;
        n -= k;
        return s;
    }
};

#endif
