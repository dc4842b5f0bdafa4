// The SDL2 half of the driver with a real window and GL context under the X
// server of $DISPLAY: window size and title, the fullscreen round trip that
// keeps textures, resize, touch scaling, text input and the clipboard.
#include <SDL.h>
#include <SDL_opengl.h>
#include <string>

#include <gtest/gtest.h>

#include "capture.h"
#include "qel_driver-sdl2.h"
#include "x11.h"

// The window request the game makes at start (full 0) and at its fullscreen
// toggle.
static void _game_request(int full) { driver_video_init(0, 0, 640, 480, 320, 320, full); }

class Window : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(x11_pin_sdl()) << "DISPLAY is not set: these tests need an X server";
        log = capture_stdout([] {
            driver_init(DRIVER_TIMER | DRIVER_VIDEO);
            driver_set_caption("QelGame");
            _game_request(0);
        });
        ASSERT_NE(driver_sdl2_window(), nullptr) << log;
        ASSERT_STREQ(SDL_GetCurrentVideoDriver(), "x11");
    }
    void TearDown() override { driver_deinit(); }

    static void size_of_window(int* w, int* h) { SDL_GetWindowSize(driver_sdl2_window(), w, h); }
    static bool fullscreen() {
        return (SDL_GetWindowFlags(driver_sdl2_window()) & SDL_WINDOW_FULLSCREEN) != 0;
    }
    // Draws the texture over the whole viewport and reads the centre pixel
    // back before the swap.
    static unsigned centre_pixel_with(GLuint tex) {
        int w, h;
        driver_get_size(&w, &h);
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        glEnable(GL_TEXTURE_2D);
        glBindTexture(GL_TEXTURE_2D, tex);
        glColor4ub(255, 255, 255, 255);
        glBegin(GL_QUADS);
        glTexCoord2f(0, 0), glVertex2f(-1, -1);
        glTexCoord2f(1, 0), glVertex2f(1, -1);
        glTexCoord2f(1, 1), glVertex2f(1, 1);
        glTexCoord2f(0, 1), glVertex2f(-1, 1);
        glEnd();
        glFinish();
        unsigned char px[4] = {0, 0, 0, 0};
        glReadBuffer(GL_BACK);
        glReadPixels(w / 2, h / 2, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, px);
        return px[0] << 16 | px[1] << 8 | px[2];
    }

    std::string log;
};

TEST_F(Window, DefaultWindowIs80PercentWithTitle) {
    int w, h;
    size_of_window(&w, &h);
    EXPECT_EQ(w, 1280);
    EXPECT_EQ(h, 720);
    EXPECT_FALSE(fullscreen());
    int dw, dh;
    driver_get_size(&dw, &dh);
    EXPECT_EQ(dw, 1280);
    EXPECT_EQ(dh, 720);
    EXPECT_EQ(driver_get_scale(), 1.0f);
    EXPECT_EQ(driver_get_aspect(), 1.0f);
    EXPECT_STREQ(SDL_GetWindowTitle(driver_sdl2_window()), "QelGame");
    EXPECT_STREQ(driver_get_idiom(), "desktop");
    EXPECT_NE(glGetString(GL_VERSION), nullptr);
    EXPECT_NE(log.find("] _try_init_video: desktop: 1600 x 900, backup: 1280 x 720, target: 1280 x 720, "
                       "screen: 0 x 0\n"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("] now: 1280 x 720 - 0\n"), std::string::npos);
    EXPECT_NE(log.find("] GL_DOUBLEBUFFER:1\n"), std::string::npos);
}

TEST_F(Window, FullscreenRoundTripKeepsContextAndTextures) {
    GLuint tex = 0;
    glGenTextures(1, &tex);
    glBindTexture(GL_TEXTURE_2D, tex);
    const unsigned char red[4 * 4] = {255, 0, 0, 255, 255, 0, 0, 255, 255, 0, 0, 255, 255, 0, 0, 255};
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 2, 2, 0, GL_RGBA, GL_UNSIGNED_BYTE, red);
    SDL_GLContext ctx = SDL_GL_GetCurrentContext();
    Uint32 first = SDL_GetWindowID(driver_sdl2_window());

    capture_stdout([] { _game_request(1); });
    int w, h;
    size_of_window(&w, &h);
    EXPECT_EQ(w, 1600);
    EXPECT_EQ(h, 900);
    EXPECT_TRUE(fullscreen());
    EXPECT_NE(SDL_GetWindowID(driver_sdl2_window()), first) << "a new window";
    EXPECT_EQ(SDL_GL_GetCurrentContext(), ctx);
    EXPECT_TRUE(glIsTexture(tex));
    EXPECT_EQ(centre_pixel_with(tex), 0xff0000u);
    driver_get_size(&w, &h);
    EXPECT_EQ(w, 1600);
    EXPECT_EQ(h, 900);

    capture_stdout([] { _game_request(0); });
    size_of_window(&w, &h);
    EXPECT_EQ(w, 1280);
    EXPECT_EQ(h, 720);
    EXPECT_FALSE(fullscreen());
    EXPECT_EQ(centre_pixel_with(tex), 0xff0000u);
    driver_video_flip();
}

