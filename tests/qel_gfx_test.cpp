// The graphics layer's CPU side, without a GL context: file lookup, the
// registries, the texture budget with a fake loader, the file watcher with an
// injected clock, the view conversions and the clip stack.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <unistd.h>
#include <vector>

#include <GL/gl.h>

#include "capture.h"
#include "fake_clock.h"
#include "headless.h"
#include "qel_driver-tex_load.h"
#include "qel_driver.h"
#include "qel_gfx.h"
#include "tempdir.h"


// A working directory with ./data and an alternative directory, the driver
// state (no window) and the graphics state.
class Gfx : public ::testing::Test {
protected:
    WorkDir dir;
    void SetUp() override {
        headless_open(dir.file("alt"), fake_tex_load);
        driver_set_idiom("desktop");
        fake_clock_install(1000000);
    }
    void TearDown() override {
        fake_clock_remove();
        headless_close();
    }
    void file(const std::string& path) { write_file(path, "x"); }
    std::string find(const char* name) {
        const char* r = nullptr;
        capture_stdout([&] { r = _gfx_find(name); });
        return r ? r : "(none)";
    }
    int tex_load(const char* name) {
        int n;
        capture_stderr([&] { capture_stdout([&] { n = gfx_tex_load(name); }); });
        return n;
    }
    int img_load(const char* name) {
        int n;
        capture_stderr([&] { capture_stdout([&] { n = gfx_img_load(name); }); });
        return n;
    }
};

TEST_F(Gfx, LookupOrderOfVariantsSuffixesAndDirectories) {
    struct {
        std::vector<std::string> files;
        const char* name;
        const char* found;
    } cases[] = {
        {{"data/hero.png"}, "hero", "hero.png"},
        {{"data/hero.png", "data/hero@1x~desktop.qel"}, "hero", "hero@1x~desktop.qel"},
        {{"data/hero~desktop.png", "data/hero@1x.jpg"}, "hero", "hero@1x.jpg"},
        {{"data/hero.tga", "data/hero~desktop.jpg"}, "hero", "hero~desktop.jpg"},
        {{"data/hero.jpg", "data/hero.tga"}, "hero", "hero.tga"},
        {{"data/hero.qel"}, "hero", "hero.qel"},
        {{"data/hero"}, "hero", "(none)"},  // a name without '.' always gets a suffix
        {{"data/hero.png"}, "gfx/hero.png", "hero.png"},
        {{"data/hero.png.tga"}, "hero.png", "hero.png.tga"},
        {{"data/hero.png", "data/hero@1x.png.jpg"}, "hero.png", "hero@1x.png.jpg"},
        {{"data/hero.tga", "data/old.set/hero.tga"}, "old.set/hero", "hero.tga"},
        {{"data/button.9.png"}, "ui/button.9.png", "button.9.png"},
        // Variants come before directories: each is tried in alt, then data.
        {{"alt/hero.png", "data/hero@1x.png"}, "hero", "hero@1x.png"},
        {{"alt/hero.png", "data/hero.png"}, "hero", "hero.png"},
        {{}, "hero", "(none)"},
    };
    for (const auto& c : cases) {
        mkdir("data/old.set", 0700);
        for (const auto& f : c.files) file(f);
        EXPECT_EQ(find(c.name), c.found) << c.name << " with " << c.files.size() << " files";
        for (const auto& f : c.files) remove(f.c_str());
    }
}

TEST_F(Gfx, LookupLineScaleAndIdiom) {
    std::string out = capture_stdout([] { _gfx_find("gfx/ui/button.9.png"); });
    EXPECT_EQ(out, "_gfx_find(gfx/ui/button.9.png):button:.9.png\n");

    file("data/hero@2x.png");
    file("data/hero@1x.png");
    driver_set_scale(2.7f);
    EXPECT_EQ(find("hero"), "hero@2x.png");
    driver_set_scale(1);
    remove("data/hero@2x.png");
    remove("data/hero@1x.png");

    // An idiom too long for its 32-byte suffix gets no idiom variants, not
    // a cut suffix that would pick another idiom's file.
    std::string idiom(31, 'i');
    file("data/hero.png");
    file("data/hero~" + idiom + ".png");
    file("data/hero~" + idiom.substr(0, 30) + ".png");
    driver_set_idiom(idiom.c_str());
    EXPECT_EQ(find("hero"), "hero.png");
    driver_set_idiom(idiom.substr(0, 30).c_str());
    EXPECT_EQ(find("hero"), "hero~" + idiom.substr(0, 30) + ".png");
}

