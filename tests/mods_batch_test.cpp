// The mod's drawing and input on a real GL window under the X server: the
// logical view set from the parameters, the draw queue played through the
// graphics layer (positions read back as GL feedback, colours as pixels),
// the premultiplied draw colour, the magnification switch, the stream table
// and the event dictionary as the script receives it.
#include <GL/gl.h>
#include <climits>
#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>

extern "C" {
#include <lua.h>
}

#include "capture.h"
#include "game.h"
#include "gl_window.h"
#include "image_fixtures.h"
#include "mod_lua.h"
#include "mods.h"
#include "mods_lua.h"
#include "alloc_count.h"
#include "audio_fixtures.h"
#include "qel_driver-audio.h"
#include "qel_driver-tex_load.h"
#include "qel_driver.h"
#include "qel_font.h"
#include "qel_gfx.h"
#include "qel_mixer.h"
#include "tempdir.h"

namespace {

const int W = 1280, H = 720;

// A game whose mod lives in a temporary directory, with its pictures beside
// the main script: on a 1280 x 720 window, or (ModSound) on the audio device
// without a window.
class Batch : public ::testing::Test {
protected:
    TempDir dir;
    Game game;
    bool audio = false;

    void SetUp() override {
        if (audio) {
            setenv("SDL_AUDIODRIVER", "dummy", 1);
            capture_stdout([] { driver_init(DRIVER_AUDIO); });
            ASSERT_NE(_sdl_audio_data, nullptr);
            // No mixing: play positions move only when the test moves them.
            SDL_PauseAudio(1);
        } else {
            std::string why;
            ASSERT_TRUE(gl_window_open(W, H, &why)) << why;
        }
        setenv("APPDATA", dir.file("appdata").c_str(), 1);
        make_dir(dir.file("appdata"));
        driver_set_gamename("QelGame");
        gfx_init();
        font_init();
        mixer_init();
        GAME_THIS = &game;
        snprintf(game.data.mods.fname, sizeof game.data.mods.fname, "%s", dir.file("main.lua").c_str());
        // 16 x 8: left half red, right half blue, so mirroring shows.
        ASSERT_TRUE(fixture_image(dir.file("halves.png"), "png", 16, 8, fixture_halves(16, 8)));
        ASSERT_TRUE(fixture_image(dir.file("red.png"), "png", 8, 8, fixture_solid(8, 8, 255, 0, 0, 255)));
        ASSERT_TRUE(fixture_image(dir.file("blue.png"), "png", 8, 8, fixture_solid(8, 8, 0, 0, 255, 255)));
        ASSERT_TRUE(fixture_image(dir.file("white.png"), "png", 8, 8, fixture_solid(8, 8, 255, 255, 255, 255)));
    }

    void TearDown() override {
        capture_stdout([&] {
            mods_destroy(game);
            GAME_THIS = nullptr;
            mixer_deinit();
            font_deinit();
            gfx_deinit();
            if (audio)
                driver_deinit();
            else
                gl_window_close();
        });
    }

    // A new run of the mod with this main script.
    void start(const std::string& main) {
        write_file(dir.file("main.lua"), main);
        capture_stdout([&] { mods_restart(game, 1); });
    }
    ModsAPI& api() { return *game.data.mods.api; }
    ModsLua& lua() { return *static_cast<ModsLua*>(game.data.mods.mod); }

    // Runs Lua text as a console line would.
    void run(const std::string& code) { capture_stdout([&] { lua().script(code.c_str(), "test"); }); }

    // The text of a Lua expression, evaluated in the mod's state.
    std::string global(const std::string& expr) {
        capture_stdout([&] { lua().script(("__r = tostring(" + expr + ")").c_str(), "test"); });
        lua_State* L = lua().L;
        lua_getglobal(L, "__r");
        std::string r = lua_tostring(L, -1) ? lua_tostring(L, -1) : "<nil>";
        lua_pop(L, 1);
        return r;
    }

    // One frame of the mod's drawing onto a cleared back buffer.
    void paint() {
        capture_stdout([&] {
            gfx_clear();
            mods_paint(game);
        });
    }
};

}  // namespace

// ---------------------------------------------------------------------------
// The logical view

