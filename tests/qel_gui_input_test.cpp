// The text field without a window: construction and its limit, typing and
// editing keys, the byte filter, the length limit, undo and redo, selection
// by keys and by the pointer, the standard-error lines, scrolling, sizing,
// the masked and wrapping modes, Tab and arrow keys between fields, and what
// it paints (through the recording back end). The fixture font advances 10
// pixels a byte on lines 10 high, so byte i starts at x = 10 * i.
#include <gtest/gtest.h>

#include <climits>
#include <memory>
#include <string>
#include <vector>

#include "capture.h"
#include "font_fixtures.h"
#include "gui_record.h"
#include "headless.h"
#include "qel_font.h"
#include "qel_gui.h"
#include "tempdir.h"

namespace {

const int SHIFT = 1, CTRL = 2;

// One key press, or (with `text`) the bytes typed as the driver hands them
// out: one key event each, no key code, the byte signed.
struct Step {
    int v;
    int b = 0;
    std::string text = "";
    bool raw = false;  // send `c` as it is instead
    int c = 0;
};
Step typed(const std::string& s) { return {KEY_NONE, 0, s}; }
Step byte(int c) { return {KEY_NONE, 0, "", true, c}; }

class Input : public ::testing::Test {
  protected:
    TempDir dir;
    int fid = 0;

    void SetUp() override {
        capture_stdout([&] { headless_open(dir.path(), nullptr); });
        font_init();
        fid = fixture_font_register(10, 10);
    }
    void TearDown() override {
        font_deinit();
        capture_stdout([] { headless_close(); });
    }

    std::unique_ptr<TextInput> field(const char* text, unsigned maxlen = 255) {
        return std::unique_ptr<TextInput>(new TextInput(QelGuiFont(fid), text, maxlen));
    }
    // The field laid out at a content width of w, as a container would.
    std::unique_ptr<TextInput> narrow(const char* text, float w, int wrap = 0) {
        std::unique_ptr<TextInput> t = field(text);
        t->wrap = wrap;
        t->style.width = w;
        t->style.loop();
        t->resize();
        return t;
    }
    static var send(TextInput& t, Event e) {
        var r;
        capture_stderr([&] { r = t.event(&e); });
        return r;
    }
    static var run(TextInput& t, const std::vector<Step>& steps) {
        var r;
        for (const Step& s : steps) {
            if (s.raw) {
                Event e = gui_event(EVT_KEYDOWN, 0, 0, KEY_NONE);
                e.c = s.c;
                r = send(t, e);
            } else if (!s.text.empty()) {
                for (char c : s.text) {
                    Event e = gui_event(EVT_KEYDOWN, 0, 0, KEY_NONE);
                    e.c = (signed char)c;
                    r = send(t, e);
                }
            } else {
                r = send(t, gui_event(EVT_KEYDOWN, 0, 0, s.v, s.b));
            }
        }
        return r;
    }
    static void caret(TextInput& t, int anchor, int pos) {
        t._pos = anchor;
        t.pos = pos;
    }
};

}  // namespace

TEST_F(Input, ConstructionRaisesTheLimitToTheText) {
    struct Case {
        const char* text;
        unsigned maxlen;
        std::string want;
        unsigned want_maxlen;
    } cases[] = {
        {"abc", 2, "abc", 3},
        {"", 255, "", 255},
        {nullptr, 5, "", 5},
        // Limits beyond the int range are kept; they mean no limit.
        {"ab", 2147483648u, "ab", 2147483648u},
        {"ab", UINT_MAX, "ab", UINT_MAX},
        // Not filtered and not recorded.
        {"a\tb\xc3", 0, "a\tb\xc3", 4},
    };
    for (const Case& c : cases) {
        std::unique_ptr<TextInput> t = field(c.text, c.maxlen);
        EXPECT_EQ(t->txt, c.want);
        EXPECT_EQ(t->maxlen, c.want_maxlen) << c.maxlen;
        EXPECT_EQ(t->pos, 0);
        EXPECT_EQ(t->_pos, 0);
        EXPECT_TRUE(t->undo.empty());
        EXPECT_EQ(t->undo_n, 0);
        EXPECT_EQ(t->useful, 1);
        EXPECT_EQ(t->cursor_w, 2);
        EXPECT_EQ(t->cx, -1);
        EXPECT_EQ(t->txt2, c.want);
    }
}

