// qel_driver-sdl2: the SDL2 half of the platform driver: the one window and
// its GL context, the translation of SDL events into Event records, the
// timer, on-screen keyboard, clipboard and URL hand-off.
//
// Everything the rest of the system calls is declared in qel_driver.h; this
// header adds what only SDL-aware code and the tests need.
#ifndef QEL_DRIVER_SDL2_H
#define QEL_DRIVER_SDL2_H

#include <SDL.h>

#include "qel_driver.h"

SDL_Window* driver_sdl2_window();
void driver_sdl2_window_destroy();

// Opens or re-opens the window (ww or hh 0: the default size); the GL context
// is made with the first window and kept across re-creation.
SDL_Window* _try_init_video(int ww, int hh, int full);

// Window size arithmetic of a request on a desktop of dw x dh: the target
// size and the backup size (80 % of the desktop, windowed).
void _driver_video_sizes(int dw, int dh, int ww, int hh, int full, int* tw, int* th, int* bw, int* bh);

// Aspect and scale from the window size (sw x sh) and the drawable width rw,
// as integer quotients; a zero divisor keeps the previous value.
void _driver_video_quotients(int sw, int sh, int rw, float* aspect, float* scale);

// The platform-neutral key code of an SDL keycode; KEY_NONE when unmapped.
int _driver_sdl_sym2key(int sym);

// Modifier bits (EVT_MOD_*) of an SDL modifier state.
int _driver_sdl_mods(int kmod);

// Translates one SDL event into *r (EVT_NONE when it has no translation) and
// returns 1; typed text is kept and handed out by driver_event_poll.
int _driver_event_translate(const SDL_Event* ev, Event* r);

#endif
