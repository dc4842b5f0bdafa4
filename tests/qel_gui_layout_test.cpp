// Layout without GL: the container's bounding box, the table's grid (spans,
// spreading, stretching, the order it leaves), the box's alignment and
// clipping, and the label's sizing and drawing, with a font made by the test
// whose every glyph is 10 pixels wide and 10 high.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <string>
#include <type_traits>
#include <vector>

#include "capture.h"
#include "font_fixtures.h"
#include "gui_record.h"
#include "qel_font.h"
#include "qel_gui.h"

static_assert(!std::is_copy_constructible<Table>::value && !std::is_copy_assignable<Table>::value,
              "a copied table would share its placeholder");
static_assert(!std::is_copy_constructible<Box>::value && !std::is_copy_assignable<Box>::value,
              "a copied box would share its child");
static_assert(!std::is_copy_constructible<Container>::value, "two containers would own the same children");

namespace {

Rec<Widget>* sized(GuiLog* log, const char* name, float w, float h) {
    Rec<Widget>* r = new Rec<Widget>(log, name);
    r->style.width = w;
    r->style.height = h;
    return r;
}

class Layout : public ::testing::Test {
  protected:
    GuiLog log;
    int fid = 0;
    void SetUp() override {
        font_init();
        fid = fixture_font_register(10, 10);
    }
    void TearDown() override { font_deinit(); }
    static std::vector<float> box(const Widget* w) { return {w->_rect.x, w->_rect.y, w->_rect.w, w->_rect.h}; }
};

}  // namespace

TEST_F(Layout, ContainerIsTheBoundingBoxOfItsChildren) {
    Container c;
    c.add(sized(nullptr, "a", 20, 5), 10, 10);
    c.add(sized(nullptr, "b", 5, 5), 0, 40);
    c.add(sized(nullptr, "c", 5, 5), -30, -30);  // never negative
    c.style.width = 500;                          // plays no part
    c.style.loop();
    c.resize();
    EXPECT_EQ(c.rect.w, 30);
    EXPECT_EQ(c.rect.h, 45);

    // Sizes beyond the int range and NaN saturate.
    Container d;
    d.add(sized(nullptr, "huge", 1e30f, NAN), 0, 0);
    d.resize();
    EXPECT_EQ(d.rect.w, (float)INT_MAX);
    EXPECT_EQ(d.rect.h, 0);
}

TEST_F(Layout, AnEmptyTableIsItsStyleSize) {
    Table t;
    t.style.loop();
    t.resize();
    EXPECT_EQ(t.rect.w, 0);
    EXPECT_EQ(t.rect.h, 0);
    EXPECT_EQ(t.widgets.size(), 1u);
    EXPECT_EQ(t.me->ignore, 1);
    t.style.width = 30;
    t.style.height = 20;
    t.style.loop();
    t.resize();
    EXPECT_EQ(t.rect.w, 30);
    EXPECT_EQ(t.rect.h, 20);
    EXPECT_EQ(t.me->b_colspan, 1);
    EXPECT_EQ(t.me->b_rowspan, 1);
}

TEST_F(Layout, CellsGoInReadingOrder) {
    Table t;
    EXPECT_EQ(t.row, -1);
    Widget* a = sized(nullptr, "a", 1, 1);
    Widget* b = sized(nullptr, "b", 1, 1);
    t.td(a, 1, 1, -1, -1);  // before the first row: row 0
    t.td(b, 2, 1, -1, -1);
    EXPECT_EQ(a->b_row, 0);
    EXPECT_EQ(b->b_col, 1);
    EXPECT_EQ(t.col, 3);
    t.tr();  // the first tr() after them starts row 1
    Widget* c = sized(nullptr, "c", 1, 1);
    t.td(c, 1, 1, -1, -1);
    EXPECT_EQ(c->b_row, 1);
    EXPECT_EQ(c->b_col, 0);
    // Given columns and rows replace the cursor.
    Widget* d = sized(nullptr, "d", 1, 1);
    t.td(d, 1, 2, 4, 7);
    EXPECT_EQ(d->b_col, 4);
    EXPECT_EQ(d->b_row, 7);
    EXPECT_EQ(d->b_rowspan, 2);
    EXPECT_EQ(t.col, 5);
    EXPECT_EQ(t.row, 7);
    EXPECT_EQ(d->parent, &t);
}

