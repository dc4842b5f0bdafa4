// The file watchers of pictures, atlases, fonts, samples and streams under
// one rule, over real files whose times the test sets to the nanosecond and
// a clock it sets: a file is read again once it is not the file that was read
// (another time, size or file) and has stood unchanged for two seconds. And
// the names the registries did not find, looked for again once forgotten.
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "audio_fixtures.h"
#include "capture.h"
#include "fake_clock.h"
#include "headless.h"
#include "qel_font.h"
#include "qel_gfx.h"
#include "qel_mixer.h"
#include "tempdir.h"

namespace {

// One watched file: three versions of it (the one loaded first, another of
// the same size, a longer one) and how to tell, from the registry or from
// what one pass of the watchers printed, that they did not read it again.
struct Kind {
    const char* name;
    std::string path, v1, same_size, longer;
    std::function<bool(const std::string& log)> still_v1;
};

std::string atlas(int x) {
    return "{\"frames\":{\"cell.png\":{\"frame\":{\"x\":" + std::to_string(x) + ",\"y\":0,\"w\":8,\"h\":8}}}}";
}

std::string font(int advance) {
    return "common lineHeight=20 base=16 scaleW=64 scaleH=64\nchar id=97 width=4 height=4 xadvance=" +
           std::to_string(advance) + "\n";
}

std::string wav(int value, int frames) {
    return wav_file(WAV_PCM, 16, 1, 44100, wav_data_s16(std::vector<int16_t>((size_t)frames, (int16_t)value)));
}

class Watchers : public ::testing::Test {
protected:
    WorkDir dir;
    std::vector<Kind> kinds{
        {"picture", "data/pic.png", "v1", "v2", "v22",
         [](const std::string& log) { return log.find(" pic ./data/pic.png\n") == std::string::npos; }},
        {"atlas", "data/sheet.json", atlas(10), atlas(20), atlas(200),
         [](const std::string&) { return _gfx_get_img(_gfx->img_map.at("cell"))->rect.x == 10; }},
        {"font", "data/f.fnt", font(5), font(7), font(17),
         [](const std::string&) { return _font->data[1].shapes['a'].w == 5; }},
        {"sample", "data/s.wav", wav(1000, 441), wav(2000, 441), wav(1000, 442),
         [](const std::string& log) { return log.find("sample reload: ./data/s.wav\n") == std::string::npos; }},
        {"stream", "data/m.ogg", "ogg 1", "ogg 2", "ogg 22",
         [](const std::string& log) { return log.find("stream reload: ./data/m.ogg\n") == std::string::npos; }},
    };

    void TearDown() override {
        stop();
        fake_clock_remove();
    }
    // Fresh, empty registries.
    void open() {
        capture_stdout([&] {
            headless_open(dir.file("alt"), fake_tex_load);
            font_init();
            mixer_init();
        });
        started = true;
    }
    // Fresh registries holding every kind at its first version.
    void start() {
        open();
        capture_stderr([&] {
            capture_stdout([&] {
                gfx_img_load("pic");
                write_file("data/sheet.png", "x");
                gfx_atlas_load("sheet");
                font_load("f", 0);
                mixer_sample_load("s");
                mixer_stream_load("m");
            });
        });
    }
    void stop() {
        if (!started) return;
        capture_stdout([] {
            mixer_deinit();
            font_deinit();
            headless_close();
        });
        started = false;
    }
    // One pass of every watcher at `now` and `nsec` nanoseconds; what they
    // printed.
    std::string watch(time_t now, long nsec = 0) {
        fake_now = now;
        fake_now_nsec = nsec;
        std::string log;
        capture_stdout([&] {
            log = capture_stderr([] {
                gfx_reload_auto();
                font_reload_auto();
                mixer_reload_auto();
            });
        });
        return log;
    }

private:
    bool started = false;
};

}  // namespace

