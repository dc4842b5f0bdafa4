// Styles and the theme, without GL: the style records and their shorthand,
// the state layers and the animation steps, and what the theme makes of a
// widget's live layer (box model, decoration drawn through a recording back
// end, event coordinates and event sounds on SDL's dummy audio device).
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "audio_fixtures.h"
#include "capture.h"
#include "gui_record.h"
#include "headless.h"
#include "qel_driver-audio.h"
#include "qel_driver.h"
#include "qel_gui.h"
#include "qel_mixer.h"
#include "tempdir.h"

namespace {

// Every animated property of a layer, in the order the step takes them.
std::vector<double> props(const StyleData& d) {
    std::vector<double> v = {d.width, d.height};
    for (int x : {d.clip, d.align, d.valign, d.color, d.alpha}) v.push_back(x);
    for (int s = STYLE_TOP; s <= STYLE_LEFT; s++) {
        v.push_back(d.margin[s]);
        v.push_back(d.border[s]);
        v.push_back(d.padding[s]);
    }
    v.push_back(d.border_color);
    for (const StyleData::Draw* l : {&d.background, &d.overlay}) {
        v.push_back(l->image);
        v.push_back(l->color);
        v.push_back(l->alpha);
        v.push_back(l->edge);
        v.push_back(l->tile);
    }
    for (int x : {d.sfx_onclick, d.sfx_ondown, d.sfx_onup, d.sfx_onenter, d.sfx_onfocus}) v.push_back(x);
    return v;
}

// Gives property k of a layer the value v (the inverse of props).
void set_prop(StyleData& d, int k, int v) {
    if (k == 0) d.width = (float)v;
    else if (k == 1) d.height = (float)v;
    else if (k < 7) {
        int* f[] = {&d.clip, &d.align, &d.valign, &d.color, &d.alpha};
        *f[k - 2] = v;
    } else if (k < 19) {
        int side = (k - 7) / 3, which = (k - 7) % 3;
        (which == 0 ? d.margin : which == 1 ? d.border : d.padding)[side] = v;
    } else if (k == 19) d.border_color = v;
    else if (k < 30) {
        StyleData::Draw& l = k < 25 ? d.background : d.overlay;
        int f = (k - 20) % 5;
        (f == 0 ? l.image : f == 1 ? l.color : f == 2 ? l.alpha : f == 3 ? l.edge : l.tile) = v;
    } else {
        int* s[] = {&d.sfx_onclick, &d.sfx_ondown, &d.sfx_onup, &d.sfx_onenter, &d.sfx_onfocus};
        *s[k - 30] = v;
    }
}

}  // namespace

TEST(Style, EveryPropertyOfEveryLayerStartsUnset) {
    StyleSheet s;
    std::vector<double> unset(35, STYLE_UNSET);
    EXPECT_EQ(props(s), unset);
    for (int l = 0; l < STYLE_MAX; l++) EXPECT_EQ(props(s.data[l]), unset) << "layer " << l;
    EXPECT_EQ(s.hover, 0);
    EXPECT_EQ(s.focus, 0);
    EXPECT_EQ(s.active, 0);
    EXPECT_EQ(s.alt, 0);
    EXPECT_EQ(s.state, 0);
    EXPECT_EQ(STYLE_UNSET, -16777215);
    EXPECT_EQ((float)STYLE_UNSET, -16777215.0f);
}

TEST(Style, ShorthandCopiesTheTopToUnsetSides) {
    const int U = STYLE_UNSET;
    struct Case {
        int in[4], out[4];
    };
    const Case cases[] = {
        {{2, U, U, U}, {2, 2, 2, 2}},
        {{1, 2, U, U}, {1, 2, 1, 1}},  // the left copies the top, not the right
        {{1, U, 3, U}, {1, 1, 3, 1}},
        {{1, 2, 3, 4}, {1, 2, 3, 4}},
        {{U, 5, U, U}, {U, 5, U, U}},
    };
    for (const Case& c : cases) {
        StyleData d;
        d.set_border(c.in[0], c.in[1], c.in[2], c.in[3]);
        d.set_padding(c.in[0], c.in[1], c.in[2], c.in[3]);
        d.set_margin(c.in[0], c.in[1], c.in[2], c.in[3]);
        for (int s = 0; s < 4; s++) {
            EXPECT_EQ(d.border[s], c.out[s]) << c.in[0] << "," << c.in[1] << " side " << s;
            EXPECT_EQ(d.padding[s], c.out[s]);
            EXPECT_EQ(d.margin[s], c.out[s]);
        }
    }
    StyleData d;
    d.set_margin(7);
    EXPECT_EQ(d.margin[STYLE_LEFT], 7);
}

