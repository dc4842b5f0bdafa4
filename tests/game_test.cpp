// The Game: command line, frame time and pacing arithmetic on a fake clock,
// event routing with the engine's key combinations (SDL's queue, dummy video
// driver), and the wrappers' life cycle.
#include <SDL.h>
#include <cstring>
#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "capture.h"
#include "game.h"
#include "gamewrap.h"
#include "qel_driver.h"
#include "tempdir.h"
#include "time_limit.h"

static std::string args_mod(std::vector<std::string> words, std::string* err = nullptr) {
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(&w[0]);
    Game g;
    std::string e = capture_stderr([&] { g.args((int)argv.size(), argv.data()); });
    if (err) *err = e;
    EXPECT_EQ(g._argc, (int)argv.size());
    EXPECT_EQ(g._argv, argv.data());
    return g._mod;
}

TEST(GameArgs, ModPath) {
    EXPECT_EQ(args_mod({"borlix2"}), "");
    EXPECT_EQ(args_mod({"borlix2", "-mod", "mods/demo/main.lua"}), "mods/demo/main.lua");
    EXPECT_EQ(args_mod({"borlix2", "-mod"}), "");  // no value
    EXPECT_EQ(args_mod({"borlix2", "-mod", "a.lua", "-mod", "b.lua"}), "b.lua");
    EXPECT_EQ(args_mod({"borlix2", "-altdir", "x", "-mod", "../up.lua", "-mod"}), "../up.lua");
    EXPECT_EQ(args_mod({"borlix2", "-MOD", "a.lua", "mod", "b.lua"}), "");
    EXPECT_EQ(args_mod({"borlix2", "-mod", std::string(511, 'p')}), std::string(511, 'p'));
    std::string err;
    EXPECT_EQ(args_mod({"borlix2", "-mod", std::string(512, 'p')}, &err), "");
    EXPECT_EQ(err, "-mod path of 512 bytes does not fit, ignored\n");
    // A refused path does not undo an earlier one.
    EXPECT_EQ(args_mod({"borlix2", "-mod", "ok.lua", "-mod", std::string(900, 'p')}), "ok.lua");
}

TEST(GameClock, FrameTimeAcrossStallsAndTheWrap) {
    struct Case {
        long prev, cur;
        float t;
    } cases[] = {
        {-1, 500, 0.0f},                   // first frame
        {1000, 1010, 0.01f},
        {1000, 1000, 0.0f},
        {1000, 3000, 1.0f},                // a stall of 2 s is capped
        {4294967290L, 5, 0.011f},          // the counter wrapped
        {4294967295L, 0, 0.001f},
        {5, 4, 1.0f},                      // never negative
    };
    for (const Case& c : cases) {
        long prev = c.prev;
        EXPECT_EQ(_game_loop_time(&prev, c.cur), c.t) << c.prev << " -> " << c.cur;
        EXPECT_EQ(prev, c.cur);
    }
    long prev = 4294967000L;
    EXPECT_EQ(_game_ticks_delta(&prev, 700), 996);
    prev = 100;
    EXPECT_EQ(_game_ticks_delta(&prev, 100 + 5000000), 1000);
}

TEST(GameClock, PacingSleeps) {
    struct Case {
        long prev, cur;
        int sleep;  // -1: no sleep call
    } cases[] = {
        {0, 10, 6},   {0, 16, 0},   {0, 17, -1},   {0, 5, 11},           {0, 0, 16},
        {-1, 42, 16}, {0, 2000, -1}, {4294967290L, 0, 10},               {4294967290L, 20, -1},
        {10, 0, -1},  // a reading from before the previous one: no sleep of weeks
    };
    for (const Case& c : cases) {
        long prev = c.prev;
        EXPECT_EQ(_game_pacing_sleep(&prev, c.cur), c.sleep) << c.prev << " -> " << c.cur;
    }
}

