// The graphics layer with a real GL context under the X server (Mesa's
// llvmpipe): images load and draw, pixels and vertices are read back.
#include <gtest/gtest.h>

#include <GL/gl.h>
#include <SDL.h>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "capture.h"
#include "fake_clock.h"
#include "gl_window.h"
#include "image_fixtures.h"
#include "qel_driver-sdl2.h"
#include "qel_driver-tex_load.h"
#include "qel_driver.h"
#include "qel_gfx.h"
#include "tempdir.h"

static int _mag = GL_LINEAR;
int _QEL_GL_TEXTURE_MAG_FILTER() { return _mag; }

static const int W = 256, H = 256;

// A picture made for the tests: 3 x 3 cells of 10 pixels; cell (i, j) is (40 + 60 i, 40 + 60 j, 100, 255).
static std::vector<unsigned char> _cells() {
    std::vector<unsigned char> px = fixture_solid(30, 30, 0, 0, 100, 255);
    for (int y = 0; y < 30; y++)
        for (int x = 0; x < 30; x++) {
            unsigned char* p = &px[((size_t)y * 30 + x) * 4];
            p[0] = (unsigned char)(40 + 60 * (x / 10));
            p[1] = (unsigned char)(40 + 60 * (y / 10));
        }
    return px;
}
static int _cell(int i) { return ((40 + 60 * i) * 255) >> 8; }  // as premultiplied

class GfxGl : public ::testing::Test {
protected:
    WorkDir dir;
    void SetUp() override {
        _mag = GL_LINEAR;
        std::string why;
        ASSERT_TRUE(gl_window_gfx_open(W, H, &why)) << why;
    }
    void TearDown() override { gl_window_gfx_close(); }
    void image(const char* file, const char* format, int w, int h,
               const std::vector<unsigned char>& px) {
        ASSERT_TRUE(fixture_image(std::string("data/") + file, format, w, h, px));
    }
    int load(const char* name, std::string* err = nullptr) {
        int n;
        std::string e;
        capture_stdout([&] { e = capture_stderr([&] { n = gfx_img_load(name); }); });
        if (err) *err = e;
        return n;
    }
};

static void _expect_pixel(int x, int y, int r, int g, int b, int tol = 0) {
    GlPixel p = gl_pixel(x, y);
    EXPECT_NEAR(p.r, r, tol) << "at " << x << "," << y;
    EXPECT_NEAR(p.g, g, tol) << "at " << x << "," << y;
    EXPECT_NEAR(p.b, b, tol) << "at " << x << "," << y;
}

TEST_F(GfxGl, FormatsLoadByContentAndDraw) {
    std::vector<unsigned char> px = fixture_solid(8, 8, 200, 100, 50, 255);
    image("p.png", "png", 8, 8, px);
    image("t.tga", "tga", 8, 8, px);
    image("j.jpg", "jpg", 8, 8, px);
    image("q.tga", "tga", 8, 8, px);
    ASSERT_EQ(rename("data/q.tga", "data/q.qel"), 0);
    const char* names[] = {"p", "t", "j", "q"};
    for (int i = 0; i < 4; i++) {
        int img = load(names[i]);
        ASSERT_GT(img, 0) << names[i];
        EXPECT_EQ(gfx_img_get_width(img), 8);
        const GfxTexture* t = _gfx_get_tex(_gfx_get_img(img)->tid);
        EXPECT_NE(t->tex, 0);
        EXPECT_EQ(t->rect.w, 64);
        EXPECT_EQ(t->tex_memused, 64u * 64 * 16 / 3);
        gfx_img_blit(img, i * 40, 0, 32, 32);
    }
    // Opaque 200, 100, 50 premultiplied: 199, 99, 49; JPEG is lossy.
    for (int i = 0; i < 4; i++) _expect_pixel(i * 40 + 16, 16, 199, 99, 49, i == 2 ? 4 : 0);
    _expect_pixel(36, 16, 0, 0, 0);
}

TEST_F(GfxGl, PremultipliedHalfRedOverWhite) {
    image("red.png", "png", 4, 4, fixture_solid(4, 4, 255, 0, 0, 128));
    glClearColor(1, 1, 1, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    gfx_img_blit(load("red"), 0, 0, 32, 32);
    // Texel (127, 0, 0, 128) over white with ONE, ONE_MINUS_SRC_ALPHA.
    _expect_pixel(16, 16, 254, 127, 127, 1);
}

TEST_F(GfxGl, NearestAgainstLinearMagnification) {
    std::vector<unsigned char> checker = fixture_solid(2, 2, 255, 255, 255, 255);
    for (int i : {1, 2}) checker[i * 4] = checker[i * 4 + 1] = checker[i * 4 + 2] = 0;
    image("near.png", "png", 2, 2, checker);
    image("lin.png", "png", 2, 2, checker);
    _mag = GL_NEAREST;
    int near = load("near");
    _mag = GL_LINEAR;
    int lin = load("lin");

    GLint mag = 0, min = 0, mip = 0;
    glBindTexture(GL_TEXTURE_2D, gfx_img_get_tex(near));
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, &mag);
    EXPECT_EQ(mag, GL_NEAREST);
    glBindTexture(GL_TEXTURE_2D, gfx_img_get_tex(lin));
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, &mag);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &min);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_GENERATE_MIPMAP, &mip);
    EXPECT_EQ(mag, GL_LINEAR);
    EXPECT_GE(_driver_gl_version(), 0x10400);
    EXPECT_EQ(min, GL_LINEAR_MIPMAP_LINEAR);
    EXPECT_EQ(mip, GL_TRUE);

    gfx_img_blit(near, 0, 0, 64, 64);
    gfx_img_blit(lin, 100, 0, 64, 64);
    int between_near = 0, between_lin = 0;
    for (int x = 0; x < 64; x++) {
        int a = gl_pixel(x, 16).r, b = gl_pixel(100 + x, 16).r;
        between_near += a != 0 && a != 254;
        between_lin += b > 20 && b < 230;
    }
    EXPECT_EQ(between_near, 0);
    EXPECT_GT(between_lin, 8);
    _expect_pixel(31, 16, 254, 254, 254);
    _expect_pixel(32, 16, 0, 0, 0);
}