TEST_F(Input, TypingAndEditingKeys) {
    struct Case {
        const char* name;
        const char* text;
        int anchor, pos;
        std::vector<Step> steps;
        std::string want;
        int want_anchor, want_pos;
        size_t records;
    } cases[] = {
        {"typing inserts at the caret", "ac", 1, 1, {typed("b")}, "abc", 2, 2, 1},
        {"typing replaces the selection", "hello", 1, 4, {typed("X")}, "hXo", 2, 2, 1},
        {"one record per typed byte", "", 0, 0, {typed("abc")}, "abc", 3, 3, 3},
        {"backspace deletes before the caret", "abc", 2, 2, {{KEY_BACKSPACE}}, "ac", 1, 1, 1},
        {"backspace at 0 records nothing", "abc", 0, 0, {{KEY_BACKSPACE}}, "abc", 0, 0, 0},
        {"backspace deletes the selection", "abcd", 3, 1, {{KEY_BACKSPACE}}, "ad", 1, 1, 1},
        {"delete removes the next byte", "abc", 1, 1, {{KEY_DELETE}}, "ac", 1, 1, 1},
        {"delete at the end records an empty change", "abc", 3, 3, {{KEY_DELETE}}, "abc", 3, 3, 1},
        {"delete removes the selection", "abcd", 1, 3, {{KEY_DELETE}}, "ad", 1, 1, 1},
        {"left collapses a selection to its start", "abcd", 1, 3, {{KEY_LEFT}}, "abcd", 1, 1, 0},
        {"shift+left moves only the caret", "abcd", 1, 3, {{KEY_LEFT, SHIFT}}, "abcd", 1, 2, 0},
        {"left stops at 0", "ab", 0, 0, {{KEY_LEFT}}, "ab", 0, 0, 0},
        {"right collapses a selection to its end", "abcd", 3, 1, {{KEY_RIGHT}}, "abcd", 3, 3, 0},
        {"right stops at the end", "ab", 0, 0, {{KEY_RIGHT}, {KEY_RIGHT}, {KEY_RIGHT}}, "ab", 2, 2, 0},
        {"shift+right extends", "abcd", 1, 1, {{KEY_RIGHT, SHIFT}, {KEY_RIGHT, SHIFT}}, "abcd", 1, 3, 0},
        {"end and home", "hello", 2, 2, {{KEY_END}}, "hello", 5, 5, 0},
        {"shift+home selects to the line start", "hello", 3, 3, {{KEY_HOME, SHIFT}}, "hello", 3, 0, 0},
        {"a typed line feed is a space on one line", "ab", 2, 2, {byte(10)}, "ab ", 3, 3, 1},
        // Nothing outside printable ASCII is typed; a byte from 128 up
        // arrives negative, and one given as a positive int is refused too.
        {"control and high bytes are not typed", "ab", 2, 2,
         {typed("\x7f\xc3\xa9"), byte(9), byte(31), byte(200), byte(-1)}, "ab", 2, 2, 0},
        {"keys without a character change nothing", "ab", 1, 1,
         {{KEY_ESCAPE}, {KEY_F1}, {KEY_F12}, {KEY_SPACE}, {KEY_a, CTRL}, {KEY_z}}, "ab", 1, 1, 0},
    };
    for (const Case& c : cases) {
        std::unique_ptr<TextInput> t = field(c.text);
        caret(*t, c.anchor, c.pos);
        EXPECT_EQ(run(*t, c.steps).__type__(), VAR_NONE) << c.name;
        EXPECT_EQ(t->txt, c.want) << c.name;
        EXPECT_EQ(t->_pos, c.want_anchor) << c.name;
        EXPECT_EQ(t->pos, c.want_pos) << c.name;
        EXPECT_EQ(t->undo.size(), c.records) << c.name;
        EXPECT_EQ(t->undo_n, (int)c.records) << c.name;
    }
}

TEST_F(Input, ReturnGivesTheChangeActionOnOneLine) {
    std::unique_ptr<TextInput> t = field("line");
    t->onchange = var_dict("type", "input");
    var r = run(*t, {{KEY_RETURN}});
    ASSERT_EQ(r.__type__(), VAR_DICT);
    EXPECT_EQ(r["type"].__str__(), "input");
    EXPECT_EQ(t->txt, "line");
    EXPECT_TRUE(t->undo.empty());
}

