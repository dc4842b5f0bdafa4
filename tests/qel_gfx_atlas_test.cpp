// Sprite atlases without a GL context: the frames an atlas file registers,
// their names and rectangles, what broken or missing files register, and the
// file watcher reading a changed atlas again (with an injected clock).
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "capture.h"
#include "fake_clock.h"
#include "headless.h"
#include "qel_driver.h"
#include "qel_gfx.h"
#include "tempdir.h"

namespace {

// Every picture decodes as 64 x 64 pixels on a 64 x 64 texture.
int _fake_calls = 0;
int _fake_load(const char*, int* w, int* h, int* tw, int* th) {
    _fake_calls++;
    *w = *h = *tw = *th = 64;
    return 500 + _fake_calls;
}

// One entry of "frames".
std::string frame(const std::string& key, int x, int y, int w, int h, int ox = 0, int oy = 0, int sw = 0,
                  int sh = 0) {
    char buf[512];
    snprintf(buf, sizeof buf,
             "\"%s\":{\"frame\":{\"x\":%d,\"y\":%d,\"w\":%d,\"h\":%d},\"rotated\":false,"
             "\"spriteSourceSize\":{\"x\":%d,\"y\":%d,\"w\":%d,\"h\":%d},\"sourceSize\":{\"w\":%d,\"h\":%d}}",
             key.c_str(), x, y, w, h, ox, oy, w, h, sw ? sw : w, sh ? sh : h);
    return buf;
}

std::string atlas(const std::string& frames) { return "{\"frames\":{" + frames + "},\"meta\":{\"scale\":\"1\"}}"; }

void expect_rect(const GfxRect& r, float x, float y, float w, float h, const std::string& what) {
    EXPECT_EQ(r.x, x) << what;
    EXPECT_EQ(r.y, y) << what;
    EXPECT_EQ(r.w, w) << what;
    EXPECT_EQ(r.h, h) << what;
}

class Atlas : public ::testing::Test {
protected:
    WorkDir dir;
    void SetUp() override {
        headless_open(dir.file("alt"), _fake_load);
        driver_set_idiom("desktop");
        fake_clock_install(2000000);
        _fake_calls = 0;
    }
    void TearDown() override {
        fake_clock_remove();
        headless_close();
    }
    // Loads an atlas; its stderr.
    std::string load(const char* name) {
        std::string err;
        capture_stdout([&] { err = capture_stderr([&] { gfx_atlas_load(name); }); });
        return err;
    }
    int image(const char* name) {
        auto it = _gfx->img_map.find(name);
        return it == _gfx->img_map.end() ? -1 : it->second;
    }
    void watch(time_t now) {
        fake_now = now;
        capture_stdout([] { capture_stderr([] { gfx_reload_auto(); }); });
    }
};

}  // namespace

TEST_F(Atlas, FramesBecomeImagesOnTheAtlasTexture) {
    write_file("data/sheet.png", "x");
    write_file("data/sheet.json", atlas(frame("hero.png", 10, 20, 30, 40, 2, 3, 34, 46) + "," +
                                        frame("walk_01.png", 0, 0, 8, 8) + "," +
                                        frame("ui/ok.button.png", 8, 0, 4, 4) + "," + frame("plain", 1, 2, 3, 4)));
    std::string err = load("sheet");
    EXPECT_NE(err.find("gfx_atlas_load: sheet.json\n"), std::string::npos) << err;
    int tid = _gfx->tex_map["sheet"];
    ASSERT_GT(tid, 0);
    EXPECT_STREQ(_gfx_get_tex(tid)->atlas_fname, "./data/sheet.json");
    EXPECT_EQ(_gfx_get_tex(tid)->atlas_mtime, driver_file_stamp("data/sheet.json"));

    int hero = image("hero");
    ASSERT_GT(hero, 0);
    EXPECT_EQ(_gfx_get_img(hero)->tid, tid);
    expect_rect(_gfx_get_img(hero)->rect, 10, 20, 30, 40, "hero rect");
    expect_rect(_gfx_get_img(hero)->shape, 2, 3, 34, 46, "hero shape");
    EXPECT_EQ(gfx_img_get_width(hero), 34);
    // Names are cut at the last '.' only.
    EXPECT_GT(image("walk_01"), 0);
    EXPECT_GT(image("ui/ok.button"), 0);
    expect_rect(_gfx_get_img(image("plain"))->rect, 1, 2, 3, 4, "plain");
    EXPECT_EQ(image("hero.png"), -1);
    // The whole picture is an image too; drawing a frame by name finds it.
    EXPECT_GT(image("sheet"), 0);
    capture_stderr([&] { EXPECT_EQ(gfx_img_load("hero"), hero); });

    // A second load reads nothing.
    write_file("data/sheet.json", atlas(frame("hero.png", 0, 0, 1, 1)));
    load("sheet");
    expect_rect(_gfx_get_img(hero)->rect, 10, 20, 30, 40, "hero after a second load");
    EXPECT_EQ(_fake_calls, 1);
}

