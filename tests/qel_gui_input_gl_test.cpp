// The text field with a real window under the X server: cut, copy and paste
// through the system clipboard, the focused rectangle handed to the
// on-screen keyboard on a click, and the selection and caret painted,
// scrolled and clipped to the field, read back as pixels. The fixture font's
// glyphs have no size (its text draws nothing), so only the field's fills
// show; it advances 10 pixels a byte on lines 10 high.
#include <gtest/gtest.h>

#include <GL/gl.h>

#include <memory>
#include <string>

#include "capture.h"
#include "font_fixtures.h"
#include "gl_window.h"
#include "qel_driver.h"
#include "qel_font.h"
#include "qel_gfx.h"
#include "qel_gui.h"

namespace {

const int W = 320, H = 200;
const int CTRL = 2, SHIFT = 1;

class InputGl : public ::testing::Test {
  protected:
    Container root;
    int fid = 0;

    void SetUp() override {
        std::string why;
        bool ok = false;
        capture_stdout([&] { ok = gl_window_gfx_open(W, H, &why); });
        ASSERT_TRUE(ok) << why;
        font_init();
        fid = fixture_font_register(10, 10);
        // Without a picture a glyph would draw as a white box: glyphs of no
        // size draw nothing.
        for (GfxRect& r : _font->data[fid].rects) r.w = 0;
    }
    void TearDown() override {
        root = Container();
        capture_stdout([] {
            font_deinit();
            gl_window_gfx_close();
        });
    }
    std::unique_ptr<TextInput> field(const char* text, unsigned maxlen = 255) {
        return std::unique_ptr<TextInput>(new TextInput(QelGuiFont(fid), text, maxlen));
    }
    static void key(TextInput& t, int v, int b = 0) {
        Event e(EVT_KEYDOWN);
        e.v = v;
        e.b = b;
        capture_stderr([&] { t.event(&e); });
    }
    static void expect_rgb(int x, int y, unsigned rgb) {
        GlPixel p = gl_pixel(x, y);
        EXPECT_NEAR(p.r, (int)(rgb >> 16 & 255), 1) << "at " << x << "," << y;
        EXPECT_NEAR(p.g, (int)(rgb >> 8 & 255), 1) << "at " << x << "," << y;
        EXPECT_NEAR(p.b, (int)(rgb & 255), 1) << "at " << x << "," << y;
    }
};

}  // namespace

TEST_F(InputGl, CutCopyAndPasteThroughTheSystemClipboard) {
    struct Case {
        const char* name;
        const char* text;
        unsigned maxlen;
        int passwd;
        int anchor, pos;
        int v, b;
        std::string clipboard;  // before the key
        std::string want_text, want_clipboard;
        int want_pos;
    } cases[] = {
        {"copy the selection", "hello", 255, 0, 1, 4, KEY_c, CTRL, "old", "hello", "ell", 4},
        {"copy with Alt", "hello", 255, 0, 4, 1, KEY_c, 4, "old", "hello", "ell", 1},
        {"copy without a selection puts the empty text", "hello", 255, 0, 2, 2, KEY_c, CTRL, "old", "hello", "", 2},
        {"cut", "hello", 255, 0, 1, 4, KEY_x, CTRL, "old", "ho", "ell", 1},
        {"paste replaces the selection", "hello", 255, 0, 1, 4, KEY_v, CTRL, "ipp", "hippo", "ipp", 4},
        {"paste an empty clipboard deletes the selection", "hello", 255, 0, 1, 4, KEY_v, CTRL, "", "ho", "", 1},
        {"paste is cut to the limit", "ab", 5, 0, 2, 2, KEY_v, CTRL, "hello", "abhel", "hello", 5},
        {"paste is filtered", "", 255, 0, 0, 0, KEY_v, CTRL, "a\nb\tc\xc3\xa9", "a b?c??", "a\nb\tc\xc3\xa9", 7},
        {"a masked field copies nothing", "secret", 255, 1, 0, 6, KEY_c, CTRL, "old", "secret", "old", 6},
        {"a masked field cuts without copying", "secret", 255, 1, 0, 3, KEY_x, CTRL, "old", "ret", "old", 0},
        {"x without a command key is no cut", "hello", 255, 0, 1, 4, KEY_x, SHIFT, "old", "hello", "old", 4},
    };
    for (const Case& c : cases) {
        std::unique_ptr<TextInput> t = field(c.text, c.maxlen);
        t->passwd = c.passwd;
        t->_pos = c.anchor;
        t->pos = c.pos;
        driver_clipboard_set_text(c.clipboard);
        ASSERT_EQ(driver_clipboard_get_text(), c.clipboard) << "the X clipboard works";
        key(*t, c.v, c.b);
        EXPECT_EQ(t->txt, c.want_text) << c.name;
        EXPECT_EQ(driver_clipboard_get_text(), c.want_clipboard) << c.name;
        EXPECT_EQ(t->pos, c.want_pos) << c.name;
    }
    // A cut is undone like any edit.
    std::unique_ptr<TextInput> t = field("hello");
    t->_pos = 0;
    t->pos = 2;
    key(*t, KEY_x, CTRL);
    key(*t, KEY_END);
    key(*t, KEY_v, CTRL);
    EXPECT_EQ(t->txt, "llohe");
    key(*t, KEY_z, CTRL);
    key(*t, KEY_z, CTRL);
    EXPECT_EQ(t->txt, "hello");
}

