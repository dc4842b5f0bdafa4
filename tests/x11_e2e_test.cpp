// The real executable runs mods under the X server of the test run, with real
// input sent through the server (xdotool) and the window's picture read back
// from the server (ImageMagick's import): what a mod draws in its logical
// view lands where it should, every kind of input reaches its _event, a
// failing _paint keeps its partial picture, and the bundled demo shows.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <ctime>
#include <functional>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include "child.h"
#include "image_fixtures.h"
#include "mod_lua.h"
#include "mod_run.h"
#include "time_limit.h"
#include "x11.h"

namespace {

const int kWait = 20000;  // ms in the release tree (time_limit.h)

// Prints every event as "event" and its keys in order, "k=v" each.
const std::string kRecorder =
    std::string(mod_lua_event_text) + "function _event(e) print('event ' .. event_text(e)) end\n";

class X11E2E : public ModRunTest {
protected:
    unsigned long window = 0;

    void SetUp() override {
        ASSERT_TRUE(x11_pin_sdl()) << "DISPLAY is not set: this test needs an X server";
        // No other window of that title may be around to confuse the search.
        for (int waited = 0; waited <= time_limit_ms(5000) && x11_wait_window("QelGame", 0, 0, 0); waited += 20)
            usleep(20000);
        ASSERT_EQ(x11_wait_window("QelGame", 0, 0, 0), 0ul);
        mkdir(QEL_BINARY_DIR "/test-output", 0755);  // pictures kept for a person to look at
        // 8 x 8 red; 16 x 8 with a red left half and a blue right half.
        ASSERT_TRUE(fixture_image(dir.file("red.png"), "png", 8, 8, fixture_solid(8, 8, 255, 0, 0, 255)));
        ASSERT_TRUE(fixture_image(dir.file("halves.png"), "png", 16, 8, fixture_halves(16, 8)));
    }

    // Runs the executable on the mod `main` (or, with an empty `main`, on
    // the bundled demo) and waits for its window.
    void start(const std::string& main) {
        ASSERT_NO_FATAL_FAILURE(ModRunTest::start(main));
        window = x11_wait_window("QelGame", 1280, 720, kWait);
        ASSERT_NE(window, 0ul) << out();
    }

    // The events the recorder printed, in order (print logs each argument as
    // an echo of its own).
    std::vector<std::string> events() {
        std::vector<std::string> r;
        for (const std::string& e : echoes())
            if (e.compare(0, 6, "event ") == 0) r.push_back(e.substr(6));
        return r;
    }