// The JSON file is found like a picture: scale and idiom variants first, in
// the alternative directory before the data directory, directories dropped.
TEST_F(Atlas, TheJsonFileIsLookedUpLikeAPicture) {
    write_file("data/sheet.png", "x");
    write_file("data/sheet.json", atlas(frame("a.png", 1, 1, 1, 1)));
    write_file("alt/sheet~desktop.json", atlas(frame("a.png", 2, 2, 2, 2)));
    load("gfx/sheet");
    EXPECT_EQ(std::string(_gfx_get_tex(_gfx->tex_map["gfx/sheet"])->atlas_fname), dir.file("alt/sheet~desktop.json"));
    expect_rect(_gfx_get_img(image("a"))->rect, 2, 2, 2, 2, "from the idiom variant");
}

// A name asked for as a plain picture first has no atlas: its frames never
// come, and it is not read again.
TEST_F(Atlas, AnEarlierPictureRequestKeepsTheAtlasUnread) {
    write_file("data/sheet.png", "x");
    write_file("data/sheet.json", atlas(frame("a.png", 1, 1, 1, 1)));
    capture_stderr([] { capture_stdout([] { gfx_img_load("sheet"); }); });
    EXPECT_EQ(load("sheet"), "");
    EXPECT_EQ(image("a"), -1);
}

// Files that do not give an atlas register nothing, each with a line of its
// own, and leave entry 0 (which means none) untouched.
TEST_F(Atlas, BrokenAtlasesRegisterNothing) {
    write_file("data/nojson.png", "x");
    write_file("data/bad.png", "x");
    write_file("data/bad.json", "{\"frames\":{" + frame("early.png", 1, 1, 1, 1) + "}, oops");
    write_file("data/cut.png", "x");
    write_file("data/cut.json", "{\"frames\":{" + frame("early.png", 1, 1, 1, 1) + ",");
    write_file("data/empty.png", "x");
    write_file("data/empty.json", "");
    write_file("data/list.png", "x");
    write_file("data/list.json", "{\"frames\":[{\"frame\":{\"x\":1}}]}");
    write_file("data/top.png", "x");
    write_file("data/top.json", "[1,2]");
    write_file("data/nopicture.json", atlas(frame("ghost.png", 1, 1, 1, 1)));
    struct {
        const char* name;
        const char* line;
    } cases[] = {
        {"nopicture", "atlas nopicture: no picture, no frames registered\n"},
        {"nojson", "atlas nojson: file nojson.json not found, no frames registered\n"},
        {"bad", "atlas ./data/bad.json: not valid JSON, no frames registered\n"},
        {"cut", "atlas ./data/cut.json: not valid JSON, no frames registered\n"},
        {"empty", "atlas ./data/empty.json: no \"frames\" object, no frames registered\n"},
        {"list", "atlas ./data/list.json: no \"frames\" object, no frames registered\n"},
        {"top", "atlas ./data/top.json: no \"frames\" object, no frames registered\n"},
    };
    size_t images = _gfx->img_data.size();
    for (auto& c : cases) {
        std::string err = load(c.name);
        EXPECT_NE(err.find(c.line), std::string::npos) << c.name << ": " << err;
        size_t images_now = _gfx->img_data.size();
        // Only the whole picture (when there is one) became an image.
        EXPECT_LE(images_now - images, 1u) << c.name;
        images = images_now;
    }
    EXPECT_EQ(image("early"), -1);
    EXPECT_EQ(image("ghost"), -1);
    EXPECT_STREQ(_gfx_get_tex(0)->atlas_fname, "");
    expect_rect(_gfx_get_img(0)->rect, 0, 0, 0, 0, "entry 0");
    EXPECT_EQ(_gfx_get_img(0)->tid, 0);
}

