// Test helper: a fixture that runs the real executable on a mod the test
// writes, under the X server of the test run with SDL's dummy audio. The mod,
// the settings (APPDATA) and the executable's output are in a temporary
// directory; the test reads the output back while the program runs.
#ifndef QEL_TEST_MOD_RUN_H
#define QEL_TEST_MOD_RUN_H

#include <ctime>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "child.h"
#include "tempdir.h"

class ModRunTest : public ::testing::Test {
  protected:
    TempDir dir;  // main.lua, appdata/, out.txt (stdout and stderr)
    Child child;

    ModRunTest();
    // A program still running is killed.
    void TearDown() override;

    // Writes `main` as main.lua and starts the executable on it with the
    // extra arguments; an empty `main` runs the bundled demo instead.
    void start(const std::string& main, const std::vector<std::string>& extra = {});
    // What the program wrote so far.
    std::string out();
    // Waits until the output holds `needle`; false after timeout_ms (times
    // the tree's factor, time_limit.h).
    bool wait_for(const std::string& needle, int timeout_ms = 20000);
    // The mod log's echoes in order, without their time stamps.
    std::vector<std::string> echoes();
    // Waits until the program has run a whole frame (events, loop, paint and
    // the buffer swap) after the call; false when either reading below takes
    // longer than timeout_ms (times the tree's factor). The proof does not
    // depend on the program's speed: the file watcher, which looks at most
    // once per second and only in a frame's loop, reads the picture `png`
    // again twice, each time after the test made the file newer, so the frame
    // of the first reading has ended by the second. The mod must have drawn
    // the picture, and its file must be older than 3 seconds (set_mtime) at
    // the first call.
    bool frame_passes(const std::string& png, int timeout_ms = 20000);

  private:
    time_t png_time = 0;  // the last time frame_passes gave the picture
};

#endif
