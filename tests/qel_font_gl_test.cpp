// Bitmap text on a real GL context under the X server (Mesa's llvmpipe):
// glyphs read back where the layout puts them, vertices and texture
// coordinates through GL feedback, and the engine's own console font.
#include <gtest/gtest.h>

#include <GL/gl.h>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include <stb_image_write.h>

#include "capture.h"
#include "gl_window.h"
#include "image_fixtures.h"
#include "qel_driver.h"
#include "qel_font.h"
#include "qel_gfx.h"
#include "tempdir.h"

static const int W = 640, H = 240;

// The colours of the four glyph cells of the test atlas (read back within 1:
// premultiplying takes 255 to 254).
static const int _cell_rgb[4][3] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 0}};

// 64 x 64: glyphs a, b, c, d are the 16 x 16 cells of the top row, each one
// colour; the rest is transparent.
static std::vector<unsigned char> _cells_picture() {
    std::vector<unsigned char> px = fixture_solid(64, 64, 0, 0, 0, 0);
    for (int y = 0; y < 16; y++)
        for (int x = 0; x < 64; x++) {
            unsigned char* p = &px[((size_t)y * 64 + x) * 4];
            const int* c = _cell_rgb[x / 16];
            p[0] = (unsigned char)c[0];
            p[1] = (unsigned char)c[1];
            p[2] = (unsigned char)c[2];
            p[3] = 255;
        }
    return px;
}

// Glyph k of "abcd" is cell k; d sits 1 right and 2 down of its pen position.
static std::string _cells_fnt(int base = 16, int scale_w = 64) {
    std::string s = "common lineHeight=16 base=" + std::to_string(base) +
                    " scaleW=" + std::to_string(scale_w) + " scaleH=64 pages=1\n";
    for (int k = 0; k < 4; k++)
        s += "char id=" + std::to_string('a' + k) + " x=" + std::to_string(16 * k) +
             " y=0 width=16 height=16 xoffset=" + (k == 3 ? "1" : "0") + " yoffset=" + (k == 3 ? "2" : "0") +
             " xadvance=16\n";
    return s;
}

class FontGl : public ::testing::Test {
protected:
    WorkDir dir;
    void SetUp() override {
        std::string why;
        ASSERT_TRUE(gl_window_gfx_open(W, H, &why)) << why;
        font_init();
        ASSERT_TRUE(fixture_image("data/cells.png", "png", 64, 64, _cells_picture()));
        write_file("data/cells.fnt", _cells_fnt());
    }
    void TearDown() override {
        font_deinit();
        gl_window_gfx_close();
    }
    static void clear(int r, int g, int b) {
        glClearColor(r / 255.0f, g / 255.0f, b / 255.0f, 1);
        glClear(GL_COLOR_BUFFER_BIT);
    }
    int load(const char* name, int size) {
        int n = 0;
        capture_stdout([&] { capture_stderr([&] { n = font_load(name, size); }); });
        return n;
    }
    // Triangles of one font_draw as window coordinates, y down from the top.
    std::vector<GlTriangle> triangles(int fid, const char* s, float x, float y, float w = 0, int align = -1) {
        std::vector<GlTriangle> tris = gl_feedback([&] { font_draw(fid, s, x, y, w, align); });
        for (GlTriangle& t : tris)
            for (GlFeedbackVertex& v : t) v.y = H - v.y;
        return tris;
    }
};

static void _expect_rgb(int x, int y, const int* rgb) {
    GlPixel p = gl_pixel(x, y);
    EXPECT_NEAR(p.r, rgb[0], 1) << "at " << x << "," << y;
    EXPECT_NEAR(p.g, rgb[1], 1) << "at " << x << "," << y;
    EXPECT_NEAR(p.b, rgb[2], 1) << "at " << x << "," << y;
}
static const int _black[3] = {0, 0, 0};

