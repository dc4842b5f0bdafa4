// The example program examples/form.cpp, built as build/examples/form, run
// under the X server of the test run: its self-check of a few frames reads
// its own border back, real clicks and keys sent through the server land in
// the fields they aim at in the scaled view, and without the engine's data/
// in its working folder it says so and fails.
#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include "child.h"
#include "tempdir.h"
#include "time_limit.h"
#include "x11.h"

namespace {

const int kWait = 20000;  // ms in the release tree (time_limit.h)
const char* const kTitle = "form example";

// The ground of the example's text fields, as the server shows it.
const std::vector<int> kFieldGround = {0x1a, 0x24, 0x30};

struct Field {
    int x0, y0, x1, y1;  // bounding box in window pixels
    int cx() const { return (x0 + x1) / 2; }
    int cy() const { return (y0 + y1) / 2; }
};

// The text fields of the picture, top to bottom: each run of rows that
// holds the fields' ground colour is one field.
std::vector<Field> _fields(const X11Shot& shot) {
    std::vector<Field> r;
    bool in = false;
    for (int y = 0; y < shot.h; y++) {
        int x0 = -1, x1 = -1;
        for (int x = 0; x < shot.w; x++)
            if (shot.at(x, y) == kFieldGround) {
                if (x0 < 0) x0 = x;
                x1 = x;
            }
        if (x0 < 0) {
            in = false;
            continue;
        }
        if (!in) r.push_back(Field{x0, y, x1, y});
        in = true;
        Field& f = r.back();
        f.x0 = std::min(f.x0, x0);
        f.x1 = std::max(f.x1, x1);
        f.y1 = y;
    }
    return r;
}

class FormE2E : public ::testing::Test {
  protected:
    TempDir dir;
    Child child;

    void SetUp() override {
        ASSERT_TRUE(x11_pin_sdl()) << "DISPLAY is not set: this test needs an X server";
        // No other window of that title may be around to confuse the search.
        for (int waited = 0; waited <= time_limit_ms(5000) && x11_wait_window(kTitle, 0, 0, 0); waited += 20)
            usleep(20000);
        ASSERT_EQ(x11_wait_window(kTitle, 0, 0, 0), 0ul);
    }
    void TearDown() override {
        if (child.pid > 0) child_wait(child, 0);
    }
    void start(const std::vector<std::string>& args) {
        std::vector<std::string> argv{QEL_BINARY_DIR "/examples/form"};
        argv.insert(argv.end(), args.begin(), args.end());
        child = child_start(argv, {"SDL_VIDEODRIVER=x11", "DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent"},
                            dir.file("out.txt"));
        ASSERT_GT(child.pid, 0);
    }
    std::string out() { return path_exists(dir.file("out.txt")) ? read_file(dir.file("out.txt")) : ""; }
    bool wait_for(const std::string& needle) {
        for (int waited = 0; waited <= time_limit_ms(kWait); waited += 20) {
            if (out().find(needle) != std::string::npos) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    }
};

TEST_F(FormE2E, AFewFramesShowTheBorderWhereTheBoxIs) {
    start({"-frames", "3"});
    ASSERT_EQ(child_wait(child, kWait), 0) << out();
    EXPECT_NE(out().find("form: frame 3, border pixel at"), std::string::npos) << out();
    EXPECT_NE(out().find("is #6688aa, wanted #6688aa"), std::string::npos) << out();
}

TEST_F(FormE2E, ClicksAndKeysReachTheFieldsAimedAt) {
    start({});
    unsigned long window = x11_wait_window(kTitle, 800, 500, kWait);
    ASSERT_NE(window, 0ul) << out();
    // The first frames may not be painted yet when the window maps.
    X11Shot shot;
    std::vector<Field> fields;
    for (int waited = 0; waited <= time_limit_ms(kWait) && fields.size() != 2; waited += 50) {
        if (x11_screenshot(window, "", &shot)) fields = _fields(shot);
        if (fields.size() != 2) usleep(50000);
    }
    ASSERT_EQ(fields.size(), 2u) << "the name and the password field";

    // The name field has the focus from the start; the clicks move it, in
    // window pixels that the program converts to its view at half scale.
    ASSERT_TRUE(x11_click(window, fields[1].cx(), fields[1].cy(), 1));
    ASSERT_TRUE(x11_type(window, "pw"));
    ASSERT_TRUE(x11_click(window, fields[0].cx(), fields[0].cy(), 1));
    ASSERT_TRUE(x11_type(window, "bob"));
    ASSERT_TRUE(x11_key(window, "Return"));
    EXPECT_TRUE(wait_for("form: name \"bob\", password of 2 bytes")) << out();

    // Tab moves to the password field, whose focus selects all: typing
    // replaces it.
    ASSERT_TRUE(x11_key(window, "Tab"));
    ASSERT_TRUE(x11_type(window, "secret"));
    ASSERT_TRUE(x11_key(window, "Return"));
    EXPECT_TRUE(wait_for("form: name \"bob\", password of 6 bytes")) << out();

    ASSERT_TRUE(x11_key(window, "Escape"));
    EXPECT_EQ(child_wait(child, kWait), 0) << out();
}

TEST_F(FormE2E, WithoutTheEngineDataItSaysWhereToRunIt) {
    WorkDir elsewhere;  // an empty data/ as the working folder's
    start({"-frames", "3"});
    EXPECT_EQ(child_wait(child, kWait), 1) << out();
    EXPECT_NE(out().find("form: no console font in ./data: run from the project root"), std::string::npos)
        << out();
}

}  // namespace