TEST_F(Gfx, LoadRecordsPathNameAndWholeFileImage) {
    file("alt/hero.png");
    file("data/hero.png");
    std::string err;
    int img;
    std::string out = capture_stdout([&] { err = capture_stderr([&] { img = gfx_img_load("gfx/hero.png"); }); });
    ASSERT_GT(img, 0);
    int tid = _gfx_get_img(img)->tid;
    ASSERT_GT(tid, 0);
    GfxTexture* t = _gfx_get_tex(tid);
    EXPECT_STREQ(t->name, "gfx/hero.png");
    EXPECT_EQ(std::string(t->tex_fname), dir.file("alt/hero.png"));
    EXPECT_EQ(t->loaded, 1);
    EXPECT_EQ(t->tex, 100);
    EXPECT_EQ(t->rect.w, 2048);
    EXPECT_EQ(t->tex_memused, 2048ul * 2048 * 16 / 3);
    EXPECT_EQ(_gfx->memused, t->tex_memused);
    EXPECT_EQ(gfx_img_get_width(img), 2038);
    EXPECT_EQ(_gfx_get_img(img)->rect.w, 2038);
    EXPECT_EQ(_gfx_get_img(img)->shape.h, 2038);
    EXPECT_EQ(out, "_gfx_find(gfx/hero.png):hero:.png\n");
    EXPECT_NE(err.find("trying load tex gfx/hero.png\n"), std::string::npos) << err;
    EXPECT_NE(err.find("doing load tex gfx/hero.png (1)\n"), std::string::npos) << err;
    EXPECT_NE(err.find("gfx_tex_reload: 1 gfx/hero.png " + dir.file("alt/hero.png") + "\n"), std::string::npos);
    EXPECT_NE(err.find("gfx_tex_load: "), std::string::npos);

    // Cached: the same handles, nothing searched or loaded again.
    EXPECT_EQ(img_load("gfx/hero.png"), img);
    EXPECT_EQ(tex_load("gfx/hero.png"), tid);
    EXPECT_EQ(fake_tex_calls, 1);
}

TEST_F(Gfx, SecondMissIsSilent) {
    std::string out, err;
    out = capture_stdout([&] { err = capture_stderr([] { EXPECT_EQ(gfx_img_load("nothing"), 0); }); });
    EXPECT_EQ(out, "_gfx_find(nothing):nothing:\n");
    EXPECT_EQ(err, "trying load tex nothing\nunable to find tex nothing\nunable to find img nothing\n");
    file("data/nothing.png");  // too late: the miss is final
    out = capture_stdout([&] { err = capture_stderr([] {
        EXPECT_EQ(gfx_img_load("nothing"), 0);
        EXPECT_EQ(gfx_tex_load("nothing"), 0);
    }); });
    EXPECT_EQ(out, "");
    EXPECT_EQ(err, "");
}

TEST_F(Gfx, DecodeFailureGivesAnEntryOfZeroSize) {
    file("data/bad.png");
    int img = img_load("bad");
    ASSERT_GT(img, 0);
    GfxTexture* t = _gfx_get_tex(_gfx_get_img(img)->tid);
    EXPECT_GT(t->n, 0);
    EXPECT_EQ(t->loaded, 1);
    EXPECT_EQ(t->tex, 0);
    EXPECT_EQ(t->rect.w, 0);
    EXPECT_EQ(t->tex_memused, 0u);
    EXPECT_EQ(gfx_img_get_width(img), 0);
    EXPECT_EQ(gfx_img_get_height(img), 0);
    EXPECT_EQ(gfx_img_get_ratio(img), 1.0f);
    EXPECT_EQ(img_load("bad"), img);
    EXPECT_EQ(fake_tex_calls, 1);  // not tried again until the file changes
}

