// main: the entry point and the frame tick: events, then the update, then
// the drawing, until the game asks to quit.
#include <SDL_main.h>

#include <cstdio>

#include "gamewrap.h"
#include "qel_driver.h"

// Platforms that pause the game clear this; the desktop never does.
static int _main_active = 1;

static void _main_event_poll() {
    Event e(EVT_NONE);
    while (driver_event_poll(&e)) game_event(e);
}

static void _main_tick(void*) {
    if (!_main_active) return;
    _main_event_poll();
    game_loop();
    game_paint();
}

int SDL_main(int argc, char** argv) {
    game_init(argc, argv);
    while (!game_is_quit()) _main_tick(nullptr);
    game_deinit();
    return 0;
}

// SDL renames main to SDL_main only on Windows; elsewhere this is the entry.
int main(int argc, char** argv) {
    // Log lines leave whole as they are printed, also into a pipe or a file,
    // so whoever watches the log sees each one when it happens.
    setvbuf(stdout, nullptr, _IOLBF, 0);
    return SDL_main(argc, argv);
}