TEST_F(GfxGl, UploadPadsAndReportsItsSizes) {
    image("p.png", "png", 100, 30, fixture_solid(100, 30, 200, 100, 50, 128));
    std::string path = dir.file("data/p.png");
    int w = 0, h = 0, tw = 0, th = 0, tex = 0;
    std::string err = capture_stderr([&] { tex = driver_tex_load(path.c_str(), &w, &h, &tw, &th); });
    ASSERT_NE(tex, 0);
    EXPECT_EQ(err, "driver_tex_load " + path + "\nloaded " + path + " as " + std::to_string(tex) +
                       " (100,30)->(100,30):(128,64)\n");
    EXPECT_EQ(w, 100);
    EXPECT_EQ(h, 30);
    EXPECT_EQ(tw, 128);
    EXPECT_EQ(th, 64);

    // Left bound, holding the premultiplied picture top-left in a transparent
    // margin, with clamped edges.
    GLint bound = 0, wrap = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    EXPECT_EQ(bound, tex);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, &wrap);
    EXPECT_EQ(wrap, GL_CLAMP_TO_EDGE);
    std::vector<unsigned char> texels((size_t)128 * 64 * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
    auto at = [&](int x, int y) { return &texels[((size_t)y * 128 + x) * 4]; };
    const unsigned char inside[4] = {100, 50, 25, 128}, outside[4] = {0, 0, 0, 0};
    EXPECT_EQ(memcmp(at(0, 0), inside, 4), 0);
    EXPECT_EQ(memcmp(at(99, 29), inside, 4), 0);
    EXPECT_EQ(memcmp(at(100, 0), outside, 4), 0);
    EXPECT_EQ(memcmp(at(0, 30), outside, 4), 0);
    EXPECT_EQ(memcmp(at(127, 63), outside, 4), 0);
}

// Every level of the bound texture, level 0 first, as glGetTexImage reads
// them back.
static std::vector<std::vector<unsigned char>> _levels(int w, int h) {
    std::vector<std::vector<unsigned char>> out;
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    for (int level = 0;; level++) {
        out.emplace_back((size_t)w * h * 4);
        glGetTexImage(GL_TEXTURE_2D, level, GL_RGBA, GL_UNSIGNED_BYTE, out.back().data());
        if (w == 1 && h == 1) return out;
        w = std::max(1, w / 2);
        h = std::max(1, h / 2);
    }
}

// The levels that GL_GENERATE_MIPMAP makes from a w x h level 0.
static std::vector<std::vector<unsigned char>> _gl_levels(const std::vector<unsigned char>& level0, int w, int h) {
    GLuint tex = 0;
    glGenTextures(1, &tex);
    glBindTexture(GL_TEXTURE_2D, tex);
    glTexParameteri(GL_TEXTURE_2D, GL_GENERATE_MIPMAP, 1);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, w, h, 0, GL_RGBA, GL_UNSIGNED_BYTE, level0.data());
    glFinish();
    std::vector<std::vector<unsigned char>> out = _levels(w, h);
    glDeleteTextures(1, &tex);
    return out;
}

// "" when the two RGBA levels are equal, else the first texel that differs
// (GL's, then ours) and how many bytes do.
static std::string _differ(const std::vector<unsigned char>& gl, const unsigned char* ours) {
    size_t first = gl.size(), count = 0;
    for (size_t i = 0; i < gl.size(); i++)
        if (gl[i] != ours[i] && count++ == 0) first = i;
    if (!count) return "";
    size_t t = first / 4 * 4;
    char buf[160];
    snprintf(buf, sizeof buf, "texel %zu: GL %d,%d,%d,%d ours %d,%d,%d,%d; %zu bytes differ", t / 4, gl[t],
             gl[t + 1], gl[t + 2], gl[t + 3], ours[t], ours[t + 1], ours[t + 2], ours[t + 3], count);
    return buf;
}

static std::vector<unsigned char> _noise(int w, int h, unsigned* seed) {
    std::vector<unsigned char> px((size_t)w * h * 4);
    for (unsigned char& v : px) v = (unsigned char)((*seed = *seed * 1103515245u + 12345u) >> 16);
    return px;
}

