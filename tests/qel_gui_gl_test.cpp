// Widgets painted on a real GL context under the X server (Mesa's llvmpipe)
// and read back: a border around a padding around the content, a 9-slice
// background, a label's text in its colour and alpha, and a clipping box
// whose child is cut at the box's edge. Trees are driven as their owner
// drives a root: loop, resize, paint.
#include <gtest/gtest.h>

#include <GL/gl.h>

#include <string>
#include <vector>

#include "capture.h"
#include "font_fixtures.h"
#include "gl_window.h"
#include "image_fixtures.h"
#include "qel_font.h"
#include "qel_gfx.h"
#include "qel_gui.h"
#include "tempdir.h"

namespace {

const int W = 320, H = 200;

// Content that fills itself with one colour.
class Solid : public Widget {
  public:
    unsigned colour;
    Solid(unsigned colour, float w, float h) : colour(colour) {
        style.width = w;
        style.height = h;
    }
    void paint() override { gui_draw()->fill(colour, 0, 0, (int)rect.w, (int)rect.h); }
};

// The nine cells of the 9-slice picture, 10 x 10 texels each, by row.
const unsigned _cells[9] = {0xff0000, 0x00ff00, 0x0000ff, 0xffff00, 0xff00ff,
                            0x00ffff, 0xffffff, 0xff8000, 0x8000ff};

std::vector<unsigned char> _nine_picture() {
    std::vector<unsigned char> px(30 * 30 * 4);
    for (int y = 0; y < 30; y++)
        for (int x = 0; x < 30; x++) {
            unsigned c = _cells[y / 10 * 3 + x / 10];
            unsigned char* p = &px[((size_t)y * 30 + x) * 4];
            p[0] = (unsigned char)(c >> 16);
            p[1] = (unsigned char)(c >> 8);
            p[2] = (unsigned char)c;
            p[3] = 255;
        }
    return px;
}

class GuiGl : public ::testing::Test {
  protected:
    WorkDir dir;
    Container root;
    void SetUp() override {
        std::string why;
        bool ok = false;
        capture_stdout([&] { ok = gl_window_gfx_open(W, H, &why); });
        ASSERT_TRUE(ok) << why;
        font_init();
    }
    void TearDown() override {
        root = Container();
        capture_stdout([] {
            font_deinit();
            gl_window_gfx_close();
        });
    }
    void frame() {
        root.loop();
        root.resize();
        root.paint();
    }
    static void expect_rgb(int x, int y, unsigned rgb, int tolerance = 1) {
        GlPixel p = gl_pixel(x, y);
        EXPECT_NEAR(p.r, (int)(rgb >> 16 & 255), tolerance) << "at " << x << "," << y;
        EXPECT_NEAR(p.g, (int)(rgb >> 8 & 255), tolerance) << "at " << x << "," << y;
        EXPECT_NEAR(p.b, (int)(rgb & 255), tolerance) << "at " << x << "," << y;
    }
};

}  // namespace

TEST_F(GuiGl, BorderAroundPaddingAroundContent) {
    Solid* w = new Solid(0x00ff00, 10, 10);
    w->style.set_margin(3);
    w->style.set_border(2);
    w->style.border_color = 0xff0000;
    w->style.set_padding(4);
    w->style.background.color = 0x0000ff;
    root.add(w, 20, 30);
    frame();
    ASSERT_EQ(w->_rect.w, 28);
    // Across the left half at the content's middle row: margin, border,
    // padding, content; then the right border and margin.
    struct Probe {
        int x;
        unsigned rgb;
    };
    const Probe row[] = {{20, 0}, {22, 0}, {23, 0xff0000}, {24, 0xff0000}, {25, 0x0000ff}, {28, 0x0000ff},
                         {29, 0x00ff00}, {38, 0x00ff00}, {39, 0x0000ff}, {42, 0x0000ff}, {43, 0xff0000},
                         {44, 0xff0000}, {45, 0}, {47, 0}};
    for (const Probe& p : row) expect_rgb(p.x, 30 + 14, p.rgb);
    // Down the middle column: the top bar, the padding, the content.
    expect_rgb(34, 32, 0);
    expect_rgb(34, 33, 0xff0000);
    expect_rgb(34, 35, 0x0000ff);
    expect_rgb(34, 39, 0x00ff00);
    expect_rgb(34, 30 + 24, 0xff0000);  // the bottom bar
    expect_rgb(34, 30 + 26, 0);
}