TEST_F(Batch, ViewScaleSizeAndShift) {
    start("");
    const float nan = NAN, inf = INFINITY;
    const int kTop = 2147483520;  // the largest float below 2^31
    struct {
        double x, y, w, h;
        float scale;
        int sw, sh, shx, shy;  // logical size and shift the graphics layer gets
    } cases[] = {
        {0, 0, 320, 240, 3.0f, 320, 240, 0, 0},           // the smaller of 4 and 3
        {10.7, -5.5, 320, 240, 3.0f, 320, 240, -10, 5},   // shift truncated after the negation
        {0, 0, 640, 480, 1.5f, 640, 480, 0, 0},
        {0, 0, 2560, 720, 0.5f, 2560, 720, 0, 0},
        {0, 0, 1280, 720, 1.0f, 1280, 720, 0, 0},
        {0, 0, 320.9, 240.9, 720 / 240.9f, 320, 240, 0, 0},
        // Beyond the int range: clamped to what the layer can give back as an int.
        {0, 0, 3e9, 240, 1280 / 3e9f, kTop, 240, 0, 0},
        {1e20, nan, 320, 240, 3.0f, 320, 240, INT_MIN, 0},
        {-1e20, -inf, 320, 240, 3.0f, 320, 240, kTop, kTop},
        // Sizes that give no usable scale: the window at scale 1.
        {0, 0, 0, 240, 1.0f, W, H, 0, 0},
        {0, 0, 320, 0, 1.0f, W, H, 0, 0},
        {0, 0, -320, 240, 1.0f, W, H, 0, 0},
        {0, 0, nan, 240, 1.0f, W, H, 0, 0},
        {0, 0, 320, nan, 1.0f, W, H, 0, 0},
        {0, 0, inf, 240, 1.0f, W, H, 0, 0},
        {0, 0, 320, -inf, 1.0f, W, H, 0, 0},
        {5, 7, 1e-40, 1e-40, 1.0f, W, H, -5, -7},  // the scale itself overflows
    };
    for (auto& c : cases) {
        std::string at = "view " + std::to_string(c.x) + ", " + std::to_string(c.y) + ", " + std::to_string(c.w) +
                         ", " + std::to_string(c.h);
        api().params["view_x"] = var(c.x);
        api().params["view_y"] = var(c.y);
        api().params["view_w"] = var(c.w);
        api().params["view_h"] = var(c.h);
        api().params["view_scale"] = var(7);  // the script's own value never counts
        _mods_view_init(game);
        EXPECT_FLOAT_EQ((float)api().params["view_scale"], c.scale) << at;
        EXPECT_FLOAT_EQ(gfx_get_scale(), c.scale) << at;
        int w, h, x, y;
        gfx_get_size(&w, &h);
        gfx_get_shift(&x, &y);
        EXPECT_EQ(w, c.sw) << at;
        EXPECT_EQ(h, c.sh) << at;
        EXPECT_EQ(x, c.shx) << at;
        EXPECT_EQ(y, c.shy) << at;
        // Pointer positions always convert to numbers.
        GfxRect p = gfx_hwpos_to_pos(GfxRect(640, 360, 0, 0));
        EXPECT_TRUE(std::isfinite(p.x) && std::isfinite(p.y)) << at << ": " << p.x << ", " << p.y;
    }
}

TEST_F(Batch, ViewCommandWritesTheParametersAndInstallsTheProjection) {
    start("");
    api().view_set(10.7f, -5.5f, 320, 240, 2);
    api().image_draw("white", 10, 20, 10, 10, 0, 0, 0, 0xFFFFFF, 1, 0, 0);
    std::vector<GlTriangle> tris = gl_feedback([&] { api().batch.draw(); });
    EXPECT_FLOAT_EQ((float)api().params["view_x"], 10.7f);
    EXPECT_FLOAT_EQ((float)api().params["view_y"], -5.5f);
    EXPECT_EQ(api().params["view_w"].__str__(), "320");
    EXPECT_EQ(api().params["view_h"].__str__(), "240");
    EXPECT_EQ(api().params["view_depth"].__str__(), "2");
    EXPECT_EQ(api().params["view_scale"].__str__(), "3");
    // The 960 x 720 canvas sits centred, 160 pixels from the left; the
    // logical point (10, 20) lies at (10 - 10, 20 + 5) within it.
    ASSERT_EQ(tris.size(), 2u);
    float minx = 1e9, maxx = -1e9, miny = 1e9, maxy = -1e9;
    for (auto& t : tris)
        for (auto& v : t) {
            minx = std::min(minx, v.x), maxx = std::max(maxx, v.x);
            miny = std::min(miny, H - v.y), maxy = std::max(maxy, H - v.y);
        }
    EXPECT_FLOAT_EQ(minx, 160);
    EXPECT_FLOAT_EQ(maxx, 190);
    EXPECT_FLOAT_EQ(miny, 75);
    EXPECT_FLOAT_EQ(maxy, 105);
}

// ---------------------------------------------------------------------------
// Image commands