TEST(Style, OneStepCopiesEveryGivenPropertyIntoAnUnsetLiveLayer) {
    StyleSheet s;
    for (int k = 0; k < 35; k++) set_prop(s, k, 100 + k);
    std::vector<double> want = props(s);
    s.loop();
    EXPECT_EQ(props(s.data[STYLE_CUR]), want);
    // A property no layer gives keeps its live value, whatever it holds.
    StyleSheet t;
    t.data[STYLE_CUR].color = 0x123456;
    t.data[STYLE_CUR].width = 7;
    t.loop();
    EXPECT_EQ(t.data[STYLE_CUR].color, 0x123456);
    EXPECT_EQ(t.data[STYLE_CUR].width, 7);
}

TEST(Style, StepsMoveTowardTheTargetAtTheirOwnPace) {
    struct Case {
        const char* what;
        int k;              // property index (see props)
        double live, target;
        std::vector<double> steps;
    };
    const double U = STYLE_UNSET;
    const Case cases[] = {
        {"width from unset", 0, U, 300, {300}},
        {"width 0 to 2500", 0, 0, 2500, {1000, 2000, 2500}},
        {"width down", 0, 2500, 0, {1500, 500, 0}},
        {"colour", 5, 0, 0xFFFFFF, {0x242424, 0x484848, 0x6c6c6c, 0x909090, 0xb4b4b4, 0xd8d8d8, 0xfcfcfc, 0xffffff}},
        {"colour channels on their own", 5, 0xFF0010, 0x00FF00, {0xdb2400, 0xb74800, 0x936c00, 0x6f9000}},
        {"alpha", 6, 0, 255, {36, 72, 108, 144, 180, 216, 252, 255}},
        {"border", 8, 0, 3, {1, 2, 3}},
        {"padding down", 18, 2, 0, {1, 0, 0}},
        {"border colour", 19, 0, 0x0000FF, {0x24, 0x48}},
        {"background alpha", 22, 255, 0, {219, 183}},
        {"overlay tile", 29, 5, 7, {6, 7}},
        {"align jumps", 3, -1, 1, {1}},
        {"clip jumps", 2, 0, 1, {1}},
        {"image jumps", 20, 3, 9, {9}},
        {"sound jumps", 33, 0, 4, {4}},
        // Bits above red go at the first step, not when copied.
        {"colour from unset keeps high bits", 5, U, 0x12345678, {0x12345678, 0x345678}},
    };
    for (const Case& c : cases) {
        StyleSheet s;
        set_prop(s, c.k, (int)c.target);
        if (c.live != U) set_prop(s.data[STYLE_CUR], c.k, (int)c.live);
        for (size_t i = 0; i < c.steps.size(); i++) {
            s.loop();
            EXPECT_EQ(props(s.data[STYLE_CUR])[c.k], c.steps[i]) << c.what << " step " << i;
        }
    }
}

TEST(Style, FloatSizesStepAsTruncatedIntsAndSaturate) {
    struct Case {
        float base;
        float first, second;
    };
    const Case cases[] = {
        {100.5f, 100.5f, 100.0f},
        {NAN, NAN, 0.0f},  // NaN is given, and steps as 0
        {1e30f, 1e30f, 2147483648.0f},
        {-1e30f, -1e30f, -2147483648.0f},
    };
    for (const Case& c : cases) {
        StyleSheet s;
        s.width = c.base;
        s.loop();
        float w = s.data[STYLE_CUR].width;
        if (std::isnan(c.first)) EXPECT_TRUE(std::isnan(w));
        else EXPECT_EQ(w, c.first) << c.base;
        s.loop();
        EXPECT_EQ(s.data[STYLE_CUR].width, c.second) << c.base;
    }
}

