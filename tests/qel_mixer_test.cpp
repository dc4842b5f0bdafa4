// The sample and stream registry over real files: lookup by suffix, the
// caches of found and missing names, pass-through to the driver's plays, and
// the once-per-second change announcements on a clock set by the test.
#include <climits>
#include <cstdlib>
#include <functional>
#include <string>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include "audio_fixtures.h"
#include "capture.h"
#include "fake_clock.h"
#include "qel_driver-audio.h"
#include "qel_driver.h"
#include "qel_mixer.h"
#include "tempdir.h"

namespace {

// A game-like setup in a directory of its own: ./data and an alternative
// directory alt/, the dummy audio device, an empty registry.
class Mixer : public ::testing::Test {
  protected:
    WorkDir dir;
    std::string wav = wav_file(WAV_PCM, 16, 1, 44100, wav_data_s16(std::vector<int16_t>(441, 1000)));

    void SetUp() override {
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        capture_stdout([] {
            driver_init(DRIVER_AUDIO);
            driver_set_gamename("G");
            mixer_init();
        });
        ASSERT_NE(_sdl_audio_data, nullptr);
        SDL_PauseAudio(1);
    }
    void TearDown() override {
        capture_stdout([] {
            mixer_deinit();
            driver_deinit();
        });
        fake_clock_remove();
    }
    void data(const std::string& name, const std::string& bytes) { write_file(dir.file("data/" + name), bytes); }

    // Runs fn; returns what it printed on stderr (stdout is the driver's log).
    std::string err(const std::function<void()>& fn) {
        std::string e;
        capture_stdout([&] { e = capture_stderr(fn); });
        return e;
    }
};

}  // namespace

TEST_F(Mixer, FindTriesTheSuffixesInOrder) {
    struct Case {
        std::vector<std::string> data, alt;
        const char* name;
        const char* found;  // null: none
    };
    const Case cases[] = {
        {{"boom.ogg"}, {}, "boom", "./data/boom.ogg"},
        {{"boom.ogg", "boom.wav"}, {}, "boom", "./data/boom.wav"},
        {{"boom", "boom.wav"}, {}, "boom", "./data/boom"},
        {{"boom.wav"}, {}, "boom.wav", "./data/boom.wav"},
        {{"boom.raw", "boom.caf"}, {}, "boom", "./data/boom.caf"},
        {{"boom.mp3", "boom.aac"}, {}, "boom", "./data/boom.mp3"},
        {{"song.ogg"}, {"song.ogg"}, "song", "alt/song.ogg"},
        {{"song.wav"}, {"song.ogg"}, "song", "./data/song.wav"},  // suffix order before directory order
        {{"sfx/hit.wav"}, {}, "sfx/hit", "./data/sfx/hit.wav"},
        {{"boom.ogg"}, {}, "Boom", nullptr},
        {{}, {}, "boom", nullptr},
    };
    driver_set_altdir("alt");
    make_dir(dir.file("data/sfx"));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (const std::string& f : c.data) data(f, wav);
        for (const std::string& f : c.alt) write_file(dir.file("alt/" + f), wav);
        const char* r = _mixer_find(c.name);
        if (c.found)
            EXPECT_STREQ(r, c.found);
        else
            EXPECT_EQ(r, nullptr) << r;
        for (const std::string& f : c.data) unlink(dir.file("data/" + f).c_str());
        for (const std::string& f : c.alt) unlink(dir.file("alt/" + f).c_str());
    }
    // A directory is no sound file; a name too long for the candidate buffer
    // is simply not found.
    make_dir(dir.file("data/pad"));
    data("pad.wav", wav);
    EXPECT_STREQ(_mixer_find("pad"), "./data/pad.wav");
    EXPECT_EQ(_mixer_find(std::string(600, 'n').c_str()), nullptr);
}