TEST_F(Batch, ImagePositionWithNegativeSizesAndAnchors) {
    start("");
    struct {
        float x, y, w, h, cx, cy;
        float left, top, right, bottom;  // the quad on screen
        bool mirror_x, mirror_y;
    } cases[] = {
        {100, 50, 64, 32, 0, 0, 100, 50, 164, 82, false, false},
        {100, 50, -64, 32, 0, 0, 100, 50, 164, 82, true, false},   // drawn from 164 leftwards
        {100, 50, -64, 32, 10, 0, 90, 50, 154, 82, true, false},   // from 154
        {100, 50, 64, -32, 0, 0, 100, 50, 164, 82, false, true},
        {100, 50, -64, -32, 10, 5, 90, 45, 154, 77, true, true},
        {100, 50, 0, 0, 0, 0, 100, 50, 116, 58, false, false},      // the image's own 16 x 8
        {100, 50, 0, 0, 8, 4, 92, 46, 108, 54, false, false},
        {100, 50, 32, 16, -20, -10, 120, 60, 152, 76, false, false},
    };
    for (auto& c : cases) {
        std::string at = "w " + std::to_string(c.w) + " h " + std::to_string(c.h) + " cx " + std::to_string(c.cx) +
                         " cy " + std::to_string(c.cy);
        api().batch.clear();
        api().view_set(0, 0, W, H, 0);  // logical units are window pixels
        api().image_draw("halves", c.x, c.y, c.w, c.h, c.cx, c.cy, 45, 0xFFFFFF, 1, 3, 9);
        std::vector<GlTriangle> tris = gl_feedback([&] { api().batch.draw(); });
        ASSERT_EQ(tris.size(), 2u) << at;
        // Screen extent, and the texture coordinates at opposite edges.
        float minx = 1e9, maxx = -1e9, miny = 1e9, maxy = -1e9, s_left = 0, s_right = 0, t_top = 0, t_bottom = 0;
        for (auto& t : tris)
            for (auto& v : t) {
                float y = H - v.y;
                if (v.x < minx) minx = v.x, s_left = v.s;
                if (v.x > maxx) maxx = v.x, s_right = v.s;
                if (y < miny) miny = y, t_top = v.t;
                if (y > maxy) maxy = y, t_bottom = v.t;
            }
        EXPECT_FLOAT_EQ(minx, c.left) << at;
        EXPECT_FLOAT_EQ(miny, c.top) << at;
        EXPECT_FLOAT_EQ(maxx, c.right) << at;
        EXPECT_FLOAT_EQ(maxy, c.bottom) << at;
        EXPECT_EQ(s_left > s_right, c.mirror_x) << at;
        EXPECT_EQ(t_top > t_bottom, c.mirror_y) << at;
    }
}

TEST_F(Batch, MirroredImageShowsItsRightHalfOnTheLeft) {
    start("");
    api().view_set(0, 0, W, H, 0);
    api().image_draw("halves", 100, 50, -64, 32, 0, 0, 0, 0xFFFFFF, 1, 0, 0);
    api().image_draw("halves", 200, 50, 64, 32, 0, 0, 0, 0xFFFFFF, 1, 0, 0);
    gfx_clear();
    api().batch.draw();
    GlPixel left = gl_pixel(110, 66), right = gl_pixel(154, 66);
    EXPECT_GT(left.b, 200) << "mirrored: blue on the left";
    EXPECT_GT(right.r, 200);
    EXPECT_GT(gl_pixel(210, 66).r, 200) << "unmirrored: red on the left";
    EXPECT_GT(gl_pixel(254, 66).b, 200);
}

// Frames of a sprite atlas are drawn by name like whole pictures.
TEST_F(Batch, ModDrawsAtlasFramesByName) {
    ASSERT_TRUE(fixture_image(dir.file("sheet.png"), "png", 16, 8, fixture_halves(16, 8)));
    write_file(dir.file("sheet.json"),
               "{\"frames\":{"
               "\"left.png\":{\"frame\":{\"x\":0,\"y\":0,\"w\":8,\"h\":8},\"sourceSize\":{\"w\":8,\"h\":8}},"
               "\"right.png\":{\"frame\":{\"x\":8,\"y\":0,\"w\":8,\"h\":8},\"sourceSize\":{\"w\":8,\"h\":8}}}}");
    start("function _paint()\n"
          "  qel_view_set(0, 0, 1280, 720)\n"
          "  qel_image_draw('right', 100, 50, 64, 64)\n"
          "  qel_image_draw('left', 300, 50, 64, 64)\n"
          "end\n");
    capture_stderr([] { gfx_atlas_load("sheet"); });
    paint();
    GlPixel right = gl_pixel(132, 82), left = gl_pixel(332, 82);
    EXPECT_GT(right.b, 200);
    EXPECT_EQ(right.r, 0);
    EXPECT_GT(left.r, 200);
    EXPECT_EQ(left.b, 0);
    EXPECT_EQ(gl_pixel(200, 82).r + gl_pixel(200, 82).b, 0) << "nothing between the two";
}

// ---------------------------------------------------------------------------
// Colour

TEST_F(Batch, BlendColourIsPremultipliedAndAlphaClamped) {
    struct {
        int color;
        float alpha;
        int r, g, b, a;
    } cases[] = {
        {0xFF8000, 0.5f, 127, 64, 0, 127},
        {0xFFFFFF, 1.0f, 255, 255, 255, 255},
        {0xFFFFFF, 0.0f, 0, 0, 0, 0},
        {0x123456, 1.0f, 0x12, 0x34, 0x56, 255},
        {0xFFFFFF, 0.999f, 254, 254, 254, 254},  // truncated, not rounded
        {0x7F000000 | 0xFF8000, 1.0f, 255, 128, 0, 255},  // bits above the colour are ignored
        {-1, 0.25f, 63, 63, 63, 63},
        {0xFFFFFF, 2.0f, 255, 255, 255, 255},  // outside 0..1: held to the range
        {0xFFFFFF, -0.5f, 0, 0, 0, 0},
        {0xFFFFFF, INFINITY, 255, 255, 255, 255},
        {0xFFFFFF, -INFINITY, 0, 0, 0, 0},
        {0xFFFFFF, NAN, 0, 0, 0, 0},
    };
    for (auto& c : cases) {
        for (int mode : {0, 7}) {
            glColor4ub(1, 2, 3, 4);
            _blend_set(c.color, c.alpha, mode);
            float f[4];
            glGetFloatv(GL_CURRENT_COLOR, f);
            int got[4];
            for (int i = 0; i < 4; i++) got[i] = (int)std::lround(f[i] * 255);
            EXPECT_EQ(std::vector<int>(got, got + 4), (std::vector<int>{c.r, c.g, c.b, c.a}))
                << std::hex << c.color << " at " << c.alpha;
        }
    }
}

