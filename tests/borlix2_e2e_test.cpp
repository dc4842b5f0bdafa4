// The real executable under the X server of $DISPLAY: its window, the
// fullscreen toggle and back through Ctrl+F, and the two ways out (Ctrl+Q and
// closing the window), each ending with status 0.
#include <string>
#include <unistd.h>

#include <gtest/gtest.h>

#include "child.h"
#include "tempdir.h"
#include "time_limit.h"
#include "x11.h"

static const int kWait = 20000;  // ms in the release tree (time_limit.h)

class Executable : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(x11_pin_sdl()) << "DISPLAY is not set: this test needs an X server";
        // No other window of that title may be around to confuse the search;
        // the server drops a finished test's window a moment after its exit.
        for (int waited = 0; waited <= time_limit_ms(5000) && x11_wait_window("QelGame", 0, 0, 0); waited += 20)
            usleep(20000);
        ASSERT_EQ(x11_wait_window("QelGame", 0, 0, 0), 0ul);
        child = child_start({QEL_BINARY_DIR "/borlix2"}, {"SDL_VIDEODRIVER=x11", "SDL_AUDIODRIVER=dummy"},
                            tmp.file("out.txt"));
        ASSERT_GT(child.pid, 0);
        window = x11_wait_window("QelGame", 1280, 720, kWait);
        ASSERT_NE(window, 0ul) << output();
    }
    void TearDown() override {
        if (child.pid > 0) child_wait(child, 0);
    }
    std::string output() const { return read_file(child.out_path); }

    TempDir tmp;
    Child child;
    unsigned long window = 0;
};

TEST_F(Executable, CtrlFTogglesFullscreenAndCtrlQQuits) {
    ASSERT_TRUE(x11_key(window, "ctrl+f"));
    unsigned long full = x11_wait_window("QelGame", 1600, 900, kWait);
    ASSERT_NE(full, 0ul) << output();
    ASSERT_TRUE(x11_key(full, "ctrl+f"));
    unsigned long back = x11_wait_window("QelGame", 1280, 720, kWait);
    ASSERT_NE(back, 0ul) << output();
    ASSERT_TRUE(x11_key(back, "ctrl+q"));
    EXPECT_EQ(child_wait(child, kWait), 0) << output();
    std::string out = output();
    size_t first = out.find("] now: 1280 x 720 - 0\n");
    size_t fullscreen = out.find("] now: 1600 x 900 - 1\n");
    size_t windowed = out.rfind("] now: 1280 x 720 - 0\n");
    EXPECT_NE(first, std::string::npos) << out;
    EXPECT_NE(fullscreen, std::string::npos) << out;
    EXPECT_LT(first, fullscreen);
    EXPECT_LT(fullscreen, windowed);
}

TEST_F(Executable, ClosingTheWindowQuits) {
    ASSERT_TRUE(x11_close(window));
    EXPECT_EQ(child_wait(child, kWait), 0) << output();
}
