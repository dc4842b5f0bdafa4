// qel_gui-input: TextInput, the editable text field: the one edit path with
// its length limit, byte filter and undo history; caret and selection moved
// by keys and the pointer; the clipboard; scrolling that keeps the caret in
// view; painting of the selection, the text and the caret.
//
// The caret and the selection are byte indexes into `txt`. The display copy
// `txt2` always has as many bytes as `txt`, so an index means the same in
// both; layout, hit tests and painting use `txt2`, sizing uses `txt`.
#include "qel_gui.h"

#include <climits>
#include <cstdio>

#include "qel_driver.h"
#include "qel_util.h"

// The history keeps this many steps; older ones are forgotten.
static const int _INPUT_UNDO_MAX = 255;

// Modifier bits of a key event: Shift, and Ctrl, Alt or GUI.
static const int _INPUT_SHIFT = 1, _INPUT_COMMAND = 0xE;

TextInput::TextInput(QelGuiFont f, const char* s, unsigned int maxlen)
    : fnt(f), txt(s ? s : ""), undo_n(0), _pos(0), pos(0), cursor_w(2), cx(-1), passwd(0), reveal(0), wrap(0) {
    // The limit is compared as floats, as the field always did; a sum that
    // leaves the unsigned range means no limit, and a text too long for a
    // float to count exactly still fits its own limit.
    float a = (float)maxlen, b = (float)txt.size();
    float m = a > b ? a : b;
    this->maxlen = m >= 4294967296.0f ? UINT_MAX : (unsigned int)m;
    if (this->maxlen < txt.size()) this->maxlen = txt.size() > UINT_MAX ? UINT_MAX : (unsigned int)txt.size();
    useful = 1;
    view.x = view.y = 0;
    _mktxt2();
    style.loop();
    resize();
    _adjust(false, false);
}

const char* TextInput::get_value_s() { return txt.c_str(); }

// The caret ends after the new text; the view follows it, so a field that
// was scrolled shows its new caret.
void TextInput::set_value_s(const char* s) {
    _change(0, (int)txt.size(), s ? s : "");
    _adjust(true, true);
}

var TextInput::get_value() { return var(txt); }

void TextInput::set_value(var v) {
    _change(0, (int)txt.size(), v.__str__());
    _adjust(true, true);
}

// Lengths are counted in 64 bits: a limit above the int range is no limit,
// and no sum of a length and an index can wrap.
void TextInput::_change(int p, int n, std::string b) {
    if (p < 0 || n < 0) return;
    long long size = (long long)txt.size();
    if ((long long)p + n > size) {
        n = (int)(size - p);
        if (n < 0) return;
    }
    long long limit = maxlen > (unsigned)INT_MAX ? INT_MAX : (long long)maxlen;
    if (size - n + (long long)b.size() > limit) {
        long long keep = limit - (size - n);
        if (keep < 0) return;
        b.resize((size_t)keep);
    }
    b = _filter(b);
    TextInputChange r(pos, p, txt.substr((size_t)p, (size_t)n), b);
    r.print("_change", undo_n);
    _apply(p, n, b);
    pos = _pos = p + (int)b.size();
    if (undo_n < (int)undo.size()) undo.erase(undo.begin() + undo_n, undo.end());
    undo.push_back(r);
    undo_n = (int)undo.size();
    if (undo_n > _INPUT_UNDO_MAX) {
        undo.erase(undo.begin());
        undo_n--;
    }
}

// A range outside the text is cut to it: the history always matches the
// text, but the fields are public.
void TextInput::_apply(int p, int n, std::string v) {
    size_t size = txt.size();
    size_t at = p < 0 ? 0 : (size_t)p > size ? size : (size_t)p;
    size_t len = n < 0 ? 0 : (size_t)n > size - at ? size - at : (size_t)n;
    txt.replace(at, len, v);
    _mktxt2();
}

void TextInput::_undo() {
    if (undo_n <= 0 || undo_n > (int)undo.size()) return;
    undo_n--;
    TextInputChange& r = undo[undo_n];
    r.print("_undo", undo_n);
    _apply(r.pos, (int)r.b.size(), r.a);
    pos = _pos = r.p;
}

void TextInput::_redo() {
    if (undo_n < 0 || undo_n >= (int)undo.size()) return;
    TextInputChange& r = undo[undo_n];
    r.print("_redo", undo_n);
    _apply(r.pos, (int)r.a.size(), r.b);
    pos = _pos = r.pos + (int)r.b.size();
    undo_n++;
}

