// The widget base and the container, without GL: geometry, the focus and
// hover protocol, dispatch (hover tracking, focus on press, click synthesis,
// key clicks), keyboard navigation, auto-focus, the ownership checks of add
// and the emptying assignment, through recording widgets.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <string>
#include <vector>

#include "capture.h"
#include "gui_record.h"
#include "qel_gui.h"

namespace {

std::string str(const var& v) { return v.__type__() == VAR_NONE ? "<none>" : v.__str__(); }

// A leaf of w x h at (x, y) in its parent, sized by its base style.
Rec<Widget>* leaf(GuiLog* log, const char* name, int w, int h, int useful = 0) {
    Rec<Widget>* r = new Rec<Widget>(log, name);
    r->style.width = (float)w;
    r->style.height = (float)h;
    r->useful = useful;
    return r;
}

// The focus path from the root down through the focus pointers, and every
// widget whose flag is set, must be the same widgets.
void expect_one_focus_path(Container* root) {
    std::vector<Widget*> all = root->_list_descendants();
    all.push_back(root);
    std::vector<Widget*> flagged;
    for (Widget* w : all)
        if (w->style.focus) flagged.push_back(w);
    std::vector<Widget*> path;
    Widget* w = root->style.focus ? root : nullptr;
    while (w) {
        path.push_back(w);
        Container* c = dynamic_cast<Container*>(w);
        w = c ? c->focus : nullptr;
    }
    EXPECT_EQ(path.size(), flagged.size());
    for (Widget* p : path) EXPECT_TRUE(p->style.focus) << p->name;
}

class Gui : public ::testing::Test {
  protected:
    GuiLog log;
    Rec<Container> root{&log, "R"};

    // Runs fn; what it wrote on stderr.
    std::string err(const std::function<void()>& fn) { return capture_stderr(fn); }
    var send(Event e) { return root.event(&e); }
    // The root's own calls are left out of the log.
    void quiet_root() { root.log = nullptr; }
    // A recording leaf of w x h added to the root at (x, y).
    Rec<Widget>* put(const char* name, int x, int y, int w, int h, int useful = 0) {
        Rec<Widget>* r = leaf(&log, name, w, h, useful);
        root.add(r, x, y);
        return r;
    }
    // Adds and lays out, then forgets what the set-up wrote down.
    void settle() {
        root.resize();
        log.clear();
    }
};

}  // namespace

TEST(MyRect, GettersTruncateTheExactSums) {
    struct Case {
        float x, y, w, h;
        int left, top, right, bottom, cx, cy;
    };
    const Case cases[] = {
        {1.5f, -1.5f, 2.9f, 3.9f, 1, -1, 4, 2, 2, 0},
        {-2.5f, 0, 1, 1, -2, 0, -1, 1, -2, 0},
        // 2^24 + 1 is not a float: the sum is formed wider.
        {16777216.0f, 16777216.0f, 1, 3, 16777216, 16777216, 16777217, 16777219, 16777216, 16777217},
        {1e30f, NAN, 0, 0, INT_MAX, 0, INT_MAX, 0, INT_MAX, 0},
    };
    for (const Case& c : cases) {
        MyRect r(c.x, c.y, c.w, c.h);
        EXPECT_EQ(r.get_left(), c.left) << c.x;
        EXPECT_EQ(r.get_top(), c.top) << c.y;
        EXPECT_EQ(r.get_right(), c.right) << c.x;
        EXPECT_EQ(r.get_bottom(), c.bottom) << c.y;
        EXPECT_EQ(r.get_centerx(), c.cx) << c.x;
        EXPECT_EQ(r.get_centery(), c.cy) << c.y;
    }
}

TEST(WidgetBase, ConstructionDefaults) {
    Widget w;
    EXPECT_EQ(w._type, 0);
    EXPECT_EQ(w.parent, nullptr);
    EXPECT_EQ(w.next, nullptr);
    EXPECT_EQ(w.ignore, 0);
    EXPECT_EQ(w.useful, 0);
    EXPECT_EQ(w.b_col, 0);
    EXPECT_EQ(w.b_row, 0);
    EXPECT_EQ(w.b_colspan, 1);
    EXPECT_EQ(w.b_rowspan, 1);
    // Left open by the design; they start at 0 here.
    EXPECT_EQ(w.b_x, 0);
    EXPECT_EQ(w.b_y, 0);
    EXPECT_EQ(w.onclick.__type__(), VAR_NONE);
    EXPECT_EQ(w.get_value_s(), nullptr);
    EXPECT_EQ(w.get_value().__type__(), VAR_NONE);
    EXPECT_EQ(w.find(""), &w);
    EXPECT_EQ(w.find("x"), nullptr);
    EXPECT_EQ(w.find(nullptr), nullptr);
}