    // Waits until the recorder printed `want`; its index, or -1.
    int wait_event(const std::string& want, int from = 0) {
        for (int waited = 0; waited <= time_limit_ms(kWait); waited += 20) {
            std::vector<std::string> e = events();
            for (int i = from; i < (int)e.size(); i++)
                if (e[i] == want) return i;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return -1;
    }

    std::string dump() {
        std::string r;
        for (const std::string& e : events()) r += e + "\n";
        return r;
    }

    // Pictures of the window until `ready` holds for one, as the program
    // draws at its own pace (slower on a busy machine): that one, or the
    // last after kWait (scaled). Each is also written to png_path when that is not
    // empty.
    X11Shot shot_when(const std::function<bool(const X11Shot&)>& ready, const std::string& png_path = "") {
        X11Shot shot;
        auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(time_limit_ms(kWait));
        while (!(x11_screenshot(window, png_path, &shot) && ready(shot)) && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        return shot;
    }
};

// Whether a pixel is close to a colour (the window's pixels went through
// premultiplied textures).
::testing::AssertionResult near(const std::vector<int>& got, std::vector<int> want, const char* where) {
    for (int i = 0; i < 3; i++)
        if (std::abs(got[i] - want[i]) > 3)
            return ::testing::AssertionFailure() << where << ": (" << got[0] << ", " << got[1] << ", " << got[2]
                                                 << ") instead of (" << want[0] << ", " << want[1] << ", "
                                                 << want[2] << ")";
    return ::testing::AssertionSuccess();
}

}  // namespace

// A 320 x 240 view in the 1280 x 720 window: scale 3, the canvas 960 pixels
// wide from x = 160. Nearest-neighbour magnification keeps the edges sharp.
TEST_F(X11E2E, LogicalViewPixelsLandWhereExpected) {
    start("qel_params_set('filter', 'nearest')\n"
          "frames = 0\n"
          "function _paint()\n"
          "  frames = frames + 1\n"
          "  qel_view_set(0, 0, 320, 240)\n"
          "  qel_image_draw('red', 10, 20, 40, 30)\n"
          "  qel_image_draw('halves', 200, 100, -64, 32, 10, 0)\n"
          "  qel_font_draw('console', 16, 'HELLO', 20, 150, 0, -1, 0x00FF00)\n"
          "  if frames == 5 then print('painted', qel_font_size('console', 16, 'HELLO')) end\n"
          "end\n");
    ASSERT_TRUE(wait_for("ModsAPI: painted")) << out();
    X11Shot shot;
    ASSERT_TRUE(x11_screenshot(window, QEL_BINARY_DIR "/test-output/view.png", &shot));
    ASSERT_EQ(shot.w, 1280);
    ASSERT_EQ(shot.h, 720);
    // Red over logical (10, 20) - (50, 50): window (190, 60) - (310, 150).
    EXPECT_TRUE(near(shot.at(192, 62), {254, 0, 0}, "red, top left"));
    EXPECT_TRUE(near(shot.at(307, 147), {254, 0, 0}, "red, bottom right"));
    EXPECT_TRUE(near(shot.at(186, 62), {0, 0, 0}, "left of red"));
    EXPECT_TRUE(near(shot.at(313, 147), {0, 0, 0}, "right of red"));
    EXPECT_TRUE(near(shot.at(250, 153), {0, 0, 0}, "below red"));
    // The mirrored picture over logical (190, 100) - (254, 132): window
    // (730, 300) - (922, 396), its blue half now on the left.
    EXPECT_TRUE(near(shot.at(735, 305), {0, 0, 254}, "mirrored, left"));
    EXPECT_TRUE(near(shot.at(820, 390), {0, 0, 254}, "mirrored, left middle"));
    EXPECT_TRUE(near(shot.at(832, 305), {254, 0, 0}, "mirrored, right middle"));
    EXPECT_TRUE(near(shot.at(918, 390), {254, 0, 0}, "mirrored, right"));
    EXPECT_TRUE(near(shot.at(726, 350), {0, 0, 0}, "left of the mirrored picture"));
    EXPECT_TRUE(near(shot.at(926, 350), {0, 0, 0}, "right of the mirrored picture"));
    // The bars beside the canvas.
    EXPECT_TRUE(near(shot.at(80, 360), {0, 0, 0}, "left bar"));
    EXPECT_TRUE(near(shot.at(1200, 360), {0, 0, 0}, "right bar"));
    // The text over logical (20, 150) and its measured size: green pixels
    // inside that box (window (220, 450) on), none in a band around it.
    std::vector<std::string> e = echoes();
    auto painted = std::find(e.begin(), e.end(), "painted");
    ASSERT_TRUE(painted != e.end() && e.end() - painted >= 3) << out();
    int tw = std::stoi(painted[1]), th = std::stoi(painted[2]);
    EXPECT_GT(tw, 20);
    EXPECT_EQ(th, 16);
    int x0 = 220, y0 = 450, x1 = x0 + tw * 3, y1 = y0 + th * 3, inside = 0, outside = 0;
    for (int y = y0 - 30; y < y1 + 30; y++)
        for (int x = x0 - 30; x < x1 + 30; x++) {
            std::vector<int> p = shot.at(x, y);
            bool green = p[1] > 100 && p[0] < 60 && p[2] < 60;
            bool in = x >= x0 - 3 && x < x1 + 3 && y >= y0 - 3 && y < y1 + 3;
            (in ? inside : outside) += green;
        }
    EXPECT_GT(inside, tw * th) << "the glyphs cover a good part of their box";
    EXPECT_EQ(outside, 0);
    // The text's left half is not its right half: five letters, not a bar.
    int left = 0, right = 0;
    for (int y = y0; y < y1; y++)
        for (int x = x0; x < x1; x++) (x < (x0 + x1) / 2 ? left : right) += shot.at(x, y)[1] > 100;
    EXPECT_GT(left, 0);
    EXPECT_GT(right, 0);
    // The window's own events reached the engine script's empty _event.
    EXPECT_EQ(out().find("Lua error"), std::string::npos) << out();
}

TEST_F(X11E2E, InputReachesTheScript) {
    start(kRecorder +
          "frames = 0\n"
          "function _paint()\n"
          "  frames = frames + 1\n"
          "  qel_view_set(0, 0, 320, 240)\n"
          "  if frames == 5 then print('painted') end\n"
          "end\n");
    // Input only once the mod's view has been played.
    ASSERT_TRUE(wait_for("ModsAPI: painted")) << out();

    // A left click: twice, in window pixels, then in the logical view.
    ASSERT_TRUE(x11_click(window, 640, 360, 1));
    int down = wait_event("button=1 device=0 dx=0 dy=0 h=0 text= type=mousedown w=0 x=640 y=360");
    ASSERT_GE(down, 0) << dump();
    ASSERT_GE(wait_event("button=1 device=0 dx=0 dy=0 h=0 text= type=mouseup w=0 x=640 y=360", down), 0) << dump();
    std::vector<std::string> e = events();
    EXPECT_EQ(e[down + 1], "button=1 device=0 dx=0 dy=0 h=0 text= type=down w=0 x=160 y=120") << dump();
    EXPECT_EQ(e[down + 3], "button=1 device=0 dx=0 dy=0 h=0 text= type=up w=0 x=160 y=120") << dump();

    // A typed letter: its key, the platform's text event, the byte, the release.
    ASSERT_TRUE(x11_key(window, "a"));
    int key = wait_event("button=0 device=0 dx=0 dy=0 h=0 key=97 name=A text= type=keydown w=0 x=0 y=0", down);
    ASSERT_GE(key, 0) << dump();
    ASSERT_GE(wait_event("button=0 device=0 dx=0 dy=0 h=0 key=97 name=A text= type=keyup w=0 x=0 y=0", key), 0)
        << dump();
    e = events();
    std::vector<std::string> typed(e.begin() + key, e.begin() + key + 4);
    EXPECT_EQ(typed, (std::vector<std::string>{
                         "button=0 device=0 dx=0 dy=0 h=0 key=97 name=A text= type=keydown w=0 x=0 y=0",
                         "button=0 device=0 dx=0 dy=0 h=0 text= type=? w=0 x=0 y=0",
                         "button=0 device=0 dx=0 dy=0 h=0 key=0 name= text=a type=keydown w=0 x=0 y=0",
                         "button=0 device=0 dx=0 dy=0 h=0 key=97 name=A text= type=keyup w=0 x=0 y=0"}))
        << dump();

    // A resize by the window system.
    ASSERT_TRUE(x11_resize(window, 1024, 768));
    EXPECT_GE(wait_event("button=0 device=0 dx=0 dy=0 h=768 text= type=resize w=1024 x=0 y=0", key), 0) << dump();

    // Ctrl+F: the window is made again in fullscreen, then the key goes on.
    ASSERT_TRUE(x11_key(window, "ctrl+f"));
    int reset = wait_event("button=0 device=0 dx=0 dy=0 h=0 text= type=reset w=0 x=0 y=0", key);
    ASSERT_GE(reset, 0) << dump();
    ASSERT_GE(wait_event("button=2 device=0 dx=0 dy=0 h=0 key=102 name=F text= type=keydown w=0 x=0 y=0", reset),
              reset + 1)
        << dump();
    EXPECT_EQ(events()[reset + 1], "button=2 device=0 dx=0 dy=0 h=0 key=102 name=F text= type=keydown w=0 x=0 y=0")
        << dump();
    unsigned long full = x11_wait_window("QelGame", 1600, 900, kWait);
    ASSERT_NE(full, 0ul) << out();
    ASSERT_TRUE(x11_key(full, "ctrl+q"));
    EXPECT_EQ(child_wait(child, kWait), 0) << out();
}

TEST_F(X11E2E, FailedPaintKeepsItsPartialPicture) {
    set_mtime(dir.file("red.png"), time(nullptr) - 100);
    start("frames = 0\n"
          "function _paint()\n"
          "  frames = frames + 1\n"
          "  qel_view_set(0, 0, 320, 240)\n"
          "  qel_image_draw('red', 10, 20, 40, 30)\n"
          "  if frames == 10 then error('paint broke') end\n"
          "  qel_image_draw('halves', 100, 20, 40, 30)\n"
          "end\n");
    ASSERT_TRUE(wait_for("Lua error: 2")) << out();
    ASSERT_TRUE(frame_passes(dir.file("red.png"))) << out();
    ASSERT_TRUE(child_running(child)) << out();
    X11Shot shot;
    ASSERT_TRUE(x11_screenshot(window, "", &shot));
    EXPECT_TRUE(near(shot.at(250, 100), {254, 0, 0}, "queued before the error"));
    EXPECT_TRUE(near(shot.at(490, 100), {0, 0, 0}, "after the error: never queued"));
    EXPECT_NE(out().find("paint broke"), std::string::npos) << out();
}

// Pictures that were missing when first drawn show once their files exist
// and the mod reloads: after a script is saved, or after F5. Until then a
// missing name is looked for once, not at every frame. The font whose glyph
// picture was missing draws its text as white boxes, and with the picture
// after the reload.
TEST_F(X11E2E, MissingPicturesShowAfterAScriptSaveOrF5) {
    set_mtime(dir.file("red.png"), time(nullptr) - 100);
    // One glyph, A: a 32 x 32 cell filling its picture.
    write_file(dir.file("boxes.fnt"), "common lineHeight=32 base=32 scaleW=32 scaleH=32\n"
                                      "char id=65 x=0 y=0 width=32 height=32 xoffset=0 yoffset=0 xadvance=32\n");
    const std::string mod = "function _paint()\n"
                            "  qel_image_draw('red', 600, 0, 8, 8)\n"
                            "  qel_image_draw('late', 0, 0, 100, 100)\n"
                            "  qel_font_draw('boxes', 32, 'A', 200, 0, 0, -1, 0xFFFFFF)\n"
                            "  qel_image_draw('later', 400, 0, 100, 100)\n"
                            "end\n";
    start(mod);
    auto lookups = [&](const std::string& name) {
        std::string o = out(), line = "trying load tex " + name + "\n";
        size_t n = 0;
        for (size_t p = o.find(line); p != std::string::npos; p = o.find(line, p + 1)) n++;
        return n;
    };
    X11Shot shot = shot_when([](const X11Shot& s) { return (bool)near(s.at(216, 16), {255, 255, 255}, ""); });
    EXPECT_TRUE(near(shot.at(216, 16), {255, 255, 255}, "a glyph without its picture: a white box"));
    EXPECT_TRUE(near(shot.at(50, 50), {0, 0, 0}, "no picture yet"));

    ASSERT_TRUE(fixture_image(dir.file("late.png"), "png", 8, 8, fixture_solid(8, 8, 255, 0, 0, 255)));
    ASSERT_TRUE(fixture_image(dir.file("boxes.png"), "png", 32, 32, fixture_solid(32, 32, 0, 0, 255, 255)));
    ASSERT_TRUE(frame_passes(dir.file("red.png"))) << out();
    EXPECT_EQ(lookups("late"), 1u) << out();
    EXPECT_EQ(lookups("boxes"), 1u) << out();

    // A script saved: the mod reloads, and both pictures are looked for again.
    write_file(dir.file("main.lua"), mod + "-- saved again\n");
    shot = shot_when([](const X11Shot& s) {
        return near(s.at(50, 50), {254, 0, 0}, "") && near(s.at(216, 16), {0, 0, 254}, "");
    });
    EXPECT_TRUE(near(shot.at(50, 50), {254, 0, 0}, "the picture after the script was saved")) << out();
    EXPECT_TRUE(near(shot.at(216, 16), {0, 0, 254}, "the glyph with its picture")) << out();
    EXPECT_TRUE(near(shot.at(450, 50), {0, 0, 0}, "the other picture is still missing"));

    // F5: the mod restarts, and the picture added since shows.
    ASSERT_TRUE(fixture_image(dir.file("later.png"), "png", 8, 8, fixture_solid(8, 8, 0, 255, 0, 255)));
    ASSERT_TRUE(x11_key(window, "F5"));
    shot = shot_when([](const X11Shot& s) { return (bool)near(s.at(450, 50), {0, 254, 0}, ""); });
    EXPECT_TRUE(near(shot.at(450, 50), {0, 254, 0}, "the picture after F5")) << out();
    EXPECT_EQ(lookups("later"), 3u) << "once at the start, once per reload\n" << out();
}

// The bundled demo, as ./run.sh starts it: its picture is kept in the build
// tree for a person to look at.
TEST_F(X11E2E, DemoShows) {
    std::string shots = QEL_BINARY_DIR "/test-output";
    start("");
    ASSERT_TRUE(wait_for("ModsAPI::require: ./data/main.lua")) << out();
    // The 320 x 240 view fills the height: bars left and right, a blue
    // backdrop over brown ground in between, once the demo has drawn it.
    int blue = 0, brown = 0;
    X11Shot shot = shot_when(
        [&](const X11Shot& s) {
            blue = brown = 0;
            for (int x = 170; x < 1110; x += 10) {
                std::vector<int> sky = s.at(x, 400), ground = s.at(x, 700);
                blue += sky[2] > sky[0] + 20;
                brown += ground[0] > ground[2] + 20;
            }
            return blue > 80 && brown > 80;
        },
        shots + "/demo.png");
    EXPECT_TRUE(near(shot.at(40, 360), {0, 0, 0}, "left bar"));
    EXPECT_TRUE(near(shot.at(1240, 360), {0, 0, 0}, "right bar"));
    EXPECT_GT(blue, 80) << "of 94 samples across the backdrop";
    EXPECT_GT(brown, 80) << "of 94 samples across the ground";

    // A click adds a ball and names the input on screen.
    ASSERT_TRUE(x11_click(window, 640, 300, 1));
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    ASSERT_TRUE(x11_screenshot(window, shots + "/demo_clicked.png", &shot));
    ASSERT_TRUE(x11_key(window, "ctrl+q"));
    EXPECT_EQ(child_wait(child, kWait), 0) << out();
    EXPECT_EQ(out().find("Lua error"), std::string::npos) << out();
}

namespace {

// The console font's reference glyphs, drawn by the console mod below at
// (700, 100): one 12 x 24 cell each.
const std::string kGlyphs = "0123456789()*>print ";

// A 12 x 24 cell of white text as grey levels scaled to its brightest
// pixel, so text under the console's veil reads like text over it; all 0
// when the cell is dark.
std::vector<float> text_cell(const X11Shot& s, int x, int y) {
    std::vector<float> v;
    int top = 0;
    for (int j = 0; j < 24; j++)
        for (int i = 0; i < 12; i++) {
            v.push_back((float)s.at(x + i, y + j)[1]);
            top = std::max(top, s.at(x + i, y + j)[1]);
        }
    for (float& f : v) f = top < 40 ? 0 : f / top;
    return v;
}

// The characters of the console font written from (x, y), read by
// comparing each cell with the reference glyphs.
std::string read_text(const X11Shot& s, int x, int y, int n) {
    std::string r;
    for (int k = 0; k < n; k++) {
        std::vector<float> c = text_cell(s, x + 12 * k, y);
        float best = 1e30f;
        char found = '?';
        for (size_t g = 0; g < kGlyphs.size(); g++) {
            std::vector<float> ref = text_cell(s, 700 + 12 * (int)g, 100);
            float d = 0;
            for (size_t i = 0; i < c.size(); i++) d += std::abs(c[i] - ref[i]);
            if (d < best) best = d, found = kGlyphs[g];
        }
        r += found;
    }
    return r;
}

}  // namespace

// The console of a mod that paints a white panel and the reference glyphs,
// and keeps the key events it gets in a file (so its log holds only what
// the console puts there): F1 opens it over a veil, a typed line runs on
// Return, Up recalls it, F2 empties the log, F5 restarts the mod, and the
// script sees every key.
TEST_F(X11E2E, DeveloperConsole) {
    ASSERT_TRUE(fixture_image(dir.file("white.png"), "png", 8, 8, fixture_solid(8, 8, 255, 255, 255, 255)));
    std::string events_file = dir.file("appdata/QelGame/events.txt");
    start("seen = {}\n"
          "function _init() print('init') end\n"
          "function _event(e)\n"
          "  if e.type == 'keydown' or e.type == 'keyup' then\n"
          "    seen[#seen + 1] = e.type .. ' ' .. e.name .. ' ' .. e.text\n"
          "    qel_file_save('events.txt', table.concat(seen, '\\n') .. '\\n')\n"
          "  end\n"
          "end\n"
          "function _paint()\n"
          "  qel_image_draw('white', 0, 0, 640, 300)\n"
          "  qel_font_draw('console', 24, '" + kGlyphs + "', 700, 100, 0, -1, 0xFFFFFF)\n"
          "end\n");
    ASSERT_TRUE(wait_for("ModsAPI: init")) << out();
    auto events = [&] { return path_exists(events_file) ? read_file(events_file) : std::string(); };
    // Waits until the script has kept the line `times` times.
    auto wait_key = [&](const std::string& line, int times = 1) {
        for (int waited = 0; waited <= time_limit_ms(kWait); waited += 20) {
            std::string all = events();
            int n = 0;
            for (size_t p = all.find(line + "\n"); p != std::string::npos; p = all.find(line + "\n", p + 1)) n++;
            if (n >= times) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    };
    // Each picture is taken once the frames drawn since show the step's
    // change; the rest of what it shows is then checked.
    auto panel = [](int level) {
        return [level](const X11Shot& s) { return (bool)near(s.at(320, 150), {level, level, level}, ""); };
    };
    X11Shot shot = shot_when(panel(255));
    EXPECT_TRUE(near(shot.at(320, 150), {255, 255, 255}, "the panel, console closed"));
    EXPECT_EQ(read_text(shot, 132, 696, 2), "1)") << "the strip counts the log's one line";

    // F1: the veil darkens everything to a third; the script gets the key.
    ASSERT_TRUE(x11_key(window, "F1"));
    ASSERT_TRUE(wait_key("keydown F1 ")) << events();
    shot = shot_when(panel(85));
    EXPECT_TRUE(near(shot.at(320, 150), {85, 85, 85}, "the panel under the veil"));
    EXPECT_EQ(read_text(shot, 0, 672, 1), ">") << "the prompt";

    // A line typed and run: echoed, then its output, in the log and on the
    // standard output; the input line is empty again.
    ASSERT_TRUE(x11_type(window, "print(6*7)"));
    ASSERT_TRUE(wait_key("keydown  )")) << events();
    ASSERT_TRUE(x11_key(window, "Return"));
    ASSERT_TRUE(wait_for("ModsAPI: 42")) << out();
    std::vector<std::string> e = echoes();
    EXPECT_EQ(std::vector<std::string>(e.end() - 2, e.end()), (std::vector<std::string>{"> print(6*7)", "42"}))
        << out();
    ASSERT_TRUE(wait_key("keyup Return ")) << events();
    shot = shot_when([](const X11Shot& s) { return read_text(s, 0, 648, 2) == "42"; });
    EXPECT_EQ(read_text(shot, 0, 648, 2), "42");
    EXPECT_EQ(read_text(shot, 0, 624, 12), "> print(6*7)");
    EXPECT_EQ(read_text(shot, 25, 672, 10), "          ") << "the input line is empty";
    EXPECT_EQ(read_text(shot, 132, 696, 2), "3)");

    // Up brings the line back; it runs again on Return.
    ASSERT_TRUE(x11_key(window, "Up"));
    ASSERT_TRUE(wait_key("keydown Up ")) << events();
    shot = shot_when([](const X11Shot& s) { return read_text(s, 25, 672, 10) == "print(6*7)"; },
                     QEL_BINARY_DIR "/test-output/console.png");
    EXPECT_EQ(read_text(shot, 25, 672, 10), "print(6*7)");
    ASSERT_TRUE(x11_key(window, "Return"));
    ASSERT_TRUE(wait_key("keyup Return ", 2)) << events();
    e = echoes();
    EXPECT_EQ(std::count(e.begin(), e.end(), "> print(6*7)"), 2) << out();

    // F2 empties the log: the count reads 0 and no line is shown.
    ASSERT_TRUE(x11_key(window, "F2"));
    ASSERT_TRUE(wait_key("keydown F2 ")) << events();
    shot = shot_when([](const X11Shot& s) { return read_text(s, 132, 696, 2) == "0)"; },
                     QEL_BINARY_DIR "/test-output/console_cleared.png");
    EXPECT_EQ(read_text(shot, 132, 696, 2), "0)");
    EXPECT_EQ(read_text(shot, 0, 648, 12), "            ");
    EXPECT_TRUE(near(shot.at(320, 150), {85, 85, 85}, "still open"));

    // F5 runs the mod again from _init, closed, and the new run gets the F5
    // key as its first event.
    ASSERT_TRUE(x11_key(window, "F5"));
    for (int waited = 0; waited <= time_limit_ms(kWait); waited += 20) {
        e = echoes();
        if (std::count(e.begin(), e.end(), "init") == 2) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_EQ(std::count(e.begin(), e.end(), "init"), 2) << out();
    ASSERT_TRUE(wait_key("keyup F5 ")) << events();
    EXPECT_EQ(events().substr(0, 11), "keydown F5 ") << events();
    shot = shot_when(panel(255));
    EXPECT_TRUE(near(shot.at(320, 150), {255, 255, 255}, "closed after the restart"));
    EXPECT_EQ(read_text(shot, 132, 696, 2), "1)");

    ASSERT_TRUE(x11_key(window, "ctrl+q"));
    EXPECT_EQ(child_wait(child, kWait), 0) << out();
    EXPECT_EQ(out().find("Lua error"), std::string::npos) << out();
}