TEST_F(Input, FilterKeepsPrintableAsciiAndLineFeedsOnlyWhenWrapping) {
    struct Case {
        int wrap;
        std::string in, want;
    } cases[] = {
        {0, "a\nb\tc", "a b?c"},
        {1, "a\nb\tc", "a\nb?c"},
        {0, "\x1f\x7f\x80\xc3\xa9\xff", "??????"},
        {0, std::string("a\0b", 3), "a?b"},
        {0, " ~", " ~"},
    };
    for (const Case& c : cases) {
        std::unique_ptr<TextInput> t = field("");
        t->wrap = c.wrap;
        EXPECT_EQ(t->_filter(c.in), c.want);
        // Every way in goes through it.
        t->set_value(var(c.in));
        EXPECT_EQ(t->txt, c.want);
        EXPECT_EQ(t->undo.back().b, c.want);
    }
}

TEST_F(Input, LengthLimit) {
    // Four bytes and a limit of 5: x fits, y is cut to nothing but recorded.
    std::unique_ptr<TextInput> t = field("abcd", 5);
    caret(*t, 4, 4);
    run(*t, {typed("x")});
    EXPECT_EQ(t->txt, "abcdx");
    run(*t, {typed("y")});
    EXPECT_EQ(t->txt, "abcdx");
    ASSERT_EQ(t->undo.size(), 2u);
    EXPECT_EQ(t->undo[1].b, "");
    EXPECT_EQ(t->undo[1].a, "");

    struct Case {
        const char* text;
        unsigned maxlen;
        int p, n;
        std::string b, want;
        size_t records;
    } cases[] = {
        {"ab", 5, 2, 0, "hello", "abhel", 1},
        // The removed bytes make room.
        {"abcde", 5, 1, 2, "XYZ", "aXYde", 1},
        {"", 0, 0, 0, "a", "", 1},
        // The constructor raised the limit to 3.
        {"abc", 2, 3, 0, "d", "abc", 1},
        {"abc", 2, 0, 1, "xy", "xbc", 1},
        // Positions outside the text do nothing and record nothing.
        {"abc", 10, -1, 0, "x", "abc", 0},
        {"abc", 10, 0, -1, "x", "abc", 0},
        {"abc", 10, 4, 0, "x", "abc", 0},
        // A removal past the end is cut to it.
        {"abc", 10, 1, 100, "x", "ax", 1},
        // Limits beyond the int range are no limit.
        {"ab", 2147483648u, 2, 0, std::string(1000, 'z'), "ab" + std::string(1000, 'z'), 1},
        {"ab", UINT_MAX, 0, 2, std::string(300, 'q'), std::string(300, 'q'), 1},
        {"ab", INT_MAX, 2, 0, "cd", "abcd", 1},
    };
    for (const Case& c : cases) {
        std::unique_ptr<TextInput> f = field(c.text, c.maxlen);
        f->_change(c.p, c.n, c.b);
        EXPECT_EQ(f->txt, c.want) << c.text << " " << c.maxlen << " " << c.p << " " << c.n;
        EXPECT_EQ(f->undo.size(), c.records) << c.text << " " << c.p;
        EXPECT_LE(f->txt.size(), (size_t)f->maxlen);
    }
    // Typing into a field without limit.
    std::unique_ptr<TextInput> u = field("", UINT_MAX);
    run(*u, {typed("free")});
    EXPECT_EQ(u->txt, "free");
}

TEST_F(Input, SetValueReplacesTheWholeTextAsOneStep) {
    std::unique_ptr<TextInput> t = field("old");
    t->set_value_s(nullptr);
    EXPECT_EQ(t->txt, "");
    EXPECT_STREQ(t->get_value_s(), "");
    run(*t, {{KEY_z, CTRL}});
    EXPECT_EQ(t->txt, "old");
    t->set_value(var(42));
    EXPECT_EQ(t->get_value().__str__(), "42");
    EXPECT_EQ(t->get_value().__type__(), VAR_STRING);
    EXPECT_EQ(t->pos, 2);
    EXPECT_EQ(t->_pos, 2);
    t->set_value(var(""));
    run(*t, {{KEY_z, CTRL}});
    EXPECT_EQ(t->txt, "42");
}