TEST_F(Batch, ImageAndTextCommandsTintAndTheFrameEndsWhite) {
    start("function _paint()\n"
          "  qel_view_set(0, 0, 1280, 720)\n"
          "  qel_image_draw('white', 0, 0, 40, 40, 0, 0, 0, 0x00FF00, 0.5)\n"
          "  qel_font_draw('console', 24, 'MMMM', 100, 0, 0, -1, 0xFF0000, 0.25)\n"
          "end\n");
    paint();
    // The texel is white, so the pixel is the premultiplied draw colour
    // over black: green at half strength.
    GlPixel p = gl_pixel(20, 20);
    EXPECT_EQ(p.r, 0);
    EXPECT_NEAR(p.g, 127, 1);
    EXPECT_EQ(p.b, 0);
    // The glyphs: red at a quarter at most, nothing else.
    int top = 0, lit = 0;
    for (int y = 0; y < 30; y++)
        for (int x = 100; x < 180; x++) {
            GlPixel q = gl_pixel(x, y);
            EXPECT_EQ(q.g + q.b, 0) << x << ", " << y;
            top = std::max(top, q.r);
            lit += q.r > 0;
        }
    EXPECT_NEAR(top, 63, 2);
    EXPECT_GT(lit, 100);
    EXPECT_EQ(gl_pixel(95, 12).r, 0) << "left of the text";
    float f[4];
    glGetFloatv(GL_CURRENT_COLOR, f);
    EXPECT_EQ(std::vector<float>(f, f + 4), (std::vector<float>{1, 1, 1, 1}));
}

// ---------------------------------------------------------------------------
// The picture of a frame

TEST_F(Batch, PaintPlaysInOrderAndKeepsTheLastHealthyQueue) {
    start("mode = 'both'\n"
          "function _paint()\n"
          "  qel_view_set(0, 0, 320, 240)\n"
          "  if mode == 'none' then return end\n"
          "  qel_image_draw('red', 10, 10, 20, 20)\n"
          "  if mode == 'fail' then error('paint broke') end\n"
          "  qel_image_draw('blue', 20, 20, 20, 20)\n"
          "  qel_font_draw('console', 24, 'hi', 0, 0)\n"
          "end\n"
          "function _loop() if mode == 'loopfail' then error('loop broke') end end\n");
    // Logical (15, 15) lies in red only, (25, 25) in both, (35, 35) in blue only.
    auto at = [](int x, int y) { return gl_pixel(160 + x * 3, y * 3); };
    paint();
    EXPECT_GT(at(15, 15).r, 200);
    EXPECT_GT(at(25, 25).b, 200) << "the later command is drawn over the earlier";
    EXPECT_EQ(at(25, 25).r, 0);
    EXPECT_GT(at(35, 35).b, 200);
    ASSERT_EQ(api().batch.queue.size(), 4u);
    EXPECT_EQ(api().batch.queue[3].type, GCMD_TEXT);
    EXPECT_EQ(api().params["default_w"].__str__(), "1280");
    EXPECT_EQ(api().params["default_h"].__str__(), "720");

    // A _paint that queues nothing: only the cleared background.
    capture_stdout([&] { lua().script("mode = 'none'", "test"); });
    paint();
    EXPECT_EQ(at(15, 15).r, 0);
    EXPECT_EQ(at(35, 35).b, 0);

    // Commands queued outside _paint are emptied away before they are played.
    capture_stdout([&] { lua().script("mode = 'both' qel_image_draw('white', 0, 0, 320, 240)", "test"); });
    paint();
    EXPECT_EQ(at(5, 5).g, 0);
    EXPECT_GT(at(15, 15).r, 200);

    // A failure in _loop: the last queue is played every frame.
    capture_stdout([&] { lua().script("mode = 'loopfail'", "test"); });
    capture_stdout([&] { lua().loop(0); });
    ASSERT_FALSE(lua().is_ok());
    for (int frame = 0; frame < 2; frame++) {
        paint();
        EXPECT_GT(at(15, 15).r, 200);
        EXPECT_GT(at(35, 35).b, 200);
    }

    // A failure inside _paint: what it queued before the error is played,
    // and stays while the mod is stopped.
    capture_stdout([&] { lua().script("mode = 'fail'", "test"); });
    for (int frame = 0; frame < 3; frame++) {
        paint();
        EXPECT_FALSE(lua().is_ok());
        ASSERT_EQ(api().batch.queue.size(), 2u);
        EXPECT_GT(at(15, 15).r, 200);
        EXPECT_GT(at(25, 25).r, 200);
        EXPECT_EQ(at(35, 35).b, 0);
    }
}

