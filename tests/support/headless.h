// Test helper: the library state of the tests that need no window: the
// driver without video, and the graphics layer on it with a texture loader
// of the test's own (without a GL context its GL calls do nothing), such as
// the fake one here.
#ifndef QEL_TEST_HEADLESS_H
#define QEL_TEST_HEADLESS_H

#include <string>

#include "qel_gfx.h"

// Starts the driver for the game "G" with `altdir` as its alternative
// directory, then the graphics layer with `loader` behind every texture load;
// resets the fake loader below.
void headless_open(const std::string& altdir, GfxTexLoader loader);
// Stops what headless_open started; the real loader is back.
void headless_close();

// A texture loader without GL: every call counts in fake_tex_calls and makes
// a new GL name, from fake_tex_next on, for a square texture of fake_tex_side
// texels holding a picture 10 texels smaller; a file whose name contains
// "bad" fails to decode. headless_open sets 2048, 0 and 100.
extern int fake_tex_side, fake_tex_calls, fake_tex_next;
int fake_tex_load(const char* fname, int* w, int* h, int* tw, int* th);

#endif