TEST(WidgetBase, AssignmentCopiesEveryFieldParentAndNextIncluded) {
    Container c;
    Widget a, b;
    b.parent = &c;
    b.next = &a;
    b.name = "b";
    b.onclick = var("go");
    b.rect = MyRect(1, 2, 3, 4);
    b.style.width = 7;
    b.style.focus = 1;
    b.b_x = 5;
    a = b;
    EXPECT_EQ(a.parent, &c);
    EXPECT_EQ(a.next, &a);
    EXPECT_EQ(a.name, "b");
    EXPECT_EQ(a.onclick.value, b.onclick.value);  // the payload is shared
    EXPECT_EQ(a.rect.w, 3);
    EXPECT_EQ(a.style.width, 7);
    EXPECT_EQ(a.style.focus, 1);
    EXPECT_EQ(a.b_x, 5);
}

TEST(WidgetBase, AbsRectTruncatesAtEveryLevel) {
    Container root, mid;
    Widget w;
    // Half-pixel offsets at each level are lost level by level.
    root.rect = MyRect(0.5f, 0.5f, 0, 0);
    root._rect = MyRect(0.5f, 0.5f, 0, 0);
    mid.rect = MyRect(0.5f, 0.5f, 0, 0);
    mid._rect = MyRect(0.5f, 0.5f, 0, 0);
    w.rect = MyRect(0.5f, 0.5f, 8, 9);
    w._rect = MyRect(0.5f, 0.5f, 10, 11);
    w.parent = &mid;
    mid.parent = &root;
    MyRect a = w.get_abs_rect(false);
    EXPECT_EQ(a.x, 0);
    EXPECT_EQ(a.y, 0);
    EXPECT_EQ(a.w, 8);
    EXPECT_EQ(a.h, 9);
    // The outer box subtracts the content offset without truncating.
    MyRect b = w.get_abs_rect(true);
    EXPECT_EQ(b.x, -0.5f);
    EXPECT_EQ(b.w, 10);
    EXPECT_EQ(b.h, 11);

    // Whole offsets add up, and each parent's scroll offset is subtracted.
    root.rect = MyRect(1, 2, 0, 0);
    root._rect = MyRect(10, 20, 0, 0);
    root.view = MyRect(3, 4, 0, 0);
    mid.rect = MyRect(0, 0, 0, 0);
    mid._rect = MyRect(5, 5, 0, 0);
    mid.view = MyRect(1.5f, 0, 0, 0);
    w.rect = MyRect(2, 2, 8, 9);
    w._rect = MyRect(7, 7, 10, 11);
    // w: 2 + 7 - 1.5 = 7 (7.5 cut); mid: + 5 - 3; root: + 1 + 10.
    a = w.get_abs_rect(false);
    EXPECT_EQ(a.x, 7 + 2 + 11);
    EXPECT_EQ(a.y, 2 + 7 - 0 + 5 - 4 + 2 + 20);
    mid.parent = nullptr;
    w.parent = nullptr;
    // A root with whole content offsets: its outer box, x and y truncated.
    root.rect = MyRect(2, 3, 0, 0);
    root._rect = MyRect(10.7f, -4.2f, 50, 60);
    b = root.get_abs_rect(true);
    EXPECT_EQ(b.x, 10);
    EXPECT_EQ(b.y, -4);
    EXPECT_EQ(b.w, 50);
    EXPECT_EQ(b.h, 60);
}