// Printable ASCII only, byte for byte (unsigned, so bytes from 128 up are
// caught); a line feed survives where the field wraps.
std::string TextInput::_filter(std::string ct) {
    for (char& ch : ct) {
        unsigned char c = (unsigned char)ch;
        if (c == '\n' && !wrap) c = ' ';
        if ((c < 32 && c != '\n') || c >= 127) c = '?';
        ch = (char)c;
    }
    return ct;
}

void TextInput::_mktxt2() {
    txt2 = txt;
    if (!passwd) return;
    txt2.assign(txt.size(), '*');
    if (reveal && !txt.empty()) txt2.back() = txt.back();
}

// The width the text wraps at: the content less the caret, when wrapping.
static int _input_ww(const TextInput& t) { return t.wrap ? myint((double)t.rect.w - t.cursor_w) : 0; }

void TextInput::_click(int x, int y, bool both) {
    pos = fnt.cnear(txt2.c_str(), x, y, _input_ww(*this), -1);
    if (both) _pos = pos;
}

// The caret's rectangle in text coordinates, cursor_w wide.
static GfxRect _input_caret(TextInput& t) {
    GfxRect r = t.fnt.crect(t.txt2.c_str(), t.pos, _input_ww(t), -1);
    r.w = (float)t.cursor_w;
    return r;
}

void TextInput::_adjust(bool _cx, bool cursor) {
    if (_cx) cx = -1;
    int ww = _input_ww(*this);
    int w = fnt.get_width(txt2.c_str(), ww), h = fnt.get_height(txt2.c_str(), ww);
    if (cursor) {
        GfxRect r = _input_caret(*this);
        if (view.x > r.x) view.x = r.x;
        if ((double)r.x + r.w > (double)view.x + rect.w) view.x = (float)((double)r.x + r.w - rect.w);
        if (view.y > r.y) view.y = r.y;
        if ((double)r.y + r.h > (double)view.y + rect.h) view.y = (float)((double)r.y + r.h - rect.h);
    }
    view.x = (float)_max(0, _min(myint((double)w - rect.w + cursor_w), myint(view.x)));
    view.y = (float)_max(0, _min(myint((double)h - rect.h), myint(view.y)));
}

// Measures the value, not its display copy; an empty field is square.
void TextInput::resize() {
    const StyleData& s = style.data[STYLE_CUR];
    int ww2 = wrap ? myint(rect.w) : 0;
    rect.h = s.height != STYLE_UNSET ? s.height : (float)fnt.get_height(txt.c_str(), ww2);
    rect.w = s.width != STYLE_UNSET ? s.width : (float)myint(mymax(rect.h, (float)fnt.get_width(txt.c_str(), 0)));
}

// The text takes the current colour, which decoration and fills leave white.
void TextInput::paint() {
    GuiDraw* d = gui_draw();
    int ww = _input_ww(*this);
    _mktxt2();
    const char* s = txt2.c_str();
    _enable_clip();
    float vx = view.x, vy = view.y;
    d->translate(-vx, -vy);
    if (style.focus) {
        GfxRect r = _input_caret(*this);
        if (_pos != pos) {
            GfxRect a = fnt.crect(s, _min(_pos, pos), ww, -1);
            GfxRect b = fnt.crect(s, _max(_pos, pos), ww, -1);
            int ax = myint(a.x), ay = myint(a.y), ah = myint(a.h), bx = myint(b.x), by = myint(b.y);
            if (a.y == b.y) {
                d->fill(0x55AAFF, ax, ay, bx - ax, ah);
            } else {
                d->fill(0x55AAFF, ax, ay, ww - ax, ah);
                d->fill(0x55AAFF, 0, ay + ah, ww, by - (ay + ah));
                d->fill(0x55AAFF, 0, by, bx, myint(b.h));
            }
        }
        fnt.draw(s, 0, 0, ww, -1);
        d->fill(0xFFFFFF, myint(r.x), myint(r.y), myint(r.w), myint(r.h));
    } else {
        fnt.draw(s, 0, 0, ww, -1);
    }
    d->translate(vx, vy);
    _disable_clip();
}