// The loader makes the smaller mipmap levels of power-of-two textures
// itself, and they must be the texels GL makes. The first picture puts every
// pair of byte values side by side (red, alpha) and one above the other
// (green); blue mixes both. Noise follows at every shape of texture.
TEST_F(GfxGl, MipHalvingMakesTheLevelsGlGenerates) {
    std::vector<unsigned char> pairs((size_t)512 * 512 * 4);
    for (int y = 0; y < 512; y++)
        for (int x = 0; x < 512; x++) {
            unsigned char i = (unsigned char)(x / 2), j = (unsigned char)(y / 2);
            unsigned char* p = &pairs[((size_t)y * 512 + x) * 4];
            p[0] = x % 2 ? j : i;
            p[1] = y % 2 ? j : i;
            p[2] = (x + y) % 2 ? j : i;
            p[3] = x % 2 ? i : j;
        }
    struct Case {
        int w, h;
    } cases[] = {{512, 512}, {64, 64}, {128, 64}, {64, 512}, {4096, 64}, {2048, 128}, {1024, 1024}};
    unsigned seed = 7;
    for (const Case& c : cases) {
        std::vector<unsigned char> px = c.w == 512 && c.h == 512 ? pairs : _noise(c.w, c.h, &seed);
        std::vector<std::vector<unsigned char>> gl = _gl_levels(px, c.w, c.h);
        int w = c.w, h = c.h;
        for (size_t level = 1; level < gl.size(); level++) {
            _driver_tex_mip_halve(px.data(), w, h, &w, &h);
            ASSERT_EQ(gl[level].size(), (size_t)w * h * 4);
            EXPECT_EQ(_differ(gl[level], px.data()), "") << c.w << "x" << c.h << " level " << level;
        }
        EXPECT_EQ(w * h, 1);
    }
}

// Through the loader: a power-of-two texture gets its own levels, one wider
// than 4096 (whose halves are not exact) GL's; either way the levels are
// GL's, and the texture says GL_GENERATE_MIPMAP.
TEST_F(GfxGl, LoadedTexturesCarryGlsMipmaps) {
    unsigned seed = 3;
    for (int w : {100, 4097}) {
        std::string path = dir.file("data/m.png");
        ASSERT_TRUE(fixture_image(path, "png", w, 40, _noise(w, 40, &seed)));
        int iw, ih, tw, th;
        GLuint tex = 0;
        capture_stderr([&] { tex = (GLuint)driver_tex_load(path.c_str(), &iw, &ih, &tw, &th); });
        ASSERT_NE(tex, 0u) << w;
        EXPECT_EQ(_driver_tex_own_mipmaps(tw, th), w < 4096);
        GLint mip = 0;
        glGetTexParameteriv(GL_TEXTURE_2D, GL_GENERATE_MIPMAP, &mip);
        EXPECT_EQ(mip, GL_TRUE);
        std::vector<std::vector<unsigned char>> ours = _levels(tw, th), gl = _gl_levels(ours[0], tw, th);
        ASSERT_EQ(ours.size(), gl.size());
        for (size_t level = 1; level < ours.size(); level++)
            EXPECT_EQ(_differ(gl[level], ours[level].data()), "") << w << " level " << level;
        glDeleteTextures(1, &tex);
    }
}

// Runs in a process of its own: Mesa reads its version override once per
// process. Prints what a GL 1.3 context made of a texture upload.
static void _gl13_upload() {
    setenv("MESA_GL_VERSION_OVERRIDE", "1.3", 1);
    std::string why;
    if (!gl_window_open(W, H, &why)) {
        fprintf(stderr, "%s\n", why.c_str());
        _exit(1);
    }
    GLint min = 0, mip = 0;
    {
        TempDir dir;  // gone before _exit, which skips destructors
        std::string path = dir.file("p.png");
        fixture_image(path, "png", 8, 8, fixture_solid(8, 8, 1, 2, 3, 255));
        int w, h, tw, th;
        if (_driver_tex_load(path.c_str(), &w, &h, &tw, &th)) {
            glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &min);
            glGetTexParameteriv(GL_TEXTURE_2D, GL_GENERATE_MIPMAP, &mip);
        }
    }
    fprintf(stderr, "version %x min %x mipmap %d\n", _driver_gl_version(), min, mip);
    gl_window_close();
    _exit(0);
}

TEST(GfxGlOld, Gl13UploadsLinearWithoutMipmaps) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(_gl13_upload(), ::testing::ExitedWithCode(0), "version 10300 min 2601 mipmap 0\n");
}