TEST(Style, StepFunctions) {
    StyleSheet s;
    struct Case {
        int a, b, c, i;
    };
    const Case cases[] = {
        {0, 10, 3, 3}, {10, 0, 3, 7}, {0, 10, 10, 10}, {0, 10, 11, 10}, {5, 5, 0, 5}, {5, 5, 3, 5},
        {INT_MIN, INT_MAX, 1000, INT_MIN + 1000}, {INT_MAX - 5, INT_MAX, 1000, INT_MAX},
        {INT_MAX, INT_MIN, 1, INT_MAX - 1},
    };
    for (const Case& c : cases) EXPECT_EQ(s.i_prep(c.a, c.b, c.c), c.i) << c.a << " " << c.b << " " << c.c;
    EXPECT_EQ(s.c_prep(0x000000, 0xFFFFFF, 36), 0x242424);
    EXPECT_EQ(s.c_prep(0x7F0000 | 0x1000000, 0x800000, 36), 0x800000);
    EXPECT_EQ(s.n_prep(1, 2, 3), 2);
}

TEST(Style, StatesPickTheirLayerAndFallBackToTheBase) {
    StyleSheet s;
    s.data[STYLE_HOVER].color = 0x0000FF;
    s.data[STYLE_FOCUS].align = 1;
    s.data[STYLE_HOVER].align = -1;
    s.align = 0;
    s.data[STYLE_CUR].color = 0x0000F0;
    auto step = [&](int hover, int focus) {
        s.hover = hover;
        s.focus = focus;
        s.restate();
        s.loop();
    };
    step(1, 0);
    EXPECT_EQ(s.state, STYLE_HOVER);
    EXPECT_EQ(s.data[STYLE_CUR].color, 0x0000FF);
    EXPECT_EQ(s.data[STYLE_CUR].align, -1);
    // The pointer leaves: no layer gives a colour, so it stays; align falls
    // back to the base.
    step(0, 0);
    EXPECT_EQ(s.state, STYLE_NONE);
    EXPECT_EQ(s.data[STYLE_CUR].color, 0x0000FF);
    EXPECT_EQ(s.data[STYLE_CUR].align, 0);
    step(0, 1);
    EXPECT_EQ(s.state, STYLE_FOCUS);
    EXPECT_EQ(s.data[STYLE_CUR].align, 1);
    // Hovered and focused: the active layer gives nothing, so the base holds,
    // not the hover or the focus layer.
    step(1, 1);
    EXPECT_EQ(s.active, 1);
    EXPECT_EQ(s.state, STYLE_ACTIVE);
    EXPECT_EQ(s.data[STYLE_CUR].align, 0);
    // alt wins in every state where it gives a value.
    s.alt = 1;
    s.data[STYLE_ALT].align = 5;
    for (int h = 0; h < 2; h++)
        for (int f = 0; f < 2; f++) {
            step(h, f);
            EXPECT_EQ(s.data[STYLE_CUR].align, 5) << h << f;
        }
    step(0, 1);
    s.data[STYLE_ALT].align = STYLE_UNSET;
    s.loop();
    EXPECT_EQ(s.data[STYLE_CUR].align, 1);  // not in alt: the state's layer
    // A state out of range selects no layer.
    s.state = 99;
    s.loop();
    EXPECT_EQ(s.data[STYLE_CUR].align, 0);
}

// The theme's box model and decoration, drawn through the recorder, with a
// graphics state (no window) whose image registry holds one image.
class ThemeTest : public ::testing::Test {
  protected:
    TempDir dir;
    GuiDrawRecorder rec;
    GuiLog log;
    int img = 0;
    void SetUp() override {
        capture_stdout([&] { headless_open(dir.path(), nullptr); });
        img = gfx_img_add("pic", 0, GfxRect(0, 0, 8, 8), GfxRect(0, 0, 8, 8));
        ASSERT_EQ(img, 1);
    }
    void TearDown() override {
        capture_stdout([] { headless_close(); });
    }
    // A widget with content w x h and the style set by `style`, laid out.
    Rec<Widget>* widget(int w, int h, const std::function<void(StyleSheet&)>& style) {
        Rec<Widget>* r = new Rec<Widget>(&log, "w");
        r->style.width = (float)w;
        r->style.height = (float)h;
        style(r->style);
        r->style.loop();
        r->_resize();
        log.clear();
        kept.emplace_back(r);
        return r;
    }
    std::vector<std::string> paint(Widget* w) {
        rec.clear();
        w->_paint();
        return rec.lines;
    }
    std::vector<std::unique_ptr<Widget>> kept;
};

