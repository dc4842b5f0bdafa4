// The developer console without a window: its widgets and their layout,
// the keys it acts on (open or closed), typed Lua lines run in the mod's
// state, recall, the restart, rebuilds on resize and reset, and what it
// paints (through the toolkit's recording back end): the strip, the veil,
// the log upward from the input line. The console font is the engine's
// (./data/console.fnt: 24 pixels a line, 12 a byte); the window is 1280 x 720.
#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include <SDL.h>
#include <gtest/gtest.h>

extern "C" {
#include <lua.h>
}

#include "capture.h"
#include "game.h"
#include "gui_record.h"
#include "image_fixtures.h"
#include "mod_lua.h"
#include "mods.h"
#include "mods_lua.h"
#include "qel_driver.h"
#include "qel_font.h"
#include "qel_gfx.h"
#include "qel_mixer.h"
#include "tempdir.h"

namespace {

const int W = 1280, H = 720;
const char* const kStrip = "F1 = toggle; F2 = clear; F5 = restart; Mods auto-reload.";

// Every event the script gets, as "type key text", and "init" in the log
// from each _init.
const std::string kMod = "seen = {}\n"
                         "function _init() print('init') end\n"
                         "function _event(e) seen[#seen + 1] = e.type .. ' ' .. (e.key or '') .. ' ' .. e.text end\n";

// What the recorder writes for a key press and for a typed byte.
std::string pressed(int sdl) { return "keydown " + std::to_string(sdl) + " "; }
std::string typed(char c) { return std::string("keydown 0 ") + c; }

class Console : public ::testing::Test {
protected:
    TempDir dir;
    Game game;

    void SetUp() override {
        setenv("APPDATA", dir.file("appdata").c_str(), 1);
        make_dir(dir.file("appdata"));
        make_dir(dir.file("mod"));
        driver_init(0);
        driver_set_gamename("QelGame");
        driver_set_size(W, H);
        gfx_init();  // no GL context: its GL calls do nothing
        font_init();
        mixer_init();
        GAME_THIS = &game;
        snprintf(game.data.mods.fname, sizeof game.data.mods.fname, "%s", dir.file("mod/main.lua").c_str());
    }
    void TearDown() override {
        capture_stdout([&] { mods_destroy(game); });
        GAME_THIS = nullptr;
        mixer_deinit();
        font_deinit();
        gfx_deinit();
        driver_deinit();
    }

    // A new run of the mod; what it printed.
    std::string start(const std::string& main = kMod) {
        write_file(dir.file("mod/main.lua"), main);
        return quiet([&] { mods_restart(game, 1); });
    }
    ModsAPI& api() { return *game.data.mods.api; }
    TextInput* input() { return dynamic_cast<TextInput*>(api().console_gui.find("input")); }

    // Runs fn; what it printed on stdout (stderr is dropped).
    static std::string quiet(const std::function<void()>& fn) {
        std::string out;
        capture_stderr([&] { out = capture_stdout(fn); });
        return out;
    }
    // An event through the game, as the driver hands it over.
    std::string send(Event e) {
        return quiet([&] { game.event(e); });
    }
    // A key press with its platform code, so the script sees its name.
    std::string press(int v) {
        struct {
            int v, sdl;
        } const keys[] = {{KEY_F1, SDLK_F1},         {KEY_F2, SDLK_F2}, {KEY_F3, SDLK_F3}, {KEY_F5, SDLK_F5},
                          {KEY_ESCAPE, SDLK_ESCAPE}, {KEY_UP, SDLK_UP}, {KEY_RETURN, SDLK_RETURN}};
        Event e(EVT_KEYDOWN);
        e.v = v;
        for (const auto& k : keys)
            if (k.v == v) e._v = k.sdl;
        return send(e);
    }
    // Typed text: one key event per byte.
    void type(const std::string& s) {
        for (char c : s) {
            Event e(EVT_KEYDOWN);
            e.c = (signed char)c;
            send(e);
        }
    }
    int console(Event e) {
        int r = 0;
        quiet([&] { r = mods_event_console(game, e); });
        return r;
    }
    std::string global(const std::string& expr) {
        quiet([&] { game.data.mods.mod->script(("__r = tostring(" + expr + ")").c_str(), "test"); });
        lua_State* L = static_cast<ModsLua*>(game.data.mods.mod)->L;
        lua_getglobal(L, "__r");
        std::string r = lua_tostring(L, -1) ? lua_tostring(L, -1) : "<nil>";
        lua_pop(L, 1);
        return r;
    }
    std::vector<std::string> log_oldest_first() { return {api().log.rbegin(), api().log.rend()}; }
    std::vector<std::string> painted() {
        GuiDrawRecorder rec;
        quiet([&] { modsapi_log_paint(&api()); });
        return rec.lines;
    }
    static std::string strip(int n) { return ">> Console(" + std::to_string(n) + "): " + kStrip; }
};

}  // namespace