TEST_F(Input, UndoAndRedo) {
    // Three typed letters are three steps; undo puts the caret where it was
    // before each, redo after what it inserts.
    std::unique_ptr<TextInput> t = field("");
    run(*t, {typed("abc")});
    ASSERT_EQ(t->undo.size(), 3u);
    run(*t, {{KEY_z, CTRL}, {KEY_z, CTRL}, {KEY_z, CTRL}});
    EXPECT_EQ(t->txt, "");
    EXPECT_EQ(t->pos, 0);
    EXPECT_EQ(t->undo_n, 0);
    run(*t, {{KEY_z, CTRL}});  // nothing left to undo
    EXPECT_EQ(t->txt, "");
    run(*t, {{KEY_z, CTRL | SHIFT}});
    EXPECT_EQ(t->txt, "a");
    EXPECT_EQ(t->pos, 1);
    EXPECT_EQ(t->_pos, 1);

    // A new edit drops what could be redone.
    run(*t, {typed("x")});
    EXPECT_EQ(t->txt, "ax");
    EXPECT_EQ(t->undo.size(), 2u);
    run(*t, {{KEY_z, CTRL | SHIFT}});
    EXPECT_EQ(t->txt, "ax");

    // Replacing a selection made from right to left: undo brings the caret
    // back to where it stood (4), redo puts it after the X.
    std::unique_ptr<TextInput> s = field("hello");
    caret(*s, 1, 4);
    run(*s, {typed("X")});
    EXPECT_EQ(s->txt, "hXo");
    run(*s, {{KEY_z, CTRL}});
    EXPECT_EQ(s->txt, "hello");
    EXPECT_EQ(s->pos, 4);
    EXPECT_EQ(s->_pos, 4);
    run(*s, {{KEY_z, CTRL | SHIFT}});
    EXPECT_EQ(s->txt, "hXo");
    EXPECT_EQ(s->pos, 2);

    // Alt and the GUI key count as command keys too.
    run(*s, {{KEY_z, 4}, {KEY_z, 8 | SHIFT}});
    EXPECT_EQ(s->txt, "hXo");
}

TEST_F(Input, HistoryKeepsTheLatest255Steps) {
    std::unique_ptr<TextInput> t = field("", 300);
    run(*t, {typed("a" + std::string(255, 'b'))});
    EXPECT_EQ(t->undo.size(), 255u);
    EXPECT_EQ(t->undo_n, 255);
    for (int i = 0; i < 300; i++) run(*t, {{KEY_z, CTRL}});
    EXPECT_EQ(t->txt, "a") << "the first step is forgotten";
    for (int i = 0; i < 300; i++) run(*t, {{KEY_z, CTRL | SHIFT}});
    EXPECT_EQ(t->txt, "a" + std::string(255, 'b'));
}

TEST_F(Input, FocusSelectsAllUnlessWrappingOrTakenByOnfocus) {
    std::unique_ptr<TextInput> t = field("hello");
    std::string err = capture_stderr([&] { t->_focus(); });
    EXPECT_EQ(err, "evt_focus\n");
    EXPECT_EQ(t->_pos, 0);
    EXPECT_EQ(t->pos, 5);
    run(*t, {typed("x")});
    EXPECT_EQ(t->txt, "x");

    std::unique_ptr<TextInput> w = field("hello");
    w->wrap = 1;
    caret(*w, 2, 2);
    send(*w, gui_event(EVT_FOCUS));
    EXPECT_EQ(w->pos, 2);
    EXPECT_EQ(w->style.focus, 1);

    // The default handling runs first: an onfocus action is returned at once.
    std::unique_ptr<TextInput> o = field("hello");
    o->onfocus = var("focused");
    var r;
    err = capture_stderr([&] { r = o->_focus(); });
    EXPECT_EQ(r.__str__(), "focused");
    EXPECT_EQ(err, "");
    EXPECT_EQ(o->pos, 0);
    EXPECT_EQ(o->style.focus, 1);
}