TEST_F(GfxGl, NineSliceKeepsCornersAndStretchesTheRest) {
    image("cells.png", "png", 30, 30, _cells());
    _mag = GL_NEAREST;
    int img = load("cells");
    gfx_img_box(img, 10, 10, 120, 80, 20);
    // Columns 10..30, 30..110, 110..130; rows 10..30, 30..70, 70..90.
    const int xs[] = {20, 70, 120}, ys[] = {20, 50, 80};
    for (int j = 0; j < 3; j++)
        for (int i = 0; i < 3; i++) _expect_pixel(xs[i], ys[j], _cell(i), _cell(j), 99);
    _expect_pixel(29, 29, _cell(0), _cell(0), 99);
    _expect_pixel(30, 30, _cell(1), _cell(1), 99);
    _expect_pixel(130, 50, 0, 0, 0);

    // A box narrower than two corners: corners of half its width, no top,
    // centre or bottom piece.
    std::vector<GlTriangle> tris = gl_feedback([&] { gfx_img_box(img, 0, 0, 30, 100, 20); });
    ASSERT_EQ(tris.size(), 12u);
    std::vector<std::vector<float>> boxes;
    for (const GlTriangle& t : tris) {
        float x0 = 1e9, y0 = 1e9, x1 = -1e9, y1 = -1e9;
        for (const auto& v : t) {
            x0 = std::min(x0, v.x);
            x1 = std::max(x1, v.x);
            y0 = std::min(y0, H - v.y);
            y1 = std::max(y1, H - v.y);
        }
        std::vector<float> b = {std::round(x0), std::round(y0), std::round(x1 - x0),
                                std::round(y1 - y0)};
        if (std::find(boxes.begin(), boxes.end(), b) == boxes.end()) boxes.push_back(b);
    }
    std::vector<std::vector<float>> expected = {{0, 0, 15, 20},  {15, 0, 15, 20},
                                                {0, 20, 15, 60}, {15, 20, 15, 60},
                                                {0, 80, 15, 20}, {15, 80, 15, 20}};
    EXPECT_EQ(boxes, expected);
}

TEST_F(GfxGl, TilingRepeatsUnderAClipAndFillIsOpaque) {
    image("halves.png", "png", 32, 32, fixture_halves(32, 32));
    _mag = GL_NEAREST;
    int img = load("halves");
    gfx_img_tile(img, 0, 100, 50, 40, 32);
    EXPECT_EQ(_gfx->clip_n, 0);
    const struct {
        int x, y, r, b;
    } samples[] = {
        {8, 110, 254, 0}, {24, 110, 0, 254}, {40, 110, 254, 0}, {49, 110, 0, 254},
        {50, 110, 0, 0},  {8, 138, 254, 0},  {8, 139, 254, 0},  {8, 140, 0, 0},
    };
    for (const auto& s : samples) _expect_pixel(s.x, s.y, s.r, 0, s.b);

    glColor4ub(10, 10, 10, 255);
    gfx_fill(0x336699, 100, 100, 20, 20);
    _expect_pixel(110, 110, 0x33, 0x66, 0x99);
    GLfloat c[4];
    glGetFloatv(GL_CURRENT_COLOR, c);
    EXPECT_EQ(c[0] + c[1] + c[2] + c[3], 4.0f);
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_COORD_ARRAY));
    // A following image draw is untinted.
    gfx_img_blit(img, 150, 100, 32, 32);
    _expect_pixel(158, 110, 254, 0, 0);
}

TEST_F(GfxGl, NegativeWidthMirrors) {
    image("halves.png", "png", 32, 32, fixture_halves(32, 32));
    _mag = GL_NEAREST;
    gfx_img_blit(load("halves"), 100, 0, -64, 32);
    _expect_pixel(44, 16, 0, 0, 254);
    _expect_pixel(92, 16, 254, 0, 0);
    _expect_pixel(30, 16, 0, 0, 0);
    _expect_pixel(101, 16, 0, 0, 0);
}

TEST_F(GfxGl, TextureSurvivesTheFullscreenToggle) {
    image("p.png", "png", 8, 8, fixture_solid(8, 8, 0, 200, 0, 255));
    int img = load("p");
    GLuint tex = (GLuint)gfx_img_get_tex(img);
    for (int full : {1, 0}) {
        // The game's own toggle: the desktop size, or 80 % of it in a window.
        capture_stdout([&] { driver_video_init(0, 0, 640, 480, 320, 320, full); });
        ASSERT_NE(driver_sdl2_window(), nullptr);
        EXPECT_EQ((SDL_GetWindowFlags(driver_sdl2_window()) & SDL_WINDOW_FULLSCREEN) != 0, full == 1);
        EXPECT_TRUE(glIsTexture(tex));
        gl_window_view();
        glClear(GL_COLOR_BUFFER_BIT);
        gfx_img_blit(img, 10, 10, 20, 20);
        _expect_pixel(20, 20, 0, 199, 0);
    }
}