TEST_F(Gui, FocusBlursTheOldPathThenFocusesInnermostFirst) {
    Rec<Container>* A = new Rec<Container>(&log, "A");
    Rec<Container>* B = new Rec<Container>(&log, "B");
    Rec<Widget>* a1 = leaf(&log, "a1", 5, 5, 1);
    Rec<Widget>* b1 = leaf(&log, "b1", 5, 5, 1);
    root.add(A, 0, 0);
    root.add(B, 0, 10);
    A->add(a1, 0, 0);
    B->add(b1, 0, 0);
    settle();

    a1->onfocus = var("a1");
    root.onfocus = var("R");
    EXPECT_EQ(str(a1->_focus()), "R");  // the outermost on* value wins
    EXPECT_EQ(log, (GuiLog{"R event BLUR 0,0 v=0", "a1 event FOCUS 0,0 v=0", "A event FOCUS 0,0 v=0",
                           "R event FOCUS 0,0 v=0"}));
    EXPECT_EQ(root.focus, A);
    EXPECT_EQ(A->focus, a1);
    EXPECT_FALSE(root._is_focus());
    EXPECT_FALSE(A->_is_focus());
    EXPECT_TRUE(a1->_is_focus());
    expect_one_focus_path(&root);

    // Already focused: nothing is sent, none returned; an ancestor on the
    // path counts as focused too.
    log.clear();
    EXPECT_EQ(str(a1->_focus()), "<none>");
    EXPECT_EQ(str(A->_focus()), "<none>");
    EXPECT_TRUE(log.empty());

    // Moving on: the blur runs down the old path through the root's own
    // handler, then the new path is set from the inside out.
    root.onfocus = var();
    b1->onfocus = var("b1");
    EXPECT_EQ(str(b1->_focus()), "b1");
    EXPECT_EQ(log, (GuiLog{"R event BLUR 0,0 v=0", "A event BLUR 0,0 v=0", "a1 event BLUR 0,0 v=0",
                           "b1 event FOCUS 0,0 v=0", "B event FOCUS 0,0 v=0", "R event FOCUS 0,0 v=0"}));
    EXPECT_EQ(A->focus, nullptr);
    EXPECT_FALSE(a1->style.focus);
    EXPECT_EQ(root.focus, B);
    expect_one_focus_path(&root);
    EXPECT_EQ(a1->style.state, STYLE_NONE);
    EXPECT_EQ(b1->style.state, STYLE_FOCUS);
}

TEST_F(Gui, HoverFollowsTheSameProtocol) {
    Rec<Container>* A = new Rec<Container>(&log, "A");
    Rec<Widget>* a1 = leaf(&log, "a1", 5, 5);
    Rec<Widget>* b1 = leaf(&log, "b1", 5, 5);
    root.add(A, 0, 0);
    A->add(a1, 0, 0);
    root.add(b1, 0, 10);
    settle();
    b1->onenter = var("b1");
    a1->_hover();
    log.clear();
    EXPECT_EQ(str(b1->_hover()), "b1");
    EXPECT_EQ(log, (GuiLog{"R event EXIT 0,0 v=0", "A event EXIT 0,0 v=0", "a1 event EXIT 0,0 v=0",
                           "b1 event ENTER 0,0 v=0", "R event ENTER 0,0 v=0"}));
    EXPECT_EQ(root.hover, b1);
    EXPECT_EQ(A->hover, nullptr);
    EXPECT_EQ(root.find_hover(), b1);
    log.clear();
    EXPECT_EQ(str(b1->_hover()), "<none>");
    EXPECT_TRUE(log.empty());
    // Hovered and focused at once.
    b1->_focus();
    EXPECT_EQ(b1->style.active, 1);
    EXPECT_EQ(b1->style.state, STYLE_ACTIVE);
}

TEST_F(Gui, PressFocusesTheTopmostFocusableAndHoversTheTopmost) {
    Rec<Widget>* below = put("below", 0, 0, 20, 20, 1);
    Rec<Widget>* top = put("top", 0, 0, 20, 20);
    settle();
    quiet_root();
    send(gui_event(EVT_DOWN, 5, 6));
    EXPECT_EQ(root.hover, top);
    EXPECT_EQ(root.focus, below);
    EXPECT_EQ(gui_log_grep(log, "DOWN"), (GuiLog{"top event DOWN 5,6 v=23"}));

    // A press on the child that already holds the focus changes nothing and
    // arrives with v = 0.
    top->ignore = 1;
    log.clear();
    send(gui_event(EVT_DOWN, 7, 8));
    EXPECT_EQ(root.focus, below);
    EXPECT_EQ(log, (GuiLog{"top event EXIT 0,0 v=0", "below event ENTER 0,0 v=0", "below event DOWN 7,8 v=0"}));
}