TEST_F(Gfx, EntryZeroIsNeverWritten) {
    EXPECT_EQ(tex_load("lost"), 0);
    EXPECT_EQ(img_load("lost"), 0);
    // A frame registered under a name cached as not found gets its own entry.
    int n = gfx_img_add("lost", 0, GfxRect(1, 2, 3, 4), GfxRect(0, 0, 3, 4));
    EXPECT_GT(n, 0);
    EXPECT_EQ(img_load("lost"), n);
    EXPECT_EQ(gfx_img_add("lost", 0, GfxRect(5, 6, 7, 8), GfxRect(0, 0, 7, 8)), n);
    EXPECT_EQ(_gfx_get_img(n)->rect.x, 5);

    gfx_tex_reload(0);
    _gfx_tex_check(0);
    _gfx_tex_gl_free(0);
    const GfxImage* i0 = _gfx_get_img(0);
    const GfxTexture* t0 = _gfx_get_tex(0);
    EXPECT_EQ(i0->tid, 0);
    EXPECT_EQ(i0->rect.w, 0);
    EXPECT_EQ(i0->shape.w, 0);
    EXPECT_EQ(t0->loaded, 0);
    EXPECT_EQ(t0->name[0], 0);
    EXPECT_EQ(t0->tex_atime, 0);
    EXPECT_EQ(fake_tex_calls, 0);
}

TEST_F(Gfx, LongNamesNeitherOverflowNorAlias) {
    std::string a(70, 'a'), b = a;
    a += "1";
    b += "2";
    file("data/" + a + ".png");
    file("data/" + b + ".png");
    std::string err = capture_stderr([&] { EXPECT_EQ(gfx_tex_load(a.c_str()), 0); });
    EXPECT_NE(err.find("tex name longer than 63 bytes: " + a + "\n"), std::string::npos) << err;
    EXPECT_NE(err.find("unable to find tex " + a + "\n"), std::string::npos) << err;
    EXPECT_EQ(img_load(b.c_str()), 0);
    EXPECT_EQ(fake_tex_calls, 0);

    // 63 bytes fit.
    std::string c(63, 'c');
    file("data/" + c + ".png");
    int img = img_load(c.c_str());
    ASSERT_GT(img, 0);
    EXPECT_EQ(std::string(_gfx_get_tex(_gfx_get_img(img)->tid)->name), c);

    // Candidates too long for the 512-byte lookup buffer are skipped.
    std::string huge(600, 'h');
    EXPECT_EQ(find(huge.c_str()), "(none)");
}

TEST_F(Gfx, LargeTexturesDoNotOverflowTheMemoryCount) {
    fake_tex_side = 16384;
    for (const char* n : {"a", "b", "c", "d"}) file(std::string("data/") + n + ".png");
    for (const char* n : {"a", "b", "c", "d"}) ASSERT_GT(img_load(n), 0);
    EXPECT_EQ(_gfx_get_tex(1)->tex_memused, 1431655765ul);
    EXPECT_EQ(_gfx->memused, 4 * 1431655765ul);
}