// Long names and texts, so that every command holds strings of its own, and
// names that change from command to command, so that every one is looked up
// again. They name nothing, so that no GL driver, whose allocations the count
// would include, takes part.
TEST_F(Batch, ASteadyPictureAllocatesNothingPerCommand) {
    if (!alloc_count_available()) GTEST_SKIP() << "no allocation count under a sanitizer";
    start("");
    auto queue = [&] {
        api().batch.clear();
        for (int i = 0; i < 50; i++) {
            api().image_draw("a_picture_that_is_not_there", i, 10, 8, 8, 0, 0, 0, 0xffffff, 1, 0, 0);
            api().image_draw("another_picture_not_there", i, 30, 8, 8, 0, 0, 0, 0xff8000, 0.5f, 0, 0);
            api().font_draw("a_font_that_is_not_there", 13, "a text of more than sixteen bytes", i, 50, 0, -1,
                            0xffffff, 1, 0);
            api().font_draw("a_font_that_is_not_there", 24, "and another in a second size", i, 90, 0, -1,
                            0x00ff00, 1, 0);
        }
    };
    // The first two pictures grow the queue and the records it takes its
    // strings from, and look every name up for the first time.
    capture_stderr([&] {
        for (int k = 0; k < 2; k++) {
            queue();
            api().batch.draw();
        }
    });
    EXPECT_EQ(alloc_count(queue), 0);
    EXPECT_EQ(alloc_count([&] { api().batch.draw(); }), 0);
    EXPECT_EQ(api().batch.queue.size(), 200u);
}

TEST_F(Batch, MissingImageDrawsNothingAndIsSearchedOnce) {
    start("function _paint() qel_view_set(0, 0, 1280, 720) qel_image_draw('nothere', 0, 0, 40, 40) "
          "qel_image_draw('red', 40, 0, 40, 40) end\n");
    std::string out = capture_stderr([&] {
        for (int i = 0; i < 3; i++) paint();
    });
    EXPECT_EQ(gl_pixel(20, 20).r, 0);
    EXPECT_GT(gl_pixel(60, 20).r, 200);
    size_t first = out.find("trying load tex nothere");
    ASSERT_NE(first, std::string::npos) << out;
    EXPECT_EQ(out.find("trying load tex nothere", first + 1), std::string::npos) << out;
}

// ---------------------------------------------------------------------------
// The magnification switch

TEST_F(Batch, MagnificationFilterFollowsTheParameter) {
    GAME_THIS = nullptr;
    EXPECT_EQ(_QEL_GL_TEXTURE_MAG_FILTER(), GL_LINEAR) << "no game";
    GAME_THIS = &game;
    EXPECT_EQ(_QEL_GL_TEXTURE_MAG_FILTER(), GL_LINEAR) << "no ModsAPI yet";
    start("");
    EXPECT_EQ(_QEL_GL_TEXTURE_MAG_FILTER(), GL_LINEAR);
    EXPECT_TRUE(api().params.__has__(var("filter"))) << "a missing filter is entered as none";
    EXPECT_EQ(api().params["filter"].__type__(), VAR_NONE);
    struct {
        var value;
        int filter;
    } cases[] = {{var("nearest"), GL_NEAREST}, {var("Nearest"), GL_LINEAR}, {var("nearest "), GL_LINEAR},
                 {var("linear"), GL_LINEAR},   {var(1), GL_LINEAR},         {var(true), GL_LINEAR}};
    for (auto& c : cases) {
        api().params_set("filter", c.value);
        EXPECT_EQ(_QEL_GL_TEXTURE_MAG_FILTER(), c.filter) << c.value.__str__();
    }
}

TEST_F(Batch, TexturesKeepTheFilterOfTheirUpload) {
    start("");
    auto mag = [](const char* name) {
        int gl = gfx_img_get_tex(gfx_img_load(name));
        glBindTexture(GL_TEXTURE_2D, (GLuint)gl);
        GLint v = 0;
        glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, &v);
        return v;
    };
    int before = 0, after = 0;
    capture_stdout([&] {
        before = mag("red");
        api().params_set("filter", var("nearest"));
        after = mag("blue");
    });
    EXPECT_EQ(before, GL_LINEAR);
    EXPECT_EQ(after, GL_NEAREST);
    capture_stdout([&] { EXPECT_EQ(mag("red"), GL_LINEAR) << "loaded before the switch: stays linear"; });

    // Magnified 2-texel picture: nearest gives two solid halves.
    std::vector<unsigned char> px = fixture_solid(2, 1, 255, 0, 0, 255);
    px[4] = 0, px[6] = 255;
    ASSERT_TRUE(fixture_image(dir.file("two.png"), "png", 2, 1, px));
    capture_stdout([&] {
        api().view_set(0, 0, W, H, 0);
        api().image_draw("two", 0, 0, 200, 100, 0, 0, 0, 0xFFFFFF, 1, 0, 0);
        gfx_clear();
        api().batch.draw();
    });
    GlPixel p = gl_pixel(90, 50);
    EXPECT_GT(p.r, 250);
    EXPECT_EQ(p.b, 0);
}