TEST_F(Mixer, SamplesLoadOnceAndAreCachedByName) {
    data("boom.ogg", "not vorbis");
    data("click.wav", wav);
    int n = 0;
    std::string e = err([&] { n = mixer_sample_load("click"); });
    EXPECT_EQ(e, ":: trying load sample click\ndoing load sample click\n");
    EXPECT_EQ(n, 1);
    const MixerSample& s = _mixer->sample_map.at("click");
    EXPECT_EQ(s.n, 1);
    EXPECT_STREQ(s.sample_fname, "./data/click.wav");
    EXPECT_EQ(s.sample_mtime, driver_file_stamp("./data/click.wav"));

    // The next request answers from the registry without a word or a look.
    unlink(dir.file("data/click.wav").c_str());
    std::string out = capture_stdout([&] { e = capture_stderr([&] { n = mixer_sample_load("click"); }); });
    EXPECT_EQ(n, 1);
    EXPECT_EQ(e, "");
    EXPECT_EQ(out, "");

    // A found file that does not decode keeps index 0 with its path.
    e = err([&] { EXPECT_EQ(mixer_sample_load("boom"), 0); });
    EXPECT_EQ(e, ":: trying load sample boom\ndoing load sample boom\n");
    EXPECT_STREQ(_mixer->sample_map.at("boom").sample_fname, "./data/boom.ogg");

    // A name without a file stays silent after its file appears.
    e = err([&] { EXPECT_EQ(mixer_sample_load("later"), 0); });
    EXPECT_EQ(e, ":: trying load sample later\nunable to find sample later\n");
    EXPECT_STREQ(_mixer->sample_map.at("later").sample_fname, "");
    data("later.wav", wav);
    e = err([&] { EXPECT_EQ(mixer_sample_load("later"), 0); });
    EXPECT_EQ(e, "");
    EXPECT_EQ(_sdl_audio_data->sources.size(), 2u);
}

TEST_F(Mixer, StreamsHaveTheirOwnRegistry) {
    data("song.wav", wav);
    int a = 0, b = 0;
    std::string e = err([&] { b = mixer_stream_load("song"); });
    EXPECT_EQ(e, "trying load stream song\ndoing load stream song\n");
    e = err([&] { a = mixer_sample_load("song"); });
    EXPECT_GT(a, 0);
    EXPECT_GT(b, 0);
    EXPECT_NE(a, b);
    EXPECT_EQ(mixer_stream_load("song"), b);
    EXPECT_STREQ(_mixer->stream_map.at("song").stream_fname, "./data/song.wav");

    // An Ogg stream gets its index before its file is read, even a bad one.
    data("music.ogg", "not vorbis");
    EXPECT_GT(mixer_stream_load("music"), 0);
    e = err([&] { EXPECT_EQ(mixer_stream_load("nothing"), 0); });
    EXPECT_EQ(e, "trying load stream nothing\nunable to find stream nothing\n");
}

TEST_F(Mixer, PlayStopAndVolumePassTheIndexOn) {
    data("s.wav", wav);
    int s = mixer_sample_load("s");
    int st = mixer_stream_load("s");
    std::vector<AudioPlaying>& p = _sdl_audio_data->playing;
    mixer_sample_play(s, 0.5f, -0.25f);
    ASSERT_EQ(p.size(), 1u);
    EXPECT_EQ(p[0].src, s);
    EXPECT_EQ(p[0].vol, 0.5f);
    EXPECT_EQ(p[0].pan, -0.25f);
    EXPECT_EQ(p[0].loop, 0);
    std::string out = capture_stdout([&] { mixer_stream_play(st, 0.75f); });
    EXPECT_NE(out.find("] _mixer: stream_play " + std::to_string(st) + "\n"), std::string::npos) << out;
    ASSERT_EQ(p.size(), 2u);
    EXPECT_EQ(p[1].loop, 1);
    mixer_stream_volume(st, 0.25f);
    EXPECT_EQ(p[1].vol, 0.25f);
    EXPECT_EQ(p[0].vol, 0.5f);
    capture_stdout([&] { mixer_stream_stop(st); });
    ASSERT_EQ(p.size(), 1u);
    EXPECT_EQ(p[0].src, s);
    // The index of a name without a file plays nothing.
    mixer_sample_play(mixer_sample_load("none"), 1, 0);
    mixer_stream_play(0, 1);
    EXPECT_EQ(p.size(), 1u);
}