TEST_F(FontGl, GlyphsLandWhereTheLayoutPutsThem) {
    int f = load("cells", 0);
    ASSERT_GT(f, 0);
    font_draw(f, "abcd\ndcba", 10, 20, 0, -1);
    for (int k = 0; k < 4; k++) {
        int gx = 10 + 16 * k + (k == 3 ? 1 : 0), gy = 20 + (k == 3 ? 2 : 0);
        _expect_rgb(gx + 8, gy + 8, _cell_rgb[k]);
        _expect_rgb(gx + 1, gy + 1, _cell_rgb[k]);
        _expect_rgb(gx + 14, gy + 12, _cell_rgb[k]);  // d reaches into the next line
        // The second line, reversed, one line height lower.
        int rx = 10 + 16 * (3 - k) + (k == 3 ? 1 : 0);
        _expect_rgb(rx + 8, gy + 16 + 8, _cell_rgb[k]);
    }
    _expect_rgb(8, 28, _black);
    _expect_rgb(10 + 64 + 4, 28, _black);
    _expect_rgb(40, 20 + 32 + 6, _black);

    // Right and centre alignment in a width of 100: a 32-wide line starts
    // 68 and 34 further right.
    clear(0, 0, 0);
    font_draw(f, "ab", 10, 100, 100, 1);
    font_draw(f, "ab", 10, 140, 100, 0);
    _expect_rgb(78 + 8, 108, _cell_rgb[0]);
    _expect_rgb(78 + 24, 108, _cell_rgb[1]);
    _expect_rgb(70, 108, _black);
    _expect_rgb(44 + 8, 148, _cell_rgb[0]);
    _expect_rgb(44 + 24, 148, _cell_rgb[1]);
    _expect_rgb(40, 148, _black);

    // The draw colour tints the glyphs.
    clear(0, 0, 0);
    glColor4ub(128, 128, 128, 255);
    font_draw(f, "a", 10, 20, 0, -1);
    glColor4ub(255, 255, 255, 255);
    GlPixel p = gl_pixel(18, 28);
    EXPECT_NEAR(p.r, 128, 1);
    EXPECT_EQ(p.g, 0);
}

TEST_F(FontGl, ClipCutsGlyphsAndSkipsLines) {
    int f = load("cells", 0);
    gfx_clip(0, 0, 30, H);
    font_draw(f, "abcd", 10, 20, 0, -1);
    gfx_unclip();
    _expect_rgb(18, 28, _cell_rgb[0]);
    _expect_rgb(28, 28, _cell_rgb[1]);
    _expect_rgb(31, 28, _black);

    // Only the middle line meets the clip; the others send no vertices.
    gfx_clip(0, 36, W, 16);
    std::vector<GlTriangle> tris = triangles(f, "ab\ncd\nab", 10, 20);
    gfx_unclip();
    ASSERT_EQ(tris.size(), 4u);
    for (const GlTriangle& t : tris)
        for (const GlFeedbackVertex& v : t) {
            EXPECT_GE(v.y, 36);
            EXPECT_LE(v.y, 52);
        }
}

TEST_F(FontGl, TwoTrianglesPerGlyphWithMatchingTextureCorners) {
    write_file("data/shift.fnt", _cells_fnt(1));
    int f = load("cells", 32), g = load("shift", 0);
    ASSERT_GT(f, 0);
    ASSERT_GT(g, 0);
    EXPECT_EQ(_font->data[f].tex, _font->data[load("cells", 0)].tex);

    // At size 32 the font is twice as large: glyph d is 32 wide, 2 right and
    // 4 down of its pen position, which is 3 advances of 32 along.
    std::vector<GlTriangle> tris = triangles(f, "abcd", 10, 20);
    ASSERT_EQ(tris.size(), 8u);
    float x = 10 + 96 + 2, y = 20 + 4, s = 0.75f;
    struct {
        float x, y, s, t;
    } want[6] = {{x, y, s, 0},      {x + 32, y, 1, 0},      {x, y + 32, s, 0.25f},
                 {x, y + 32, s, 0.25f}, {x + 32, y, 1, 0}, {x + 32, y + 32, 1, 0.25f}};
    for (int i = 0; i < 6; i++) {
        const GlFeedbackVertex& v = tris[6 + i / 3][i % 3];
        EXPECT_NEAR(v.x, want[i].x, 1e-3) << i;
        EXPECT_NEAR(v.y, want[i].y, 1e-3) << i;
        EXPECT_NEAR(v.s, want[i].s, 1e-6) << i;
        EXPECT_NEAR(v.t, want[i].t, 1e-6) << i;
    }

    // The baseline shift: (line height - base) * 0.333 * scale.
    tris = triangles(g, "a", 10, 20);
    ASSERT_EQ(tris.size(), 2u);
    EXPECT_NEAR(tris[0][0].y, 20 + 15 * 0.333, 1e-3);
}