TEST_F(Gui, HoverTracksThePointerAndAButtonHeldKeepsIt) {
    put("a", 0, 0, 10, 10);
    put("b", 20, 0, 10, 10);
    settle();
    struct Step {
        Event e;
        const char* hover;  // name, or "" for none
        GuiLog got;
    };
    const Step steps[] = {
        {gui_event(EVT_MOTION, 5, 5),
         "a",
         {"R event MOTION 5,5 v=0", "a event ENTER 0,0 v=0", "a event MOTION 5,5 v=0"}},
        // The right edge is outside: the pointer left a for empty space.
        {gui_event(EVT_MOTION, 10, 5), "", {"R event MOTION 10,5 v=0", "a event EXIT 0,0 v=0"}},
        {gui_event(EVT_MOTION, 25, 5),
         "b",
         {"R event MOTION 25,5 v=0", "b event ENTER 0,0 v=0", "b event MOTION 5,5 v=0"}},
        {gui_event(EVT_MOTION, 5, 5),
         "a",
         {"R event MOTION 5,5 v=0", "b event EXIT 0,0 v=0", "a event ENTER 0,0 v=0", "a event MOTION 5,5 v=0"}},
        // A button held: a keeps the motion, also far outside its box.
        {gui_event(EVT_MOTION, 25, 5, 0, 1), "a", {"R event MOTION 25,5 v=0", "a event MOTION 25,5 v=0"}},
        {gui_event(EVT_WHEEL, 25, 5), "a", {"R event WHEEL 25,5 v=0", "a event WHEEL 25,5 v=0"}},
        // The root loses the pointer: the hover path is cleared.
        {gui_event(EVT_EXIT), "", {"R event EXIT 0,0 v=0", "a event EXIT 0,0 v=0"}},
    };
    for (const Step& s : steps) {
        log.clear();
        send(s.e);
        EXPECT_EQ(root.hover ? root.hover->name : "", s.hover) << gui_evt_name(s.e.type) << " " << s.e.x;
        EXPECT_EQ(log, s.got) << gui_evt_name(s.e.type) << " " << s.e.x;
    }
}

TEST_F(Gui, WheelWithNothingHoveredGoesToTheFocusedChild) {
    Rec<Widget>* a = put("a", 0, 0, 10, 10, 1);
    settle();
    quiet_root();
    a->_focus();
    root.hover = nullptr;
    a->style.hover = 0;
    log.clear();
    send(gui_event(EVT_WHEEL, 50, 50));
    EXPECT_EQ(log, (GuiLog{"a event WHEEL 50,50 v=0"}));
}

TEST_F(Gui, ReleaseClicksOnlyWhenTheFocusedChildIsUnderIt) {
    Rec<Widget>* a = put("a", 0, 0, 10, 10, 1);
    put("b", 20, 0, 10, 10);
    settle();
    quiet_root();
    a->onclick = var("clicked");
    send(gui_event(EVT_DOWN, 2, 3));
    log.clear();
    EXPECT_EQ(str(send(gui_event(EVT_UP, 4, 5))), "clicked");
    EXPECT_EQ(log, (GuiLog{"a event UP 4,5 v=0", "a event CLICK 4,5 v=0"}));

    // Released over b: b is hovered now, but the release goes to the focused
    // child only, and no click.
    log.clear();
    EXPECT_EQ(str(send(gui_event(EVT_UP, 25, 5))), "<none>");
    EXPECT_EQ(log, (GuiLog{"a event EXIT 0,0 v=0", "b event ENTER 0,0 v=0", "a event UP 25,5 v=0"}));
}