// The key table: editing, caret moves, history and clipboard. Returns the
// action value; rows that move the caret or change the text end by keeping
// the caret in view.
static var _input_key(TextInput& t, Event* e) {
    if (e->v == KEY_RETURN && !t.wrap) {
        driver_keyboard_hide();
        return t.onchange;
    }
    t.reveal = 0;
    bool shift = (e->b & _INPUT_SHIFT) != 0, command = (e->b & _INPUT_COMMAND) != 0;
    int lo = t._min(t._pos, t.pos), len = t._abs(t._pos - t.pos);
    int size = (int)t.txt.size(), ww = _input_ww(t);
    int c = e->c;
    switch (e->v) {
    case KEY_TAB: return t.Widget::event(e);
    case KEY_BACKSPACE:
        if (len) t._change(lo, len, "");
        else if (t.pos > 0) t._change(t.pos - 1, 1, "");
        break;
    case KEY_DELETE:
        if (len) t._change(lo, len, "");
        else t._change(t.pos, 1, "");
        break;
    case KEY_LEFT:
        if (len && !shift) {
            t.pos = t._pos = lo;
        } else {
            if (t.pos > 0) t.pos--;
            if (!shift) t._pos = t.pos;
        }
        break;
    case KEY_RIGHT:
        if (len && !shift) {
            t.pos = t._pos = lo + len;
        } else {
            if (t.pos < size) t.pos++;
            if (!shift) t._pos = t.pos;
        }
        break;
    case KEY_UP:
    case KEY_DOWN: {
        // A single line hands them to navigation between widgets.
        if (!t.wrap) return t.Widget::event(e);
        GfxRect r = t.fnt.crect(t.txt2.c_str(), t.pos, ww, -1);
        if (t.cx == -1) t.cx = myint((double)r.x + r.w / 2);
        double y = e->v == KEY_UP ? (double)r.y - r.h / 2 : (double)r.y + r.h + r.h / 2;
        t._click(t.cx, myint(y), !shift);
        t._adjust(false, true);
        return var();
    }
    case KEY_HOME:
    case KEY_END: {
        GfxRect r = t.fnt.crect(t.txt2.c_str(), t.pos, ww, -1);
        int x = e->v == KEY_HOME ? 0 : t.fnt.get_width(t.txt2.c_str(), ww);
        t._click(x, myint((double)r.y + r.h / 2), !shift);
        break;
    }
    default:
        if (e->v == KEY_RETURN) c = '\n';  // only a wrapping field gets here
        if (command && e->v == KEY_z) {
            if (shift) t._redo();
            else t._undo();
        } else if (command && e->v == KEY_x) {
            if (!t.passwd) driver_clipboard_set_text(t.txt.substr((size_t)lo, (size_t)len));
            t._change(lo, len, "");
        } else if (command && e->v == KEY_c) {
            if (!t.passwd) driver_clipboard_set_text(t.txt.substr((size_t)lo, (size_t)len));
            return var();
        } else if (command && e->v == KEY_v) {
            t._change(lo, len, driver_clipboard_get_text());
        } else if (c == '\n' || (c >= 32 && c <= 126)) {
            // A byte from 128 up arrives negative and is not typed.
            t._change(lo, len, std::string(1, (char)c));
        } else {
            return var();
        }
    }
    t._adjust(true, true);
    return var();
}

var TextInput::event(Event* e) {
    if (e->type != EVT_KEYDOWN && e->type != EVT_KEYUP) {
        var r = Widget::event(e);
        if (r.__type__() != VAR_NONE) return r;
    }
    int x = myint((double)view.x + e->x), y = myint((double)view.y + e->y);
    switch (e->type) {
    case EVT_CLICK: {
        // A click that a released Space or Return made is not the pointer's.
        if (e->v == EVT_KEYUP) break;
        fputs("input:evt_click\n", stderr);
        reveal = 0;
        MyRect a = get_abs_rect(true);
        gfx_focus(GfxRect(a.x, a.y, a.w, a.h));
        driver_keyboard_show();
        break;
    }
    case EVT_FOCUS:
        fputs("evt_focus\n", stderr);
        if (!wrap) {
            _pos = 0;
            pos = (int)txt.size();
        }
        _adjust(true, true);
        break;
    case EVT_BLUR:
        reveal = 0;
        driver_keyboard_hide();
        gfx_blur();
        if (!wrap) view.x = view.y = 0;
        _adjust(false, false);
        break;
    case EVT_DOWN:
        fputs("evt_down\n", stderr);
        _click(x, y, true);
        _adjust(true, true);
        break;
    case EVT_MOTION:
        if (!style.focus || e->b == 0) break;
        _click(x, y, false);
        _adjust(true, true);
        break;
    case EVT_UP:
        _click(x, y, false);
        _adjust(true, true);
        break;
    case EVT_WHEEL:
        view.y = (float)((double)view.y + (double)fnt.get_height(nullptr, 0) * e->dy);
        _adjust(false, false);
        break;
    case EVT_KEYDOWN: return _input_key(*this, e);
    }
    return var();
}