TEST_F(ThemeTest, UnsetStyleIsJustTheContent) {
    Widget* w = widget(10, 7, [](StyleSheet&) {});
    EXPECT_EQ(w->rect.x, 0);
    EXPECT_EQ(w->rect.y, 0);
    EXPECT_EQ(w->_rect.w, 10);
    EXPECT_EQ(w->_rect.h, 7);
    EXPECT_EQ(paint(w), (std::vector<std::string>{"translate 0 0", "translate -0 -0"}));
    EXPECT_EQ(log, GuiLog{"w paint"});
}

TEST_F(ThemeTest, MarginBorderPaddingAndTheirBars) {
    struct Case {
        const char* what;
        int bottom_border;
        bool color;
        float outer_h;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {"full border", 2, true, 22,
         {"fill ff0000 3 3 16 2", "fill ff0000 3 17 16 2", "fill ff0000 17 5 2 12", "fill ff0000 3 5 2 12",
          "translate 6 6", "translate -6 -6"}},
        // No bottom bar; the side bars reach down to the bottom margin.
        {"no bottom border", 0, true, 20,
         {"fill ff0000 3 3 16 2", "fill ff0000 17 5 2 12", "fill ff0000 3 5 2 12", "translate 6 6",
          "translate -6 -6"}},
        // Thicknesses without a colour count in the layout but draw nothing.
        {"no colour", 2, false, 22, {"translate 6 6", "translate -6 -6"}},
    };
    for (const Case& c : cases) {
        Widget* w = widget(10, 10, [&](StyleSheet& s) {
            s.set_margin(3);
            s.set_border(2, 2, c.bottom_border, 2);
            s.set_padding(1);
            if (c.color) s.border_color = 0xFF0000;
        });
        EXPECT_EQ(w->rect.x, 6) << c.what;
        EXPECT_EQ(w->rect.y, 6) << c.what;
        EXPECT_EQ(w->_rect.w, 22) << c.what;
        EXPECT_EQ(w->_rect.h, c.outer_h) << c.what;
        EXPECT_EQ(paint(w), c.lines) << c.what;
    }
}

TEST_F(ThemeTest, BackgroundAndOverlayOverThePaddingBox) {
    const int U = STYLE_UNSET;
    struct Case {
        const char* what;
        StyleData::Draw bg, ov;
        std::vector<std::string> lines;  // without the content's translations
    };
    auto draw = [](int image, int color, int alpha, int edge, int tile) {
        StyleData::Draw d;
        d.image = image;
        d.color = color;
        d.alpha = alpha;
        d.edge = edge;
        d.tile = tile;
        return d;
    };
    StyleData::Draw none;
    const Case cases[] = {
        // A plain fill is opaque whatever the alpha.
        {"colour", draw(U, 0x00FF00, 0, U, U), none, {"fill 00ff00 5 5 12 12"}},
        {"image, alpha 128", draw(1, U, 128, U, U), none,
         {"color 128 128 128 128", "blit 1 5 5 12 12", "color 255 255 255 255"}},
        {"tinted image", draw(1, 0xFF8000, U, U, U), none,
         {"color 255 128 0 255", "blit 1 5 5 12 12", "color 255 255 255 255"}},
        {"edge wins over tile", draw(1, U, U, 4, 3), none,
         {"color 255 255 255 255", "box 1 5 5 12 12 4", "color 255 255 255 255"}},
        {"tile", draw(1, U, U, U, 3), none, {"color 255 255 255 255", "tile 1 5 5 12 12 3", "color 255 255 255 255"}},
        {"negative edge", draw(1, U, U, INT_MIN, U), none,
         {"color 255 255 255 255", "box 1 5 5 12 12 0", "color 255 255 255 255"}},
        // A tile size of 0 or less would never end the tiling: nothing tiles.
        {"tile 0", draw(1, U, U, U, 0), none, {"color 255 255 255 255", "color 255 255 255 255"}},
        {"tile -3", draw(1, U, U, U, -3), none, {"color 255 255 255 255", "color 255 255 255 255"}},
        // The empty image draws nothing visible, and suppresses the fill.
        {"image 0", draw(0, 0x00FF00, U, U, U), none, {"color 0 255 0 255", "blit 0 5 5 12 12", "color 255 255 255 255"}},
        // Outside the registry: not drawn at all, and still no fill.
        {"image -1", draw(-1, 0x00FF00, U, U, U), none, {}},
        {"image 99", draw(99, 0x00FF00, U, U, U), none, {}},
        {"overlay over background", draw(U, 0x0000FF, U, U, U), draw(U, 0xFF0000, U, U, U),
         {"fill 0000ff 5 5 12 12", "fill ff0000 5 5 12 12"}},
    };
    for (const Case& c : cases) {
        Widget* w = widget(10, 10, [&](StyleSheet& s) {
            s.set_margin(3);
            s.set_border(2);
            s.set_padding(1);
            s.background = c.bg;
            s.overlay = c.ov;
        });
        std::vector<std::string> lines = c.lines;
        lines.push_back("translate 6 6");
        lines.push_back("translate -6 -6");
        EXPECT_EQ(paint(w), lines) << c.what;
    }
}