TEST_F(GfxGl, BadFilesGiveEmptyEntriesThatDrawNothing) {
    GLint max = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &max);
    ASSERT_GT(max, 0);
    image("wide.png", "png", max + 1, 1, fixture_solid(max + 1, 1, 9, 9, 9, 255));
    image("ok.png", "png", 8, 8, fixture_solid(8, 8, 9, 9, 9, 255));
    std::string png = read_file("data/ok.png");
    write_file("data/truncated.png", png.substr(0, png.size() / 2));
    std::string huge = png;
    const char big[8] = {0x40, 0, 0, 0, 0x40, 0, 0, 0};  // IHDR width and height
    huge.replace(16, 8, big, 8);
    write_file("data/huge.png", huge);
    write_file("data/noise.png", std::string(500, '\x9c'));
    write_file("data/empty.png", "");
    mkdir("data/folder.png", 0700);

    for (const char* name : {"wide", "truncated", "noise", "empty", "huge"}) {
        std::string err;
        int img = load(name, &err);
        ASSERT_GT(img, 0) << name;
        EXPECT_EQ(gfx_img_get_width(img), 0) << name;
        EXPECT_EQ(_gfx_get_tex(_gfx_get_img(img)->tid)->tex, 0) << name;
        size_t at = err.find("stbi_load failed ");
        EXPECT_NE(at, std::string::npos) << err;
        EXPECT_EQ(err.find("stbi_load failed ", at + 1), std::string::npos) << err;
        std::vector<GlTriangle> tris = gl_feedback([&] {
            gfx_img_blit(img, 0, 0, 0, 0);
            gfx_img_blit(img, 0, 0, 50, 50);
            gfx_img_blit2(img, 0, 0, 1, 1, 0, 0, 50, 50);
            gfx_img_box(img, 0, 0, 50, 50, 10);
            gfx_img_tile(img, 0, 0, 50, 50, 10);
            gfx_img_quad(img, 0, 50, 0, 50, 50, 0, 0, 0, 0, 50, 0, 0);
        });
        EXPECT_EQ(tris.size(), 0u) << name;
    }
    // A directory is not a file: not found at all.
    EXPECT_EQ(load("folder"), 0);
}

// A damaged header claiming a picture larger than GL can take is refused on
// its size alone: stb, asked to decode it, would take and fill a buffer of
// the claimed size from a file of a few bytes.
TEST_F(GfxGl, AHeaderClaimingAHugePictureIsRefusedBeforeItIsDecoded) {
    GLint max = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &max);
    ASSERT_GT(max, 0);
    int side = max + 1;
    // An uncompressed 32-bit TGA header and no pixels.
    std::string tga(18, '\0');
    tga[2] = 2;
    tga[12] = (char)(side & 255);
    tga[13] = (char)(side >> 8);
    tga[14] = tga[12];
    tga[15] = tga[13];
    tga[16] = 32;
    write_file("data/claim.tga", tga);
    struct rusage before, after;
    getrusage(RUSAGE_SELF, &before);
    std::string err;
    int img = load("claim", &err);
    getrusage(RUSAGE_SELF, &after);
    ASSERT_GT(img, 0);
    EXPECT_EQ(gfx_img_get_width(img), 0);
    EXPECT_NE(err.find("stbi_load failed ./data/claim.tga - larger than GL_MAX_TEXTURE_SIZE\n"), std::string::npos)
        << err;
    // The claimed picture is (max + 1)^2 texels of 4 bytes; a peak that grew by
    // even a tenth of that means it was decoded.
    long claimed_kib = (long)side * side * 4 / 1024;
    EXPECT_LT(after.ru_maxrss - before.ru_maxrss, claimed_kib / 10);
}

TEST_F(GfxGl, NothingDrawsWithoutATextureAndFreedOnesComeBack) {
    std::vector<GlTriangle> tris = gl_feedback([] {
        gfx_img_blit(0, 0, 0, 50, 50);
        gfx_img_blit2(0, 0, 0, 1, 1, 0, 0, 50, 50);
        gfx_img_quad(0, 0, 50, 0, 50, 50, 0, 0, 0, 0, 50, 0, 0);
        gfx_tex_blit(0, 0, 0, 50, 50);
        gfx_tex_blit2(0, 0, 0, 1, 1, 0, 0, 50, 50);
        gfx_tex_quad(0, 0, 50, 0, 50, 50, 0, 0, 0, 0, 50, 0, 0);
        gfx_tex_box(0, 0, 0, 90, 90, 30);
        gfx_tex_box_slow(0, 0, 0, 90, 90, 30);
    });
    EXPECT_EQ(tris.size(), 0u);

    // A frame of zero untrimmed size on a real texture: no NaN vertices.
    image("f.png", "png", 8, 8, fixture_solid(8, 8, 1, 1, 1, 255));
    int frame = gfx_img_add("frame", _gfx_get_img(load("f"))->tid, GfxRect(0, 0, 4, 4), GfxRect());
    tris = gl_feedback([&] {
        gfx_img_blit(frame, 0, 0, 0, 0);
        gfx_img_blit(frame, 0, 0, 10, 10);
        gfx_img_box(frame, 0, 0, 30, 30, 10);
    });
    EXPECT_EQ(tris.size(), 0u);

    // The budget freed the texture: drawing by handle loads it back rather
    // than drawing GL name 0 as a solid box.
    image("p.png", "png", 8, 8, fixture_solid(8, 8, 0, 0, 200, 255));
    int img = load("p");
    int tid = _gfx_get_img(img)->tid;
    _gfx_tex_gl_free(tid);
    ASSERT_EQ(_gfx_get_tex(tid)->tex, 0);
    capture_stderr([&] { gfx_img_blit(img, 0, 0, 32, 32); });
    _expect_pixel(16, 16, 0, 0, 199);
    EXPECT_EQ(_gfx_get_tex(tid)->loaded, 1);
    EXPECT_NE(_gfx_get_tex(tid)->tex, 0);

    // Freed again, and the file grew meanwhile: the blit that brings it back
    // draws the new picture at its new size, not the old frame.
    _gfx_tex_gl_free(tid);
    image("p.png", "png", 16, 16, fixture_solid(16, 16, 0, 200, 0, 255));
    glClear(GL_COLOR_BUFFER_BIT);
    capture_stderr([&] { gfx_img_blit(img, 0, 0, 0, 0); });
    _expect_pixel(2, 2, 0, 199, 0);
    _expect_pixel(14, 14, 0, 199, 0);
    _expect_pixel(17, 17, 0, 0, 0);
}

