// The quad batch on a real GL window under the X server (Mesa's llvmpipe):
// whatever is drawn, through the draw queue, the primitives, the font layer
// or the widget toolkit, comes out byte for byte as when every quad is drawn
// on its own, and with fewer draw calls.
#include <gtest/gtest.h>

#include <GL/gl.h>
#include <dlfcn.h>

#include <cmath>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "capture.h"
#include "game.h"
#include "gl_window.h"
#include "image_fixtures.h"
#include "mods.h"
#include "qel_driver.h"
#include "qel_font.h"
#include "qel_gfx.h"
#include "qel_gui.h"
#include "tempdir.h"

// Every glDrawArrays of this program passes here on its way to GL, so the
// tests can count the draw calls that reach it.
static int _draw_calls = 0;

extern "C" void glDrawArrays(GLenum mode, GLint first, GLsizei count) {
    typedef void (*DrawArrays)(GLenum, GLint, GLsizei);
    static DrawArrays real = (DrawArrays)dlsym(RTLD_NEXT, "glDrawArrays");
    _draw_calls++;
    real(mode, first, count);
}

namespace {

const int W = 640, H = 400;

// w x h texels of made-up colours and alphas, so that filtering, blending
// and every texture coordinate show in the pixels.
std::vector<unsigned char> _noise(int w, int h, unsigned seed) {
    std::vector<unsigned char> px((size_t)w * h * 4);
    for (unsigned char& b : px) {
        seed = seed * 1103515245u + 12345u;
        b = (unsigned char)(seed >> 16);
    }
    return px;
}

// 3 x 3 cells of 10 texels, each its own colour, for 9-slice boxes.
std::vector<unsigned char> _cells() {
    std::vector<unsigned char> px(30 * 30 * 4);
    for (int y = 0; y < 30; y++)
        for (int x = 0; x < 30; x++) {
            unsigned char* p = &px[((size_t)y * 30 + x) * 4];
            p[0] = (unsigned char)(40 + 100 * (x / 10));
            p[1] = (unsigned char)(40 + 100 * (y / 10));
            p[2] = (unsigned char)(200 - 60 * (x / 10));
            p[3] = (unsigned char)(120 + 60 * (y / 10));
        }
    return px;
}

// A game with an empty mod, its pictures beside the main script; the font is
// the engine's console font.
class Batching : public ::testing::Test {
protected:
    TempDir dir;
    Game game;
    Container root;
    int noise = 0, halves = 0, nine = 0, small = 0, large = 0;

    void SetUp() override {
        std::string why;
        ASSERT_TRUE(gl_window_open(W, H, &why)) << why;
        driver_set_gamename("QelGame");
        gfx_init();
        font_init();
        GAME_THIS = &game;
        snprintf(game.data.mods.fname, sizeof game.data.mods.fname, "%s", dir.file("main.lua").c_str());
        write_file(dir.file("main.lua"), "");
        ASSERT_TRUE(fixture_image(dir.file("noise.png"), "png", 37, 23, _noise(37, 23, 7)));
        ASSERT_TRUE(fixture_image(dir.file("halves.png"), "png", 16, 8, fixture_halves(16, 8)));
        ASSERT_TRUE(fixture_image(dir.file("nine.png"), "png", 30, 30, _cells()));
        quiet([&] {
            mods_restart(game, 1);
            noise = gfx_img_load("noise");
            halves = gfx_img_load("halves");
            nine = gfx_img_load("nine");
            small = font_load("console", 13);
            large = font_load("console", 24);
        });
        ASSERT_GT(noise, 0);
        ASSERT_GT(nine, 0);
        ASSERT_GT(small, 0);
    }

    void TearDown() override {
        root = Container();
        quiet([&] {
            mods_destroy(game);
            GAME_THIS = nullptr;
            font_deinit();
            gfx_deinit();
            gl_window_close();
        });
    }

    static void quiet(const std::function<void()>& f) {
        capture_stdout([&] { capture_stderr(f); });
    }

    ModsAPI& api() { return *game.data.mods.api; }

    // The window after draw, with batching on or off, from the same start:
    // cleared, window pixels, opaque white.
    std::vector<unsigned char> shot(bool batched, const std::function<void()>& draw) {
        _gfx_set_batching(batched);
        gfx_clear();
        gl_window_view();
        glColor4ub(255, 255, 255, 255);
        quiet(draw);
        std::vector<unsigned char> px = gl_pixels();
        _gfx_set_batching(true);
        return px;
    }