// ---------------------------------------------------------------------------
// Sound and text measuring

class ModSound : public Batch {
protected:
    ModSound() { audio = true; }
    // The plays of a sound, as the audio device holds them.
    std::vector<AudioPlaying> plays(int src) {
        std::vector<AudioPlaying> r;
        for (const AudioPlaying& p : _sdl_audio_data->playing)
            if (p.src == src) r.push_back(p);
        return r;
    }
    // Moves a sound's plays on, as the mixing would.
    void advance(int src, int to) {
        for (AudioPlaying& p : _sdl_audio_data->playing)
            if (p.src == src) p.cur = to;
    }
};

TEST_F(ModSound, StreamStartsOncePerRunUntilStopped) {
    write_file(dir.file("music.wav"), wav_file(WAV_PCM, 16, 1, 44100, wav_data_s16(pcm_sine(44100, 1, 44100, 440, 0.5))));
    write_file(dir.file("blip.wav"), wav_file(WAV_PCM, 16, 1, 44100, wav_data_s16(pcm_sine(441, 1, 44100, 880, 0.5))));
    start("function play(v) qel_stream_play('music', v, 0.5) end\n");
    EXPECT_EQ(api().streams.count("music"), 0u) << "absent until the script asks";
    run("play(1.0)");
    int music = mixer_stream_load("music");
    ASSERT_GT(music, 0);
    ASSERT_EQ(plays(music).size(), 1u);
    EXPECT_EQ(plays(music)[0].vol, 1.0f);
    advance(music, 1000);
    // Called every frame with a changing volume: only the volume follows.
    run("play(0.5) play(0.25)");
    ASSERT_EQ(plays(music).size(), 1u);
    EXPECT_EQ(plays(music)[0].cur, 1000);
    EXPECT_EQ(plays(music)[0].vol, 0.25f);
    EXPECT_EQ(api().streams, (std::map<std::string, int>{{"music", 1}}));

    // Stopped, then played: from the beginning.
    run("qel_stream_stop('music')");
    EXPECT_TRUE(plays(music).empty());
    EXPECT_EQ(api().streams["music"], 0);
    run("play(0.75)");
    ASSERT_EQ(plays(music).size(), 1u);
    EXPECT_EQ(plays(music)[0].cur, 0);
    EXPECT_EQ(plays(music)[0].vol, 0.75f);

    // A restart makes a new table: the stream plays on, and the first play
    // of the new run starts it again.
    advance(music, 1000);
    start("");
    EXPECT_TRUE(api().streams.empty());
    ASSERT_EQ(plays(music).size(), 1u);
    run("qel_stream_play('music', 1) qel_stream_play('music', 1)");
    ASSERT_EQ(plays(music).size(), 1u);
    EXPECT_EQ(plays(music)[0].cur, 0);

    // Every sample play starts one more; a name without a file plays nothing.
    run("qel_sample_play('blip', 0.5, -1) qel_sample_play('blip') qel_sample_play('nothing')");
    int blip = mixer_sample_load("blip");
    ASSERT_EQ(plays(blip).size(), 2u);
    EXPECT_EQ(plays(blip)[0].vol, 0.5f);
    EXPECT_EQ(plays(blip)[1].vol, 1.0f);
    EXPECT_EQ(_sdl_audio_data->playing.size(), 3u);
}

// A stream whose name had no file started nothing, so it is not taken as
// started: once a reload of the mod has the registry look for it again and
// its file is there, the script's next play starts it.
TEST_F(ModSound, StreamWithoutAFileStartsOnceItsFileIsFound) {
    start("function play() qel_stream_play('late', 1) end\n");
    run("play() play()");
    EXPECT_TRUE(_sdl_audio_data->playing.empty());
    write_file(dir.file("late.wav"), wav_file(WAV_PCM, 16, 1, 44100, wav_data_s16(pcm_sine(4410, 1, 44100, 440, 0.5))));
    capture_stdout([] { mixer_forget_missing(); });  // as every reload does
    run("play()");
    int late = mixer_stream_load("late");
    ASSERT_GT(late, 0);
    ASSERT_EQ(plays(late).size(), 1u) << "the first play after the file was found starts it";
    advance(late, 1000);
    run("play()");
    ASSERT_EQ(plays(late).size(), 1u);
    EXPECT_EQ(plays(late)[0].cur, 1000) << "and later plays only follow the volume";
}