// A pointer click hands the field's outer box, in root coordinates, to the
// graphics layer as the focused rectangle for the on-screen keyboard; the
// blur takes it back.
TEST_F(InputGl, ClickSetsTheFocusedRectangle) {
    TextInput* t = new TextInput(QelGuiFont(fid), "hello", 255);
    t->style.set_padding(3);
    Container* inner = new Container();
    inner->add(t, 5, 7);
    root.add(inner, 20, 30);
    root.resize();
    capture_stderr([&] { root.loop(); });
    ASSERT_EQ(t->style.focus, 1);
    Event down(EVT_DOWN), up(EVT_UP);
    down.x = up.x = 30;
    down.y = up.y = 40;
    std::string err = capture_stderr([&] {
        root.event(&down);
        root.event(&up);
    });
    EXPECT_EQ(err, "evt_down\ninput:evt_click\n");
    EXPECT_EQ(_gfx->focus.x, 25);
    EXPECT_EQ(_gfx->focus.y, 37);
    EXPECT_EQ(_gfx->focus.w, 51 + 6);
    EXPECT_EQ(_gfx->focus.h, 10 + 6);
    Event blur(EVT_BLUR);
    t->event(&blur);
    EXPECT_EQ(_gfx->focus.w, 0);
}

TEST_F(InputGl, SelectionAndCaretAreClippedToTheField) {
    // Ten bytes (100 wide) in a field 50 wide at (20, 20), everything
    // selected from the end back to the start: the caret at the start,
    // the selection cut at the field's right edge.
    TextInput* t = new TextInput(QelGuiFont(fid), "0123456789", 255);
    t->style.width = 50;
    root.add(t, 20, 20);
    capture_stderr([&] { root.loop(); });
    key(*t, KEY_END);
    key(*t, KEY_HOME, SHIFT);
    ASSERT_EQ(t->view.x, 0);
    root.resize();
    root.paint();
    expect_rgb(19, 25, 0);
    expect_rgb(20, 25, 0xffffff);  // the caret, 2 wide
    expect_rgb(21, 25, 0xffffff);
    expect_rgb(22, 25, 0x55aaff);
    expect_rgb(69, 25, 0x55aaff);
    expect_rgb(70, 25, 0);  // the field ends at 70
    expect_rgb(40, 19, 0);
    expect_rgb(40, 29, 0x55aaff);
    expect_rgb(40, 30, 0);

    // Scrolled to the end: the caret sits against the right edge.
    glClear(GL_COLOR_BUFFER_BIT);
    key(*t, KEY_END);
    ASSERT_EQ(t->view.x, 52);
    root.paint();
    expect_rgb(67, 25, 0);
    expect_rgb(68, 25, 0xffffff);
    expect_rgb(69, 25, 0xffffff);
    expect_rgb(70, 25, 0);
}