// With 5 ms of work per frame the reading taken before the sleep makes the
// intervals alternate between 5 and 16 ms once past the first two frames.
TEST(GameClock, SteadyWorkAlternates) {
    long clock = 1000, prev = -1;
    std::vector<long> sleeps, intervals;
    long last = -1;
    for (int frame = 0; frame < 8; frame++) {
        clock += 5;
        if (last >= 0) intervals.push_back(clock - last);
        last = clock;
        int s = _game_pacing_sleep(&prev, clock);
        sleeps.push_back(s);
        if (s > 0) clock += s;
    }
    EXPECT_EQ(sleeps, (std::vector<long>{16, -1, 11, 0, 11, 0, 11, 0}));
    EXPECT_EQ(intervals, (std::vector<long>{21, 5, 16, 5, 16, 5, 16}));
}

TEST(GameWrap, NoGameBeforeInitNorAfterDeinit) {
    EXPECT_TRUE(game_is_quit());
    EXPECT_EQ(game_this(), nullptr);
    game_event(Event(EVT_QUIT));  // dropped
    game_loop();
    game_paint();
    game_deinit();
    EXPECT_STREQ(game_log_info(), "");
    EXPECT_STREQ(game_log_info(), "");
}

// A started game on the dummy video driver: no window, real event queue.
class GameRun : public ::testing::Test {
  protected:
    void SetUp() override {
        setenv("SDL_VIDEODRIVER", "dummy", 1);
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        start({"borlix2"});
    }
    void TearDown() override {
        capture_stdout([] { game_deinit(); });
    }
    void start(std::vector<std::string> words) {
        words_ = words;
        argv_.clear();
        for (std::string& w : words_) argv_.push_back(&w[0]);
        capture_stdout([&] { game_init((int)argv_.size(), argv_.data()); });
        game = game_this();
        ASSERT_NE(game, nullptr);
        drain();
    }
    // Pushes a key press as SDL reports it, then runs the event part of a frame.
    std::string press(SDL_Keycode sym, Uint16 mod) {
        SDL_Event ev;
        memset(&ev, 0, sizeof ev);
        ev.type = SDL_KEYDOWN;
        ev.key.keysym.sym = sym;
        ev.key.keysym.mod = mod;
        return push(ev);
    }
    static std::string push(SDL_Event ev) {
        SDL_PushEvent(&ev);
        return drain();
    }
    // Polls like frames do until the queue stays empty (SDL ends one poll
    // loop at a marker it queues when it gathers events).
    static std::string drain() {
        return capture_stdout([] {
            Event e;
            for (int idle = 0; idle < 2;) {
                if (driver_event_poll(&e)) {
                    idle = 0;
                    game_event(e);
                } else {
                    idle++;
                }
            }
        });
    }
    Game* game = nullptr;
    std::vector<std::string> words_;
    std::vector<char*> argv_;
};

TEST_F(GameRun, StartUpState) {
    EXPECT_EQ(game->version, 1);
    EXPECT_EQ(game->_quit, 0);
    EXPECT_EQ(game->_full, 0);
    EXPECT_STREQ(game->_mod, "./data/main.lua");
    EXPECT_STREQ(game->data.mods.fname, "./data/main.lua");
    ASSERT_NE(game->data.mods.api, nullptr);
    EXPECT_NE(game->data.mods.mod, nullptr);
    EXPECT_STREQ(driver_get_caption(), "QelGame");
    EXPECT_FALSE(game_is_quit());
    // A frame runs without a window.
    capture_stdout([] {
        game_loop();
        game_paint();
    });
}

TEST_F(GameRun, ModPathIsKeptAsGiven) {
    capture_stdout([] { game_deinit(); });
    start({"borlix2", "-mod", "mods/demo/main.lua"});
    EXPECT_STREQ(game->_mod, "mods/demo/main.lua");
    EXPECT_STREQ(game->data.mods.fname, "mods/demo/main.lua");
}

