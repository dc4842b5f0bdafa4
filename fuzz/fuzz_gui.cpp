// Fuzz target: random widget trees (containers, tables with any cell
// arguments, boxes, labels, plain and focusable widgets) with random styles,
// grown, driven and emptied by a random sequence of operations: events of
// every type handed to the root, frames (loop, resize, paint), direct focus
// and hover moves, Tab links, flags, refused adds, and the emptying
// assignment. After every operation the tree must hold together:
// - every child's parent is its container, and hover and focus pointers
//   point at children;
// - focus: one path from the root, every flag backed by its parent's focus
//   pointer and every pointer by flags at both ends;
// - hover: every flag backed by its parent's hover pointer, every pointer at
//   a flagged child;
// - painting leaves no clip pushed.
// Painting goes through the graphics and font layers as in the game, without
// a GL context (its GL calls do nothing). ASan and UBSan watch for use after
// free, overflow and bad conversions.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include <GL/gl.h>

#include "fuzz_bytes.h"
#include "qel_driver.h"
#include "qel_font.h"
#include "qel_gfx.h"
#include "qel_gui.h"

// The driver's texture loader asks the game for its filter; nothing loads here.
int _QEL_GL_TEXTURE_MAG_FILTER() { return GL_LINEAR; }

namespace {

int _fid = 0;

const int _values[] = {STYLE_UNSET, 0, 1, 2, 3, 5, 10, 36, 50, -1, -3, 255, 0x1ff, 0xFFFFFF, 0x7FFFFFFF,
                       (int)0x80000000, 1000000, 1};
const float _floats[] = {(float)STYLE_UNSET, 0, 1, 7.5f, 30, 100.5f, -20, 1e30f, -1e30f, NAN};

// One base or layer property of a style set to v (f for the two sizes).
void _set_style(StyleData& d, int which, int v, float f) {
    int side = which % 4;
    switch (which % 24) {
    case 0: d.width = f; break;
    case 1: d.height = f; break;
    case 2: d.clip = v; break;
    case 3: d.align = v; break;
    case 4: d.valign = v; break;
    case 5: d.color = v; break;
    case 6: d.alpha = v; break;
    case 7: d.border[side] = v; break;
    case 8: d.padding[side] = v; break;
    case 9: d.margin[side] = v; break;
    case 10: d.border_color = v; break;
    case 11: d.background.image = v % 3; break;
    case 12: d.background.color = v; break;
    case 13: d.background.edge = v; break;
    // Only tile sizes that tile nothing: a small tile over a huge box would
    // take as long to paint as it has tiles.
    case 14: d.background.tile = v > 0 ? -v : v; break;
    case 15: d.overlay.image = v % 3; break;
    case 16: d.overlay.alpha = v; break;
    case 17: d.overlay.tile = v > 0 ? 0 : v; break;
    case 18: d.sfx_onclick = v; break;
    case 19: d.sfx_onenter = v; break;
    case 20: d.set_border(v); break;
    case 21: d.set_padding(v, v); break;
    case 22: d.set_margin(v, STYLE_UNSET, v); break;
    default: d.background.alpha = v; break;
    }
}

void _fail(const char* why) {
    fprintf(stderr, "invariant broken: %s\n", why);
    abort();
}

// Every widget of the tree below c, checking the links on the way.
void _walk(Container* c, std::vector<Widget*>& out, int depth) {
    if (depth > 64) _fail("tree too deep (a cycle?)");
    bool hover_ok = !c->hover, focus_ok = !c->focus;
    for (Widget* w : c->widgets) {
        if (w->parent != c) _fail("child's parent is not its container");
        hover_ok |= w == c->hover;
        focus_ok |= w == c->focus;
        out.push_back(w);
        if (Container* k = dynamic_cast<Container*>(w)) _walk(k, out, depth + 1);
    }
    if (!hover_ok) _fail("hover pointer is not a child");
    if (!focus_ok) _fail("focus pointer is not a child");
}

void _check(Container& root) {
    std::vector<Widget*> all;
    _walk(&root, all, 0);
    all.push_back(&root);
    for (Widget* w : all) {
        Container* c = dynamic_cast<Container*>(w);
        if (w->style.focus && w != &root && w->parent->focus != w) _fail("focus flag without the parent's pointer");
        if (w->style.hover && w != &root && w->parent->hover != w) _fail("hover flag without the parent's pointer");
        if (c && c->focus && !(c->style.focus && c->focus->style.focus)) _fail("focus pointer without flags");
        if (c && c->hover && !c->hover->style.hover) _fail("hover pointer at an unflagged child");
        if (c && c->first) _fail("auto-focus guard left set");
    }
    if (_gfx->clip_n != 0) _fail("clip left pushed");
}

// Widgets of the tree that are containers, the root first.
std::vector<Container*> _containers(Container& root) {
    std::vector<Container*> r = {&root};
    for (Widget* w : root._list_descendants())
        if (Container* c = dynamic_cast<Container*>(w)) r.push_back(c);
    return r;
}

Widget* _new_widget(Bytes& in) {
    switch (in.next() % 6) {
    case 0: return new Widget();
    case 1: {
        Widget* w = new Widget();
        w->useful = 1;
        return w;
    }
    case 2: return new Container();
    case 3: return new Table();
    case 4: {
        Widget* child = new Widget();
        child->useful = in.next() & 1;
        child->style.width = _floats[in.next() % 10];
        return new Box(child);
    }
    default: return new Label(QelGuiFont(_fid), in.next() & 1 ? "ab cd\nef" : nullptr);
    }
}

const int _keys[] = {KEY_TAB, KEY_UP, KEY_RIGHT, KEY_DOWN, KEY_LEFT, KEY_SPACE, KEY_RETURN, KEY_a, KEY_NONE};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    driver_init(0);
    gfx_init();
    font_init();
    _fid = (int)_font->data.size();
    _font->data.emplace_back();
    FontInfo& f = _font->data.back();
    f.scale = 1;
    std::string fnt = "common lineHeight=10 base=8 scaleW=64 scaleH=64\n";
    for (int c = 32; c < 127; c++) fnt += "char id=" + std::to_string(c) + " width=6 height=8 xadvance=7\n";
    _font_parse(f, fnt);
    gfx_img_add("pic", 0, GfxRect(0, 0, 4, 4), GfxRect(0, 0, 4, 4));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Bytes in{data, size};
    Container root;
    int made = 0;
    while (in.n) {
        std::vector<Container*> cs = _containers(root);
        std::vector<Widget*> ws = root._list_descendants();
        ws.push_back(&root);
        Widget* any = ws[in.next() % ws.size()];
        switch (in.next() % 12) {
        case 0:
        case 1: {
            if (made >= 80) break;
            made++;
            Container* into = cs[in.next() % cs.size()];
            Widget* w = _new_widget(in);
            Table* t = dynamic_cast<Table*>(into);
            if (t && in.next() & 1) {
                if (in.next() % 3 == 0) t->tr();
                t->td(w, in.next() % 4 - 1, in.next() % 4 - 1, in.next() % 6 - 2, in.next() % 6 - 2);
            } else {
                into->add(w, in.signed8() * 2, in.signed8() * 2);
            }
            if (!w->parent) delete w;
            break;
        }
        case 2: {
            Event e(in.next() % EVT_MAX);
            e.x = (float)(in.signed8() * 2);
            e.y = (float)(in.signed8() * 2);
            e.v = _keys[in.next() % 9];
            e.b = in.next() % 3 == 0;
            e.dy = (float)in.signed8();
            root.event(&e);
            break;
        }
        case 3:
            root.loop();
            root.resize();
            root.paint();
            break;
        case 4: {
            int layer = in.next() % 8;  // 6 and 7: the base
            StyleData& d = layer < STYLE_MAX ? any->style.data[layer] : any->style;
            _set_style(d, in.next(), _values[in.next() % 18], _floats[in.next() % 10]);
            if (in.next() % 8 == 0) any->style.alt ^= 1;
            break;
        }
        case 5:
            any->ignore = in.next() & 1;
            any->useful = in.next() & 1;
            break;
        case 6: {
            int k = in.next();
            any->next = k % 4 == 0 ? nullptr : ws[k % ws.size()];
            break;
        }
        case 7:
            switch (in.next() % 3) {
            case 0: any->_focus(); break;
            case 1: any->_hover(); break;
            default: any->active(); break;
            }
            break;
        case 8: {
            // Refused: a widget with a parent, the root, null.
            Container* into = cs[in.next() % cs.size()];
            into->add(in.next() & 1 ? any : nullptr, 0, 0);
            break;
        }
        case 9:
            if (in.next() % 4 == 0) {
                root = Container();
                made = 0;
            }
            break;
        case 10:
            any->view.x = (float)in.signed8();
            any->view.y = (float)in.signed8();
            if (Label* l = dynamic_cast<Label*>(any)) l->set_value_s(in.next() & 1 ? "a b c d e f g" : "");
            break;
        default:
            root.find("x");
            root.find_hover();
            any->get_abs_rect(in.next() & 1);
            break;
        }
        _check(root);
    }
    return 0;
}