    // Draws twice, batched then not, and compares the windows byte for byte.
    void expect_same(const char* what, const std::function<void()>& draw) {
        std::vector<unsigned char> batched = shot(true, draw), single = shot(false, draw);
        ASSERT_EQ(batched.size(), single.size());
        size_t differ = 0, first = 0;
        for (size_t i = 0; i < batched.size(); i++)
            if (batched[i] != single[i] && !differ++) first = i;
        size_t lit = 0;
        for (size_t i = 0; i < single.size(); i += 4) lit += single[i] || single[i + 1] || single[i + 2];
        EXPECT_EQ(differ, 0u) << what << ": first at x " << first / 4 % W << ", y " << H - 1 - first / 4 / W;
        EXPECT_GT(lit, 100u) << what << ": too little drawn to tell";
    }

    // The widgets of the scene: a decorated panel, a label in colour and
    // alpha, and a box that clips its text; and the developer console, open
    // over it all, with a typed line and a log.
    void widgets() {
        quiet([&] {
            api().log_entry("the first line of the log");
            api().log_entry("a second line, long enough that the console wraps it at the window's width, "
                            "which is 640 pixels here");
        });
        api().console_toggle = 1;
        TextInput* input = dynamic_cast<TextInput*>(api().console_gui.find("input"));
        ASSERT_NE(input, nullptr);
        input->set_value(var("print('typed')"));
        Widget* panel = new Widget();
        panel->style.width = 110;
        panel->style.height = 50;
        panel->style.set_margin(2);
        panel->style.set_border(3, 1, 4, 2);
        panel->style.border_color = 0xc03030;
        panel->style.set_padding(4);
        panel->style.background.image = nine;
        panel->style.background.edge = 8;
        panel->style.background.color = 0xffe0c0;
        panel->style.background.alpha = 200;
        panel->style.overlay.image = noise;
        panel->style.overlay.tile = 12;
        panel->style.overlay.alpha = 90;
        root.add(panel, 470, 300);
        Label* label = new Label(QelGuiFont(small), "A label in colour");
        label->style.color = 0x30ff60;
        label->style.alpha = 180;
        root.add(label, 20, 372);
        Box* box = new Box(new Label(QelGuiFont(large), "cut at the box's edge"));
        box->style.clip = 1;
        box->style.width = 150;
        box->style.height = 20;
        root.add(box, 250, 370);
    }

    // Everything the engine draws, overlapping: the draw queue in a scaled
    // view and then in window pixels, primitives straight from C++ under a
    // clip and a translation, the widget toolkit, and the console.
    void scene() {
        const int tints[4] = {0xffffff, 0xff8040, 0x40ff80, 0x8080ff};
        api().batch.clear();
        api().view_set(0, 0, 320, 200, 0);
        // One picture, overlapping, tinted, half-transparent, at fractional
        // places and sizes.
        for (int i = 0; i < 24; i++)
            api().image_draw("noise", 3.25f + i * 11.5f, 4.5f + (i % 5) * 7.75f, 40.5f, 25.25f, 0, 0, 0, tints[i % 4],
                             0.25f + (i % 4) * 0.25f, 0, 0);
        // Pictures interleaved, mirrored either way, anchored, with an angle
        // (which is stored, not drawn).
        for (int i = 0; i < 6; i++) {
            api().image_draw("halves", 20 + i * 45.5f, 80, i % 2 ? -32 : 32, i % 3 ? 16 : -16, 4, 2, 30.0f * i,
                             0xffffff, 1, 0, 0);
            api().image_draw("noise", 30 + i * 45.5f, 86.5f, 0, 0, 0, 0, 0, 0xffffff, 0.75f, 0, 0);
        }
        // Tinted text over the pictures: wrapped and aligned, two sizes.
        api().font_draw("console", 13, "Batched or not, the same pixels.", 10, 110, 150, 0, 0xffc040, 0.8f, 0);
        api().font_draw("console", 24, "Tinted\ntext", 170, 105, 140, 1, 0x40c0ff, 1, 0);
        api().font_draw("console", 13, "over the pictures", 5, 20, 0, -1, 0xffffff, 0.5f, 0);
        api().image_draw("nine", 150, 120, 60, 30, 0, 0, 0, 0xffffff, 0.5f, 0, 0);
        // A second view: window pixels from here on.
        api().view_set(0, 0, W, H, 0);
        api().image_draw("noise", 560.5f, 10.25f, -60, 60, 0, 0, 0, 0x80ff80, 0.6f, 0, 0);
        api().batch.draw();
        glColor4ub(255, 255, 255, 255);

        // 9-slice boxes, a tiling and fills, colours set between them.
        glColor4ub(200, 200, 255, 255);
        gfx_img_box(nine, 20, 250, 120, 70, 12);
        glColor4ub(64, 32, 16, 128);
        gfx_img_box(nine, 60, 270, 100, 100, 20);
        glColor4ub(255, 255, 255, 255);
        gfx_img_tile(noise, 170, 250, 100, 75, 16);
        gfx_fill(0x204060, 150, 240, 15, 90);
        // Under a clip: fills and pictures cut at its edges, and text.
        gfx_clip(300, 240, 120, 90);
        gfx_fill(0x203040, 290, 230, 60, 60);
        for (int i = 0; i < 6; i++) gfx_img_blit(noise, 290 + i * 17.5f, 250 + i * 9.25f, 30, 30);
        gfx_fill(0x804020, 380, 300, 60, 60);
        glColor4ub(255, 255, 0, 255);
        font_draw(large, "clipped text", 280, 300, 0, -1);
        glColor4ub(255, 255, 255, 255);
        gfx_img_blit2(nine, 0.1f, 0.2f, 0.5f, 0.6f, 350, 240, 70.5f, 40.25f);
        gfx_unclip();
        // Translated.
        gfx_translate(430, 150);
        gfx_img_blit(halves, 0, 0, 64, 32);
        gfx_img_blit(noise, 20.5f, 10.5f, 50, 50);
        gfx_translate(-430, -150);

        root.loop();
        root.resize();
        root.paint();
        modsapi_log_paint(&api());
    }
};

}  // namespace