TEST_F(Input, StandardErrorLinesAndActions) {
    struct Case {
        int type, v;
        const char* action;  // set as the matching on* value, or null
        std::string err;
        const char* returns;
    } cases[] = {
        {EVT_CLICK, 0, nullptr, "input:evt_click\n", nullptr},
        // A click made by a released Space or Return is not the pointer's.
        {EVT_CLICK, EVT_KEYUP, nullptr, "", nullptr},
        {EVT_CLICK, 0, "clicked", "", "clicked"},
        {EVT_FOCUS, 0, nullptr, "evt_focus\n", nullptr},
        {EVT_DOWN, 0, nullptr, "evt_down\n", nullptr},
        {EVT_DOWN, EVT_FOCUS, nullptr, "evt_down\n", nullptr},
        {EVT_DOWN, 0, "pressed", "", "pressed"},
        {EVT_UP, 0, "released", "", "released"},
        {EVT_BLUR, 0, nullptr, "", nullptr},
        {EVT_UP, 0, nullptr, "", nullptr},
        {EVT_KEYUP, KEY_RETURN, nullptr, "", nullptr},
        {EVT_ENTER, 0, nullptr, "", nullptr},
    };
    for (const Case& c : cases) {
        std::unique_ptr<TextInput> t = field("abc");
        if (c.action) {
            var a(c.action);
            if (c.type == EVT_CLICK) t->onclick = a;
            if (c.type == EVT_DOWN) t->ondown = a;
            if (c.type == EVT_UP) t->onup = a;
        }
        Event e = gui_event(c.type, 5, 5, c.v);
        var r;
        std::string err = capture_stderr([&] { r = t->event(&e); });
        EXPECT_EQ(err, c.err) << gui_evt_name(c.type) << " v=" << c.v;
        if (c.returns) EXPECT_EQ(r.__str__(), c.returns);
        else EXPECT_EQ(r.__type__(), VAR_NONE) << gui_evt_name(c.type);
    }
}

TEST_F(Input, PointerPlacesTheCaretAndDragsASelection) {
    std::unique_ptr<TextInput> t = field("hello world");
    t->style.focus = 1;
    send(*t, gui_event(EVT_DOWN, 24, 5));  // nearest to x = 20: byte 2
    EXPECT_EQ(t->_pos, 2);
    EXPECT_EQ(t->pos, 2);
    send(*t, gui_event(EVT_MOTION, 47, 5, 0, 1));  // a button held: the caret follows
    EXPECT_EQ(t->_pos, 2);
    EXPECT_EQ(t->pos, 5);
    send(*t, gui_event(EVT_MOTION, 100, 5, 0, 0));  // no button: nothing
    EXPECT_EQ(t->pos, 5);
    send(*t, gui_event(EVT_UP, 71, 5));
    EXPECT_EQ(t->_pos, 2);
    EXPECT_EQ(t->pos, 7);
    // Without the focus a drag does nothing.
    t->style.focus = 0;
    send(*t, gui_event(EVT_MOTION, 10, 5, 0, 1));
    EXPECT_EQ(t->pos, 7);

    // Pointer positions count from the scrolled text: with the caret at the
    // end of a field 50 wide, the view starts at 110 + 2 - 50 = 62.
    std::unique_ptr<TextInput> s = narrow("hello world", 50);
    s->style.focus = 1;
    run(*s, {{KEY_END}});
    EXPECT_EQ(s->view.x, 62);
    send(*s, gui_event(EVT_DOWN, 1, 5));  // text x 63: byte 6
    EXPECT_EQ(s->pos, 6);
    EXPECT_EQ(s->_pos, 6);
}

TEST_F(Input, ScrollingKeepsTheCaretInView) {
    // Ten bytes, 100 wide (measured 101), in a field 50 wide.
    std::unique_ptr<TextInput> t = narrow("0123456789", 50);
    EXPECT_EQ(t->view.x, 0);
    run(*t, {{KEY_END}});
    EXPECT_EQ(t->view.x, 52) << "text width - content width + the caret's 2";
    run(*t, {{KEY_LEFT}, {KEY_LEFT}, {KEY_LEFT}});
    EXPECT_EQ(t->view.x, 52) << "the caret at 70 is still inside";
    run(*t, {{KEY_HOME}});
    EXPECT_EQ(t->view.x, 0);
    run(*t, {{KEY_END}});
    t->set_value(var(""));  // the caret goes to 0, and the view with it
    EXPECT_EQ(t->view.x, 0);
    t->set_value(var("0123456789abc"));
    EXPECT_EQ(t->view.x, 82);
    // Blur scrolls a single-line field back to its start.
    send(*t, gui_event(EVT_BLUR));
    EXPECT_EQ(t->view.x, 0);

    // The wheel scrolls by lines, within the text.
    std::unique_ptr<TextInput> w = narrow("a\nb\nc\nd", 42, 1);
    w->style.height = 20;
    w->style.loop();
    w->resize();
    Event wheel = gui_event(EVT_WHEEL);
    wheel.dy = 1;
    send(*w, wheel);
    EXPECT_EQ(w->view.y, 10);
    wheel.dy = 5;
    send(*w, wheel);
    EXPECT_EQ(w->view.y, 20) << "four lines, two shown";
    wheel.dy = -9;
    send(*w, wheel);
    EXPECT_EQ(w->view.y, 0);
    // A wrapping field keeps its scroll when it loses the focus.
    wheel.dy = 1;
    send(*w, wheel);
    send(*w, gui_event(EVT_BLUR));
    EXPECT_EQ(w->view.y, 10);
}