static void _expect_vertex(const GlFeedbackVertex& v, float x, float y, float s, float t) {
    EXPECT_NEAR(v.x, x, 1e-3);
    EXPECT_NEAR(H - v.y, y, 1e-3);
    EXPECT_NEAR(v.s, s, 1e-5);
    EXPECT_NEAR(v.t, t, 1e-5);
}

TEST_F(GfxGl, StripVertexOrders) {
    image("p.png", "png", 8, 8, fixture_solid(8, 8, 1, 1, 1, 255));
    int img = load("p");
    int gl = gfx_img_get_tex(img);
    const float e = 8 / 64.f;  // the image's corner in texture coordinates

    // Blit: top-left, bottom-left, top-right, bottom-right.
    auto tris = gl_feedback([&] { gfx_img_blit(img, 10, 20, 30, 40); });
    ASSERT_EQ(tris.size(), 2u);
    _expect_vertex(tris[0][0], 10, 20, 0, 0);
    _expect_vertex(tris[0][1], 10, 60, 0, e);
    _expect_vertex(tris[0][2], 40, 20, e, 0);

    // Fill: top-left, top-right, bottom-left, bottom-right.
    tris = gl_feedback([&] { gfx_fill(0xffffff, 10, 20, 30, 40); });
    ASSERT_EQ(tris.size(), 2u);
    EXPECT_NEAR(tris[0][0].x, 10, 1e-3);
    EXPECT_NEAR(H - tris[0][0].y, 20, 1e-3);
    EXPECT_NEAR(tris[0][1].x, 40, 1e-3);
    EXPECT_NEAR(H - tris[0][1].y, 20, 1e-3);
    EXPECT_NEAR(tris[0][2].x, 10, 1e-3);
    EXPECT_NEAR(H - tris[0][2].y, 60, 1e-3);

    // Free quads: corners given bottom-left, bottom-right, top-left,
    // top-right; the texture form sends them in that order, the image form
    // bottom-left, top-left, bottom-right, top-right.
    tris = gl_feedback([&] { gfx_tex_quad(gl, 0, 100, 0, 100, 100, 0, 0, 0, 0, 100, 0, 0); });
    ASSERT_EQ(tris.size(), 2u);
    _expect_vertex(tris[0][0], 0, 100, 0, 1);
    _expect_vertex(tris[0][1], 100, 100, 1, 1);
    _expect_vertex(tris[0][2], 0, 0, 0, 0);
    tris = gl_feedback([&] { gfx_img_quad(img, 0, 100, 0, 100, 100, 0, 0, 0, 0, 100, 0, 0); });
    ASSERT_EQ(tris.size(), 2u);
    _expect_vertex(tris[0][0], 0, 100, 0, e);
    _expect_vertex(tris[0][1], 0, 0, 0, 0);
    _expect_vertex(tris[0][2], 100, 100, e, e);

    // Clipped: the texture coordinates shrink with the quad.
    tris = gl_feedback([&] {
        gfx_clip(0, 0, 16, 16);
        gfx_img_blit(img, 0, 0, 32, 32);
        gfx_unclip();
    });
    ASSERT_EQ(tris.size(), 2u);
    _expect_vertex(tris[0][2], 16, 0, e / 2, 0);
    _expect_vertex(tris[0][1], 0, 16, 0, e / 2);
}

// A drawn quad as read back: destination (top-left origin) and texture
// rectangle, each the bounding box of the two triangles of one strip.
struct GlQuad {
    float x, y, w, h, s, t, sw, th;
};

static std::vector<GlQuad> _quads(const std::vector<GlTriangle>& tris) {
    std::vector<GlQuad> out;
    for (size_t i = 0; i + 1 < tris.size(); i += 2) {
        float x0 = 1e9, y0 = 1e9, x1 = -1e9, y1 = -1e9, s0 = 1e9, t0 = 1e9, s1 = -1e9, t1 = -1e9;
        for (size_t k = i; k < i + 2; k++)
            for (const GlFeedbackVertex& v : tris[k]) {
                x0 = std::min(x0, v.x);
                x1 = std::max(x1, v.x);
                y0 = std::min(y0, H - v.y);
                y1 = std::max(y1, H - v.y);
                s0 = std::min(s0, v.s);
                s1 = std::max(s1, v.s);
                t0 = std::min(t0, v.t);
                t1 = std::max(t1, v.t);
            }
        out.push_back(GlQuad{x0, y0, x1 - x0, y1 - y0, s0, t0, s1 - s0, t1 - t0});
    }
    return out;
}

