// Texture loading without a GL context: sizes, premultiply, padding,
// halving, the downscale rule, GL version texts and the failure lines.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <vector>

#include <stb_image.h>

#include "capture.h"
#include "image_fixtures.h"
#include "qel_driver-tex_load.h"
#include "qel_driver.h"
#include "tempdir.h"


TEST(TexLoad, TextureSidePerImageSide) {
    const int cases[][2] = {{0, 64},       {1, 64},       {63, 64},      {64, 64},
                            {65, 128},     {100, 128},    {1000, 1024},  {2049, 4096},
                            {4096, 4096},  {4097, 4097},  {5000, 5000}};
    for (const auto& c : cases) EXPECT_EQ(_driver_tex_side(c[0]), c[1]) << c[0];
}

TEST(TexLoad, PremultiplyTruncates) {
    const unsigned char cases[][8] = {
        {200, 100, 50, 128, 100, 50, 25, 128},
        {255, 255, 255, 255, 254, 254, 254, 255},  // opaque white is not kept at 255
        {10, 20, 30, 0, 0, 0, 0, 0},
        {255, 128, 1, 1, 0, 0, 0, 1},
        {128, 64, 2, 255, 127, 63, 1, 255},
    };
    for (const auto& c : cases) {
        unsigned char p[4] = {c[0], c[1], c[2], c[3]};
        _driver_tex_premultiply(p, 1);
        EXPECT_EQ(0, memcmp(p, c + 4, 4)) << (int)c[0] << "," << (int)c[1] << "," << (int)c[2]
                                          << "," << (int)c[3] << " -> " << (int)p[0] << ","
                                          << (int)p[1] << "," << (int)p[2] << "," << (int)p[3];
    }
}

// Opaque pixels whose value tells where they came from.
static std::vector<unsigned char> _numbered(int w, int h) {
    std::vector<unsigned char> px((size_t)w * h * 4);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            unsigned char* p = &px[((size_t)y * w + x) * 4];
            p[0] = (unsigned char)(x + 1);
            p[1] = (unsigned char)(y + 1);
            p[2] = 200;
            p[3] = 255;
        }
    return px;
}

TEST(TexLoad, PaddingPutsTheImageTopLeftAndZeroesTheRest) {
    std::vector<unsigned char> px = _numbered(100, 30);
    int w = 0, h = 0, tw = 0, th = 0;
    unsigned char* buf = _driver_tex_prepare(px.data(), 100, 30, false, &w, &h, &tw, &th);
    ASSERT_NE(buf, nullptr);
    ASSERT_NE(buf, px.data());
    EXPECT_EQ(w, 100);
    EXPECT_EQ(h, 30);
    EXPECT_EQ(tw, 128);
    EXPECT_EQ(th, 64);
    int bad = 0;
    for (int y = 0; y < th; y++)
        for (int x = 0; x < tw; x++) {
            const unsigned char* p = buf + ((size_t)y * tw + x) * 4;
            if (x < 100 && y < 30) {
                bad += p[0] != (((x + 1) * 255) >> 8) || p[1] != (((y + 1) * 255) >> 8) ||
                       p[2] != 199 || p[3] != 255;
            } else {
                bad += p[0] || p[1] || p[2] || p[3];
            }
        }
    EXPECT_EQ(bad, 0);
    free(buf);
}

TEST(TexLoad, ImageThatFillsItsTextureIsNotCopied) {
    std::vector<unsigned char> px = _numbered(64, 64);
    int w, h, tw, th;
    EXPECT_EQ(_driver_tex_prepare(px.data(), 64, 64, false, &w, &h, &tw, &th), px.data());
    EXPECT_EQ(px[0], (1 * 255) >> 8);  // premultiplied in place
    EXPECT_EQ(tw, 64);
    EXPECT_EQ(th, 64);
}

TEST(TexLoad, SizesOfWideTallAndHugeImages) {
    const int cases[][6] = {
        // w, h, -> w, h, tw, th
        {4096, 10, 4096, 10, 4096, 64},
        {5000, 5000, 5000, 5000, 5000, 5000},
        {3, 20000, 3, 20000, 64, 20000},
    };
    for (const auto& c : cases) {
        int w, h, tw, th;
        _driver_tex_sizes(c[0], c[1], false, &w, &h, &tw, &th);
        EXPECT_EQ(w, c[2]);
        EXPECT_EQ(h, c[3]);
        EXPECT_EQ(tw, c[4]);
        EXPECT_EQ(th, c[5]);
    }
}

TEST(TexLoad, TallImageKeepsItsLastRow) {
    std::vector<unsigned char> px = _numbered(3, 5000);
    int w, h, tw, th;
    unsigned char* buf = _driver_tex_prepare(px.data(), 3, 5000, false, &w, &h, &tw, &th);
    ASSERT_NE(buf, nullptr);
    const unsigned char* last = buf + (size_t)4999 * tw * 4;
    EXPECT_EQ(last[4 * 2 + 0], (3 * 255) >> 8);
    EXPECT_EQ(last[4 * 2 + 1], (5000 & 255) * 255 >> 8);
    EXPECT_EQ(last[4 * 3 + 3], 0);
    free(buf);
}