TEST_F(Layout, CellIndexesAndSpansOutsideTheGridAreClamped) {
    struct Case {
        int colspan, rowspan, col, row;
        int b_col, b_row, b_colspan, b_rowspan, next_col;
    };
    const Case cases[] = {
        {0, -2, -5, -1, 0, 0, 1, 1, 1},
        {-7, 3, -2, -9, 0, 0, 1, 3, 1},
        {2, 0, INT_MAX, -1, INT_MAX, 0, 2, 1, INT_MAX},
    };
    for (const Case& c : cases) {
        Table t;
        Widget* w = new Widget();
        t.td(w, c.colspan, c.rowspan, c.col, c.row);
        EXPECT_EQ(w->b_col, c.b_col) << c.col;
        EXPECT_EQ(w->b_row, c.b_row) << c.row;
        EXPECT_EQ(w->b_colspan, c.b_colspan) << c.colspan;
        EXPECT_EQ(w->b_rowspan, c.b_rowspan) << c.rowspan;
        EXPECT_EQ(t.col, c.next_col) << c.col;
    }
    Table t;
    t.td(new Widget(), 0, -2, -5, -1);
    t.resize();  // the grid holds the clamped cell (ASan would tell)
}

TEST(TableDiv, SharesAddUpAndExtrasGoToTheSmallestIndexesModuloTheSpan) {
    struct Case {
        int a, b, c, share;
    };
    const Case cases[] = {{15, 2, 0, 8}, {15, 2, 1, 7}, {3, 2, 1, 1}, {3, 2, 2, 2}, {9, 3, 4, 3},
                          {10, 3, 3, 4}, {10, 3, 4, 3}, {0, 4, 2, 0},  {5, 0, 0, 0}};
    for (const Case& c : cases) EXPECT_EQ(t_div(c.a, c.b, c.c), c.share) << c.a << "/" << c.b << " @" << c.c;
    int v[] = {1, 2, 3, 4};
    EXPECT_EQ(t_sum(v, 1, 3), 5);
    EXPECT_EQ(t_sum(v, 3, 1), 0);
    int big[] = {INT_MAX, INT_MAX};
    EXPECT_EQ(t_sum(big, 0, 2), INT_MAX);
    EXPECT_EQ(t_max(-1, 0), 0);
}

TEST_F(Layout, SpanningCellsAddOnlyWhatTheirColumnsLack) {
    Table t;
    Rec<Widget>* a = sized(&log, "a", 10, 5);
    Rec<Widget>* wide = sized(&log, "wide", 25, 5);
    t.td(wide, 2, 1, 0, -1);
    t.tr();
    t.td(a, 1, 1, 0, -1);
    log.clear();
    t.resize();
    // 15 missing over columns 0 and 1: 8 and 7, so widths 18 and 7.
    EXPECT_EQ(t.rect.w, 25);
    EXPECT_EQ(t.rect.h, 10);
    EXPECT_EQ(box(wide), (std::vector<float>{0, 0, 25, 5}));
    EXPECT_EQ(box(a), (std::vector<float>{0, 5, 10, 5}));
    // Only the narrow cell is offered its cell; the spanning one fits.
    EXPECT_EQ(gui_log_grep(log, "resize "), GuiLog{"a resize 18x5"});

    // Spanning columns 1 and 2 with 3 missing: one to column 1, two to
    // column 2.
    Table u;
    u.td(sized(nullptr, "x", 4, 1), 1, 1, 0, -1);
    u.td(sized(nullptr, "y", 3, 1), 2, 1, 1, -1);
    Widget* probe = sized(nullptr, "p", 0, 1);
    u.td(probe, 1, 1, 2, 1);
    u.resize();
    EXPECT_EQ(probe->_rect.x, 4 + 1);
    EXPECT_EQ(u.rect.w, 4 + 3);
}

TEST_F(Layout, ATableStyleSizeIsSpreadOverAllColumns) {
    Table t;
    t.style.width = 100;
    t.style.height = 8;
    t.style.loop();
    Widget* a = sized(nullptr, "a", 30, 4);
    Widget* b = sized(nullptr, "b", 30, 4);
    t.td(a, 1, 1, -1, -1);
    t.td(b, 1, 1, -1, -1);
    t.resize();
    EXPECT_EQ(t.rect.w, 100);
    EXPECT_EQ(t.rect.h, 8);
    EXPECT_EQ(b->_rect.x, 50);
    EXPECT_EQ(t.me->b_colspan, 2);
    EXPECT_EQ(box(t.me), (std::vector<float>{0, 0, 100, 8}));
}

TEST_F(Layout, LabelsKeepTheirSizeWhileBoxesFillTheirCell) {
    Table t;
    t.td(sized(nullptr, "wide", 100, 30), 2, 1, -1, -1);
    t.tr();
    Label* label = new Label(QelGuiFont(fid), "ab");
    Widget* child = sized(nullptr, "c", 10, 10);
    Box* b = new Box(child);
    b->style.align = 1;
    b->style.valign = 1;
    t.td(label, 1, 1, -1, -1);
    t.td(b, 1, 1, -1, -1);
    t.tr();
    Widget* tall = sized(nullptr, "tall", 1, 40);
    t.td(tall, 1, 1, 1, -1);
    t.resize();
    // Columns 21 and 10 from the narrow cells, then the wide one's 69
    // missing spread: 56 and 44; row 1 as high as its tallest, 10.
    EXPECT_EQ(box(label), (std::vector<float>{0, 30, 21, 10}));
    EXPECT_EQ(box(b), (std::vector<float>{56, 30, 44, 10}));
    EXPECT_EQ(box(child), (std::vector<float>{34, 0, 10, 10}));
    EXPECT_EQ(tall->_rect.y, 40);
    EXPECT_EQ(t.rect.h, 80);
}