TEST_F(GfxGl, PrimitivesPlaceTheirQuads) {
    image("p.png", "png", 8, 8, fixture_solid(8, 8, 1, 1, 1, 255));
    int img = load("p");
    int gl = gfx_img_get_tex(img);
    const float r = 1 / 3.f, r2 = 2 / 3.f, c = 1 / 30.f, x = 1 / 64.f;
    // A trimmed frame: texels (2, 1, 4, 6) of the 64 x 64 texture, placed at
    // (3, 2) inside an untrimmed 10 x 12 picture.
    int trim = gfx_img_add("trim", _gfx_get_img(img)->tid, GfxRect(2, 1, 4, 6), GfxRect(3, 2, 10, 12));

    struct {
        const char* what;
        std::function<void()> draw;
        std::vector<GlQuad> quads;
    } cases[] = {
        {"tex_blit: the whole texture", [&] { gfx_tex_blit(gl, 10, 20, 30, 40); },
         {{10, 20, 30, 40, 0, 0, 1, 1}}},
        {"tex_blit2: texture coordinates as given",
         [&] { gfx_tex_blit2(gl, 0.25f, 0.5f, 0.25f, 0.5f, 10, 20, 30, 40); },
         {{10, 20, 30, 40, 0.25f, 0.5f, 0.25f, 0.5f}}},
        {"tex_box: corners of exactly sz, edges and centre stretched",
         [&] { gfx_tex_box(gl, 10, 10, 100, 60, 20); },
         {{10, 10, 20, 20, 0, 0, r, r},
          {30, 10, 60, 20, r, 0, r, r},
          {90, 10, 20, 20, r2, 0, r, r},
          {10, 30, 20, 20, 0, r, r, r},
          {30, 30, 60, 20, r, r, r, r},
          {90, 30, 20, 20, r2, r, r, r},
          {10, 50, 20, 20, 0, r2, r, r},
          {30, 50, 60, 20, r, r2, r, r},
          {90, 50, 20, 20, r2, r2, r, r}}},
        // Rows: first cell at 100; middle cell cropped to 5 at 110; last cell
        // flush at 115. Columns: first, middle, middle cropped to 5, last
        // flush at 25.
        {"tex_box_slow: tiled, cropped before the last cell",
         [&] { gfx_tex_box_slow(gl, 0, 100, 35, 25, 10); },
         {{0, 100, 10, 10, 0, 0, 10 * c, 10 * c},
          {10, 100, 10, 10, 10 * c, 0, 10 * c, 10 * c},
          {20, 100, 5, 10, 10 * c, 0, 5 * c, 10 * c},
          {25, 100, 10, 10, 20 * c, 0, 10 * c, 10 * c},
          {0, 110, 10, 5, 0, 10 * c, 10 * c, 5 * c},
          {10, 110, 10, 5, 10 * c, 10 * c, 10 * c, 5 * c},
          {20, 110, 5, 5, 10 * c, 10 * c, 5 * c, 5 * c},
          {25, 110, 10, 5, 20 * c, 10 * c, 10 * c, 5 * c},
          {0, 115, 10, 10, 0, 20 * c, 10 * c, 10 * c},
          {10, 115, 10, 10, 10 * c, 20 * c, 10 * c, 10 * c},
          {20, 115, 5, 10, 10 * c, 20 * c, 5 * c, 10 * c},
          {25, 115, 10, 10, 20 * c, 20 * c, 10 * c, 10 * c}}},
        // One row that is first and last: the middle cell; two columns, the
        // first cropped to end where the last begins.
        {"tex_box_slow: a single row takes the middle cell",
         [&] { gfx_tex_box_slow(gl, 100, 100, 20, 10, 10); },
         {{100, 100, 10, 10, 0, 10 * c, 10 * c, 10 * c},
          {110, 100, 10, 10, 20 * c, 10 * c, 10 * c, 10 * c}}},
        {"img_blit of a trimmed frame at its untrimmed size", [&] { gfx_img_blit(trim, 50, 60, 0, 0); },
         {{53, 62, 4, 6, 2 * x, 1 * x, 4 * x, 6 * x}}},
        {"img_blit of a trimmed frame scaled by two", [&] { gfx_img_blit(trim, 50, 60, 20, 24); },
         {{56, 64, 8, 12, 2 * x, 1 * x, 4 * x, 6 * x}}},
        {"img_blit2: the right half of the frame over the whole destination",
         [&] { gfx_img_blit2(trim, 0.5f, 0, 0.5f, 1, 50, 60, 20, 24); },
         {{56, 64, 8, 12, 4 * x, 1 * x, 2 * x, 6 * x}}},
        {"img_blit2: a size of 0 draws nothing",
         [&] {
             gfx_img_blit2(img, 0, 0, 1, 1, 50, 60, 0, 24);
             gfx_img_blit2(img, 0, 0, 1, 1, 50, 60, 20, 0);
         },
         {}},
    };
    for (const auto& k : cases) {
        std::vector<GlQuad> got = _quads(gl_feedback(k.draw));
        ASSERT_EQ(got.size(), k.quads.size()) << k.what;
        for (size_t i = 0; i < got.size(); i++) {
            const GlQuad &g = got[i], &e = k.quads[i];
            EXPECT_NEAR(g.x, e.x, 1e-3) << k.what << ", quad " << i;
            EXPECT_NEAR(g.y, e.y, 1e-3) << k.what << ", quad " << i;
            EXPECT_NEAR(g.w, e.w, 1e-3) << k.what << ", quad " << i;
            EXPECT_NEAR(g.h, e.h, 1e-3) << k.what << ", quad " << i;
            EXPECT_NEAR(g.s, e.s, 1e-5) << k.what << ", quad " << i;
            EXPECT_NEAR(g.t, e.t, 1e-5) << k.what << ", quad " << i;
            EXPECT_NEAR(g.sw, e.sw, 1e-5) << k.what << ", quad " << i;
            EXPECT_NEAR(g.th, e.th, 1e-5) << k.what << ", quad " << i;
        }
    }
}

