// The library log line and the float helpers.
#include <cmath>
#include <string>

#include <gtest/gtest.h>

#include "capture.h"
#include "qel_printf.h"
#include "qel_util.h"

TEST(QelPrintf, LineShape) {
    struct Case {
        const char* file;
        const char* msg;
        const char* want;
    } cases[] = {
        {"a/b/c", "x", "[c:f:7] x\n"},
        {"a/b/c", "x\n", "[c:f:7] x\n"},
        {"plain.cpp", "", "[plain.cpp:f:7] \n"},
        {"win\\path.cpp", "y", "[win\\path.cpp:f:7] y\n"},
    };
    for (const Case& c : cases) {
        std::string out = capture_stdout([&] { _qel_iprintf(c.file, 7, "f", 0, "%s", c.msg); });
        EXPECT_EQ(out, c.want) << c.file << " / " << c.msg;
    }
}

TEST(QelPrintf, LongMessagePrintsWhole) {
    std::string big(100000, 'z');
    std::string out = capture_stdout([&] { _qel_iprintf("f.cpp", 1, "g", 0, "%s!", big.c_str()); });
    EXPECT_EQ(out, "[f.cpp:g:1] " + big + "!\n");
}

// A wide character the C locale cannot encode makes the formatting fail with a
// negative length: nothing is printed, not even the line's origin.
TEST(QelPrintf, FormattingErrorPrintsNothing) {
    std::string out = capture_stdout([] { _qel_iprintf("a/b.cpp", 3, "f", 0, "before %ls after", L"\x100"); });
    EXPECT_EQ(out, "");
    out = capture_stdout([] { _qel_iprintf("a/b.cpp", 3, "f", 0, "fine"); });
    EXPECT_EQ(out, "[b.cpp:f:3] fine\n");
}

TEST(QelFormat, WholeTextOrFalse) {
    std::string s = "old";
    EXPECT_TRUE(qel_format(&s, "%d-%s", 12, "ab"));
    EXPECT_EQ(s, "12-ab");
    EXPECT_TRUE(qel_format(&s, "%s", ""));
    EXPECT_EQ(s, "");
    std::string big(100000, 'z');
    EXPECT_TRUE(qel_format(&s, "<%s>", big.c_str()));
    EXPECT_EQ(s, "<" + big + ">");
    EXPECT_TRUE(qel_format(&s, "a%cb", 0));  // bytes after a NUL are kept
    EXPECT_EQ(s, std::string("a\0b", 3));
    s = "old";
    EXPECT_FALSE(qel_format(&s, "x %ls", L"\x100"));
    EXPECT_EQ(s, "");
}

TEST(QelPrintf, MacroNamesItsCaller) {
    std::string out = capture_stdout([] { QEL_LOG("n=%d", 3); });
    EXPECT_EQ(out.rfind("[qel_printf_test.cpp:operator():", 0), 0u) << out;
    EXPECT_NE(out.find("] n=3\n"), std::string::npos);
}

TEST(QelUtil, SecondArgumentOnTiesAndNaN) {
    const float nan = NAN;
    EXPECT_EQ(mymin(1, 2), 1);
    EXPECT_EQ(mymax(1, 2), 2);
    EXPECT_EQ(mymin(nan, 2), 2);
    EXPECT_TRUE(std::isnan(mymin(2, nan)));
    EXPECT_EQ(mymax(nan, 2), 2);
    EXPECT_TRUE(std::isnan(mymax(2, nan)));
    // Ties give the second argument: visible with signed zeros.
    EXPECT_TRUE(std::signbit(mymin(0.0f, -0.0f)));
    EXPECT_FALSE(std::signbit(mymax(-0.0f, 0.0f)));
    EXPECT_TRUE(std::signbit(myabs(-0.0f)));
    EXPECT_TRUE(std::isnan(myabs(nan)));
    EXPECT_EQ(myabs(-3.5f), 3.5f);
    EXPECT_EQ(mysign(-0.0f), 0);
    EXPECT_EQ(mysign(-3), -1);
    EXPECT_EQ(mysign(0.25f), 1);
    EXPECT_EQ(mysign(nan), 0);
}