// The press carries Ctrl while SDL's current state has it released already,
// as when Ctrl+F is typed quickly or a frame took long.
TEST_F(GameRun, QuickCommandKeysAreTakenFromTheKeyEvent) {
    SDL_SetModState(KMOD_NONE);
    std::string log = press(SDLK_f, KMOD_LCTRL);
    ASSERT_EQ(SDL_GetModState(), KMOD_NONE);
    EXPECT_EQ(game->_full, 1);
    // The reset re-created the window in fullscreen (which fails on this driver).
    EXPECT_NE(log.find("] init_video: 0 0 640 480 320 320 1\n"), std::string::npos) << log;
    press(SDLK_f, KMOD_RALT);
    EXPECT_EQ(game->_full, -1);
    press(SDLK_f, KMOD_LGUI);
    EXPECT_EQ(game->_full, 1);
    EXPECT_FALSE(game_is_quit());
    press(SDLK_q, KMOD_RCTRL);
    EXPECT_TRUE(game_is_quit());
}

TEST_F(GameRun, PlainAndShiftedKeysAreOrdinary) {
    press(SDLK_f, KMOD_NONE);
    press(SDLK_f, KMOD_LSHIFT);
    press(SDLK_q, KMOD_RSHIFT | KMOD_CAPS);
    // The platform's state alone does not make a combination either.
    SDL_SetModState(KMOD_LCTRL);
    press(SDLK_q, KMOD_NONE);
    SDL_SetModState(KMOD_NONE);
    EXPECT_EQ(game->_full, 0);
    EXPECT_FALSE(game_is_quit());
    // Key releases are no commands.
    SDL_Event ev;
    memset(&ev, 0, sizeof ev);
    ev.type = SDL_KEYUP;
    ev.key.keysym.sym = SDLK_q;
    ev.key.keysym.mod = KMOD_LCTRL;
    SDL_PushEvent(&ev);
    drain();
    EXPECT_FALSE(game_is_quit());
}

TEST_F(GameRun, WindowCloseQuits) {
    SDL_Event ev;
    memset(&ev, 0, sizeof ev);
    ev.type = SDL_QUIT;
    SDL_PushEvent(&ev);
    drain();
    EXPECT_TRUE(game_is_quit());
}

// The event types a mod's _event received, in order, from its echoed log lines.
static std::vector<std::string> script_events(const std::string& log) {
    std::vector<std::string> seen;
    std::regex line("ModsAPI: event ([^\n]*)\n");
    for (std::sregex_iterator it(log.begin(), log.end(), line), end; it != end; ++it) seen.push_back((*it)[1]);
    return seen;
}