TEST_F(Input, SizeComesFromTheTextNotItsDisplay) {
    EXPECT_EQ(field("")->rect.w, 10) << "an empty field is square";
    EXPECT_EQ(field("")->rect.h, 10);
    EXPECT_EQ(field("abc")->rect.w, 31);
    // Stars four times as wide as letters do not widen a masked field.
    _font->data[fid].shapes['*'].w = 40;
    std::unique_ptr<TextInput> t = field("abc");
    t->passwd = 1;
    t->_mktxt2();
    t->resize();
    EXPECT_EQ(t->txt2, "***");
    EXPECT_EQ(t->rect.w, 31);
    // A style size wins.
    std::unique_ptr<TextInput> s = narrow("abc", 200);
    EXPECT_EQ(s->rect.w, 200);
    // A wrapping field is as high as its lines at its width.
    std::unique_ptr<TextInput> w = narrow("abcd abcd abcd", 45, 1);
    w->resize();
    EXPECT_EQ(w->rect.h, 30);
}

TEST_F(Input, MaskedFieldShowsStarsAndRevealsTheLastByteUntilTheNextKey) {
    std::unique_ptr<TextInput> t = field("secret");
    t->passwd = 1;
    t->_mktxt2();
    EXPECT_EQ(t->txt2, "******");
    t->reveal = 1;
    t->_mktxt2();
    EXPECT_EQ(t->txt2, "*****t");
    caret(*t, 6, 6);
    run(*t, {typed("x")});
    EXPECT_EQ(t->reveal, 0);
    EXPECT_EQ(t->txt, "secretx");
    EXPECT_EQ(t->txt2, "*******");
    // A pointer click and the blur hide it too.
    for (int type : {EVT_CLICK, EVT_BLUR}) {
        t->reveal = 1;
        send(*t, gui_event(type));
        t->_mktxt2();
        EXPECT_EQ(t->txt2, "*******") << gui_evt_name(type);
    }
    // Ctrl+x deletes without copying (the clipboard itself: the GL tests).
    caret(*t, 0, 3);
    run(*t, {{KEY_x, CTRL}});
    EXPECT_EQ(t->txt, "retx");
}

TEST_F(Input, WrappingFieldTakesLineFeedsAndMovesBetweenLines) {
    // Width 42: the text wraps at 40, four bytes a line.
    std::unique_ptr<TextInput> t = narrow("", 42, 1);
    var r = run(*t, {typed("abcd"), {KEY_RETURN}, typed("ab"), {KEY_RETURN}, typed("abcd")});
    EXPECT_EQ(r.__type__(), VAR_NONE) << "Return is a line feed here";
    EXPECT_EQ(t->txt, "abcd\nab\nabcd");
    caret(*t, 3, 3);
    // Down keeps the column it started from (x 35) across the short line.
    run(*t, {{KEY_DOWN}});
    EXPECT_EQ(t->pos, 7) << "the end of the short line";
    EXPECT_EQ(t->cx, 35);
    run(*t, {{KEY_DOWN}});
    EXPECT_EQ(t->pos, 11);
    run(*t, {{KEY_UP, SHIFT}});
    EXPECT_EQ(t->pos, 7);
    EXPECT_EQ(t->_pos, 11) << "Shift keeps the anchor";
    run(*t, {{KEY_UP}});
    EXPECT_EQ(t->pos, 3);
    EXPECT_EQ(t->_pos, 3);
    // Any other move forgets the column.
    run(*t, {{KEY_LEFT}});
    EXPECT_EQ(t->cx, -1);
    // End goes to the end of the caret's line.
    run(*t, {{KEY_DOWN}, {KEY_HOME}});
    EXPECT_EQ(t->pos, 5);
    run(*t, {{KEY_END}});
    EXPECT_EQ(t->pos, 7);
}