TEST_F(GfxGl, ProjectionAgreesWithTheCpuTransform) {
    image("p.png", "png", 8, 8, fixture_solid(8, 8, 1, 1, 1, 255));
    int img = load("p");
    gfx_set_size(128, 96);
    gfx_set_scale(1.5f);
    gfx_set_shift(-10, -5);
    for (float orient : {0.0f, 90.0f, 30.0f}) {
        gfx_set_orient(orient);
        gfx_ortho();
        auto tris = gl_feedback([&] { gfx_img_blit(img, 20, 30, 10, 10); });
        ASSERT_EQ(tris.size(), 2u);
        GfxRect p = gfx_pos_to_hwpos(GfxRect(20, 30, 0, 0));
        EXPECT_NEAR(tris[0][0].x, p.x, 1e-2) << orient;
        EXPECT_NEAR(H - tris[0][0].y, p.y, 1e-2) << orient;
        GfxRect q = gfx_hwpos_to_pos(GfxRect(tris[0][1].x, H - tris[0][1].y, 0, 0));
        EXPECT_NEAR(q.x, 20, 1e-2) << orient;
        EXPECT_NEAR(q.y, 40, 1e-2) << orient;
    }
}

// Two frames of one atlas picture drawn by name, one of them trimmed; then
// the atlas file is rewritten and the watcher moves a frame in place.
TEST_F(GfxGl, AtlasFramesDrawByNameAndMoveWhenTheFileChanges) {
    image("cells.png", "png", 30, 30, _cells());
    auto frames = [](int ax, int ay) {
        char buf[512];
        snprintf(buf, sizeof buf,
                 "{\"frames\":{"
                 "\"a.png\":{\"frame\":{\"x\":%d,\"y\":%d,\"w\":10,\"h\":10},"
                 "\"spriteSourceSize\":{\"x\":0,\"y\":0,\"w\":10,\"h\":10},\"sourceSize\":{\"w\":10,\"h\":10}},"
                 "\"b.png\":{\"frame\":{\"x\":20,\"y\":10,\"w\":10,\"h\":10},"
                 "\"spriteSourceSize\":{\"x\":3,\"y\":4,\"w\":10,\"h\":10},\"sourceSize\":{\"w\":16,\"h\":18}}}}",
                 ax, ay);
        return std::string(buf);
    };
    write_file("data/cells.json", frames(0, 0));
    set_mtime("data/cells.json", time(nullptr) - 10);
    _mag = GL_NEAREST;
    capture_stdout([] { capture_stderr([] { gfx_atlas_load("cells"); }); });
    int a = load("a"), b = load("b");
    ASSERT_GT(a, 0);
    ASSERT_GT(b, 0);
    gfx_img_blit(a, 10, 10, 0, 0);
    gfx_img_blit(b, 100, 10, 0, 0);  // 16 x 18, the frame 3 right and 4 down in it
    _expect_pixel(11, 11, _cell(0), _cell(0), 99);
    _expect_pixel(18, 18, _cell(0), _cell(0), 99);
    _expect_pixel(21, 15, 0, 0, 0);
    _expect_pixel(104, 15, _cell(2), _cell(1), 99);
    _expect_pixel(112, 23, _cell(2), _cell(1), 99);
    _expect_pixel(102, 15, 0, 0, 0);  // the trimmed margin
    _expect_pixel(104, 13, 0, 0, 0);
    _expect_pixel(113, 15, 0, 0, 0);

    // Rewritten, newer than at the load and quiet for three seconds: the
    // watcher's next pass, in a later second of its clock (the test's own
    // here), reads it.
    fake_clock_install(time(nullptr) + 1);
    write_file("data/cells.json", frames(10, 20));
    set_mtime("data/cells.json", fake_now - 3);
    capture_stderr([] { gfx_reload_auto(); });
    fake_clock_remove();
    EXPECT_EQ(_gfx_get_img(a)->rect.x, 10);
    EXPECT_EQ(load("a"), a);
    gfx_clear();
    gfx_img_blit(a, 10, 10, 0, 0);
    _expect_pixel(11, 11, _cell(1), _cell(2), 99);
    _expect_pixel(18, 18, _cell(1), _cell(2), 99);
}