TEST(TexLoad, DownscaleHalvesWithABoxFilterOverTheMargin) {
    // 99 wide: the new column 49 averages the last image column with the margin.
    std::vector<unsigned char> px((size_t)99 * 100 * 4, 0);
    for (size_t i = 0; i < px.size(); i += 4) {
        px[i] = 255;
        px[i + 3] = 255;
    }
    px[0] = 0;  // (0, 0) black: the new (0, 0) is three quarters red
    int w, h, tw, th;
    unsigned char* buf = _driver_tex_prepare(px.data(), 99, 100, true, &w, &h, &tw, &th);
    ASSERT_NE(buf, nullptr);
    EXPECT_EQ(w, 49);
    EXPECT_EQ(h, 50);
    EXPECT_EQ(tw, 64);
    EXPECT_EQ(th, 64);
    auto at = [&](int x, int y) { return buf + ((size_t)y * tw + x) * 4; };
    EXPECT_EQ(at(0, 0)[0], (0 + 254 * 3) >> 2);
    EXPECT_EQ(at(0, 0)[3], 255);
    EXPECT_EQ(at(10, 10)[0], 254);
    EXPECT_EQ(at(49, 10)[0], (254 * 2) >> 2);
    EXPECT_EQ(at(49, 10)[3], (255 * 2) >> 2);
    EXPECT_EQ(at(50, 10)[3], 0);
    EXPECT_EQ(at(10, 50)[3], 0);
    free(buf);
}

TEST(TexLoad, DownscaleNeedsBothSidesAbove64) {
    const int cases[][7] = {
        // w, h, -> w, h, tw, th, halved
        {100, 100, 50, 50, 64, 64},
        {64, 64, 64, 64, 64, 64},
        {512, 64, 512, 64, 512, 64},
        {65, 65, 32, 32, 64, 64},
        {5000, 300, 2500, 150, 2500, 256},
    };
    for (const auto& c : cases) {
        int w, h, tw, th;
        _driver_tex_sizes(c[0], c[1], true, &w, &h, &tw, &th);
        EXPECT_EQ(w, c[2]) << c[0] << "x" << c[1];
        EXPECT_EQ(h, c[3]) << c[0] << "x" << c[1];
        EXPECT_EQ(tw, c[4]) << c[0] << "x" << c[1];
        EXPECT_EQ(th, c[5]) << c[0] << "x" << c[1];
    }
}