TEST_F(FontGl, LongLineDrawsEveryGlyph) {
    // 600 glyphs a quarter pixel apart: more than two batches of 256.
    write_file("data/tiny.fnt",
                  "common lineHeight=2 base=2 scaleW=64 scaleH=64\n"
                  "char id=97 x=0 y=0 width=1 height=1 xadvance=0.25\n");
    int f = load("tiny", 0);
    std::string s(600, 'a');
    std::vector<GlTriangle> tris = triangles(f, s.c_str(), 10, 20);
    ASSERT_EQ(tris.size(), 1200u);
    EXPECT_NEAR(tris.back()[2].x, 10 + 599 * 0.25 + 1, 1e-3);
}

// A picture whose sides are not powers of two is uploaded padded to 256 x 256,
// picture in the top-left corner: every glyph must still show its own texels.
// 16 glyphs A to P tile the 227 x 237 picture, the last column and row
// reaching its right and bottom edges; each texel is opaque with red its x,
// green its y and blue its glyph, so a glyph read back shows which texels
// were drawn.
TEST_F(FontGl, PaddedPictureDrawsEachGlyphFromItsOwnTexels) {
    const int PW = 227, PH = 237;
    const int xs[5] = {0, 57, 114, 171, PW}, ys[5] = {0, 60, 120, 180, PH};
    std::vector<unsigned char> px((size_t)PW * PH * 4);
    std::string fnt = "common lineHeight=60 base=60 scaleW=227 scaleH=237 pages=1\n";
    for (int g = 0; g < 16; g++) {
        int x0 = xs[g % 4], y0 = ys[g / 4], w = xs[g % 4 + 1] - x0, h = ys[g / 4 + 1] - y0;
        for (int y = y0; y < y0 + h; y++)
            for (int x = x0; x < x0 + w; x++) {
                unsigned char* p = &px[((size_t)y * PW + x) * 4];
                p[0] = (unsigned char)x;
                p[1] = (unsigned char)y;
                p[2] = (unsigned char)(16 * g + 8);
                p[3] = 255;
            }
        fnt += "char id=" + std::to_string('A' + g) + " x=" + std::to_string(x0) + " y=" + std::to_string(y0) +
               " width=" + std::to_string(w) + " height=" + std::to_string(h) +
               " xoffset=0 yoffset=0 xadvance=" + std::to_string(w) + "\n";
    }
    ASSERT_TRUE(fixture_image("data/odd.png", "png", PW, PH, px));
    write_file("data/odd.fnt", fnt);
    int f = load("odd", 0);
    ASSERT_GT(f, 0);
    const GfxTexture* t = _gfx_get_tex(_font->data[f].tex);
    ASSERT_EQ(t->rect.w, 256);
    ASSERT_EQ(t->rect.h, 256);

    const int X = 20, Y = 10;
    std::vector<unsigned char> shot((size_t)64 * 64 * 4);
    for (int g = 0; g < 16; g++) {
        int x0 = xs[g % 4], y0 = ys[g / 4], w = xs[g % 4 + 1] - x0, h = ys[g / 4 + 1] - y0;
        clear(0, 0, 0);
        char text[2] = {(char)('A' + g), 0};
        font_draw(f, text, X, Y, 0, -1);
        gfx_flush();
        glReadBuffer(GL_BACK);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(X, H - Y - h, w, h, GL_RGBA, GL_UNSIGNED_BYTE, shot.data());
        int wrong = 0;
        for (int y = 0; y < h; y++)
            for (int x = 0; x < w; x++) {
                const unsigned char* got = &shot[((size_t)(h - 1 - y) * w + x) * 4];
                const unsigned char* want = &px[((size_t)(y0 + y) * PW + x0 + x) * 4];
                // Opaque texels are uploaded premultiplied: c * 255 >> 8.
                for (int c = 0; c < 3; c++)
                    if (std::abs(got[c] - ((want[c] * 255) >> 8)) > 1) wrong++;
            }
        EXPECT_EQ(wrong, 0) << "glyph " << text;
        // Nothing of a neighbour right of or below the glyph.
        _expect_rgb(X + w, Y + h / 2, _black);
        _expect_rgb(X + w / 2, Y + h, _black);
    }
}

TEST_F(FontGl, NothingToDrawSendsNoVertices) {
    write_file("data/nowidth.fnt", _cells_fnt(16, 0));
    int f = load("nowidth", 0);
    ASSERT_GT(f, 0);
    EXPECT_EQ(triangles(f, "abcd", 10, 20).size(), 0u);
    EXPECT_EQ(font_get_width(f, "abcd"), 65);  // still measures
    EXPECT_EQ(triangles(0, "abcd", 10, 20).size(), 0u);
    int c = load("cells", 0);
    EXPECT_EQ(triangles(c, "  xyz\x01\xff", 10, 20).size(), 0u);  // no glyphs
}