// What the script sees of each platform event: the engine's combinations are
// taken first, pointer events arrive twice, a close request not at all.
TEST_F(GameRun, EventRoutingAsTheScriptSeesIt) {
    TempDir tmp;
    write_file(tmp.file("main.lua"), "function _event(e) print('event ' .. e.type) end\n");
    capture_stdout([] { game_deinit(); });
    start({"borlix2", "-mod", tmp.file("main.lua")});
    SDL_SetModState(KMOD_NONE);

    auto key = [](SDL_Keycode sym, Uint16 mod) {
        SDL_Event ev;
        memset(&ev, 0, sizeof ev);
        ev.type = SDL_KEYDOWN;
        ev.key.keysym.sym = sym;
        ev.key.keysym.mod = mod;
        return ev;
    };
    auto of_type = [](Uint32 type) {
        SDL_Event ev;
        memset(&ev, 0, sizeof ev);
        ev.type = type;
        return ev;
    };
    SDL_Event mouse_down = of_type(SDL_MOUSEBUTTONDOWN), mouse_move = of_type(SDL_MOUSEMOTION),
              mouse_up = of_type(SDL_MOUSEBUTTONUP), finger_down = of_type(SDL_FINGERDOWN),
              finger_up = of_type(SDL_FINGERUP);
    mouse_down.button.button = SDL_BUTTON_LEFT;
    mouse_up.button.button = SDL_BUTTON_LEFT;
    struct Case {
        const char* what;
        SDL_Event ev;
        std::vector<std::string> seen;
        int full;
        bool quit;
    } cases[] = {
        {"plain F", key(SDLK_f, KMOD_NONE), {"keydown"}, 0, false},
        {"Ctrl+F", key(SDLK_f, KMOD_LCTRL), {"reset", "keydown"}, 1, false},
        {"Alt+F back", key(SDLK_f, KMOD_LALT), {"reset", "keydown"}, -1, false},
        {"mouse press", mouse_down, {"mousedown", "down"}, -1, false},
        {"mouse motion", mouse_move, {"mousemotion", "motion"}, -1, false},
        {"mouse release", mouse_up, {"mouseup", "up"}, -1, false},
        {"touch", finger_down, {"touchdown", "down"}, -1, false},
        {"touch end", finger_up, {"touchup", "up"}, -1, false},
        {"untranslated", of_type(SDL_JOYHATMOTION), {"?"}, -1, false},
        {"window close", of_type(SDL_QUIT), {}, -1, true},
    };
    for (const Case& c : cases) {
        game->_quit = 0;
        std::string log = push(c.ev);
        EXPECT_EQ(script_events(log), c.seen) << c.what << "\n" << log;
        EXPECT_EQ(game->_full, c.full) << c.what;
        EXPECT_EQ(game_is_quit(), c.quit) << c.what;
    }

    // The window is made again before the script hears of the reset.
    game->_quit = 0;
    std::string log = press(SDLK_f, KMOD_RGUI);
    size_t remade = log.find("] init_video: 0 0 640 480 320 320 1\n");
    size_t reset = log.find("ModsAPI: event reset\n");
    ASSERT_NE(remade, std::string::npos) << log;
    EXPECT_LT(remade, reset) << log;

    // Ctrl+Q: a suspend, then quit; the Q key itself reaches nothing.
    log = press(SDLK_q, KMOD_RCTRL);
    EXPECT_EQ(script_events(log), std::vector<std::string>{"suspend"}) << log;
    EXPECT_TRUE(game_is_quit());
}

// Each game measures its first frame from its own start: the script's first
// _loop gets 0 in the second game as in the first, not the time since the
// first game's last frame.
TEST_F(GameRun, SecondGameStartsItsClocksAfresh) {
    TempDir tmp;
    write_file(tmp.file("main.lua"), "function _loop(t) print('loop ' .. t) end\n");
    std::regex line("ModsAPI: loop ([^\n]*)\n");
    for (int run = 1; run <= 2; run++) {
        SCOPED_TRACE("game " + std::to_string(run));
        capture_stdout([] { game_deinit(); });
        start({"borlix2", "-mod", tmp.file("main.lua")});
        std::string log = capture_stdout([] {
            game_loop();
            game_paint();
            SDL_Delay(30);
            game_loop();
        });
        std::vector<std::string> t;
        for (std::sregex_iterator it(log.begin(), log.end(), line), end; it != end; ++it) t.push_back((*it)[1]);
        ASSERT_EQ(t.size(), 2u) << log;
        EXPECT_EQ(t[0], "0");
        EXPECT_GT(std::stod(t[1]), 0.0);
        EXPECT_LT(std::stod(t[1]), time_limit_ms(1000) / 1000.0);
    }
}

TEST_F(GameRun, DeinitClearsTheRunningGame) {
    capture_stdout([] { game_deinit(); });
    EXPECT_EQ(game_this(), nullptr);
    EXPECT_EQ(GAME_THIS, nullptr);
    EXPECT_TRUE(game_is_quit());
    EXPECT_EQ(_driver, nullptr);
    start({"borlix2"});  // a second game starts like the first
    EXPECT_EQ(game->version, 1);
}
