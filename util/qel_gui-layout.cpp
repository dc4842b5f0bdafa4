// qel_gui-layout: the grid layout of Table, the alignment layout of Box, and
// Label, the widget that shows text.
//
// Column widths and row heights are ints; sums of them are formed in 64 bits
// and saturate, and every float reaching an int saturates, so no size a style
// or a child gives overflows.
#include "qel_gui.h"

#include <algorithm>

#include "qel_util.h"

int t_max(int a, int b) { return a > b ? a : b; }

int t_sum(int* v, int a, int b) {
    long long s = 0;
    for (int i = a; i < b; i++) s += v[i];
    return _gui_clamp(s);
}

// The remainder goes one unit each to the indexes that are smallest modulo b.
int t_div(int a, int b, int c) {
    if (b <= 0) return 0;
    int q = a / b, m = a % b;
    return q + (m != 0 && c % b < m ? 1 : 0);
}

bool t_sort_by_colspan(Widget* a, Widget* b) { return a->b_colspan < b->b_colspan; }
bool t_sort_by_rowspan(Widget* a, Widget* b) { return a->b_rowspan < b->b_rowspan; }

static float _layout_style_size(float v) { return v != STYLE_UNSET ? v : 0; }

Table::Table() : row(-1), col(0) {
    me = new Widget();
    add(me, 0, 0);
    me->ignore = 1;
}

void Table::tr() {
    row = _gui_clamp((long long)row + 1);
    col = 0;
}

void Table::td(Widget* w, int colspan, int rowspan, int col, int row) {
    if (!_add_ok(w)) return;
    if (col != -1) this->col = t_max(0, col);
    if (row != -1) this->row = row;
    this->row = t_max(0, this->row);
    colspan = t_max(1, colspan);
    rowspan = t_max(1, rowspan);
    w->b_col = this->col;
    w->b_row = this->row;
    w->b_colspan = colspan;
    w->b_rowspan = rowspan;
    this->col = _gui_clamp((long long)this->col + colspan);
    _add(w, 0, 0);
}

// A child's cell along one axis, read defensively: the cell fields are public
// and a start below 0 or a span below 1 would index outside the grid.
struct _LayoutSpan {
    int start, span;
};

static _LayoutSpan _layout_cols(const Widget* w) { return {t_max(0, w->b_col), t_max(1, w->b_colspan)}; }
static _LayoutSpan _layout_rows(const Widget* w) { return {t_max(0, w->b_row), t_max(1, w->b_rowspan)}; }

// Grows the tracks under each child's span by what the span still lacks.
template <class Span>
static void _layout_fit(std::vector<Widget*>& widgets, std::vector<int>& track, Span span, bool width) {
    for (Widget* c : widgets) {
        _LayoutSpan s = span(c);
        int v = t_sum(track.data(), s.start, s.start + s.span);
        float need = width ? c->_rect.w : c->_rect.h;
        if ((double)v >= need) continue;
        int diff = myint((double)need - v);
        for (int j = s.start; j < s.start + s.span; j++)
            track[j] = _gui_clamp((long long)track[j] + t_div(diff, s.span, j));
    }
}

// Start of each track, and the total.
static int _layout_prefix(const std::vector<int>& track, std::vector<int>& pos) {
    long long sum = 0;
    for (size_t j = 0; j < track.size(); j++) {
        pos[j] = _gui_clamp(sum);
        sum += track[j];
    }
    return _gui_clamp(sum);
}

void Table::resize() {
    Container::resize();
    int tcols = 1, trows = 1;
    for (Widget* c : widgets) {
        _LayoutSpan cs = _layout_cols(c), rs = _layout_rows(c);
        tcols = t_max(tcols, _gui_clamp((long long)cs.start + cs.span));
        trows = t_max(trows, _gui_clamp((long long)rs.start + rs.span));
    }
    const StyleData& s = style.data[STYLE_CUR];
    me->b_col = 0;
    me->b_row = 0;
    me->b_colspan = tcols;
    me->b_rowspan = trows;
    me->_rect = MyRect(0, 0, _layout_style_size(s.width), _layout_style_size(s.height));

    std::vector<int> cols(tcols, 0), rows(trows, 0);
    // Narrow cells first, so a spanning cell only adds what its tracks
    // still lack; stable, so equal spans keep their order.
    std::stable_sort(widgets.begin(), widgets.end(), t_sort_by_colspan);
    _layout_fit(widgets, cols, _layout_cols, true);
    std::stable_sort(widgets.begin(), widgets.end(), t_sort_by_rowspan);
    _layout_fit(widgets, rows, _layout_rows, false);

    std::vector<int> cpos(tcols), rpos(trows);
    int ww = _layout_prefix(cols, cpos), hh = _layout_prefix(rows, rpos);
    for (Widget* c : widgets) {
        _LayoutSpan cs = _layout_cols(c), rs = _layout_rows(c);
        c->_rect.x = (float)cpos[cs.start];
        c->_rect.y = (float)rpos[rs.start];
        int w2 = t_sum(cols.data(), cs.start, cs.start + cs.span);
        int h2 = t_sum(rows.data(), rs.start, rs.start + rs.span);
        if (c->_rect.w != w2 || c->_rect.h != h2) c->_resize(w2, h2);
    }
    rect.w = (float)ww;
    rect.h = (float)hh;
}