TEST_F(Window, SameRequestKeepsTheWindow) {
    SDL_Window* first = driver_sdl2_window();
    std::string out = capture_stdout([] { _game_request(0); });
    EXPECT_EQ(driver_sdl2_window(), first);
    EXPECT_NE(out.find("] _try_init_video: no changes needed.\n"), std::string::npos) << out;
    EXPECT_EQ(out.find("initial init"), std::string::npos);
}

TEST_F(Window, CaptionReachesTheWindowAtTheNextFlip) {
    driver_set_caption("Other");
    EXPECT_STREQ(SDL_GetWindowTitle(driver_sdl2_window()), "QelGame");
    driver_video_flip();
    EXPECT_STREQ(SDL_GetWindowTitle(driver_sdl2_window()), "Other");
    // A title changed behind the driver's back stays until the caption changes.
    SDL_SetWindowTitle(driver_sdl2_window(), "elsewhere");
    driver_video_flip();
    EXPECT_STREQ(SDL_GetWindowTitle(driver_sdl2_window()), "elsewhere");
}

TEST_F(Window, ResizeEventUpdatesTheStoredSize) {
    SDL_SetWindowSize(driver_sdl2_window(), 1024, 768);
    SDL_Delay(100);
    Event e;
    capture_stdout([&] {
        for (int idle = 0; idle < 2;) idle = driver_event_poll(&e) ? 0 : idle + 1;
    });
    SDL_Event ev;
    memset(&ev, 0, sizeof ev);
    ev.type = SDL_WINDOWEVENT;
    ev.window.event = SDL_WINDOWEVENT_RESIZED;
    ev.window.data1 = 1024;
    ev.window.data2 = 768;
    SDL_PushEvent(&ev);
    std::string out = capture_stdout([&] { EXPECT_TRUE(driver_event_poll(&e) || driver_event_poll(&e)); });
    EXPECT_EQ(e.type, EVT_RESIZE);
    EXPECT_EQ(e.w, 1024);
    EXPECT_EQ(e.h, 768);
    int w, h;
    driver_get_size(&w, &h);
    EXPECT_EQ(w, 1024);
    EXPECT_EQ(h, 768);
    EXPECT_NE(out.find("] window: 1024 x 768. drawable: 1024 x 768\n"), std::string::npos) << out;
    GLint vp[4];
    glGetIntegerv(GL_VIEWPORT, vp);
    EXPECT_EQ(vp[2], 1024);
    EXPECT_EQ(vp[3], 768);
}

TEST_F(Window, TouchScalesToTheWindow) {
    SDL_Event ev;
    memset(&ev, 0, sizeof ev);
    ev.type = SDL_FINGERMOTION;
    ev.tfinger.fingerId = 2;
    ev.tfinger.x = 0.5f;
    ev.tfinger.y = 0.5f;
    ev.tfinger.dx = 0.25f;
    ev.tfinger.dy = -0.5f;
    Event e;
    _driver_event_translate(&ev, &e);
    EXPECT_EQ(e.type, EVT_TOUCHMOTION);
    EXPECT_EQ(e.x, 640);
    EXPECT_EQ(e.y, 360);
    EXPECT_EQ(e.dx, 320);
    EXPECT_EQ(e.dy, -360);
    EXPECT_EQ(e.b, 3);
}

TEST_F(Window, KeyboardCallsLeaveTextInputRunning) {
    ASSERT_FALSE(SDL_HasScreenKeyboardSupport());
    ASSERT_TRUE(SDL_IsTextInputActive());
    std::string out = capture_stdout([] {
        driver_keyboard_show();
        driver_keyboard_hide();
        driver_keyboard_init(nullptr);
        driver_keyboard_set_height(100);
    });
    EXPECT_TRUE(SDL_IsTextInputActive());
    EXPECT_EQ(out, "");
    EXPECT_EQ(driver_keyboard_state(), 0);
    EXPECT_EQ(driver_keyboard_get_height(), 0);
}

TEST_F(Window, ClipboardRoundTrip) {
    driver_clipboard_set_text("copied \xc3\xa9 text");
    EXPECT_EQ(driver_clipboard_get_text(), "copied \xc3\xa9 text");
    driver_clipboard_set_text(std::string("before\0after", 12));
    EXPECT_EQ(driver_clipboard_get_text(), "before");
}

TEST_F(Window, MinimizeAndShutDown) {
    EXPECT_TRUE(driver_video_minimize());
    driver_deinit();
    EXPECT_EQ(driver_sdl2_window(), nullptr);
    EXPECT_FALSE(driver_video_minimize());
    driver_video_flip();  // nothing without a window
    driver_init(0);       // for TearDown
}