TEST_F(Gui, AReleaseThroughTheFocusPathStartsNoSecondHoverPath) {
    // The focused x lies under a sibling of its container: the release goes
    // to x through the focus path while the sibling is hovered. Were x's
    // container to track the pointer, x would be flagged hovered below an
    // unhovered container, and no later hover move would clear it.
    Rec<Container>* C = new Rec<Container>(&log, "C");
    Rec<Widget>* x = leaf(&log, "x", 20, 20, 1);
    Rec<Widget>* cover = leaf(&log, "cover", 20, 20);
    root.add(C, 0, 0);
    C->add(x, 0, 0);
    root.add(cover, 0, 0);
    settle();
    quiet_root();
    x->_focus();
    log.clear();
    send(gui_event(EVT_UP, 5, 5));
    EXPECT_EQ(log, (GuiLog{"cover event ENTER 0,0 v=0", "C event UP 5,5 v=0", "x event UP 5,5 v=0"}));
    EXPECT_EQ(root.hover, cover);
    EXPECT_EQ(C->hover, nullptr);
    EXPECT_FALSE(x->style.hover);
    cover->ignore = 1;
    send(gui_event(EVT_MOTION, 5, 5));
    send(gui_event(EVT_MOTION, 100, 100));
    for (Widget* w : root._list_descendants()) EXPECT_FALSE(w->style.hover) << w->name;
}

TEST_F(Gui, ReleasedSpaceOrReturnClicksDownTheFocusPath) {
    Rec<Container>* box = new Rec<Container>(&log, "C");
    Rec<Widget>* a = leaf(&log, "a", 10, 6, 1);
    root.add(box, 30, 40);
    box->add(a, 2, 2);
    settle();
    quiet_root();
    a->_focus();
    box->onclick = var("box");
    for (int key : {KEY_SPACE, KEY_RETURN}) {
        log.clear();
        Event e = gui_event(EVT_KEYUP, 100, 100, key);
        EXPECT_EQ(str(root.event(&e)), "box");
        // Every container on the path clicks its focused child at the centre
        // of the child's outer box, marked v = 7; the leaf gets one click.
        EXPECT_EQ(log, (GuiLog{"C event KEYUP 70,60 v=" + std::to_string(key),
                               "a event KEYUP 68,58 v=" + std::to_string(key), "a event CLICK 5,3 v=7",
                               "C event CLICK 6,4 v=7"}));
    }
    log.clear();
    send(gui_event(EVT_KEYUP, 0, 0, KEY_a));
    EXPECT_EQ(gui_log_grep(log, "CLICK"), GuiLog{});
    send(gui_event(EVT_KEYDOWN, 0, 0, KEY_SPACE));
    EXPECT_EQ(gui_log_grep(log, "CLICK"), GuiLog{});
}

TEST_F(Gui, OrientReachesEveryChildBackwardsUnchanged) {
    Rec<Widget>* a = put("a", 10, 10, 5, 5);
    Rec<Widget>* b = put("b", 20, 20, 5, 5);
    put("c", 30, 30, 5, 5);
    settle();
    b->ignore = 1;
    a->onmove = var("never");
    send(gui_event(EVT_ORIENT, 3, 4));
    EXPECT_EQ(log, (GuiLog{"R event ORIENT 3,4 v=0", "c event ORIENT 3,4 v=0", "a event ORIENT 3,4 v=0"}));
}

TEST_F(Gui, TabFocusesNextAndReturnsNone) {
    Rec<Widget>* a = put("a", 0, 0, 5, 5, 1);
    Rec<Widget>* b = put("b", 0, 10, 5, 5, 1);
    settle();
    a->_focus();
    b->onfocus = var("b");
    EXPECT_EQ(str(send(gui_event(EVT_KEYDOWN, 0, 0, KEY_TAB))), "<none>");
    EXPECT_EQ(root.focus, a);  // a has no next
    a->next = b;
    EXPECT_EQ(str(send(gui_event(EVT_KEYDOWN, 0, 0, KEY_TAB))), "<none>");
    EXPECT_EQ(root.focus, b);
    expect_one_focus_path(&root);
}

TEST_F(Gui, KeysGoToTheFocusReadAfterTheContainersOwnHandling) {
    Rec<Widget>* a = put("a", 0, 0, 5, 5, 1);
    Rec<Widget>* b = put("b", 0, 10, 5, 5, 1);
    settle();
    a->_focus();
    // The root's own Tab moves the focus to b; the key then reaches b.
    root.next = b;
    log.clear();
    send(gui_event(EVT_KEYDOWN, 0, 0, KEY_TAB));
    EXPECT_EQ(gui_log_grep(log, "KEYDOWN"), (GuiLog{"R event KEYDOWN 0,0 v=26", "b event KEYDOWN 0,-10 v=26"}));
}

