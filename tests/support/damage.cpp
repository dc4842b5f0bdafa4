// Test helper: damaged versions of a file.
#include "damage.h"

#include <cstdio>
#include <random>

std::vector<Damaged> damaged_versions(const std::string& bytes, unsigned seed) {
    std::vector<Damaged> out;
    size_t len = bytes.size();
    for (size_t k = 0; k < 64; k++) {
        size_t at = len * k / 64;
        out.push_back({"cut at " + std::to_string(at) + " of " + std::to_string(len), bytes.substr(0, at)});
    }
    // mt19937's sequence is fixed by the standard, so a version found to
    // fail is the same on every machine.
    std::mt19937 rng(seed);
    for (int k = 0; k < 64 && len; k++) {
        size_t at = rng() % len;
        unsigned mask = 1 + rng() % 255;
        Damaged d{"", bytes};
        d.bytes[at] = (char)(d.bytes[at] ^ mask);
        char what[64];
        snprintf(what, sizeof what, "byte %zu ^ 0x%02x", at, mask);
        d.what = what;
        out.push_back(d);
    }
    return out;
}