TEST_F(Console, WidgetsSitAtTheBottomWithTheInputFocused) {
    std::string out = start();
    EXPECT_NE(out.find("] GAME_SW: 1280 GAME_SH: 720\n"), std::string::npos) << out;
    ASSERT_EQ(api().console_gui.widgets.size(), 1u);
    Widget* table = api().console_gui.widgets[0];
    EXPECT_EQ(table->name, "table");
    // Two rows of 24: the input line and the blank row under it.
    EXPECT_EQ(table->rect.h, 48);
    EXPECT_EQ(table->_rect.y, H - 48);
    EXPECT_EQ(table->rect.w, W);
    ASSERT_NE(input(), nullptr);
    EXPECT_EQ(input()->maxlen, 255u);
    EXPECT_EQ(input()->rect.w, W - 25) << "the window less the prompt \"> \"";
    EXPECT_EQ(input()->style.focus, 1);
    EXPECT_EQ(input()->get_abs_rect(false).get_top(), H - 48);
    EXPECT_EQ(input()->get_abs_rect(false).get_left(), 25);
    var change = input()->onchange;
    ASSERT_EQ(change.__type__(), VAR_DICT);
    EXPECT_EQ(change["type"].__str__(), "input");
    EXPECT_EQ(api().console_toggle, 0);
    EXPECT_EQ(api().console_history, "");
}

TEST_F(Console, FunctionKeysActOpenOrClosedAndTheScriptStillGetsThem) {
    start();
    quiet([&] { api().log_entry("one"); });
    press(KEY_ESCAPE);  // closed: only the script sees it
    EXPECT_EQ(api().console_toggle, 0);
    type("a");  // closed: nothing is typed into the console
    EXPECT_EQ(input()->txt, "");
    press(KEY_F2);
    EXPECT_TRUE(api().log.empty());
    press(KEY_F1);
    EXPECT_EQ(api().console_toggle, 1);
    press(KEY_ESCAPE);
    EXPECT_EQ(api().console_toggle, 0);
    press(KEY_F1);
    press(KEY_F1);
    EXPECT_EQ(api().console_toggle, 0);
    EXPECT_EQ(global("table.concat(seen, ',')"), pressed(SDLK_ESCAPE) + "," + typed('a') + "," + pressed(SDLK_F2) +
                                                      "," + pressed(SDLK_F1) + "," + pressed(SDLK_ESCAPE) + "," +
                                                      pressed(SDLK_F1) + "," + pressed(SDLK_F1));

    // What the console reports it acted on.
    struct Case {
        int toggle, type, v;
        float y;
        int acted, toggle_after;
    } cases[] = {
        {0, EVT_KEYDOWN, KEY_F1, 0, 1, 1},
        {1, EVT_KEYDOWN, KEY_F1, 0, 1, 0},
        {0, EVT_KEYDOWN, KEY_F2, 0, 1, 0},
        {0, EVT_KEYDOWN, KEY_ESCAPE, 0, 0, 0},
        {0, EVT_UP, 0, 10, 0, 0},
        {1, EVT_UP, 0, 43.9f, 1, 0},
        {1, EVT_UP, 0, 44, 1, 1},  // to the widgets
        {1, EVT_KEYDOWN, KEY_NONE, 0, 1, 1},
        {1, EVT_MOTION, 0, 0, 1, 1},
    };
    for (const Case& c : cases) {
        api().console_toggle = c.toggle;
        Event e(c.type);
        e.v = c.v;
        e.y = c.y;
        EXPECT_EQ(console(e), c.acted) << c.type << " " << c.v << " " << c.y;
        EXPECT_EQ(api().console_toggle, c.toggle_after) << c.type << " " << c.v << " " << c.y;
    }
}