TEST_F(Gfx, BudgetFreesTheLongestIdleTexturesHighestIndexFirst) {
    for (const char* n : {"a", "b", "c", "d", "e", "bad"}) file(std::string("data/") + n + ".png");
    const unsigned long one = 2048ul * 2048 * 16 / 3;  // 21.3 MiB
    fake_now = 2000000 - 10;
    img_load("bad");  // index 1, the longest idle: holds no memory, never a candidate
    fake_now += 10;
    img_load("a");
    img_load("b");
    img_load("c");
    EXPECT_EQ(_gfx->memused, 3 * one);

    // 85.3 MiB, but nothing has been idle for 300 s.
    fake_now += 299;
    std::string err = capture_stderr([] { capture_stdout([] { gfx_img_load("d"); }); });
    EXPECT_EQ(_gfx->memused, 4 * one);
    EXPECT_NE(err.find("_gfx->memused: 85.33M\nQEL_GFX_MEMMAX: 80.00M exceeded by 5.00\n"),
              std::string::npos)
        << err;
    EXPECT_EQ(err.find("_gfx_tex_recycle:"), std::string::npos);

    // a, b, c tie at 300 s: c, then b go; a stays once under budget.
    fake_now += 1;
    err = capture_stderr([] { capture_stdout([] { gfx_img_load("e"); }); });
    size_t c_at = err.find("_gfx_tex_recycle: 4 (c)"), b_at = err.find("_gfx_tex_recycle: 3 (b)");
    ASSERT_NE(b_at, std::string::npos) << err;
    EXPECT_LT(c_at, b_at);
    EXPECT_EQ(err.find("_gfx_tex_recycle: 2"), std::string::npos);
    EXPECT_EQ(err.find("_gfx_tex_recycle: 1"), std::string::npos);
    EXPECT_EQ(_gfx->memused, 3 * one);
    for (int n : {3, 4}) {
        EXPECT_EQ(_gfx_get_tex(n)->loaded, 0);
        EXPECT_EQ(_gfx_get_tex(n)->tex, 0);
        EXPECT_EQ(_gfx_get_tex(n)->tex_memused, 0u);
        EXPECT_EQ(_gfx_get_tex(n)->rect.w, 2048);  // kept for the reload
    }
    EXPECT_EQ(_gfx_get_tex(1)->loaded, 1);
    EXPECT_EQ(_gfx_get_tex(2)->loaded, 1);

    // Drawing c by name brings it back from its stored path, same handles.
    int img = _gfx->img_map["c"];
    std::string out;
    out = capture_stdout([&] { err = capture_stderr([&] { EXPECT_EQ(gfx_img_load("c"), img); }); });
    EXPECT_EQ(out, "");
    EXPECT_EQ(err.rfind("gfx_tex_reload: 4 c ./data/c.png\n", 0), 0u) << err;
    EXPECT_EQ(_gfx_get_tex(4)->loaded, 1);
    EXPECT_NE(_gfx_get_tex(4)->tex, 0);
    EXPECT_EQ(_gfx_get_tex(4)->tex_atime, fake_now);
}

TEST_F(Gfx, SmallDevicesHaveA32MiBBudget) {
    driver_set_idiom("phone");
    for (const char* n : {"a", "b"}) file(std::string("data/") + n + ".png");
    fake_now = 3000000;
    img_load("a");
    fake_now += 300;
    std::string err = capture_stderr([] { capture_stdout([] { gfx_img_load("b"); }); });
    EXPECT_NE(err.find("QEL_GFX_MEMMAX: 32.00M exceeded by"), std::string::npos) << err;
    EXPECT_EQ(_gfx_get_tex(1)->loaded, 0);
    EXPECT_EQ(_gfx_get_tex(2)->loaded, 1);
}

TEST_F(Gfx, WatcherReloadsQuietChangedFilesOncePerSecond) {
    file("data/a.png");
    fake_now = 4000000;
    set_mtime("data/a.png", fake_now - 100);
    gfx_reload_auto();
    int img = img_load("a");
    ASSERT_EQ(fake_tex_calls, 1);
    int tex = _gfx_get_tex(1)->tex;
    auto watch = [](time_t now) {
        fake_now = now;
        capture_stderr([] { gfx_reload_auto(); });
    };

    set_mtime("data/a.png", 4000005);
    watch(4000006);  // changed 1 s ago: left alone
    EXPECT_EQ(fake_tex_calls, 1);
    watch(4000007);  // quiet for 2 s: reloaded in place
    EXPECT_EQ(fake_tex_calls, 2);
    EXPECT_EQ(_gfx_get_tex(1)->tex_mtime.sec, 4000005);
    EXPECT_NE(_gfx_get_tex(1)->tex, tex);
    EXPECT_EQ(_gfx->img_map["a"], img);
    watch(4000008);  // unchanged since
    EXPECT_EQ(fake_tex_calls, 2);

    // Within one second the watcher works once.
    set_mtime("data/a.png", 4000009);
    watch(4000020);
    EXPECT_EQ(fake_tex_calls, 3);
    set_mtime("data/a.png", 4000010);
    watch(4000020);
    EXPECT_EQ(fake_tex_calls, 3);
    watch(4000021);
    EXPECT_EQ(fake_tex_calls, 4);

    // A texture the budget freed comes back when its file changes.
    _gfx_tex_gl_free(1);
    set_mtime("data/a.png", 4000030);
    watch(4000040);
    EXPECT_EQ(fake_tex_calls, 5);
    EXPECT_EQ(_gfx_get_tex(1)->loaded, 1);

    // A deleted file has an empty stamp and is left alone.
    remove("data/a.png");
    watch(4000050);
    EXPECT_EQ(fake_tex_calls, 5);
}