// Ink: pixels much brighter than the dark background.
static bool _ink(const unsigned char* px, int x, int y) { return px[((size_t)(H - 1 - y) * W + x) * 4] > 128; }

TEST_F(FontGl, ConsoleFontIsLegibleAt24Points) {
    driver_set_altdir(QEL_SOURCE_DIR "/data");
    int f = load("console", 24);
    ASSERT_GT(f, 0);
    const FontInfo& fi = _font->data[f];
    EXPECT_FLOAT_EQ(fi.scale, 1);
    ASSERT_GT(fi.tex, 0);
    // The picture is uploaded at exactly the size the font file declares.
    const GfxTexture* t = _gfx_get_tex(fi.tex);
    EXPECT_EQ(t->rect.w, fi.rect.w);
    EXPECT_EQ(t->rect.h, fi.rect.h);
    for (int c = 32; c < 127; c++) EXPECT_EQ(fi.shapes[c].w, 12) << c;
    EXPECT_EQ(font_get_height(f, "Console", 0), 24);
    EXPECT_EQ(font_get_width(f, "Console"), 85);
    // The console's veil: an opaque picture that fills its texture.
    int black = 0;
    capture_stdout([&] { capture_stderr([&] { black = gfx_img_load("black"); }); });
    ASSERT_GT(black, 0);
    EXPECT_EQ(gfx_img_get_width(black), 64);
    EXPECT_EQ(_gfx_get_tex(_gfx_get_img(black)->tid)->rect.w, 64);

    // The console's look: light text over the darkened screen.
    clear(16, 16, 24);
    const int X = 16, Y = 16;
    font_draw(f, "Console", X, Y, 0, -1);
    font_draw(f, "The quick brown fox jumps over the lazy dog.", X, Y + 32, 0, -1);
    font_draw(f, "0123456789 ~!@#$%^&*()_+-={}[]|\\:;\"'<>,.?/`", X, Y + 64, 0, -1);
    glColor4ub(255, 208, 112, 255);
    font_draw(f, ">> Console(3): F1 = toggle; F2 = clear; F5 = restart; Mods auto-reload.", X, Y + 100, 0, -1);
    glColor4ub(255, 255, 255, 255);
    int small = load("console", 12), tiny = load("console", 8);
    font_draw(small, "console at 12 points: borlix2 demo", X, Y + 140, 0, -1);
    font_draw(tiny, "console at 8 points: click to add a ball - Ctrl+F fullscreen - Ctrl+Q quit", X, Y + 160, 0, -1);

    std::vector<unsigned char> px = gl_pixels();
    std::vector<unsigned char> rows(px.size());
    for (int y = 0; y < H; y++)
        memcpy(&rows[(size_t)y * W * 4], &px[(size_t)(H - 1 - y) * W * 4], (size_t)W * 4);
    const char* shot = QEL_BINARY_DIR "/font_console.png";
    EXPECT_TRUE(stbi_write_png(shot, W, H, 4, rows.data(), W * 4)) << shot;
    printf("screenshot: %s\n", shot);

    // "Console": all ink lies in the text's box (one line, 85 wide, moved
    // down by the baseline shift), and every one of its 12-pixel cells has
    // some.
    int cells[7] = {};
    for (int y = 0; y < Y + 30; y++)
        for (int x = 0; x < W; x++) {
            if (!_ink(px.data(), x, y)) continue;
            bool inside = x >= X && x < X + 85 && y >= Y && y < Y + 27;
            EXPECT_TRUE(inside) << "ink at " << x << "," << y;
            if (inside && (x - X) / 12 < 7) cells[(x - X) / 12]++;
        }
    for (int k = 0; k < 7; k++) EXPECT_GE(cells[k], 12) << "glyph " << k;
    // Same glyph, same pixels; different glyphs differ.
    auto block = [&](int k) {
        std::string b;
        for (int y = Y; y < Y + 27; y++)
            for (int x = X + 12 * k; x < X + 12 * k + 12; x++) b += (char)(_ink(px.data(), x, y) ? '#' : '.');
        return b;
    };
    EXPECT_EQ(block(1), block(4));  // o, o
    EXPECT_NE(block(0), block(1));  // C, o
    EXPECT_NE(block(2), block(3));  // n, s
    EXPECT_NE(block(5), block(6));  // l, e
}
