// Test helper: the library state of the tests that need no window: the
// driver without video, and the graphics layer on it with a texture loader
// of the test's own (without a GL context its GL calls do nothing).
#ifndef QEL_TEST_HEADLESS_H
#define QEL_TEST_HEADLESS_H

#include <string>

#include "qel_gfx.h"

// Starts the driver for the game "G" with `altdir` as its alternative
// directory, then the graphics layer with `loader` behind every texture load.
void headless_open(const std::string& altdir, GfxTexLoader loader);
// Stops what headless_open started; the real loader is back.
void headless_close();

#endif