// View (0, 0, 800, 600), canvas 400 x 300.
class GfxView : public Gfx {
protected:
    void SetUp() override {
        Gfx::SetUp();
        gfx_set_view(0, 0, 800, 600);
        gfx_set_size(400, 300);
    }
    void view(float scale, float orient, int sx, int sy) {
        gfx_set_scale(scale);
        gfx_set_orient(orient);
        gfx_set_shift(sx, sy);
    }
};

TEST_F(GfxView, PointsBothWays) {
    struct {
        float scale, orient;
        int sx, sy;
        float lx, ly, wx, wy;
    } cases[] = {
        {2, 0, 0, 0, 0, 0, 0, 0},
        {2, 0, 0, 0, 200, 150, 400, 300},
        {2, 0, -100, -50, 100, 50, 0, 0},
        {1, 0, 0, 0, 0, 0, 200, 150},
        {1, 90, 0, 0, 300, 150, 400, 400},   // right of the centre lands below it
        {1, 90, 0, 0, 200, 50, 500, 300},    // above the centre lands right of it
        {2, 90, -100, -50, 100, 50, 700, -100}, // the shift moves the canvas origin
        {2, 90, -100, -50, 350, 250, 300, 400},
        {1, -90, 10, 20, 0, 0, 270, 490},
    };
    for (const auto& c : cases) {
        view(c.scale, c.orient, c.sx, c.sy);
        GfxRect w = gfx_pos_to_hwpos(GfxRect(c.lx, c.ly, 7, 8));
        EXPECT_NEAR(w.x, c.wx, 1e-3) << c.orient << " " << c.lx << "," << c.ly;
        EXPECT_NEAR(w.y, c.wy, 1e-3) << c.orient << " " << c.lx << "," << c.ly;
        EXPECT_EQ(w.w, 7);
        EXPECT_EQ(w.h, 8);
        GfxRect l = gfx_hwpos_to_pos(GfxRect(c.wx, c.wy, 7, 8));
        EXPECT_NEAR(l.x, c.lx, 1e-3) << c.orient << " " << c.wx << "," << c.wy;
        EXPECT_NEAR(l.y, c.ly, 1e-3) << c.orient << " " << c.wx << "," << c.wy;
    }
}

TEST_F(GfxView, OddCanvasHalvesExactly) {
    gfx_set_size(255, 101);
    view(1, 0, 0, 0);
    GfxRect w = gfx_pos_to_hwpos(GfxRect(127.5f, 50.5f, 0, 0));
    EXPECT_EQ(w.x, 400);
    EXPECT_EQ(w.y, 300);
}

TEST_F(GfxView, RectanglesConvertTheirDiagonal) {
    view(1, 90, 0, 0);
    GfxRect r = gfx_rect_to_hwrect(GfxRect(200, 150, 100, 50));
    EXPECT_NEAR(r.x, 400, 1e-3);
    EXPECT_NEAR(r.y, 300, 1e-3);
    EXPECT_NEAR(r.w, -50, 1e-3);
    EXPECT_NEAR(r.h, 100, 1e-3);
    GfxRect back = gfx_hwrect_to_rect(r);
    EXPECT_NEAR(back.x, 200, 1e-3);
    EXPECT_NEAR(back.y, 150, 1e-3);
    EXPECT_NEAR(back.w, 100, 1e-3);
    EXPECT_NEAR(back.h, 50, 1e-3);
}

