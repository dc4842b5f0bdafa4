// qel_gui: the widget base (geometry, hover and focus, keyboard navigation,
// default event handling) and the container (children, dispatch, auto-focus,
// bounding-box layout, painting).
#include "qel_gui.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "qel_util.h"

// An action value replaces the result unless it is none.
static void _gui_collect(var& r, const var& v) {
    if (v.__type__() != VAR_NONE) r = v;
}

int MyRect::get_left() const { return myint(x); }
int MyRect::get_top() const { return myint(y); }
int MyRect::get_right() const { return myint((double)x + w); }
int MyRect::get_bottom() const { return myint((double)y + h); }
int MyRect::get_centerx() const { return myint((double)x + w / 2.0); }
int MyRect::get_centery() const { return myint((double)y + h / 2.0); }

Widget::Widget()
    : _type(0), parent(nullptr), next(nullptr), rect(0, 0, 0, 0), _rect(0, 0, 0, 0), view(0, 0, 0, 0),
      ignore(0), useful(0), b_col(0), b_row(0), b_colspan(1), b_rowspan(1), b_x(0), b_y(0) {}

Widget::~Widget() {}

Widget* Widget::find(const char* n) { return n && name == n ? this : nullptr; }
const char* Widget::get_value_s() { return nullptr; }
void Widget::set_value_s(const char*) {}
int Widget::get_value_i() { return 0; }
void Widget::set_value_i(int) {}
var Widget::get_value() { return var(); }
void Widget::set_value(var) {}
Widget* Widget::find_hover() { return nullptr; }
std::vector<Widget*> Widget::_list_descendants() { return {}; }
bool Widget::_is_focus() { return style.focus != 0; }
void Widget::loop() {}
void Widget::paint() {}

void Widget::resize() {
    const StyleData& s = style.data[STYLE_CUR];
    rect.w = s.width != STYLE_UNSET ? s.width : 0;
    rect.h = s.height != STYLE_UNSET ? s.height : 0;
}

void Widget::resize(int, int) { resize(); }
var Widget::_event(Event* e) { return Theme::event(this, e); }
void Widget::_paint() { Theme::paint(this); }
void Widget::_resize() { Theme::resize(this); }
void Widget::_resize(int w, int h) { Theme::resize(this, w, h); }

Widget* Widget::_find_top() {
    Widget* w = this;
    while (w->parent) w = w->parent;
    return w;
}

// Each level's offsets are added and truncated on their own, so fractional
// offsets are lost level by level.
MyRect Widget::get_abs_rect(bool inc_style) {
    int x = 0, y = 0;
    for (Widget* w = this; w; w = w->parent) {
        x = myint((double)x + w->rect.x);
        y = myint((double)y + w->rect.y);
        x = myint((double)x + w->_rect.x);
        y = myint((double)y + w->_rect.y);
        if (w->parent) {
            x = myint((double)x - w->parent->view.x);
            y = myint((double)y - w->parent->view.y);
        }
    }
    if (!inc_style) return MyRect((float)x, (float)y, rect.w, rect.h);
    return MyRect((float)x - rect.x, (float)y - rect.y, _rect.w, _rect.h);
}

void Widget::_enable_clip() { gui_draw()->clip(0, 0, rect.w, rect.h); }
void Widget::_disable_clip() { gui_draw()->unclip(); }

// The old path is cleared through the root's own handler (no sound, no
// coordinate change), then this widget and every ancestor get the new state
// through _event, innermost first, so the outermost on* value wins.
static var _gui_take(Widget* self, int flag, int clear_type, int set_type, bool focus) {
    if (flag) return var();
    var r;
    Event e(EVT_NONE);
    e.type = clear_type;
    _gui_collect(r, self->_find_top()->event(&e));
    for (Widget* w = self; w; w = w->parent) {
        e.type = set_type;
        _gui_collect(r, w->_event(&e));
        if (w->parent) (focus ? w->parent->focus : w->parent->hover) = w;
    }
    return r;
}

var Widget::_focus() { return _gui_take(this, style.focus, EVT_BLUR, EVT_FOCUS, true); }
var Widget::_hover() { return _gui_take(this, style.hover, EVT_EXIT, EVT_ENTER, false); }

var Widget::active() {
    var r;
    _gui_collect(r, _hover());
    _gui_collect(r, _focus());
    return r;
}

// A hover or focus flag changed, the state it makes, and the action value.
static var _gui_flag(StyleSheet& s, int& flag, int v, const var& r) {
    flag = v;
    s.restate();
    return r;
}