TEST_F(Batch, FontSizePacksTheMeasuredWidthAndHeight) {
    start("");
    int f = 0;
    capture_stdout([&] { f = font_load("console", 24); });
    ASSERT_GT(f, 0) << "the engine's console font";
    std::string forty;
    for (int i = 0; i < 40; i++) forty += "line\n";
    // Without a wrap width the height is that of the lines drawn, one line
    // height each, at most 32; with one it is the wrapped text's.
    struct {
        std::string text;
        float w;
        int lines;  // 0: as font_get_height measures it in w
    } cases[] = {{"MMMM", 0, 1},
                 {"", 0, 1},
                 {"two\nlines", 0, 2},
                 {"line one\nline two\nline three", 0, 3},
                 {"ends in a newline\n", 0, 2},
                 {forty, 0, 32},
                 {"MMMM", 200, 0},
                 {"a few words to wrap here", 60, 0},
                 {"x", 0.5f, 0}};
    float line = font_get_height(f, nullptr, 0);
    for (auto& c : cases) {
        int width = c.w > 0 ? (int)c.w : (int)font_get_width(f, c.text.c_str());
        int height = c.lines ? (int)(line * c.lines) : (int)font_get_height(f, c.text.c_str(), c.w);
        EXPECT_GT(height, 0) << c.text;
        std::string quoted = c.text;
        for (size_t nl; (nl = quoted.find('\n')) != std::string::npos;) quoted.replace(nl, 1, "\\n");
        run("w, h = qel_font_size('console', 24, '" + quoted + "', " + std::to_string(c.w) + ")");
        EXPECT_EQ(global("w"), std::to_string(width)) << c.text << " in " << c.w;
        EXPECT_EQ(global("h"), std::to_string(height)) << c.text << " in " << c.w;
        EXPECT_EQ(api().font_size("console", 24, c.text, c.w), width * 65536 + height) << c.text;
    }
    EXPECT_EQ(global("select('#', qel_font_size('console', 24, 'MMMM'))"), "2");
    // The font layer's own measure stays one line's height without a width.
    EXPECT_EQ(font_get_height(f, "line one\nline two\nline three", 0), line);
}

// ---------------------------------------------------------------------------
// The event dictionary, as the script receives it

namespace {
// Keeps the text of every event it receives in `seen`, in order.
const std::string kRecorder =
    std::string(mod_lua_event_text) + "seen = {}\nfunction _event(e) seen[#seen + 1] = event_text(e) end\n";
}

