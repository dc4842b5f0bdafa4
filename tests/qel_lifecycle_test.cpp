// The engine library started, used and stopped twice in one process, with a
// real window under the X server and the dummy audio device: the second run
// must start where the first did, with nothing left over from it.
#include <SDL.h>
#include <cstdlib>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "audio_fixtures.h"
#include "capture.h"
#include "fake_clock.h"
#include "image_fixtures.h"
#include "qel_driver-sdl2.h"
#include "qel_font.h"
#include "qel_gfx.h"
#include "qel_mixer.h"
#include "tempdir.h"
#include "x11.h"

static void _start() {
    capture_stdout([] {
        driver_init(DRIVER_TIMER | DRIVER_VIDEO | DRIVER_AUDIO);
        driver_set_gamename("G");
        driver_video_init(320, 240, 0, 0, 64, 64, 0);
        gfx_init();
        font_init();
        mixer_init();
    });
}

static void _stop() {
    capture_stdout([] {
        mixer_deinit();
        font_deinit();
        gfx_deinit();
        driver_deinit();
    });
}

// The byte of a typed-text event, or 0 for any other event.
static int _typed(const Event& e) { return e.type == EVT_KEYDOWN ? e.c : 0; }

static Event _translate(const SDL_Event& ev) {
    Event e;
    _driver_event_translate(&ev, &e);
    return e;
}

static SDL_Event _axis(int axis, int value) {
    SDL_Event ev;
    memset(&ev, 0, sizeof ev);
    ev.type = SDL_JOYAXISMOTION;
    ev.jaxis.which = 0;
    ev.jaxis.axis = (Uint8)axis;
    ev.jaxis.value = (Sint16)value;
    return ev;
}

// Each run does the same at the same wall-clock second and leaves typed text
// and a moved stick behind, as a game stopped at any moment would.
TEST(Lifecycle, SecondRunStartsLikeTheFirst) {
    ASSERT_TRUE(x11_pin_sdl()) << "DISPLAY is not set: this test needs an X server";
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    WorkDir dir;
    ASSERT_TRUE(fixture_image("data/pic.png", "png", 4, 4, fixture_solid(4, 4, 255, 0, 0, 255)));
    ASSERT_TRUE(fixture_image("data/f.png", "png", 4, 4, fixture_solid(4, 4, 255, 255, 255, 255)));
    write_file("data/f.fnt", "common lineHeight=10 base=8 scaleW=4 scaleH=4\n"
                             "char id=65 x=0 y=0 width=2 height=2 xoffset=0 yoffset=0 xadvance=3\n");
    write_file("data/s.wav", wav_file(WAV_PCM, 16, 1, 44100, wav_data_s16(std::vector<int16_t>(441, 1000))));
    const char* files[] = {"data/pic.png", "data/f.png", "data/f.fnt", "data/s.wav"};
    fake_clock_install(1000000);

    for (int run = 1; run <= 2; run++) {
        SCOPED_TRACE("run " + std::to_string(run));
        _start();
        ASSERT_NE(driver_sdl2_window(), nullptr);

        // The fixed-step counter starts at this run's first call.
        driver_timer_set(60);
        EXPECT_EQ(_driver_timer_tick_at(5000), 0);
        EXPECT_EQ(_driver_timer_tick_at(5110), 7);

        // Files loaded long after they were written, then changed two
        // seconds before the watchers look: each watcher checks at once.
        for (const char* f : files) set_mtime(f, fake_now - 100);
        std::string err = capture_stderr([] {
            capture_stdout([] {
                gfx_img_load("pic");
                font_load("f", 0);
                mixer_sample_load("s");
            });
        });
        for (const char* f : files) set_mtime(f, fake_now - 2);
        err = capture_stderr([] {
            gfx_reload_auto();
            font_reload_auto();
            mixer_reload_auto();
        });
        EXPECT_NE(err.find("gfx_tex_reload: 1 pic ./data/pic.png\n"), std::string::npos) << err;
        EXPECT_NE(err.find("gfx_tex_reload: 2 f ./data/f.png\n"), std::string::npos) << err;
        EXPECT_EQ(_font->data[1].fnt_mtime.sec, fake_now - 2);
        EXPECT_NE(err.find("sample reload: ./data/s.wav\n"), std::string::npos) << err;

        // No typed byte and no stick position from before this run.
        Event e;
        capture_stdout([&] { driver_event_poll(&e); });
        EXPECT_EQ(_typed(e), 0);
        EXPECT_EQ(_translate(_axis(1, 0))._x, 0.0f);

        // What this run leaves behind: "y" still to be handed out, the stick
        // half way to the right.
        SDL_Event text;
        memset(&text, 0, sizeof text);
        text.type = SDL_TEXTINPUT;
        strcpy(text.text.text, "xy");
        _translate(text);
        capture_stdout([&] { driver_event_poll(&e); });
        EXPECT_EQ(_typed(e), 'x');
        EXPECT_EQ(_translate(_axis(0, 16384))._x, 0.5f);
        _stop();
    }
    fake_clock_remove();
}