TEST_F(Gui, DispatchReturnsTheLastActionThatIsNotNone) {
    Rec<Widget>* a = put("a", 0, 0, 10, 10, 1);
    settle();
    root.ondown = var("root down");
    a->onenter = var("enter");
    a->onfocus = var("focus");
    // Own handling, the enter, the focus, then a's press: a has no ondown.
    EXPECT_EQ(str(send(gui_event(EVT_DOWN, 1, 1))), "focus");
    a->ondown = var("a down");
    EXPECT_EQ(str(send(gui_event(EVT_DOWN, 1, 1))), "a down");
    // Click, enter and focus stop at the container itself.
    root.onclick = var("root click");
    log.clear();
    EXPECT_EQ(str(send(gui_event(EVT_CLICK, 1, 1))), "root click");
    EXPECT_EQ(log, (GuiLog{"R event CLICK 1,1 v=0"}));
}

TEST_F(Gui, LoopFocusesTheFirstFocusableWidgetOfARootWithoutFocus) {
    Rec<Container>* A = new Rec<Container>(&log, "A");
    Rec<Widget>* skip = leaf(&log, "skip", 5, 5, 1);
    Rec<Widget>* plain = leaf(&log, "plain", 5, 5, 0);
    Rec<Widget>* first = leaf(&log, "first", 5, 5, 1);
    Rec<Widget>* second = leaf(&log, "second", 5, 5, 1);
    skip->ignore = 1;
    root.add(A, 0, 0);
    A->add(skip, 0, 0);
    A->add(plain, 0, 0);
    A->add(first, 0, 0);
    root.add(second, 0, 0);
    settle();
    root.loop();
    EXPECT_TRUE(first->style.focus);
    EXPECT_TRUE(first->style.hover);
    EXPECT_EQ(root.focus, A);
    EXPECT_EQ(root.hover, A);
    expect_one_focus_path(&root);
    // Every child's loop, in order, after the focus moved.
    EXPECT_EQ(gui_log_grep(log, "loop"), (GuiLog{"R loop", "A loop", "skip loop", "plain loop", "first loop",
                                                  "second loop"}));
    // With the focus in place nothing moves.
    log.clear();
    root.loop();
    EXPECT_EQ(gui_log_grep(log, "event"), GuiLog{});

    // A root without anything focusable looks every frame and finds nothing.
    Rec<Container> empty(&log, "E");
    empty.add(leaf(&log, "p", 5, 5, 0), 0, 0);
    log.clear();
    empty.loop();
    empty.loop();
    EXPECT_EQ(log, (GuiLog{"E loop", "p loop", "E loop", "p loop"}));
    EXPECT_EQ(empty.focus, nullptr);
}

TEST_F(Gui, AddRefusesWhatWouldBreakOwnership) {
    Rec<Container>* A = new Rec<Container>(&log, "A");
    Rec<Container>* B = new Rec<Container>(&log, "B");
    Rec<Widget>* w = leaf(&log, "w", 5, 5);
    root.add(A, 0, 0);
    A->add(B, 0, 0);
    B->add(w, 0, 0);
    struct Case {
        Container* into;
        Widget* w;
        const char* line;
    };
    const Case cases[] = {
        {A, nullptr, "gui add: refused a null widget\n"},
        {&root, w, "gui add: refused a widget that already has a parent\n"},
        {A, A, "gui add: refused a widget into itself or its own descendant\n"},
        {B, &root, "gui add: refused a widget into itself or its own descendant\n"},
        {B, A, "gui add: refused a widget into itself or its own descendant\n"},
    };
    for (const Case& c : cases) {
        size_t before = c.into->widgets.size();
        EXPECT_EQ(err([&] { c.into->add(c.w, 1, 1); }), c.line);
        EXPECT_EQ(c.into->widgets.size(), before);
    }
    EXPECT_EQ(w->parent, B);
    EXPECT_EQ(A->parent, &root);
    EXPECT_EQ(root.parent, nullptr);
    // A table's cell is checked before the cell is written.
    Table* t = new Table();
    root.add(t, 0, 0);
    int b_col = w->b_col;
    EXPECT_EQ(err([&] { t->td(w, 3, 3, 2, 2); }), "gui add: refused a widget that already has a parent\n");
    EXPECT_EQ(w->b_col, b_col);
    EXPECT_EQ(t->col, 0);
    // The tree is deleted once, each widget once (ASan would tell).
}