TEST_F(Console, ALineRunsInTheModsStateAndCanBeRecalled) {
    start();
    press(KEY_F1);
    type("print(1+1)");
    EXPECT_EQ(input()->txt, "print(1+1)");
    std::string out = press(KEY_RETURN);
    EXPECT_EQ(log_oldest_first(), (std::vector<std::string>{"init", "> print(1+1)", "2"}));
    size_t echo = out.find("ModsAPI: > print(1+1)\n");
    ASSERT_NE(echo, std::string::npos) << out;
    EXPECT_NE(out.find("ModsAPI: 2\n", echo), std::string::npos) << out;
    EXPECT_EQ(input()->txt, "");
    EXPECT_EQ(api().console_history, "print(1+1)");
    // Every typed byte and the Return reached the script as well.
    EXPECT_EQ(global("seen[#seen]"), pressed(SDLK_RETURN));
    EXPECT_EQ(global("seen[#seen - 1]"), typed(')'));

    press(KEY_UP);
    EXPECT_EQ(input()->txt, "print(1+1)");
    EXPECT_EQ(input()->pos, 10);
    input()->set_value(var("x"));
    press(KEY_F3);
    EXPECT_EQ(input()->txt, "print(1+1)");

    // The line runs in the mod's own state.
    input()->set_value(var("answer = 6 * 7"));
    press(KEY_RETURN);
    EXPECT_EQ(global("answer"), "42");
    // An empty line is echoed and run like any other.
    press(KEY_RETURN);
    EXPECT_EQ(api().log.front(), "> ");
    EXPECT_EQ(api().console_history, "");
}

TEST_F(Console, AFailingLineIsLoggedAndRevivesAStoppedMod) {
    start(kMod + "function _loop() error('loop broke') end\n");
    quiet([&] { game.data.mods.mod->loop(0); });
    ASSERT_FALSE(game.data.mods.mod->is_ok());
    press(KEY_F1);
    type("error('boom')");
    std::string out = press(KEY_RETURN);
    EXPECT_NE(out.find("Lua error: 2"), std::string::npos) << out;
    std::vector<std::string> log = log_oldest_first();
    auto echo = std::find(log.begin(), log.end(), "> error('boom')");
    ASSERT_NE(echo, log.end());
    ASSERT_GE(log.end() - echo, 3);
    EXPECT_EQ(echo[1], "borlix2: ");
    EXPECT_EQ(echo[2], "[string \"console\"]:1: boom");
    EXPECT_TRUE(game.data.mods.mod->is_ok()) << "the mod runs again from the next frame";
}

TEST_F(Console, RestartClosesTheConsoleAndForgetsTheLine) {
    start();
    press(KEY_F1);
    type("x = 1");
    press(KEY_RETURN);
    type("half");
    ASSERT_EQ(api().console_history, "x = 1");
    std::string out = press(KEY_F5);
    EXPECT_NE(out.find("ModsAPI: init"), std::string::npos) << out;
    EXPECT_EQ(api().console_toggle, 0);
    EXPECT_EQ(api().console_history, "");
    EXPECT_EQ(input()->txt, "");
    EXPECT_EQ(log_oldest_first(), (std::vector<std::string>{"init"}));
    // The new run gets the F5 key as its first event, after _init.
    EXPECT_EQ(global("table.concat(seen, ',')"), pressed(SDLK_F5));
    EXPECT_EQ(global("x"), "nil");
    press(KEY_F1);
    press(KEY_UP);
    EXPECT_EQ(input()->txt, "") << "nothing to recall";
}

TEST_F(Console, ResizeAndResetRebuildTheWidgets) {
    start();
    press(KEY_F1);
    type("print(1)");
    press(KEY_RETURN);
    type("half typed");
    driver_set_size(1024, 768);
    Event resize(EVT_RESIZE);
    resize.w = 1024;
    resize.h = 768;
    EXPECT_EQ(console(resize), 1);
    EXPECT_EQ(input()->txt, "");
    EXPECT_EQ(input()->rect.w, 1024 - 25);
    EXPECT_EQ(api().console_gui.widgets[0]->_rect.y, 768 - 48);
    EXPECT_EQ(api().console_toggle, 1);
    EXPECT_EQ(api().console_history, "print(1)");
    type("again");
    EXPECT_EQ(console(Event(EVT_RESET)), 1);
    EXPECT_EQ(input()->txt, "");
    EXPECT_EQ(api().console_toggle, 1);
    // Closed, a rebuild still happens; the console does not count it as acting.
    press(KEY_F1);
    type("gone");
    EXPECT_EQ(console(Event(EVT_RESET)), 0);
    EXPECT_EQ(input()->style.focus, 1);
}