Box::Box(Widget* w) { add(w, 0, 0); }

// A box whose child was refused has none; it lays out as if the child were
// empty.
static Widget* _layout_child(Box* b) { return b->widgets.empty() ? nullptr : b->widgets[0]; }

void Box::resize() {
    Container::resize();
    const StyleData& s = style.data[STYLE_CUR];
    double L = _gui_decoration(this, STYLE_LEFT), R = _gui_decoration(this, STYLE_RIGHT);
    double T = _gui_decoration(this, STYLE_TOP), B = _gui_decoration(this, STYLE_BOTTOM);
    double W = _layout_style_size(s.width), H = _layout_style_size(s.height);
    Widget* c = _layout_child(this);
    float cw = c ? c->_rect.w : 0, ch = c ? c->_rect.h : 0;
    if (s.clip == STYLE_UNSET || s.clip == 0) {
        // Growing: at least the child, and the outer size at least the style's.
        rect.w = (float)t_max(myint(cw), myint(W - (L + R)));
        rect.h = (float)t_max(myint(ch), myint(H - (T + B)));
    } else {
        // Clipping: exactly the style's outer size when one is given.
        rect.w = myint(W) != 0 ? (float)(W - (L + R)) : cw;
        rect.h = myint(H) != 0 ? (float)(H - (T + B)) : ch;
    }
    _align();
}

void Box::resize(int w, int h) {
    Widget::resize(w, h);
    rect.w = (float)w;
    rect.h = (float)h;
    _align();
}

// The free space times (align + 1) / 2: -1 start, 0 centre (an odd pixel
// after the child), 1 end.
void Box::_align() {
    Widget* c = _layout_child(this);
    if (!c) return;
    const StyleData& s = style.data[STYLE_CUR];
    long long dx = myint((double)rect.w - c->_rect.w), dy = myint((double)rect.h - c->_rect.h);
    long long fa = s.align != STYLE_UNSET ? (long long)s.align + 1 : 1;
    long long fv = s.valign != STYLE_UNSET ? (long long)s.valign + 1 : 1;
    c->_rect.x = (float)_gui_clamp(fa * dx / 2);
    c->_rect.y = (float)_gui_clamp(fv * dy / 2);
}

void Box::paint() {
    int clip = style.data[STYLE_CUR].clip;
    if (clip == STYLE_UNSET || clip == 0) {
        Container::paint();
        return;
    }
    _enable_clip();
    Container::paint();
    _disable_clip();
}

Label::Label(QelGuiFont f, const char* s) : fnt(f), txt(s ? s : "") {}

void Label::set_value_s(const char* s) { txt = s ? s : ""; }

var Label::event(Event* e) { return Widget::event(e); }

// As wide as the text (or the style width), as high as the text wrapped to
// that width; a style height plays no part.
void Label::resize() {
    const StyleData& s = style.data[STYLE_CUR];
    rect.w = s.width != STYLE_UNSET ? s.width : (float)fnt.get_width(txt.c_str(), 0);
    rect.h = (float)fnt.get_height(txt.c_str(), myint(rect.w));
}

// The drawing colour is left opaque white.
void Label::paint() {
    const StyleData& s = style.data[STYLE_CUR];
    int c = s.color != STYLE_UNSET ? s.color : 0xffffff;
    int a = s.alpha != STYLE_UNSET ? s.alpha : 255;
    guiColor4ub(c >> 16 & 255, c >> 8 & 255, c & 255, a & 255);
    fnt.draw(txt.c_str(), 0, 0, myint(rect.w), s.align != STYLE_UNSET ? s.align : -1);
    guiColor4ub(255, 255, 255, 255);
}