var Widget::event(Event* e) {
    if (e->type == EVT_KEYDOWN && e->v == KEY_TAB && next) next->_focus();
    if (e->type == EVT_KEYDOWN) {
        switch (e->v) {
        case KEY_UP: return _nav(0, -1);
        case KEY_RIGHT: return _nav(1, 0);
        case KEY_DOWN: return _nav(0, 1);
        case KEY_LEFT: return _nav(-1, 0);
        }
    }
    switch (e->type) {
    case EVT_CLICK: return onclick;
    case EVT_MOTION: return onmove;
    case EVT_DOWN: return ondown;
    case EVT_UP: return onup;
    case EVT_FOCUS: return _gui_flag(style, style.focus, 1, onfocus);
    case EVT_ENTER: return _gui_flag(style, style.hover, 1, onenter);
    case EVT_EXIT: return _gui_flag(style, style.hover, 0, onexit);
    case EVT_BLUR: return _gui_flag(style, style.focus, 0, var());
    }
    return var();
}

// |p - q| of two getter values, formed without overflow.
static float _gui_gap(int p, int q) { return myabs((float)((long long)p - q)); }

// The nearest focusable widget in the direction, by the distance between the
// boxes (the offset across the motion counting twice), ties going to the
// earlier widget in pre-order. Ranked on (distance, index) pairs, so no
// layout is too large to compare.
var Widget::_nav(int dx, int dy) {
    if (!_is_focus() || !useful) return var();
    std::vector<Widget*> list = _find_top()->_list_descendants();
    MyRect a = get_abs_rect(true);
    long long best_dist = 0;
    Widget* best = nullptr;
    unsigned long count = 0;
    for (size_t i = 0; i < list.size(); i++) {
        Widget* w = list[i];
        if (w == this || w->style.focus || w->ignore || !w->useful) continue;
        MyRect b = w->get_abs_rect(true);
        if (dy < 0 && !(b.get_centery() < a.get_centery())) continue;
        if (dx > 0 && !(b.get_centerx() > a.get_centerx())) continue;
        if (dy > 0 && !(b.get_centery() > a.get_centery())) continue;
        if (dx < 0 && !(b.get_centerx() < a.get_centerx())) continue;
        float along, across;
        if (dx > 0) along = _gui_gap(b.get_left(), a.get_right());
        else if (dx < 0) along = _gui_gap(b.get_right(), a.get_left());
        else if (dy > 0) along = _gui_gap(b.get_top(), a.get_bottom());
        else along = _gui_gap(b.get_bottom(), a.get_top());
        if (dx != 0) across = _gui_gap(b.get_centery(), a.get_centery());
        else across = _gui_gap(b.get_centerx(), a.get_centerx());
        double p = along * 1.0, q = across * 2.0;
        long long dist = (long long)std::sqrt(p * p + q * q);
        count++;
        if (!best || dist < best_dist) {
            best = w;
            best_dist = dist;
        }
    }
    fprintf(stderr, "res.size: %lu\n", count);
    if (!best) return var();
    var r;
    _gui_collect(r, best->_hover());
    _gui_collect(r, best->_focus());
    return r;
}

Container::Container() : hover(nullptr), focus(nullptr), first(0) {}

Container::~Container() { _container_destroy(); }

void Container::operator=(const Container& other) {
    Widget::operator=(other);
    _container_destroy();
    hover = nullptr;
    focus = nullptr;
    first = 0;
}

void Container::_container_destroy() {
    for (Widget* w : widgets) delete w;
    widgets.clear();
}

bool Container::_add_ok(Widget* w) {
    if (!w) {
        fprintf(stderr, "gui add: refused a null widget\n");
        return false;
    }
    for (Widget* a = this; a; a = a->parent) {
        if (a == w) {
            fprintf(stderr, "gui add: refused a widget into itself or its own descendant\n");
            return false;
        }
    }
    if (w->parent) {
        fprintf(stderr, "gui add: refused a widget that already has a parent\n");
        return false;
    }
    return true;
}

void Container::_add(Widget* w, int x, int y) {
    w->_rect.x = (float)x;
    w->_rect.y = (float)y;
    widgets.push_back(w);
    w->parent = this;
    w->style.loop();
    w->resize();
}

void Container::add(Widget* w, int x, int y) {
    if (_add_ok(w)) _add(w, x, y);
}

Widget* Container::find(const char* n) {
    for (Widget* w : widgets) {
        Widget* f = w->find(n);
        if (f) return f;
    }
    return Widget::find(n);
}

Widget* Container::find_hover() {
    if (!hover) return nullptr;
    Widget* h = hover->find_hover();
    return h ? h : hover;
}

std::vector<Widget*> Container::_list_descendants() {
    std::vector<Widget*> r;
    for (Widget* w : widgets) {
        r.push_back(w);
        std::vector<Widget*> d = w->_list_descendants();
        r.insert(r.end(), d.begin(), d.end());
    }
    return r;
}

bool Container::_is_focus() { return focus ? false : Widget::_is_focus(); }

void Container::loop() {
    if (!parent && !focus) _find_focus();
    // The count is taken first: a child added meanwhile waits a frame.
    size_t n = widgets.size();
    for (size_t i = 0; i < n && i < widgets.size(); i++) widgets[i]->loop();
}

void Container::_find_focus() {
    if (first) return;
    first++;
    for (Widget* w : _find_top()->_list_descendants()) {
        if (w->ignore || !w->useful) continue;
        w->_hover();
        w->_focus();
        break;
    }
    first--;
}