TEST_F(Gui, AssigningAnEmptyContainerDeletesTheChildrenAndResets) {
    Rec<Widget>* a = put("a", 0, 0, 5, 5, 1);
    put("b", 0, 0, 5, 5);
    settle();
    root.loop();
    ASSERT_EQ(root.focus, a);
    int deleted = 0;
    struct Counted : Widget {
        int* n;
        explicit Counted(int* n) : n(n) {}
        ~Counted() override { (*n)++; }
    };
    root.add(new Counted(&deleted), 0, 0);
    root.add(new Counted(&deleted), 0, 0);
    Container fresh;
    fresh.name = "fresh";
    static_cast<Container&>(root) = fresh;
    EXPECT_EQ(deleted, 2);
    EXPECT_TRUE(root.widgets.empty());
    EXPECT_EQ(root.focus, nullptr);
    EXPECT_EQ(root.hover, nullptr);
    EXPECT_EQ(root.name, "fresh");
    EXPECT_EQ(root.style.focus, 0);
    // Built again, it works as new.
    Rec<Widget>* c = put("c", 0, 0, 5, 5, 1);
    root.loop();
    EXPECT_EQ(root.focus, c);
}

// A 3 x 3 grid of focusable 10 x 10 cells, 20 apart, named by row and column.
class Nav : public Gui {
  protected:
    Widget* cell[3][3];
    void SetUp() override {
        for (int r = 0; r < 3; r++)
            for (int c = 0; c < 3; c++) {
                std::string n = std::string(1, (char)('a' + r)) + std::to_string(c);
                Widget* w = leaf(nullptr, "", 10, 10, 1);
                w->name = n;
                root.add(w, 20 * c, 20 * r);
                cell[r][c] = w;
            }
        settle();
    }
    // The arrow key handed to the root with `from` focused: the name of the
    // widget focused after it, and what was written on stderr.
    std::string press(Widget* from, int key, std::string* line = nullptr) {
        from->_focus();
        std::string e = err([&] { send(gui_event(EVT_KEYDOWN, 0, 0, key)); });
        if (line) *line = e;
        Widget* f = root.focus;
        return f ? f->name : "";
    }
};

TEST_F(Nav, ArrowsMoveToTheNearestWidgetInTheirDirection) {
    struct Case {
        int r, c, key;
        const char* to;
        const char* line;
    };
    const Case cases[] = {
        {1, 1, KEY_RIGHT, "b2", "res.size: 3\n"}, {1, 1, KEY_LEFT, "b0", "res.size: 3\n"},
        {1, 1, KEY_UP, "a1", "res.size: 3\n"},    {1, 1, KEY_DOWN, "c1", "res.size: 3\n"},
        // Nothing further right: the focus stays.
        {0, 2, KEY_RIGHT, "a2", "res.size: 0\n"}, {2, 0, KEY_DOWN, "c0", "res.size: 0\n"},
        // Both lower rows count; the nearer one wins.
        {0, 0, KEY_DOWN, "b0", "res.size: 6\n"},
    };
    for (const Case& c : cases) {
        std::string line;
        EXPECT_EQ(press(cell[c.r][c.c], c.key, &line), c.to) << cell[c.r][c.c]->name << " key " << c.key;
        EXPECT_EQ(line, c.line) << cell[c.r][c.c]->name << " key " << c.key;
        expect_one_focus_path(&root);
    }
}

TEST_F(Nav, TiesGoToTheEarlierWidgetAndLevelCandidatesAreSkipped) {
    // From b0 moving right: a1 and c1 are equally far; a1 comes first. b1
    // and b2 are level in y but lie right, so they count; make them
    // unreachable to see the tie.
    cell[1][1]->useful = 0;
    cell[1][2]->ignore = 1;
    EXPECT_EQ(press(cell[1][0], KEY_RIGHT), "a1");
    // From a0 moving down only the lower rows count, never a1 or a2 (level).
    for (int c = 0; c < 3; c++) {
        cell[1][c]->useful = 0;
        cell[2][c]->useful = 0;
    }
    cell[1][2]->ignore = 0;
    std::string line;
    EXPECT_EQ(press(cell[0][0], KEY_DOWN, &line), "a0");
    EXPECT_EQ(line, "res.size: 0\n");
}

