// MD5: RFC 1321's test suite, agreement with coreutils' md5sum on seeded
// random bytes fed whole and in random pieces, and a bit count beyond 32 bits.
#include <cstring>
#include <random>
#include <string>
#include <sys/mman.h>
#include <vector>

#include <gtest/gtest.h>

#include "qel_md5.h"
#include "shell.h"
#include "tempdir.h"

namespace {

std::string hex(const md5_byte_t d[16]) {
    static const char digits[] = "0123456789abcdef";
    std::string s;
    for (int i = 0; i < 16; i++) {
        s += digits[d[i] >> 4];
        s += digits[d[i] & 15];
    }
    return s;
}

std::string finish_hex(md5_state_t* st) {
    md5_byte_t d[16];
    md5_finish(st, d);
    return hex(d);
}

std::string md5_hex(const std::string& bytes) {
    md5_state_t st;
    md5_init(&st);
    md5_append(&st, (const md5_byte_t*)bytes.data(), (int)bytes.size());
    return finish_hex(&st);
}

// Feeds bytes in pieces that start at arbitrary offsets, so most blocks are
// read unaligned, with empty and negative counts between them, which must
// change nothing.
std::string md5_hex_in_pieces(const std::string& bytes, std::mt19937& rng) {
    md5_state_t st;
    md5_init(&st);
    const md5_byte_t* p = (const md5_byte_t*)bytes.data();
    size_t left = bytes.size();
    while (left) {
        size_t n = std::min<size_t>(left, rng() % 3 ? rng() % 70 : rng() % 5000);
        md5_append(&st, p, (int)n);
        md5_append(&st, p, (int)(rng() % 2) - 1);
        p += n;
        left -= n;
    }
    return finish_hex(&st);
}

// The first word of each md5sum line.
std::vector<std::string> md5sum_of(const std::string& cmd) {
    std::vector<std::string> sums;
    std::string out = shell_output(cmd);
    size_t pos = 0;
    while (pos < out.size()) {
        size_t end = out.find('\n', pos);
        if (end == std::string::npos) end = out.size();
        sums.push_back(out.substr(pos, out.find(' ', pos) - pos));
        pos = end + 1;
    }
    return sums;
}

}  // namespace

TEST(Md5, Rfc1321TestSuite) {
    const char* cases[][2] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d174ab98d277d9f5a5611c2c9f419d9f"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"},
    };
    for (auto& c : cases) EXPECT_EQ(md5_hex(c[0]), c[1]) << c[0];
}

TEST(Md5, AgreesWithCoreutilsWholeAndInPieces) {
    // Every length from 0 to 300 passes each padding case (55, 56, 63, 64
    // bytes and their multiples); then a few MiB.
    std::mt19937 rng(1321);
    std::vector<size_t> lengths;
    for (size_t n = 0; n <= 300; n++) lengths.push_back(n);
    for (size_t n : {3u << 20, (4u << 20) + 55}) lengths.push_back(n);

    TempDir dir;
    std::vector<std::string> inputs;
    std::string cmd = "cd " + dir.path() + " && md5sum";
    for (size_t i = 0; i < lengths.size(); i++) {
        std::string s(lengths[i], '\0');
        for (char& c : s) c = (char)(rng() & 0xff);
        write_file(dir.file("in" + std::to_string(i)), s);
        cmd += " in" + std::to_string(i);
        inputs.push_back(s);
    }
    std::vector<std::string> theirs = md5sum_of(cmd);
    ASSERT_EQ(theirs.size(), inputs.size());
    for (size_t i = 0; i < inputs.size(); i++) {
        EXPECT_EQ(md5_hex(inputs[i]), theirs[i]) << "length " << inputs[i].size();
        EXPECT_EQ(md5_hex_in_pieces(inputs[i], rng), theirs[i]) << "length " << inputs[i].size();
    }
}

TEST(Md5, CopiedStateForksTheDigest) {
    md5_state_t a;
    md5_init(&a);
    md5_append(&a, (const md5_byte_t*)"message ", 8);
    md5_state_t b = a;
    md5_append(&a, (const md5_byte_t*)"digest", 6);
    EXPECT_EQ(finish_hex(&a), "f96b697d7cb7938d525a2f31aaf161d0");
    md5_append(&b, (const md5_byte_t*)"digest", 6);
    EXPECT_EQ(finish_hex(&b), "f96b697d7cb7938d525a2f31aaf161d0");
}

TEST(Md5, CountsBitsBeyond32Bits) {
    // Zero bytes from a read-only anonymous mapping cost no memory. 100 MiB
    // in odd pieces, then one call of more than 512 MiB (whose bit count
    // alone exceeds 32 bits), then a short tail.
    const size_t big = (512u << 20) + 5, pieces = (100u << 20) + 77, tail = 11;
    size_t total = pieces + big + tail;
    std::string cmd = "head -c " + std::to_string(total) + " /dev/zero | md5sum";
    FILE* theirs = popen(cmd.c_str(), "r");  // runs beside our own digest
    ASSERT_NE(theirs, nullptr);

    void* zeros = mmap(nullptr, big, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(zeros, MAP_FAILED);
    const md5_byte_t* z = (const md5_byte_t*)zeros;
    md5_state_t st;
    md5_init(&st);
    for (size_t done = 0; done < pieces;) {
        size_t n = std::min<size_t>(pieces - done, (1u << 20) + 3);
        md5_append(&st, z, (int)n);
        done += n;
    }
    md5_append(&st, z, (int)big);
    md5_append(&st, z, (int)tail);
    munmap(zeros, big);
    uint64_t bits = (uint64_t)st.count[1] << 32 | st.count[0];
    EXPECT_EQ(bits, (uint64_t)total * 8);
    std::string ours = finish_hex(&st);

    char line[64] = "";
    ASSERT_NE(fgets(line, sizeof line, theirs), nullptr);
    pclose(theirs);
    EXPECT_EQ(ours, std::string(line, 32));
}