// Frames that are not objects, and names too long for their 256-byte buffer,
// are skipped; the others load. Sizes that are missing or not objects read 0.
TEST_F(Atlas, OddFramesAreSkippedOrReadAsZero) {
    std::string long_key(300, 'n');
    std::string longest(255, 'm');
    write_file("data/odd.png", "x");
    write_file("data/odd.json", atlas(frame("good.png", 5, 6, 7, 8) + ",\"num.png\":5,\"list.png\":[1,2]," +
                                      frame(long_key + ".png", 1, 1, 1, 1) + "," + frame(long_key, 1, 1, 1, 1) +
                                      "," + frame(longest, 3, 3, 3, 3) +
                                      ",\"bare.png\":{},\"strange.png\":{\"frame\":7,\"sourceSize\":{\"w\":\"9\"}}"));
    std::string err = load("odd");
    expect_rect(_gfx_get_img(image("good"))->rect, 5, 6, 7, 8, "good");
    EXPECT_EQ(image("num"), -1);
    EXPECT_EQ(image("list"), -1);
    EXPECT_EQ(image(long_key.c_str()), -1);
    EXPECT_GT(image(longest.c_str()), 0);
    EXPECT_NE(err.find("frame skipped: num.png"), std::string::npos) << err;
    expect_rect(_gfx_get_img(image("bare"))->rect, 0, 0, 0, 0, "bare");
    expect_rect(_gfx_get_img(image("strange"))->rect, 0, 0, 0, 0, "strange rect");
    expect_rect(_gfx_get_img(image("strange"))->shape, 0, 0, 9, 0, "strange shape");
    EXPECT_EQ(err.find("TypeError"), std::string::npos) << err;
}

// An edited atlas file is read again once it has been quiet for two seconds:
// frames move in place and keep their image indexes, vanished frames stay,
// and a changed picture alone leaves the frames as they are.
TEST_F(Atlas, TheWatcherReadsAChangedAtlasAgain) {
    write_file("data/sheet.png", "x");
    write_file("data/sheet.json", atlas(frame("a.png", 1, 1, 4, 4) + "," + frame("gone.png", 9, 9, 1, 1)));
    fake_now = 3000000;
    set_mtime("data/sheet.png", fake_now - 100);
    set_mtime("data/sheet.json", fake_now - 100);
    load("sheet");
    watch(fake_now);
    int a = image("a");
    int tid = _gfx->tex_map["sheet"];

    write_file("data/sheet.json", atlas(frame("a.png", 20, 30, 4, 4) + "," + frame("new.png", 2, 2, 2, 2)));
    set_mtime("data/sheet.json", 3000010);
    watch(3000011);  // changed 1 s ago: left alone
    expect_rect(_gfx_get_img(a)->rect, 1, 1, 4, 4, "too fresh");
    watch(3000012);
    expect_rect(_gfx_get_img(a)->rect, 20, 30, 4, 4, "read again");
    EXPECT_EQ(image("a"), a);
    EXPECT_EQ(_gfx_get_tex(tid)->atlas_mtime.sec, 3000010);
    EXPECT_GT(image("new"), 0);
    expect_rect(_gfx_get_img(image("gone"))->rect, 9, 9, 1, 1, "vanished frame");

    set_mtime("data/sheet.png", 3000020);
    watch(3000030);
    EXPECT_EQ(_fake_calls, 2);
    expect_rect(_gfx_get_img(a)->rect, 20, 30, 4, 4, "after the picture changed");
    EXPECT_EQ(_gfx_get_img(a)->tid, tid);

    // A rewrite that breaks the file keeps what was registered.
    write_file("data/sheet.json", "{\"frames\":{" + frame("a.png", 0, 0, 1, 1) + ",");
    set_mtime("data/sheet.json", 3000040);
    watch(3000050);
    expect_rect(_gfx_get_img(a)->rect, 20, 30, 4, 4, "after a broken rewrite");
}