TEST(TexLoad, DownscaleRuleByIdiom) {
    struct {
        const char* idiom;
        int w, h;
        float scale;
        bool halves;
    } cases[] = {
        {"phone", 2000, 2000, 2, true},    {"desktop", 320, 320, 1, false},
        {"tablet", 768, 1024, 1, true},    {"tablet", 768, 1024, 2, false},
        {"tablet", 1024, 1024, 1, true},   {"tablet", 1025, 100, 1, false},
        {"tablet", 683, 512, 1.5f, true},  {"", 100, 100, 1, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(_driver_tex_downscale_rule(c.idiom, c.w, c.h, c.scale), c.halves)
            << c.idiom << " " << c.w << "x" << c.h << " @" << c.scale;

    driver_init(0);
    driver_set_idiom("phone");
    EXPECT_TRUE(_QEL_DRIVER_TEX_LOAD_DOWNSCALE());
    driver_set_idiom("desktop");
    EXPECT_FALSE(_QEL_DRIVER_TEX_LOAD_DOWNSCALE());
    driver_set_idiom("tablet");
    driver_set_size(768, 1024);
    driver_set_scale(2);
    EXPECT_FALSE(_QEL_DRIVER_TEX_LOAD_DOWNSCALE());
    driver_set_scale(1);
    EXPECT_TRUE(_QEL_DRIVER_TEX_LOAD_DOWNSCALE());
    driver_deinit();
}

TEST(TexLoad, GlVersionTexts) {
    std::string long_text = "3.3";
    long_text.append(400, '9');  // the cut digits saturate the last piece
    std::string long_tail = "3.3 ";
    long_tail.append(400, 'x');
    struct {
        const char* text;
        int version;
    } cases[] = {
        {nullptr, 0},
        {"", 0},
        {"1.3", 0x10300},
        {"1.4", 0x10400},
        {"2.1.0 - Build 8.15", 0x20100},
        {"4.6.0 NVIDIA 390.77", 0x40600},
        {"4.5 (Compatibility Profile) Mesa 22.3.6", 0x40500},
        {"OpenGL ES 3.2", 0},
        {"1..2", 0x10002},
        {"999.1", 0xff0100},
        {long_text.c_str(), 0x030000 | 0xff00},
        {long_tail.c_str(), 0x30300},
    };
    for (const auto& c : cases)
        EXPECT_EQ(_driver_gl_version_parse(c.text), c.version) << (c.text ? c.text : "(null)");
}

TEST(TexLoad, WithoutAContextTheVersionIsZeroAndFiltersAreLinear) {
    EXPECT_EQ(_driver_gl_version(), 0);
    EXPECT_EQ(_has_gl_generate_mipmap(), 0);
    EXPECT_EQ(_qel_gl_texture_min_filter(), GL_LINEAR);
    EXPECT_FALSE(_qel_gl_generate_mipmap());
}

class TexLoadFiles : public ::testing::Test {
protected:
    TempDir tmp;
    const std::string dir = tmp.path();

    // Loads the file and returns what it printed; *tex gets the result and the
    // outputs must stay as they were on failure.
    std::string load(const std::string& path, int* tex) {
        int w = -7, h = -7, tw = -7, th = -7;
        std::string err = capture_stderr([&] { *tex = _driver_tex_load(path.c_str(), &w, &h, &tw, &th); });
        if (!*tex) {
            EXPECT_EQ(w, -7);
            EXPECT_EQ(tw, -7);
        }
        return err;
    }
};

TEST_F(TexLoadFiles, BadFilesGiveOneLineAndNoTexture) {
    ASSERT_TRUE(fixture_image(dir + "/ok.png", "png", 8, 8, fixture_solid(8, 8, 1, 2, 3, 255)));
    std::string png = read_file(dir + "/ok.png");
    std::string huge = png;
    // IHDR width and height, big-endian, at bytes 16 to 23.
    const char big[8] = {0x40, 0, 0, 0, 0x40, 0, 0, 0};
    huge.replace(16, 8, big, 8);
    std::string noise;
    srand(5);
    for (int i = 0; i < 3000; i++) noise.push_back((char)(rand() & 255));
    write_file(dir + "/truncated.png", png.substr(0, png.size() / 2));
    // Cut 3 bytes after the header chunk: the next chunk's type reads as
    // zero bytes, which stb names in an empty reason.
    write_file(dir + "/cut.png", png.substr(0, 36));
    write_file(dir + "/noise.png", noise);
    write_file(dir + "/empty.png", "");
    write_file(dir + "/huge.png", huge);
    mkdir((dir + "/folder.png").c_str(), 0700);

    const char* names[] = {"truncated.png", "cut.png", "noise.png", "empty.png", "huge.png", "folder.png",
                           "missing.png"};
    for (const char* name : names) {
        int tex = -1;
        std::string path = dir + "/" + name;
        std::string err = load(path, &tex);
        EXPECT_EQ(tex, 0) << name;
        std::string head = "stbi_load failed " + path + " - ";
        EXPECT_EQ(err.rfind(head, 0), 0u) << err;
        EXPECT_GT(err.size(), head.size() + 1) << "a reason: " << err;
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    }
}

TEST_F(TexLoadFiles, UnreadableFileDoesNotRepeatTheLastDecodeReason) {
    write_file(dir + "/noise.png", std::string(100, 'x'));
    int tex;
    std::string first = load(dir + "/noise.png", &tex);
    std::string decode_reason = first.substr(first.find(" - ") + 3);
    ASSERT_FALSE(decode_reason.empty());
    for (const char* name : {"/missing.png", "/"}) {
        std::string err = load(dir + name, &tex);
        EXPECT_EQ(err, "stbi_load failed " + dir + name + " - file missing, empty or unreadable\n");
    }
    EXPECT_STREQ(_stbi_load_reason(), "file missing, empty or unreadable");
}

TEST_F(TexLoadFiles, DecodedFileWithoutAContextMakesNoTexture) {
    ASSERT_TRUE(fixture_image(dir + "/a.png", "png", 4, 4, fixture_solid(4, 4, 9, 9, 9, 255)));
    driver_init(0);
    int tex = -1;
    std::string err = load(dir + "/a.png", &tex);
    driver_deinit();
    EXPECT_EQ(tex, 0);
    EXPECT_EQ(err, "no GL texture for " + dir + "/a.png\n");
}

TEST_F(TexLoadFiles, StbiLoadDecodesByContent) {
    ASSERT_TRUE(fixture_image(dir + "/a.tga", "tga", 5, 3, fixture_solid(5, 3, 9, 8, 7, 6)));
    rename((dir + "/a.tga").c_str(), (dir + "/a.qel").c_str());
    int w = 0, h = 0, bpp = 0;
    unsigned char* px = _stbi_load((dir + "/a.qel").c_str(), &w, &h, &bpp, 4);
    ASSERT_NE(px, nullptr);
    EXPECT_EQ(w, 5);
    EXPECT_EQ(h, 3);
    EXPECT_EQ(px[0], 9);
    EXPECT_EQ(px[3], 6);
    stbi_image_free(px);
}