TEST_F(GuiGl, NineSliceBackgroundKeepsCornersAndStretchesTheRest) {
    ASSERT_TRUE(fixture_image("data/nine.png", "png", 30, 30, _nine_picture()));
    int img = 0;
    capture_stderr([&] { img = gfx_img_load("nine"); });
    ASSERT_GT(img, 0);
    Widget* w = new Widget();
    w->style.width = 60;
    w->style.height = 40;
    w->style.background.image = img;
    w->style.background.edge = 10;
    root.add(w, 100, 50);
    frame();
    // Corners 10 x 10 as in the picture, edges and centre stretched: each
    // piece shows its cell's colour through its middle.
    const int xs[3] = {5, 30, 55}, ys[3] = {5, 20, 35};
    for (int r = 0; r < 3; r++)
        for (int c = 0; c < 3; c++) expect_rgb(100 + xs[c], 50 + ys[r], _cells[r * 3 + c], 2);
    // The corners end 10 pixels in, where a stretched picture would still
    // show its first cell.
    expect_rgb(100 + 8, 50 + 5, _cells[0], 2);
    expect_rgb(100 + 12, 50 + 5, _cells[1], 2);
    expect_rgb(100 + 5, 50 + 12, _cells[3], 2);
    expect_rgb(100 + 47, 50 + 28, _cells[4], 2);
    expect_rgb(100 + 61, 50 + 20, 0);
}

TEST_F(GuiGl, LabelTextInItsColourAndAlpha) {
    write_file("data/cells.fnt", fixture_font_text(16, 16));
    ASSERT_TRUE(fixture_image("data/cells.png", "png", fixture_font_width(16), fixture_font_height(16),
                              fixture_solid(fixture_font_width(16), fixture_font_height(16), 255, 255, 255, 255)));
    int fid = 0;
    capture_stderr([&] { fid = font_load("cells", 0); });
    ASSERT_GT(fid, 0);
    Label* red = new Label(QelGuiFont(fid), "ab");
    red->style.color = 0xff0000;
    Label* half = new Label(QelGuiFont(fid), "a b");
    half->style.color = 0xff0000;
    half->style.alpha = 128;
    root.add(red, 100, 20);
    root.add(half, 100, 60);
    frame();
    EXPECT_EQ(red->rect.w, 33);
    expect_rgb(100 + 2, 20 + 2, 0xff0000);
    expect_rgb(100 + 24, 20 + 14, 0xff0000);
    expect_rgb(100 + 34, 20 + 8, 0);  // past the text
    expect_rgb(100 + 8, 20 + 17, 0);  // under the line
    // Half-transparent red over black, premultiplied; the space shows nothing.
    expect_rgb(100 + 8, 60 + 8, 0x800000, 2);
    expect_rgb(100 + 24, 60 + 8, 0);
    expect_rgb(100 + 40, 60 + 8, 0x800000, 2);
    // The drawing colour is left opaque white.
    GLfloat c[4];
    glGetFloatv(GL_CURRENT_COLOR, c);
    EXPECT_EQ(c[0], 1.0f);
    EXPECT_EQ(c[3], 1.0f);
}

TEST_F(GuiGl, AClippingBoxCutsItsChildAtItsEdges) {
    Solid* wide = new Solid(0xffff00, 80, 10);
    Box* clipped = new Box(wide);
    clipped->style.clip = 1;
    clipped->style.width = 50;
    clipped->style.height = 10;
    Solid* also = new Solid(0x00ffff, 80, 10);
    Box* grown = new Box(also);
    grown->style.width = 50;
    root.add(clipped, 40, 100);
    root.add(grown, 40, 140);
    frame();
    ASSERT_EQ(wide->_rect.x, -15);
    // The child reaches 15 pixels past each side of the box; only the box
    // shows it.
    for (int x : {40 - 15, 40 - 5, 40 - 1}) expect_rgb(x, 105, 0);
    for (int x : {40, 40 + 2, 40 + 25, 40 + 49}) expect_rgb(x, 105, 0xffff00);
    for (int x : {40 + 50, 40 + 52, 40 + 64}) expect_rgb(x, 105, 0);
    // A box that grows shows the whole child.
    expect_rgb(40 + 2, 145, 0x00ffff);
    expect_rgb(40 + 79, 145, 0x00ffff);
    expect_rgb(40 + 81, 145, 0);
}