TEST_F(GfxView, PointerEventsOnlyAreCorrected) {
    view(2, 0, -100, -50);
    Event m(EVT_MOTION);
    m.x = 400;
    m.y = 300;
    m.dx = 10;
    m.b = 3;
    gfx_event_correct(&m);
    EXPECT_FLOAT_EQ(m.x, 300);
    EXPECT_FLOAT_EQ(m.y, 200);
    EXPECT_FLOAT_EQ(m.dx, 5);
    EXPECT_FLOAT_EQ(m.dy, 0);
    EXPECT_EQ(m._x, 400);
    EXPECT_EQ(m._dx, 10);
    EXPECT_EQ(m.b, 3);

    view(1, 90, 0, 0);
    Event wheel(EVT_WHEEL);
    wheel.x = 400;
    wheel.y = 300;
    wheel.dy = 10;
    gfx_event_correct(&wheel);
    EXPECT_NEAR(wheel.dx, 10, 1e-4);  // turned back by the rotation
    EXPECT_NEAR(wheel.dy, 0, 1e-4);

    for (int type : {EVT_MOUSEDOWN, EVT_TOUCHDOWN, EVT_MOUSEMOTION, EVT_KEYDOWN}) {
        Event e(type);
        e.x = 400;
        e.y = 300;
        gfx_event_correct(&e);
        EXPECT_EQ(e.x, 400);
        EXPECT_EQ(e._x, 0);
    }
}

TEST_F(GfxView, FocusIsConvertedWhenAskedFor) {
    view(2, 0, 0, 0);
    gfx_focus(GfxRect(10, 20, 30, 40));
    view(1, 0, 0, 0);  // a view change after focusing counts
    GfxRect r = _gfx_get_focus_fixed();
    EXPECT_FLOAT_EQ(r.x, 210);
    EXPECT_FLOAT_EQ(r.y, 170);
    EXPECT_FLOAT_EQ(r.w, 30);
    EXPECT_FLOAT_EQ(r.h, 40);
    gfx_blur();
    r = _gfx_get_focus_fixed();
    EXPECT_FLOAT_EQ(r.x, 200);
    EXPECT_FLOAT_EQ(r.y, 150);
    EXPECT_EQ(r.w, 0);
    EXPECT_EQ(r.h, 0);
}

TEST_F(GfxView, ViewportFollowsTheWindowAtTheNextProjection) {
    driver_set_size(1000, 500);
    int x, y, w, h;
    gfx_get_view(&x, &y, &w, &h);
    EXPECT_EQ(w, 800);
    gfx_ortho();
    gfx_get_view(&x, &y, &w, &h);
    EXPECT_EQ(x, 0);
    EXPECT_EQ(w, 1000);
    EXPECT_EQ(h, 500);
    // An unchanged window leaves a viewport set by hand alone.
    gfx_set_view(5, 5, 10, 10);
    gfx_ortho();
    gfx_get_view(&x, &y, &w, &h);
    EXPECT_EQ(w, 10);
}

static void _expect_rect(const GfxRect& r, float x, float y, float w, float h, const char* what) {
    EXPECT_FLOAT_EQ(r.x, x) << what;
    EXPECT_FLOAT_EQ(r.y, y) << what;
    EXPECT_FLOAT_EQ(r.w, w) << what;
    EXPECT_FLOAT_EQ(r.h, h) << what;
}