TEST_F(Batching, SceneIsTheSameBatchedOrNot) {
    widgets();
    expect_same("the scene", [&] { scene(); });

    // The same triangles reach GL, corner for corner and in order, with the
    // same texture coordinates and colours.
    auto triangles = [&](bool batched) {
        _gfx_set_batching(batched);
        gfx_clear();
        gl_window_view();
        glColor4ub(255, 255, 255, 255);
        std::vector<GlTriangle> t;
        quiet([&] { t = gl_feedback([&] { scene(); }); });
        _gfx_set_batching(true);
        return t;
    };
    std::vector<GlTriangle> batched = triangles(true), single = triangles(false);
    ASSERT_GT(single.size(), 500u);
    ASSERT_EQ(batched.size(), single.size());
    for (size_t i = 0; i < single.size(); i++) {
        ASSERT_EQ(batched[i].size(), single[i].size()) << "triangle " << i;
        for (size_t k = 0; k < single[i].size(); k++) {
            const GlFeedbackVertex &a = batched[i][k], &b = single[i][k];
            bool same = a.x == b.x && a.y == b.y && a.s == b.s && a.t == b.t && a.r == b.r && a.g == b.g &&
                        a.b == b.b && a.a == b.a;
            ASSERT_TRUE(same) << "triangle " << i << ", corner " << k << ": (" << a.x << ", " << a.y << ") against ("
                              << b.x << ", " << b.y << ")";
        }
    }
}

