// base64: RFC 4648's vectors, decoding's stopping rules, and agreement with
// coreutils' base64 on seeded random bytes.
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "qel_base64.h"
#include "shell.h"
#include "tempdir.h"

namespace {

std::string encode(const std::string& bytes) {
    return base64_encode((const unsigned char*)bytes.data(), (unsigned int)bytes.size());
}

// Every length from 0 to 300 bytes, then a few MiB with each remainder of 3.
std::vector<std::string> random_inputs() {
    std::mt19937 rng(17);
    std::vector<size_t> lengths;
    for (size_t n = 0; n <= 300; n++) lengths.push_back(n);
    for (size_t n : {3u << 20, (3u << 20) + 1, (4u << 20) + 2}) lengths.push_back(n);
    std::vector<std::string> inputs;
    for (size_t n : lengths) {
        std::string s(n, '\0');
        for (char& c : s) c = (char)(rng() & 0xff);
        inputs.push_back(s);
    }
    return inputs;
}

}  // namespace

TEST(Base64, Rfc4648Vectors) {
    const char* cases[][2] = {{"", ""},         {"f", "Zg=="},         {"fo", "Zm8="},     {"foo", "Zm9v"},
                              {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"}};
    for (auto& c : cases) {
        EXPECT_EQ(encode(c[0]), c[1]) << c[0];
        EXPECT_EQ(base64_decode(c[1]), c[0]) << c[1];
        // Padding is optional.
        std::string bare = c[1];
        bare.erase(bare.find_last_not_of('=') + 1);
        EXPECT_EQ(base64_decode(bare), c[0]) << bare;
    }
}

TEST(Base64, DecodeStopsAtFirstByteOutsideTheAlphabet) {
    const struct {
        std::string text, bytes;
    } cases[] = {
        {"Zm9vYmFy", "foobar"},
        {"Zm9vY", "foo"},            // one leftover character gives no byte
        {"Zm9vYm", "foob"},
        {"Zm9vYmF", "fooba"},
        {"Zm9v\nYmFy", "foo"},       // a line break ends the input
        {"Zm9v YmFy", "foo"},
        {"Zm9v\x80YmFy", "foo"},
        {std::string("Zm9v\0YmFy", 9), "foo"},
        {"=Zm9v", ""},
        {"Zg==Zm9v", "f"},           // nothing after the first "="
        {"Zm9vYmFy====", "foobar"},
        {"Zm-_", "f"},               // the URL-safe alphabet is not read
        {"Z", ""},
        {"////", "\xff\xff\xff"},
        {"+++", "\xfb\xef"},
    };
    for (auto& c : cases) EXPECT_EQ(base64_decode(c.text), c.bytes) << c.text;
}

TEST(Base64, DecodedLengthFollowsTheCharacterCount) {
    // Each length is decoded from a string of exactly that size, so a write
    // past the output shows under the address sanitizer.
    for (size_t k = 0; k <= 64; k++) {
        std::string text(k, 'A');
        size_t want = k / 4 * 3 + (k % 4 ? k % 4 - 1 : 0);
        EXPECT_EQ(base64_decode(text), std::string(want, '\0')) << k;
    }
}

TEST(Base64, AgreesWithCoreutilsOnRandomBytes) {
    TempDir dir;
    std::vector<std::string> inputs = random_inputs();
    std::string cmd = "cd " + dir.path() + " && for f in";
    for (size_t i = 0; i < inputs.size(); i++) {
        write_file(dir.file("in" + std::to_string(i)), inputs[i]);
        cmd += " in" + std::to_string(i);
    }
    cmd += "; do base64 -w0 $f; echo; done";
    std::string theirs = shell_output(cmd);

    size_t pos = 0;
    for (size_t i = 0; i < inputs.size(); i++) {
        size_t end = theirs.find('\n', pos);
        ASSERT_NE(end, std::string::npos) << "coreutils gave " << i << " lines";
        std::string want = theirs.substr(pos, end - pos);
        pos = end + 1;
        std::string got = encode(inputs[i]);
        ASSERT_EQ(got, want) << "length " << inputs[i].size();
        ASSERT_EQ(base64_decode(got), inputs[i]) << "length " << inputs[i].size();
    }
}