TEST_F(Gfx, ClipCuts) {
    struct {
        GfxRect clip, rect;
        bool visible;
        GfxRect out, coords;
    } cases[] = {
        {{0, 0, 200, 200}, {-50, 0, 100, 100}, true, {0, 0, 50, 100}, {0.5f, 0, 0.5f, 1}},
        {{0, 0, 200, 200}, {150, 150, 100, 100}, true, {150, 150, 50, 50}, {0, 0, 0.5f, 0.5f}},
        {{0, 0, 200, 200}, {10, -30, 20, 40}, true, {10, 0, 20, 10}, {0, 0.75f, 1, 0.25f}},
        {{0, 0, 200, 200}, {10, 10, 20, 20}, true, {10, 10, 20, 20}, {0, 0, 1, 1}},
        {{0, 0, 200, 200}, {-50, -50, 300, 300}, true, {0, 0, 200, 200}, {1 / 6.f, 1 / 6.f, 2 / 3.f, 2 / 3.f}},
        {{0, 0, 200, 200}, {200, 0, 10, 10}, false, {}, {}},
        {{0, 0, 200, 200}, {-10, 0, 10, 10}, false, {}, {}},
        {{0, 0, 200, 200}, {0, 250, 10, 10}, false, {}, {}},
        {{0, 0, 200, 200}, {0, 0, 0, 10}, false, {}, {}},
        {{0, 0, 200, 200}, {0, 0, -10, 10}, false, {}, {}},
        {{0, 0, 0, 0}, {0, 0, 10, 10}, false, {}, {}},
    };
    for (const auto& c : cases) {
        GfxRect r = c.rect, t(0, 0, 1, 1);
        EXPECT_EQ(_gfx_clip_test(c.clip, &r, &t), c.visible) << c.rect.x << "," << c.rect.y;
        if (!c.visible) continue;
        _expect_rect(r, c.out.x, c.out.y, c.out.w, c.out.h, "rect");
        _expect_rect(t, c.coords.x, c.coords.y, c.coords.w, c.coords.h, "coords");
    }
}

TEST_F(Gfx, ClipStack) {
    // Nothing pushed: every rectangle passes unchanged, even an empty one.
    GfxRect r(-5, -5, -3, 0);
    EXPECT_TRUE(_gfx_clip(&r, nullptr));
    _expect_rect(r, -5, -5, -3, 0, "unclipped");

    // A clip pushed under a translation keeps covering the same canvas area.
    gfx_translate(10, 20);
    gfx_clip(0, 0, 50, 50);
    r = GfxRect(0, 0, 100, 100);
    EXPECT_TRUE(_gfx_clip(&r, nullptr));
    _expect_rect(r, 0, 0, 50, 50, "same translation");
    gfx_translate(-10, -20);
    r = GfxRect(0, 0, 100, 100);
    EXPECT_TRUE(_gfx_clip(&r, nullptr));
    _expect_rect(r, 10, 20, 50, 50, "translation undone");

    // A nested push is cut to its parent; one outside it shows nothing.
    gfx_clip(40, 40, 100, 100);
    r = GfxRect(0, 0, 100, 100);
    EXPECT_TRUE(_gfx_clip(&r, nullptr));
    _expect_rect(r, 40, 40, 20, 30, "nested");
    gfx_clip(500, 0, 10, 10);
    r = GfxRect(0, 0, 1000, 1000);
    EXPECT_FALSE(_gfx_clip(&r, nullptr));
    gfx_unclip();
    gfx_unclip();

    // Beyond eight pushes nothing clipped draws until the depth is 8 again.
    for (int i = 1; i <= 9; i++) gfx_clip(0, 0, 60 - 2 * i, 100);
    EXPECT_EQ(_gfx->clip_n, 10);
    r = GfxRect(0, 0, 10, 10);
    EXPECT_FALSE(_gfx_clip(&r, nullptr));
    gfx_unclip();
    EXPECT_FALSE(_gfx_clip(&r, nullptr));
    gfx_unclip();
    r = GfxRect(0, 0, 200, 200);
    EXPECT_TRUE(_gfx_clip(&r, nullptr));
    _expect_rect(r, 10, 20, 36, 50, "eighth");
    for (int i = 0; i < 20; i++) gfx_unclip();
    EXPECT_EQ(_gfx->clip_n, 0);
}

TEST_F(Gfx, TilingWithNoPositiveSizeReturns) {
    for (int sz : {0, -4}) {
        gfx_img_tile(0, 0, 0, 100, 100, sz);
        gfx_tex_box_slow(1, 0, 0, 100, 100, sz);
    }
    EXPECT_EQ(_gfx->clip_n, 0);
}