TEST_F(ThemeTest, StretchedImagesKeepFractionalSizesAndCoordinatesTruncate) {
    Widget* w = widget(10, 10, [&](StyleSheet& s) {
        s.set_border(1);
        s.border_color = 0xFFFFFF;
        s.background.image = img;
    });
    w->_rect.w = 12.75f;
    w->_rect.h = 12.5f;
    EXPECT_EQ(paint(w), (std::vector<std::string>{"fill ffffff 0 0 12 1", "fill ffffff 0 11 12 1",
                                                  "fill ffffff 11 1 1 10", "fill ffffff 0 1 1 10",
                                                  "color 255 255 255 255", "blit 1 1 1 10.75 10.5",
                                                  "color 255 255 255 255", "translate 1 1", "translate -1 -1"}));
}

TEST_F(ThemeTest, HugeDecorationsSaturate) {
    Rec<Widget>* w = widget(10, 10, [](StyleSheet& s) {
        s.set_margin(INT_MAX);
        s.set_border(INT_MAX);
        s.set_padding(INT_MAX);
        s.border_color = 0xFF;
    });
    EXPECT_EQ(w->rect.x, (float)INT_MAX);
    log.clear();
    Theme::resize(w, 100, 40);
    EXPECT_EQ(log, (GuiLog{"w resize " + std::to_string(INT_MIN) + "x" + std::to_string(INT_MIN), "w resize"}));
    paint(w);  // no overflow on the way (UBSan)

    // A box reaching past the int range is cut so that its far edge is an
    // int, which the 9-slice and tiling primitives compute.
    Widget* wide = widget(10, 10, [](StyleSheet& s) {
        s.set_margin(5);
        s.background.image = 1;
        s.background.edge = 4;
    });
    wide->_rect.w = 1e30f;
    EXPECT_EQ(paint(wide)[1], "box 1 5 5 " + std::to_string(INT_MAX - 5) + " 10 4");
}

TEST_F(ThemeTest, ResizeToAGivenOuterSizeOffersTheContentWhatRemains) {
    Rec<Widget>* w = widget(3, 3, [](StyleSheet& s) {
        s.set_margin(2);
        s.set_border(1);
        s.set_padding(2);
    });
    log.clear();
    Theme::resize(w, 100, 40);
    // A plain widget ignores the offer: its style size stays.
    EXPECT_EQ(log, (GuiLog{"w resize 90x30", "w resize"}));
    EXPECT_EQ(w->_rect.w, 13);
    EXPECT_EQ(w->rect.x, 5);
}

TEST_F(ThemeTest, ColourIsPremultiplied) {
    guiColor4ub(255, 128, 0, 128);
    guiColor4ub(255, 255, 255, 0);
    EXPECT_EQ(rec.lines, (std::vector<std::string>{"color 128 64 0 128", "color 0 0 0 0"}));
}

