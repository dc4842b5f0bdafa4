// Test helper: damaged versions of a file, as a disk, a download or an
// editor leaves them: the file cut short at 64 points along its length
// (the first cut leaves it empty), and 64 versions with one byte changed at
// places drawn from a seed.
#ifndef QEL_TEST_DAMAGE_H
#define QEL_TEST_DAMAGE_H

#include <string>
#include <vector>

struct Damaged {
    std::string what;   // "cut at 120 of 4096", "byte 77 ^ 0x3c"
    std::string bytes;
};

// The 128 versions of `bytes`, the same for the same seed.
std::vector<Damaged> damaged_versions(const std::string& bytes, unsigned seed);

#endif