TEST_F(Batch, EventDictionaryForEachKind) {
    start(kRecorder);
    api().params["view_w"] = var(320);
    api().params["view_h"] = var(240);
    auto ev = [](int type) { return Event(type); };
    struct {
        Event e;
        const char* want;
    } cases[] = {
        {ev(EVT_SUSPEND), "button=0 device=0 dx=0 dy=0 h=0 text= type=suspend w=0 x=0 y=0"},
        {ev(EVT_RESET), "button=0 device=0 dx=0 dy=0 h=0 text= type=reset w=0 x=0 y=0"},
        {ev(EVT_NONE), "button=0 device=0 dx=0 dy=0 h=0 text= type=? w=0 x=0 y=0"},
        {ev(EVT_LOGIN), "button=0 device=0 dx=0 dy=0 h=0 text= type=? w=0 x=0 y=0"},
        {ev(EVT_QUIT), "button=0 device=0 dx=0 dy=0 h=0 text= type=quit w=0 x=0 y=0"},
    };
    for (auto& c : cases) {
        capture_stdout([&] { mods_event_handle(game, c.e); });
        EXPECT_EQ(global("seen[#seen]"), c.want);
    }

    // Every kind with its fields filled the way the driver fills them.
    struct Case {
        int type;
        float x, y, w, h, dx, dy;
        int b, c, v, device;
        const char* want;
    } filled[] = {
        {EVT_RESIZE, 0, 0, 1024, 768, 0, 0, 0, 0, 0, 0,
         "button=0 device=0 dx=0 dy=0 h=768 text= type=resize w=1024 x=0 y=0"},
        {EVT_KEYDOWN, 0, 0, 0, 0, 0, 0, EVT_MOD_CTRL, 0, 'f', 0,
         "button=2 device=0 dx=0 dy=0 h=0 key=102 name=F text= type=keydown w=0 x=0 y=0"},
        {EVT_KEYUP, 0, 0, 0, 0, 0, 0, EVT_MOD_SHIFT, 0, '\r', 0,
         "button=1 device=0 dx=0 dy=0 h=0 key=13 name=Return text= type=keyup w=0 x=0 y=0"},
        {EVT_KEYDOWN, 0, 0, 0, 0, 0, 0, 0, 'a', 0, 0,
         "button=0 device=0 dx=0 dy=0 h=0 key=0 name= text=a type=keydown w=0 x=0 y=0"},
        {EVT_KEYDOWN, 0, 0, 0, 0, 0, 0, 0, (signed char)0xC3, 0, 0,
         "button=0 device=0 dx=0 dy=0 h=0 key=0 name= text=\xC3 type=keydown w=0 x=0 y=0"},
        {EVT_KEYDOWN, 0, 0, 0, 0, 0, 0, 0, 0x141, 0, 0,  // only the low byte counts
         "button=0 device=0 dx=0 dy=0 h=0 key=0 name= text=A type=keydown w=0 x=0 y=0"},
        {EVT_MOUSEDOWN, 640, 360, 0, 0, 0, 0, 1, 0, 0, 0,
         "button=1 device=0 dx=0 dy=0 h=0 text= type=mousedown w=0 x=640 y=360"},
        {EVT_MOUSEMOTION, 643, 354, 0, 0, 3, -6, 4, 0, 0, 0,
         "button=4 device=0 dx=3 dy=-6 h=0 text= type=mousemotion w=0 x=643 y=354"},
        {EVT_MOUSEUP, 160, 0, 0, 0, 0, 0, 3, 0, 0, 1,
         "button=3 device=1 dx=0 dy=0 h=0 text= type=mouseup w=0 x=160 y=0"},
        {EVT_TOUCHDOWN, 100, 200, 0, 0, 0, 0, 1, 0, 0, 7,
         "button=1 device=7 dx=0 dy=0 h=0 text= type=touchdown w=0 x=100 y=200"},
        {EVT_TOUCHMOTION, 100, 200, 0, 0, 6, 9, 2, 0, 0, 7,
         "button=2 device=7 dx=6 dy=9 h=0 text= type=touchmotion w=0 x=100 y=200"},
        {EVT_TOUCHUP, 100, 200, 0, 0, 0, 0, 1, 0, 0, 7,
         "button=1 device=7 dx=0 dy=0 h=0 text= type=touchup w=0 x=100 y=200"},
        // In the logical view: 320 x 240 shown at scale 3 from x = 160.
        {EVT_DOWN, 640, 360, 0, 0, 0, 0, 1, 0, 0, 0,
         "button=1 device=0 dx=0 dy=0 h=0 text= type=down w=0 x=160 y=120"},
        {EVT_MOTION, 163, 3, 0, 0, 30, -6, 1, 0, 0, 0,
         "button=1 device=0 dx=10 dy=-2 h=0 text= type=motion w=0 x=1 y=1"},
        {EVT_UP, 1120, 720, 0, 0, 0, 0, 1, 0, 0, 0,
         "button=1 device=0 dx=0 dy=0 h=0 text= type=up w=0 x=320 y=240"},
        {EVT_WHEEL, 640, 360, 0, 0, 0, -3, 0, 0, 0, 0,
         "button=0 device=0 dx=0 dy=-1 h=0 text= type=wheel w=0 x=160 y=120"},
        {EVT_JOYMOTION, 0.5f, -1, 0, 0, 0, 0, 1, 0, 0, 2,
         "button=1 device=2 dx=0 dy=0 h=0 text= type=joymotion w=0 x=0.5 y=-1"},
        {EVT_JOYDOWN, 0, 0, 0, 0, 0, 0, 3, 0, 0, 1,
         "button=3 device=1 dx=0 dy=0 h=0 text= type=joydown w=0 x=0 y=0"},
        {EVT_JOYUP, 0, 0, 0, 0, 0, 0, 3, 0, 0, 1,
         "button=3 device=1 dx=0 dy=0 h=0 text= type=joyup w=0 x=0 y=0"},
    };
    for (const Case& c : filled) {
        Event e(c.type);
        e.x = c.x, e.y = c.y, e.w = c.w, e.h = c.h, e.dx = c.dx, e.dy = c.dy;
        e.b = c.b, e.c = c.c, e._v = c.v, e.device = c.device;
        e.z = 5, e.dz = 6, e.t = 7, e.stype = 8, e.v = 99;  // never passed on
        capture_stdout([&] { mods_event_handle(game, e); });
        EXPECT_EQ(global("seen[#seen]"), c.want);
    }
}

TEST_F(Batch, PointerEventsReachTheScriptTwice) {
    start(kRecorder);
    api().params["view_w"] = var(320);
    api().params["view_h"] = var(240);
    // The console painter leaves a window-pixel view at the end of a frame;
    // the mod's view is applied again before the conversion.
    modsapi_log_paint(&api());
    Event e(EVT_MOUSEDOWN);
    e.x = 640, e.y = 360, e.b = 1;
    capture_stdout([&] { game.event(e); });
    EXPECT_EQ(global("#seen"), "2");
    EXPECT_EQ(global("seen[1]"), "button=1 device=0 dx=0 dy=0 h=0 text= type=mousedown w=0 x=640 y=360");
    EXPECT_EQ(global("seen[2]"), "button=1 device=0 dx=0 dy=0 h=0 text= type=down w=0 x=160 y=120");
    Event t(EVT_TOUCHMOTION);
    t.x = 1120, t.y = 0, t.dx = -3, t.b = 1;
    capture_stdout([&] { game.event(t); });
    EXPECT_EQ(global("seen[3]"), "button=1 device=0 dx=-3 dy=0 h=0 text= type=touchmotion w=0 x=1120 y=0");
    EXPECT_EQ(global("seen[4]"), "button=1 device=0 dx=-1 dy=0 h=0 text= type=motion w=0 x=320 y=0");
    // A view the script wrecked: pointer positions stay numbers.
    capture_stdout([&] { lua().script("qel_params_set('view_w', 0/0) qel_params_set('view_h', math.huge)", "t"); });
    capture_stdout([&] { game.event(e); });
    EXPECT_EQ(global("seen[6]"), "button=1 device=0 dx=0 dy=0 h=0 text= type=down w=0 x=640 y=360");
}