TEST_F(Watchers, ReadAgainWhatIsNotTheFileThatWasRead) {
    const time_t s = 5000000;  // the second the first versions were saved in
    enum Change { NONE, SAME_SIZE, LONGER, REPLACED, REMOVED };
    struct Case {
        const char* what;
        Change change;
        time_t sec;
        long nsec;
        long check_nsec;  // into the seconds of both checks
        bool reread;      // at the check of second s + 10
        bool later;       // at the check of the next second
    } cases[] = {
        {"untouched", NONE, 0, 0, 0, false, false},
        {"saved again in the second of the first save", SAME_SIZE, s, 600000000, 0, true, false},
        {"written on in a second step with the same time", LONGER, s, 100000000, 0, true, false},
        {"an older version put back", SAME_SIZE, s - 50, 0, 0, true, false},
        {"saved one second before the check", SAME_SIZE, s + 9, 0, 0, false, true},
        {"saved 1.9 seconds before the check", SAME_SIZE, s + 8, 100000000, 0, false, true},
        {"saved two seconds before the check", SAME_SIZE, s + 8, 0, 0, true, false},
        {"saved 1.9 seconds before a check in the middle of a second", SAME_SIZE, s + 8, 600000000, 500000000,
         false, true},
        {"saved 2.2 seconds before a check in the middle of a second", SAME_SIZE, s + 8, 300000000, 500000000,
         true, false},
        // Another file renamed into its place, with the first one's time and size.
        {"replaced by a file of the same time and size", REPLACED, s, 100000000, 0, true, false},
        {"removed", REMOVED, 0, 0, 0, false, false},
    };
    fake_clock_install(s + 5);
    for (const Case& c : cases) {
        for (const Kind& k : kinds) {
            write_file(k.path, k.v1);
            set_mtime(k.path, s, 100000000);
        }
        start();
        for (const Kind& k : kinds) {
            if (c.change == REMOVED) remove(k.path.c_str());
            if (c.change == SAME_SIZE || c.change == LONGER) {
                write_file(k.path, c.change == LONGER ? k.longer : k.same_size);
                set_mtime(k.path, c.sec, c.nsec);
            }
            if (c.change == REPLACED) {
                write_file(k.path + ".new", k.same_size);
                set_mtime(k.path + ".new", c.sec, c.nsec);
                ASSERT_EQ(rename((k.path + ".new").c_str(), k.path.c_str()), 0) << k.path;
            }
        }
        std::string log = watch(s + 10, c.check_nsec);
        for (const Kind& k : kinds) EXPECT_EQ(!k.still_v1(log), c.reread) << k.name << ", " << c.what << "\n" << log;
        // What was read is then the file the watcher knows: no second read.
        log = watch(s + 11, c.check_nsec);
        if (c.later)
            for (const Kind& k : kinds) EXPECT_FALSE(k.still_v1(log)) << k.name << ", " << c.what << "\n" << log;
        else
            EXPECT_EQ(log, "") << c.what;
        stop();
    }
}

// Names asked for before their files exist: looked up once, then known as
// not found, however often they are asked for, until the registries forget
// what they did not find (the mod runtime does at each reload of the mod);
// the next request then finds the file added meanwhile. What was found keeps
// its index, and a font loaded without its picture gets the picture.
TEST_F(Watchers, NamesNotFoundAreLookedForAgainOnceForgotten) {
    write_file("data/pic.png", "v1");
    write_file("data/bare.fnt", font(5));  // its picture bare.png comes later
    open();
    struct Name {
        const char* what;
        std::function<int()> load;
        std::string file, bytes;
        const char *lookup, *found;  // lines of the registry's log
    } names[] = {
        {"picture", [] { return gfx_img_load("late"); }, "data/late.png", "p", "trying load tex late\n",
         "doing load tex late "},
        {"font", [] { return font_load("latefont", 0); }, "data/latefont.fnt", font(5), "trying load font latefont\n",
         "doing load font latefont "},
        {"font picture", [] { return _font->data[font_load("bare", 0)].tex; }, "data/bare.png", "p",
         "trying load tex bare\n", "doing load tex bare "},
        {"sample", [] { return mixer_sample_load("ls"); }, "data/ls.wav", wav(1000, 441),
         ":: trying load sample ls\n", "doing load sample ls\n"},
        {"stream", [] { return mixer_stream_load("lm"); }, "data/lm.ogg", "ogg 1", "trying load stream lm\n",
         "doing load stream lm\n"},
    };
    auto count = [](const std::string& log, const std::string& line) {
        size_t n = 0;
        for (size_t p = log.find(line); p != std::string::npos; p = log.find(line, p + 1)) n++;
        return n;
    };
    auto quiet = [](const std::function<void()>& f) {
        std::string log;
        capture_stdout([&] { log = capture_stderr(f); });
        return log;
    };
    int pic = 0, bare = 0;
    std::string log = quiet([&] {
        pic = gfx_img_load("pic");
        bare = font_load("bare", 0);
        for (const Name& n : names)
            for (int i = 0; i < 3; i++) EXPECT_EQ(n.load(), 0) << n.what;
    });
    ASSERT_NE(pic, 0);
    ASSERT_NE(bare, 0);
    for (const Name& n : names) EXPECT_EQ(count(log, n.lookup), 1u) << n.what << "\n" << log;

    for (const Name& n : names) write_file(n.file, n.bytes);
    log = quiet([&] {
        for (const Name& n : names) EXPECT_EQ(n.load(), 0) << n.what;
    });
    EXPECT_EQ(log, "") << "not looked for again before the registries forget";

    log = quiet([&] {
        gfx_forget_missing();
        font_forget_missing();
        mixer_forget_missing();
        for (const Name& n : names)
            for (int i = 0; i < 3; i++) n.load();
        EXPECT_EQ(gfx_img_load("pic"), pic);
        EXPECT_EQ(font_load("bare", 0), bare);
    });
    for (const Name& n : names) {
        EXPECT_EQ(count(log, n.lookup), 1u) << n.what << "\n" << log;
        EXPECT_EQ(count(log, n.found), 1u) << n.what << "\n" << log;
    }
    EXPECT_EQ(count(log, "trying load tex pic\n"), 0u) << "what was found stays\n" << log;
    EXPECT_NE(gfx_img_load("late"), 0);
    EXPECT_NE(font_load("latefont", 0), 0);
    EXPECT_NE(gfx_tex_get_id(_font->data[bare].tex), 0) << "the font draws with its picture";
    EXPECT_STREQ(_mixer->sample_map.at("ls").sample_fname, "./data/ls.wav");
    EXPECT_STREQ(_mixer->stream_map.at("lm").stream_fname, "./data/lm.ogg");
}