TEST_F(Layout, SortsKeepEqualSpansInTheirOrderOfAddition) {
    // More children than an insertion sort would handle: the order must
    // still be by row span, then column span, then addition.
    Table t;
    std::vector<Widget*> ones, twos;
    for (int i = 0; i < 40; i++) {
        Widget* w = sized(nullptr, "", 1, 1);
        w->name = std::to_string(i);
        bool two = i % 5 == 0;
        t.td(w, two ? 2 : 1, 1, -1, -1);
        (two ? twos : ones).push_back(w);
    }
    Widget* tall = sized(nullptr, "tall", 1, 1);
    t.td(tall, 1, 2, -1, -1);
    t.resize();
    std::vector<Widget*> want = ones;
    want.insert(want.end(), twos.begin(), twos.end());
    // The placeholder spans both rows too, and came after the tall cell in
    // the column sort.
    want.push_back(tall);
    want.push_back(t.me);
    ASSERT_EQ(t.widgets.size(), want.size());
    for (size_t i = 0; i < want.size(); i++) EXPECT_EQ(t.widgets[i], want[i]) << i;
    // The order stays for the next pass.
    t.resize();
    for (size_t i = 0; i < want.size(); i++) EXPECT_EQ(t.widgets[i], want[i]) << i;
}

TEST_F(Layout, HugeAndNaNCellSizesSaturate) {
    Table t;
    Widget* a = sized(nullptr, "a", 1e30f, 1);
    Widget* b = sized(nullptr, "b", 1e30f, NAN);
    Widget* c = sized(nullptr, "c", 5, 5);
    t.td(a, 1, 1, -1, -1);
    t.td(b, 1, 1, -1, -1);
    t.td(c, 1, 1, -1, -1);
    t.resize();
    EXPECT_EQ(b->_rect.x, (float)INT_MAX);
    EXPECT_EQ(c->_rect.x, (float)INT_MAX);
    EXPECT_EQ(t.rect.w, (float)INT_MAX);
}

TEST_F(Layout, BoxAlignsItsChildInTheFreeSpace) {
    const int U = STYLE_UNSET;
    struct Case {
        int align, valign;
        float x, y;
    };
    // Free space 30 x 21.
    const Case cases[] = {
        {-1, -1, 0, 0}, {0, 0, 15, 10}, {1, 1, 30, 21}, {-1, 1, 0, 21}, {U, U, 15, 10}, {2, -1, 45, 0},
    };
    for (const Case& c : cases) {
        Widget* child = sized(nullptr, "c", 20, 9);
        Box b(child);
        b.style.width = 50;
        b.style.height = 30;
        b.style.align = c.align;
        b.style.valign = c.valign;
        b.style.loop();
        b.resize();
        EXPECT_EQ(b.rect.w, 50);
        EXPECT_EQ(b.rect.h, 30);
        EXPECT_EQ(child->_rect.x, c.x) << c.align;
        EXPECT_EQ(child->_rect.y, c.y) << c.valign;
    }
    // An odd pixel of free space goes after the child.
    Widget* child = sized(nullptr, "c", 20, 9);
    Box b(child);
    b.style.width = 25;
    b.style.loop();
    b.resize();
    EXPECT_EQ(child->_rect.x, 2);
}

TEST_F(Layout, GrowingAndClippingBoxes) {
    struct Case {
        int clip;
        float width, margin;
        float content_w, child_x;
    };
    const Case cases[] = {
        {STYLE_UNSET, 50, 0, 80, 0},  // grows to the child
        {0, 50, 0, 80, 0},
        {1, 50, 0, 50, -15},  // exactly its style size, the child centred past both edges
        {1, 100, 5, 90, 5},   // the decoration is inside the style size
        {1, 0, 0, 80, 0},     // no style size: the child's
        {STYLE_UNSET, 100, 5, 90, 5},
    };
    for (const Case& c : cases) {
        Widget* child = sized(nullptr, "c", 80, 10);
        Box b(child);
        b.style.clip = c.clip;
        b.style.width = c.width;
        b.style.set_margin((int)c.margin, (int)c.margin, 0, (int)c.margin);
        b.style.loop();
        b.resize();
        EXPECT_EQ(b.rect.w, c.content_w) << c.clip << " " << c.width;
        EXPECT_EQ(child->_rect.x, c.child_x) << c.clip << " " << c.width;
    }
}