// Whether the point lies in the outer box: left and top edges in, right and
// bottom edges out.
static bool _gui_hit(const Widget* w, float x, float y) {
    const MyRect& r = w->_rect;
    return r.x <= x && x < r.x + r.w && r.y <= y && y < r.y + r.h;
}

// The topmost child under the point that may be hit (and focused, when asked).
static Widget* _gui_child_at(const std::vector<Widget*>& widgets, float x, float y, bool focusable) {
    for (size_t i = widgets.size(); i-- > 0;) {
        Widget* w = widgets[i];
        if (w->ignore || (focusable && !w->useful)) continue;
        if (_gui_hit(w, x, y)) return w;
    }
    return nullptr;
}

// The event moved into the child's outer-box coordinates.
static Event _gui_local(const Event* e, const Widget* c) {
    Event l = *e;
    l.x -= c->_rect.x;
    l.y -= c->_rect.y;
    return l;
}

var Container::event(Event* e) {
    var r;
    Event s(EVT_NONE);
    int type = e->type;
    _gui_collect(r, Widget::event(e));
    if (type == EVT_CLICK || type == EVT_ENTER || type == EVT_FOCUS) return r;
    if (type == EVT_ORIENT) {
        for (size_t i = widgets.size(); i-- > 0;)
            if (!widgets[i]->ignore) _gui_collect(r, widgets[i]->_event(e));
        return r;
    }

    // Hover follows the pointer, except while a button is held in motion.
    // Only a root, or a container that is itself hovered, has a child under
    // the pointer: a focused container reached by a release while another
    // widget is hovered would otherwise start a second hover path, whose
    // flags no later move of the hover could clear.
    Widget* prev = hover;
    Widget* cur = hover;
    if ((type == EVT_MOTION && e->b == 0) || type == EVT_DOWN || type == EVT_UP)
        cur = !parent || style.hover ? _gui_child_at(widgets, e->x, e->y, false) : nullptr;
    if (type == EVT_EXIT) cur = nullptr;
    if (cur != prev) {
        if (prev) {
            s.type = EVT_EXIT;
            _gui_collect(r, prev->_event(&s));
        }
        if (cur) {
            s.type = EVT_ENTER;
            _gui_collect(r, cur->_event(&s));
        }
        hover = cur;
    }
    if (type == EVT_EXIT) return r;

    // A press focuses the topmost focusable child under it, which need not
    // be the child that receives the press.
    int down_v = 0;
    if (type == EVT_DOWN) {
        Widget* f = _gui_child_at(widgets, e->x, e->y, true);
        if (f && f != focus) {
            down_v = EVT_FOCUS;
            _gui_collect(r, f->_focus());
        }
    }
    if (type == EVT_BLUR) {
        if (focus) {
            s.type = EVT_BLUR;
            _gui_collect(r, focus->_event(&s));
        }
        focus = nullptr;
        return r;
    }
    if (hover && (type == EVT_DOWN || type == EVT_MOTION || type == EVT_WHEEL)) {
        Event l = _gui_local(e, hover);
        if (type == EVT_DOWN) l.v = down_v;
        _gui_collect(r, hover->_event(&l));
        return r;
    }

    // Everything else goes to the focused child.
    if (!focus) return r;
    Widget* c = focus;
    Event l = _gui_local(e, c);
    _gui_collect(r, c->_event(&l));
    if (hover == focus && type == EVT_UP) {
        Event k = _gui_local(e, c);
        k.type = EVT_CLICK;
        _gui_collect(r, c->_event(&k));
    }
    // A released Space or Return clicks the focused child at its centre; v
    // says the click came from a key.
    if (type == EVT_KEYUP && (e->v == KEY_SPACE || e->v == KEY_RETURN)) {
        Event k = *e;
        k.type = EVT_CLICK;
        k.v = EVT_KEYUP;
        k.x = c->_rect.w / 2;
        k.y = c->_rect.h / 2;
        _gui_collect(r, c->_event(&k));
    }
    return r;
}

void Container::paint() {
    GuiDraw* d = gui_draw();
    size_t n = widgets.size();
    for (size_t i = 0; i < n && i < widgets.size(); i++) {
        Widget* c = widgets[i];
        float x = c->_rect.x, y = c->_rect.y;
        if (!d->visible(GfxRect(x, y, c->_rect.w, c->_rect.h))) continue;
        d->translate(x, y);
        c->_paint();
        d->translate(-x, -y);
    }
}

// The content size is the bounding box of the children, measured from the
// content origin; the container's own style size plays no part.
void Container::resize() {
    unsigned ww = 0, hh = 0;
    for (Widget* c : widgets) {
        c->style.loop();
        c->_resize();
        ww = (unsigned)myint(mymax((float)ww, c->_rect.x + c->_rect.w));
        hh = (unsigned)myint(mymax((float)hh, c->_rect.y + c->_rect.h));
    }
    rect.w = (float)ww;
    rect.h = (float)hh;
}