// Between two quads, something that changes how the first one is drawn: the
// batch has drawn it by then.
TEST_F(Batching, PendingQuadsAreDrawnBeforeWhatWouldChangeThem) {
    int tid = _gfx_get_img(noise)->tid;
    std::string file = dir.file("noise.png");
    struct {
        const char* what;
        std::function<void()> draw;
    } cases[] = {
        {"a clear",
         [&] {
             gfx_img_blit(noise, 10, 10, 100, 100);
             gfx_clear();
             gfx_img_blit(noise, 50, 50, 100, 100);
         }},
        {"the texture freed, then drawn again",
         [&] {
             gfx_img_blit(noise, 10, 10, 100, 100);
             _gfx_tex_gl_free(tid);
             gfx_img_blit(halves, 50, 50, 100, 100);
             gfx_img_blit(noise, 80, 20, 100, 100);
         }},
        {"the texture reloaded with another picture",
         [&] {
             fixture_image(file, "png", 37, 23, _noise(37, 23, 7));
             gfx_tex_reload(tid);
             gfx_img_blit(noise, 10, 10, 100, 100);
             fixture_image(file, "png", 37, 23, _noise(37, 23, 8));
             gfx_tex_reload(tid);
             gfx_img_blit(noise, 60, 40, 100, 100);
         }},
        {"the colour set between pictures of one texture",
         [&] {
             glColor4ub(255, 0, 0, 255);
             gfx_img_blit(noise, 10, 10, 100, 100);
             glColor4ub(0, 0, 128, 128);
             gfx_img_blit(noise, 50, 50, 100, 100);
             glColor4ub(255, 255, 255, 255);
             gfx_img_blit(noise, 90, 20, 100, 100);
         }},
        {"a translation",
         [&] {
             gfx_img_blit(noise, 10, 10, 100, 100);
             gfx_translate(30.5f, 10);
             gfx_img_blit(noise, 10, 10, 100, 100);
             gfx_translate(-30.5f, -10);
             gfx_img_blit(noise, 20, 60, 100, 100);
         }},
        {"a projection",
         [&] {
             gfx_img_blit(noise, 10, 10, 100, 100);
             gfx_set_scale(1.5f);
             gfx_ortho();
             gfx_img_blit(noise, 10, 10, 100, 100);
             gl_window_view();
             gfx_img_blit(noise, 150, 60, 100, 100);
         }},
        {"fills between pictures",
         [&] {
             gfx_img_blit(noise, 10, 10, 100, 100);
             gfx_fill(0x336699, 40, 40, 50, 50);
             gfx_img_blit(noise, 60, 60, 100, 100);
             gfx_fill(0x993366, 100, 30, 50, 50);
             gfx_fill(0x669933, 120, 50, 50, 50);
         }},
        {"a free quad between pictures",
         [&] {
             gfx_img_blit(noise, 10, 10, 100, 100);
             gfx_img_quad(halves, 30, 150, 0, 150, 140, 0, 40, 30, 0, 160, 20, 0);
             gfx_img_blit(noise, 60, 60, 100, 100);
         }},
        {"more quads than the batch holds, in changing colours",
         [&] {
             for (int i = 0; i < _GFX_BATCH_QUADS + 500; i++) {
                 glColor4ub((unsigned char)i, (unsigned char)(i * 7), 200, (unsigned char)(128 + i % 128));
                 gfx_img_blit(noise, (float)(i % 300), (float)(i * 13 % 250), 37, 23);
             }
         }},
    };
    for (const auto& c : cases) expect_same(c.what, c.draw);
}

TEST_F(Batching, QuadsOfOneTextureShareOneDrawCall) {
    struct {
        const char* what;
        std::function<void()> draw;
        int batched, single;  // draw calls that reach GL
    } cases[] = {
        {"1000 pictures of one texture in changing colours",
         [&] {
             for (int i = 0; i < 1000; i++) {
                 glColor4ub(255, (unsigned char)i, 255, 255);
                 gfx_img_blit(noise, (float)(i % 600), (float)(i % 350), 8, 8);
             }
         },
         1, 1000},
        {"three lines of text",
         [&] { font_draw(small, "one\ntwo\nthree", 10, 10, 0, -1); }, 1, 3},
        {"a 9-slice box", [&] { gfx_img_box(nine, 10, 10, 100, 60, 10); }, 1, 9},
        {"two textures taking turns: the order stays",
         [&] {
             for (int i = 0; i < 10; i++) gfx_img_blit(i % 2 ? noise : halves, i * 10.0f, 0, 20, 20);
         },
         10, 10},
        {"1000 queued pictures and two texts in one font",
         [&] {
             api().batch.clear();
             api().view_set(0, 0, W, H, 0);
             for (int i = 0; i < 1000; i++) api().image_draw("noise", (float)(i % 600), 10, 8, 8, 0, 0, 0, 0xffffff, 1, 0, 0);
             api().font_draw("console", 13, "first", 10, 100, 0, -1, 0xffffff, 1, 0);
             api().font_draw("console", 24, "second", 10, 150, 0, -1, 0xff0000, 1, 0);
             api().batch.draw();
         },
         2, 1002},
    };
    for (const auto& c : cases)
        for (bool batched : {true, false}) {
            _gfx_set_batching(batched);
            gfx_clear();
            _draw_calls = 0;
            quiet(c.draw);
            gfx_flush();
            EXPECT_EQ(_draw_calls, batched ? c.batched : c.single) << c.what << (batched ? ", batched" : ", not batched");
        }
    _gfx_set_batching(true);
}