TEST_F(Mixer, ChangedFilesAreAnnouncedOncePerChange) {
    fake_clock_install(0);
    data("a.wav", wav);
    data("m.ogg", "x");
    set_mtime(dir.file("data/a.wav"), 1000000);
    set_mtime(dir.file("data/m.ogg"), 1000000);
    mixer_sample_load("a");
    mixer_stream_load("m");
    mixer_sample_load("missing");
    int sources = (int)_sdl_audio_data->sources.size();

    struct Step {
        time_t now;
        time_t a_mtime, m_mtime;  // 0: unchanged
        const char* said;
    };
    const Step steps[] = {
        {1000100, 0, 0, ""},
        {1000200, 1000199, 0, ""},                         // 1 second old: not yet
        {1000200, 0, 0, ""},                               // same second: no check at all
        {1000201, 0, 0, "sample reload: ./data/a.wav\n"},  // 2 seconds old
        {1000202, 0, 0, ""},                               // announced once
        {1000300, 0, 1000250, "stream reload: ./data/m.ogg\n"},
        {1000400, 1000390, 1000390, "sample reload: ./data/a.wav\nstream reload: ./data/m.ogg\n"},
        {1000500, 1000100, 0, "sample reload: ./data/a.wav\n"},  // older: another file too
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.now);
        if (s.a_mtime) set_mtime(dir.file("data/a.wav"), s.a_mtime);
        if (s.m_mtime) set_mtime(dir.file("data/m.ogg"), s.m_mtime);
        fake_now = s.now;
        EXPECT_EQ(err([] { mixer_reload_auto(); }), s.said);
    }
    // The old audio plays on: nothing was loaded again.
    EXPECT_EQ(_mixer->sample_map.at("a").n, 1);
    EXPECT_EQ(_mixer->sample_map.at("a").sample_mtime.sec, 1000100);
    EXPECT_EQ((int)_sdl_audio_data->sources.size(), sources);
}

TEST_F(Mixer, DeinitDropsTheNamesButNotTheSources) {
    data("a.wav", wav);
    int n = mixer_sample_load("a");
    capture_stdout([] {
        mixer_deinit();
        EXPECT_EQ(mixer_sample_load("a"), 0);
        EXPECT_EQ(mixer_stream_load("a"), 0);
        mixer_reload_auto();
        mixer_init();
        mixer_loop();
    });
    EXPECT_TRUE(_mixer->sample_map.empty());
    EXPECT_EQ(_sdl_audio_data->sources.size(), 2u);
    EXPECT_NE(mixer_sample_load("a"), n);  // a new load, a new index
}

TEST(MixerNoDevice, EveryLoadGivesZeroAndIsCached) {
    TempDir dir;
    setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    write_file(dir.file("a.wav"), wav_file(WAV_PCM, 16, 1, 44100, wav_data_s16({1, 2})));
    std::string e;
    capture_stdout([&] {
        driver_init(DRIVER_AUDIO);
        driver_set_altdir(dir.path().c_str());
        mixer_init();
        e = capture_stderr([] {
            EXPECT_EQ(mixer_sample_load("a"), 0);
            EXPECT_EQ(mixer_sample_load("a"), 0);
            EXPECT_EQ(mixer_stream_load("a"), 0);
            mixer_sample_play(1, 1, 0);
        });
        EXPECT_STREQ(_mixer->sample_map.at("a").sample_fname, (dir.path() + "/a.wav").c_str());
        mixer_deinit();
        driver_deinit();
    });
    EXPECT_EQ(e, ":: trying load sample a\ndoing load sample a\ntrying load stream a\ndoing load stream a\n");
}