TEST_F(ThemeTest, EventsArriveInContentCoordinates) {
    Rec<Widget>* w = widget(10, 10, [](StyleSheet& s) {
        s.set_margin(1, 2, 3, 4);
        s.set_padding(10);
    });
    w->onmove = var("moved");
    Event e(EVT_MOTION);
    e.x = 20;
    e.y = 30;
    e.dx = 5;
    e._x = 7;
    Event seen(EVT_NONE);
    w->on_event = [&](Event* c) { seen = *c; };
    EXPECT_EQ(Theme::event(w, &e).__str__(), "moved");
    EXPECT_EQ(seen.x, 6);
    EXPECT_EQ(seen.y, 19);
    EXPECT_EQ(seen.dx, 5);
    EXPECT_EQ(seen._x, 7);
    EXPECT_EQ(e.x, 20);  // the caller's record is left alone
}

TEST(QelGuiFontTest, AGivenWidthIsReturnedWithoutMeasuring) {
    QelGuiFont f(0);
    EXPECT_EQ(f.get_width("anything", 120), 120);
    EXPECT_EQ(f.get_width(nullptr, 7), 7);
}

// Sounds on the dummy audio device, paused so that plays stay listed.
class ThemeSound : public ::testing::Test {
  protected:
    WorkDir dir;
    int click = 0, stray = 0;
    void SetUp() override {
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        write_file("data/click.wav", wav_file(WAV_PCM, 16, 1, 44100, wav_data_s16(std::vector<int16_t>(441, 900))));
        write_file("data/stray.wav", wav_file(WAV_PCM, 16, 1, 44100, wav_data_s16(std::vector<int16_t>(441, 900))));
        capture_stdout([&] {
            capture_stderr([&] {
                driver_init(DRIVER_AUDIO);
                driver_set_gamename("G");
                mixer_init();
                click = mixer_sample_load("click");
                // A source of the driver that the sample registry never handed out.
                stray = driver_audio_sample_load("./data/stray.wav");
            });
        });
        ASSERT_NE(_sdl_audio_data, nullptr);
        SDL_PauseAudio(1);
        ASSERT_GT(click, 0);
        ASSERT_GT(stray, 0);
    }
    void TearDown() override {
        capture_stdout([] {
            mixer_deinit();
            driver_deinit();
        });
    }
    static size_t playing() { return _sdl_audio_data->playing.size(); }
};

TEST_F(ThemeSound, TheEventsSoundStartsBeforeTheWidgetHandlesIt) {
    struct Case {
        int type;
        int StyleData::*field;
    };
    const Case cases[] = {{EVT_CLICK, &StyleData::sfx_onclick}, {EVT_DOWN, &StyleData::sfx_ondown},
                          {EVT_UP, &StyleData::sfx_onup},       {EVT_ENTER, &StyleData::sfx_onenter},
                          {EVT_FOCUS, &StyleData::sfx_onfocus}};
    for (const Case& c : cases) {
        Rec<Widget> w(nullptr, "w");
        w.style.*c.field = click;
        w.style.loop();
        size_t before = playing(), during = 0;
        w.on_event = [&](Event*) { during = playing(); };
        Event e(c.type);
        Theme::event(&w, &e);
        EXPECT_EQ(during, before + 1) << gui_evt_name(c.type);
        EXPECT_EQ(_sdl_audio_data->playing.back().src, click);
        EXPECT_EQ(_sdl_audio_data->playing.back().vol, 1.0f);
        // No other event type plays the sound.
        for (int t : {EVT_KEYDOWN, EVT_KEYUP, EVT_MOTION, EVT_BLUR, EVT_EXIT}) {
            Event o(t);
            Theme::event(&w, &o);
        }
        EXPECT_EQ(playing(), before + 1) << gui_evt_name(c.type);
    }
}

TEST_F(ThemeSound, OnlyIndexesOfTheSampleRegistryPlay) {
    for (int index : {STYLE_UNSET, 0, -5, stray, click + 100, INT_MAX}) {
        Widget w;
        w.style.sfx_onclick = index;
        w.style.loop();
        size_t before = playing();
        Event e(EVT_CLICK);
        Theme::event(&w, &e);
        EXPECT_EQ(playing(), before) << index;
    }
}
