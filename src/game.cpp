// game: the Game object: command line, start-up order, one frame's update and
// drawing, frame pacing, event routing and shut-down.
#include "game.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "qel_driver.h"
#include "qel_font.h"
#include "qel_gfx.h"
#include "qel_mixer.h"
#include "qel_util.h"

Game* GAME_THIS = nullptr;

// The window the game asks for at start and at every fullscreen toggle: the
// default size (0 x 0: 80 % of the desktop), a design size that is only
// logged, and the smallest size.
static const int _GAME_DESIGN_W = 640, _GAME_DESIGN_H = 480;
static const int _GAME_MIN_W = 320, _GAME_MIN_H = 320;

static void _game_video_init(const Game& game) {
    driver_video_init(0, 0, _GAME_DESIGN_W, _GAME_DESIGN_H, _GAME_MIN_W, _GAME_MIN_H, game._full == 1 ? 1 : 0);
}

Game::Game()
    : version(0), data(), _quit(0), _mod{}, _argc(0), _argv(nullptr), _full(0), _loop_prev(-1), _paint_prev(-1) {}

Game::~Game() {
    if (GAME_THIS == this) GAME_THIS = nullptr;
}

void Game::args(int argc, char** argv) {
    _argc = argc;
    _argv = argv;
    for (int i = 0; i + 1 < argc; i++) {
        if (strcmp(argv[i], "-mod") != 0) continue;
        const char* path = argv[i + 1];
        // A shortened path could name another script: refuse it whole.
        if (strlen(path) >= sizeof _mod) {
            fprintf(stderr, "-mod path of %zu bytes does not fit, ignored\n", strlen(path));
            continue;
        }
        snprintf(_mod, sizeof _mod, "%s", path);
    }
}

void Game::init() {
    GAME_THIS = this;
    driver_init(DRIVER_ALL);
    driver_set_gamename("QelGame");
    driver_set_caption("QelGame");
    version = 1;
    _quit = 0;
    _loop_prev = _paint_prev = -1;
    driver_timer_set(60);
    _full = 0;
    _game_video_init(*this);
    gfx_init();
    gfx_set_size(game_get_sw(), game_get_sh());
    gfx_set_orient(0);
    gfx_set_ortho_near_far(-1000, 1000);
    gfx_clear();
    driver_video_flip();
    font_init();
    mixer_init();
    memset(&data.mods, 0, sizeof data.mods);
    if (!_mod[0]) snprintf(_mod, sizeof _mod, "%s", driver_data_fname("main.lua"));
    memcpy(data.mods.fname, _mod, sizeof data.mods.fname);
    mods_restart(*this, 1);
}

void Game::loop() {
    gfx_reload_auto();
    font_reload_auto();
    mixer_reload_auto();
    float t = _game_loop_time(&_loop_prev, driver_timer_get_ticks());
    mods_loop(*this, t);
}

void Game::paint() {
    gfx_clear();
    mods_paint(*this);
    modsapi_log_paint(data.mods.api);
    gfx_flush();
    driver_video_flip();
    _game_paint_tick(*this);
}

long _game_ticks_delta(long* prev, long cur) {
    if (*prev < 0) *prev = cur;
    // The counter is 32 bits wide and wraps after 49.7 days.
    uint32_t delta = (uint32_t)cur - (uint32_t)*prev;
    *prev = cur;
    return delta > 1000 ? 1000 : (long)delta;
}

float _game_loop_time(long* prev, long cur) {
    long delta = _game_ticks_delta(prev, cur);
    return mymin(1.0f, (float)(delta / 1000.0));
}

int _game_pacing_sleep(long* prev, long cur) {
    const float inc = 0.016666668f;
    float delay = inc - _game_loop_time(prev, cur);
    return delay > 0 ? (int)(delay * 1000.0f) : -1;
}

void _game_paint_tick(Game& game) {
    // The reading is taken before the sleep, so the sleep counts into the
    // interval measured at the next frame.
    int ms = _game_pacing_sleep(&game._paint_prev, driver_timer_get_ticks());
    if (ms >= 0) driver_timer_delay(ms);
}

// Ctrl, Alt or GUI as the key event carries them: the platform's current
// state may already have them released when a quick press is handled.
static bool _game_command_key(const Event& e, int key) {
    return e.type == EVT_KEYDOWN && e.v == key && (e.b & (EVT_MOD_CTRL | EVT_MOD_ALT | EVT_MOD_GUI)) != 0;
}

void Game::event(Event e) {
    if (e.type == EVT_QUIT) {
        _quit = 1;
        return;
    }
    if (_game_command_key(e, KEY_f)) {
        _full = _full == 1 ? -1 : 1;
        event(Event(EVT_RESET));
    }
    if (_game_command_key(e, KEY_q)) {
        event(Event(EVT_SUSPEND));
        _quit = 1;
        return;
    }
    if (e.type == EVT_RESET) {
        driver_keyboard_hide();
        _game_video_init(*this);
    }
    if (e.type == EVT_RESIZE) driver_keyboard_hide();
    mods_event_handle(*this, e);
    int again = EVT_NONE;
    switch (e.type) {
    case EVT_MOUSEDOWN:
    case EVT_TOUCHDOWN: again = EVT_DOWN; break;
    case EVT_MOUSEMOTION:
    case EVT_TOUCHMOTION: again = EVT_MOTION; break;
    case EVT_MOUSEUP:
    case EVT_TOUCHUP: again = EVT_UP; break;
    default: return;
    }
    e.type = again;
    event(e);
}

void Game::deinit() {
    mods_destroy(*this);
    mixer_deinit();
    font_deinit();
    gfx_deinit();
    driver_deinit();
}

Game* game_this() { return GAME_THIS; }

int game_get_sw() {
    int w, h;
    driver_get_size(&w, &h);
    return w;
}

int game_get_sh() {
    int w, h;
    driver_get_size(&w, &h);
    return h;
}

char* game_log_info() {
    static char buf[256];
    buf[0] = 0;
    return buf;
}