TEST_F(Console, PaintsNothingUntilTheLogHoldsALine) {
    start("");
    std::vector<std::string> lines = painted();
    EXPECT_TRUE(lines.empty()) << (lines.empty() ? "" : lines[0]);
    EXPECT_EQ(_gfx->img_map.count("black"), 0u) << "the veil's image is loaded only when first drawn";

    quiet([&] {
        api().log_entry("one");
        api().log_entry("two");
        api().log_entry("three");
    });
    lines = painted();
    int black = 0;
    quiet([&] { black = gfx_img_load("black"); });
    int fid = w_font_console().fid;
    EXPECT_EQ(lines, (std::vector<std::string>{"color 0 0 0 170", "blit " + std::to_string(black) + " 0 696 1280 24",
                                               "color 255 255 255 255",
                                               "text " + std::to_string(fid) + " '" + strip(3) + "' 0 696 0 -1"}));
    // F2 empties the log, and the strip goes.
    press(KEY_F2);
    EXPECT_TRUE(painted().empty());
}

TEST_F(Console, OpenConsoleDrawsVeilWidgetsStripAndTheLogUpward) {
    start("");
    press(KEY_F1);
    int black = 0;
    quiet([&] { black = gfx_img_load("black"); });
    std::string fid = std::to_string(w_font_console().fid);
    std::vector<std::string> lines = painted();
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[0], "color 0 0 0 170");
    EXPECT_EQ(lines[1], "blit " + std::to_string(black) + " 0 0 1280 720");
    EXPECT_EQ(lines[2], "color 255 255 255 255");
    std::vector<std::string> texts;
    for (const std::string& l : lines)
        if (l.compare(0, 5, "text ") == 0) texts.push_back(l);
    // The prompt and the empty input line, the spacer, then the strip.
    EXPECT_EQ(texts, (std::vector<std::string>{"text " + fid + " '> ' 0 0 25 -1", "text " + fid + " '' 0 0 0 -1",
                                               "text " + fid + " ' ' 0 0 13 -1",
                                               "text " + fid + " '" + strip(0) + "' 0 696 0 -1"}));

    // Newest right above the input line (top at 672), older ones above; a
    // long entry wraps at the window's width and takes two lines.
    std::string longer;
    for (int i = 0; i < 20; i++) longer += "word" + std::to_string(i) + " ";  // 130 bytes, 1560 pixels
    quiet([&] {
        api().log_entry("oldest");
        api().log_entry(longer);
        api().log_entry("newest");
    });
    std::vector<std::string> log_texts;
    for (const std::string& l : painted())
        if (l.find(" 1280 -1") != std::string::npos) log_texts.push_back(l);
    EXPECT_EQ(log_texts, (std::vector<std::string>{"text " + fid + " 'newest' 0 648 1280 -1",
                                                   "text " + fid + " '" + longer + "' 0 600 1280 -1",
                                                   "text " + fid + " 'oldest' 0 576 1280 -1"}));

    // A log taller than the window: drawing stops after the first entry
    // whose top lies more than a line above the window (672 / 24 = 28
    // lines fit; the 29th starts at -24, the 30th at -48 and is the last).
    quiet([&] {
        for (int i = 0; i < 60; i++) api().log_printf("line %d", i);
    });
    log_texts.clear();
    for (const std::string& l : painted())
        if (l.find(" 1280 -1") != std::string::npos) log_texts.push_back(l);
    ASSERT_EQ(log_texts.size(), 30u);
    EXPECT_EQ(log_texts.back(), "text " + fid + " 'line 30' 0 -48 1280 -1");
}

TEST_F(Console, TheModsOwnBlackWinsTheConsoleFontIsTheEngines) {
    // A veil and a font of the mod's own beside its main script.
    ASSERT_TRUE(fixture_image(dir.file("mod/black.png"), "png", 8, 8, fixture_solid(8, 8, 0, 0, 0, 0)));
    write_file(dir.file("mod/console.fnt"), read_file("data/console.fnt"));
    start("print('hi')");
    painted();
    int black = 0;
    quiet([&] { black = gfx_img_load("black"); });
    ASSERT_GT(black, 0);
    EXPECT_EQ(std::string(_gfx_get_tex(_gfx->img_data[black].tid)->tex_fname), dir.file("mod/black.png"));
    int fid = w_font_console().fid;
    ASSERT_GT(fid, 0);
    EXPECT_EQ(std::string(_font->data[fid].fnt_fname), "./data/console.fnt");
    // Cached: another run of the mod, which has set its directory, gets
    // the same entry.
    start("print('again')");
    EXPECT_EQ(w_font_console().fid, fid);
}