// Tab follows `next`; on one line Up and Down move between fields, while
// Left and Right always move the caret inside the field.
TEST_F(Input, TabAndUpDownMoveTheFocusLeftRightMoveTheCaret) {
    Container root;
    TextInput* a = new TextInput(QelGuiFont(fid), "abc", 255);
    TextInput* below = new TextInput(QelGuiFont(fid), "def", 255);
    TextInput* beside = new TextInput(QelGuiFont(fid), "ghi", 255);
    root.add(a, 0, 0);
    root.add(below, 0, 20);
    root.add(beside, 100, 0);
    root.resize();
    capture_stderr([&] { root.loop(); });
    ASSERT_EQ(root.focus, a);
    auto press = [&](int v, int b = 0) {
        Event e = gui_event(EVT_KEYDOWN, 0, 0, v, b);
        capture_stderr([&] { root.event(&e); });
    };
    press(KEY_HOME);
    press(KEY_RIGHT);
    EXPECT_EQ(root.focus, a) << "Right moves the caret, not the focus";
    EXPECT_EQ(a->pos, 1);
    press(KEY_LEFT);
    EXPECT_EQ(root.focus, a);
    EXPECT_EQ(a->pos, 0);
    press(KEY_DOWN);
    EXPECT_EQ(root.focus, below);
    EXPECT_EQ(below->pos, 3) << "focus selects all";
    press(KEY_UP);
    EXPECT_EQ(root.focus, a);
    a->next = beside;
    press(KEY_TAB);
    EXPECT_EQ(root.focus, beside);
    EXPECT_EQ(a->style.focus, 0);
    EXPECT_EQ(a->txt, "abc");
}

TEST_F(Input, PaintsSelectionTextAndCaret) {
    GuiDrawRecorder rec;
    std::unique_ptr<TextInput> t = field("hello");
    t->paint();
    EXPECT_EQ(rec.lines, (std::vector<std::string>{"clip 0 0 51 10", "translate -0 -0",
                                                   "text " + std::to_string(fid) + " 'hello' 0 0 0 -1",
                                                   "translate 0 0", "unclip"}))
        << "without the focus only the text";

    t->style.focus = 1;
    caret(*t, 3, 1);
    rec.clear();
    t->paint();
    EXPECT_EQ(rec.lines, (std::vector<std::string>{"clip 0 0 51 10", "translate -0 -0", "fill 55aaff 10 0 20 10",
                                                   "text " + std::to_string(fid) + " 'hello' 0 0 0 -1",
                                                   "fill ffffff 10 0 2 10", "translate 0 0", "unclip"}));

    // Scrolled: everything moves by the view; a masked field paints stars.
    std::unique_ptr<TextInput> s = narrow("0123456789", 50);
    s->style.focus = 1;
    run(*s, {{KEY_END}});
    s->passwd = 1;
    rec.clear();
    s->paint();
    EXPECT_EQ(rec.only("translate"), (std::vector<std::string>{"translate -52 -0", "translate 52 0"}));
    EXPECT_EQ(rec.only("text"), (std::vector<std::string>{"text " + std::to_string(fid) + " '**********' 0 0 0 -1"}));
    EXPECT_EQ(rec.only("fill"), (std::vector<std::string>{"fill ffffff 100 0 2 10"}));

    // A selection over three lines of a wrapping field: the rest of the
    // first line, the whole middle line, the start of the last.
    std::unique_ptr<TextInput> w = narrow("ab\ncd\nef", 42, 1);
    w->style.focus = 1;
    caret(*w, 1, 7);
    rec.clear();
    w->paint();
    EXPECT_EQ(rec.only("fill"), (std::vector<std::string>{"fill 55aaff 10 0 30 10", "fill 55aaff 0 10 40 10",
                                                          "fill 55aaff 0 20 10 10", "fill ffffff 10 20 2 10"}));
}