TEST_F(Gui, NavigationWeighsTheCrossDistanceTwice) {
    Widget* from = leaf(nullptr, "from", 10, 10, 1);
    Widget* far_level = leaf(nullptr, "far", 10, 10, 1);
    Widget* near_low = leaf(nullptr, "near", 10, 10, 1);
    root.add(from, 0, 0);
    root.add(near_low, 20, 30);  // 10 right, 30 lower: sqrt(10^2 + 60^2) = 60
    root.add(far_level, 60, 0);  // 50 right, level: 50
    settle();
    from->_focus();
    err([&] { send(gui_event(EVT_KEYDOWN, 0, 0, KEY_RIGHT)); });
    EXPECT_EQ(root.focus, far_level);
}

TEST_F(Gui, NavigationRanksFarLayoutsWithoutOverflow) {
    // 32768 pixels and more: a packed 32-bit key of distance * 65536 + index
    // would wrap around and make the far widget look nearest.
    Widget* from = leaf(nullptr, "from", 10, 10, 1);
    Widget* very_far = leaf(nullptr, "very far", 10, 10, 1);
    Widget* near = leaf(nullptr, "near", 10, 10, 1);
    root.add(from, 0, 0);
    root.add(very_far, 32778, 0);
    root.add(near, 110, 0);
    settle();
    from->_focus();
    err([&] { send(gui_event(EVT_KEYDOWN, 0, 0, KEY_RIGHT)); });
    EXPECT_EQ(root.focus, near);
    // And the ranking holds at the far end of the int range.
    near->_rect.x = 2000000000.0f;
    very_far->_rect.x = 1000000000.0f;
    from->_focus();
    err([&] { send(gui_event(EVT_KEYDOWN, 0, 0, KEY_RIGHT)); });
    EXPECT_EQ(root.focus, very_far);
}

TEST_F(Gui, ArrowsOnAWidgetWithoutFocusOrUseDoNothing) {
    Rec<Widget>* a = put("a", 0, 0, 10, 10, 1);
    Rec<Widget>* b = put("b", 20, 0, 10, 10, 1);
    settle();
    // Not focused.
    Event e = gui_event(EVT_KEYDOWN, 0, 0, KEY_RIGHT);
    EXPECT_EQ(err([&] { EXPECT_EQ(str(a->event(&e)), "<none>"); }), "");
    // Focused, but of no use.
    a->_focus();
    a->useful = 0;
    EXPECT_EQ(err([&] { EXPECT_EQ(str(a->event(&e)), "<none>"); }), "");
    EXPECT_EQ(root.focus, a);
    // The winner's hover and focus results: the later that is not none.
    a->useful = 1;
    b->onenter = var("enter");
    var r;
    err([&] { r = a->_nav(1, 0); });
    EXPECT_EQ(str(r), "enter");
    b->onfocus = var("focus");
    a->_focus();
    err([&] { r = a->_nav(1, 0); });
    EXPECT_EQ(str(r), "focus");
}

TEST_F(Gui, PaintTranslatesToEachChildAndTestsVisibilityOnlyUnderAClip) {
    GuiDrawRecorder rec;
    put("a", 5, 6, 10, 10);
    put("empty", 50, 60, 0, 0);
    settle();
    root.paint();
    EXPECT_EQ(rec.lines, (std::vector<std::string>{"translate 5 6", "translate 0 0", "translate -0 -0",
                                                  "translate -5 -6", "translate 50 60", "translate 0 0",
                                                  "translate -0 -0", "translate -50 -60"}));
    EXPECT_EQ(gui_log_grep(log, "paint"), (GuiLog{"R paint", "a paint", "empty paint"}));
    // Under a clip, a child without area or outside it is not painted.
    log.clear();
    rec.clip(0, 0, 30, 30);
    root.paint();
    rec.unclip();
    EXPECT_EQ(gui_log_grep(log, "paint"), (GuiLog{"R paint", "a paint"}));
}