TEST_F(Layout, AClippingBoxClipsItsContentWhilePainting) {
    GuiDrawRecorder rec;
    Box b(sized(&log, "c", 80, 10));
    b.style.clip = 1;
    b.style.width = 50;
    b.style.loop();
    b.resize();
    b.paint();
    EXPECT_EQ(rec.lines, (std::vector<std::string>{"clip 0 0 50 10", "translate -15 0", "translate 0 0",
                                                  "translate -0 -0", "translate 15 -0", "unclip"}));
    rec.clear();
    b.style.data[STYLE_CUR].clip = 0;
    b.paint();
    EXPECT_EQ(rec.only("clip"), std::vector<std::string>{});
}

TEST_F(Layout, ABoxWithoutChildLaysOutEmpty) {
    Container owner;
    Widget* taken = new Widget();
    owner.add(taken, 0, 0);
    std::string e = capture_stderr([&] {
        Box refused(taken);
        refused.style.width = 10;
        refused.style.loop();
        refused.resize();
        refused.resize(30, 30);
        EXPECT_EQ(refused.rect.w, 30);
        EXPECT_TRUE(refused.widgets.empty());
        Box null_child(nullptr);
        null_child.resize();
        EXPECT_EQ(null_child.rect.w, 0);
    });
    EXPECT_EQ(e, "gui add: refused a widget that already has a parent\ngui add: refused a null widget\n");
}

TEST_F(Layout, LabelSizing) {
    struct Case {
        const char* text;
        float width, height;  // style; STYLE_UNSET: none
        float w, h;
    };
    const float U = STYLE_UNSET;
    const Case cases[] = {
        {"ab", U, U, 21, 10},          // the font layer's ceil(20 + 0.01), not rounded again
        {"a\nabc", U, U, 31, 20},      // the widest line, every line
        {"", U, U, 1, 10},
        {"aaaa bbbb cccc dddd", 100, U, 100, 20},  // wrapped at 100
        {"ab", U, 70, 21, 10},         // a style height has no effect
        {"ab", 100.5f, U, 100.5f, 10},
    };
    for (const Case& c : cases) {
        Label l(QelGuiFont(fid), c.text);
        l.style.width = c.width;
        l.style.height = c.height;
        l.style.loop();
        l.resize();
        EXPECT_EQ(l.rect.w, c.w) << c.text;
        EXPECT_EQ(l.rect.h, c.h) << c.text;
        EXPECT_EQ(l.get_value_s(), nullptr);
        EXPECT_EQ(l.useful, 0);
    }
    // A new text counts from the next layout pass on.
    Label l(QelGuiFont(fid), "ab");
    l.resize();
    l.set_value_s("abcd");
    EXPECT_EQ(l.txt, "abcd");
    EXPECT_EQ(l.rect.w, 21);
    l.resize();
    EXPECT_EQ(l.rect.w, 41);
    // No text is the empty text.
    Label n(QelGuiFont(fid), nullptr);
    EXPECT_EQ(n.txt, "");
    n.set_value_s(nullptr);
    EXPECT_EQ(n.txt, "");
}

TEST_F(Layout, LabelDrawsInItsColourAndLeavesWhite) {
    GuiDrawRecorder rec;
    struct Case {
        int color, alpha, align;
        float width;
        std::vector<std::string> lines;
    };
    const int U = STYLE_UNSET;
    std::string f = std::to_string(fid);
    const Case cases[] = {
        {U, U, U, (float)U, {"color 255 255 255 255", "text " + f + " 'ab' 0 0 21 -1", "color 255 255 255 255"}},
        {0xff0000, 128, U, (float)U, {"color 128 0 0 128", "text " + f + " 'ab' 0 0 21 -1", "color 255 255 255 255"}},
        {0x00ff80, 0x1ff, 1, 100, {"color 0 255 128 255", "text " + f + " 'ab' 0 0 100 1", "color 255 255 255 255"}},
    };
    for (const Case& c : cases) {
        Label l(QelGuiFont(fid), "ab");
        l.style.color = c.color;
        l.style.alpha = c.alpha;
        l.style.align = c.align;
        l.style.width = c.width;
        l.style.loop();
        l.resize();
        rec.clear();
        l.paint();
        EXPECT_EQ(rec.lines, c.lines) << c.color;
    }
}

TEST_F(Layout, LabelsHandleEventsAsWidgets) {
    Label l(QelGuiFont(fid), "x");
    l.onclick = var("hi");
    Event e(EVT_CLICK);
    EXPECT_EQ(l.event(&e).__str__(), "hi");
    Event f(EVT_ENTER);
    l.event(&f);
    EXPECT_EQ(l.style.hover, 1);
}
