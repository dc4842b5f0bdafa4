// qel_gui-theme: where a widget's live style becomes geometry, pixels and
// sound (the box model, the border, background and overlay, the event
// sounds), the premultiplied drawing colour, the widgets' font handle, and
// the drawing back end that all of it goes through.
//
// Style values are whatever a widget's owner set: sums of decorations are
// formed in 64 bits and every float reaching an int saturates, so no value
// overflows or makes painting loop.
#include "qel_gui.h"

#include <GL/gl.h>

#include <climits>

#include "qel_font.h"
#include "qel_mixer.h"
#include "qel_util.h"

void GuiDraw::color(unsigned char r, unsigned char g, unsigned char b, unsigned char a) { glColor4ub(r, g, b, a); }
void GuiDraw::translate(float x, float y) { gfx_translate(x, y); }
void GuiDraw::clip(float x, float y, float w, float h) { gfx_clip(x, y, w, h); }
void GuiDraw::unclip() { gfx_unclip(); }
bool GuiDraw::visible(GfxRect r) { return _gfx_clip(&r, nullptr); }
void GuiDraw::fill(unsigned int c, int x, int y, int w, int h) { gfx_fill(c, x, y, w, h); }
void GuiDraw::img_blit(int img, float x, float y, float w, float h) { gfx_img_blit(img, x, y, w, h); }
void GuiDraw::img_box(int img, int x, int y, int w, int h, int sz) { gfx_img_box(img, x, y, w, h, sz); }
void GuiDraw::img_tile(int img, int x, int y, int w, int h, int sz) { gfx_img_tile(img, x, y, w, h, sz); }
void GuiDraw::text(int fid, const char* s, float x, float y, float w, int align) {
    font_draw(fid, s, x, y, w, align);
}

static GuiDraw _gui_gl_draw;
static GuiDraw* _gui_draw_now = &_gui_gl_draw;

GuiDraw* gui_draw() { return _gui_draw_now; }
void _gui_set_draw(GuiDraw* d) { _gui_draw_now = d ? d : &_gui_gl_draw; }

void guiColor4ub(unsigned char r, unsigned char g, unsigned char b, unsigned char a) {
    gui_draw()->color((unsigned char)(r * a / 255), (unsigned char)(g * a / 255), (unsigned char)(b * a / 255), a);
}

int QelGuiFont::get_height(const char* s, int w) { return myint(font_get_height(fid, s, (float)w)); }

int QelGuiFont::get_width(const char* s, int w) {
    if (w != 0) return w;
    return myint(font_get_width(fid, s ? s : ""));
}

void QelGuiFont::draw(const char* s, int x, int y, int w, int align) {
    gui_draw()->text(fid, s, (float)x, (float)y, (float)w, align);
}

GfxRect QelGuiFont::crect(const char* s, int pos, int w, int align) {
    return font_crect(fid, s, pos, (float)w, align);
}

int QelGuiFont::cnear(const char* s, int x, int y, int w, int align) {
    return font_cnear(fid, s, x, y, (float)w, align);
}

static int _theme_px(int v) { return v != STYLE_UNSET ? v : 0; }

int _gui_clamp(long long v) { return v > INT_MAX ? INT_MAX : v < INT_MIN ? INT_MIN : (int)v; }

int _gui_decoration(const Widget* w, int side) {
    const StyleData& s = w->style.data[STYLE_CUR];
    return _gui_clamp((long long)_theme_px(s.margin[side]) + _theme_px(s.border[side]) + _theme_px(s.padding[side]));
}

struct _ThemeDeco {
    int top, right, bottom, left;
};

static _ThemeDeco _theme_deco(const Widget* w) {
    return _ThemeDeco{_gui_decoration(w, STYLE_TOP), _gui_decoration(w, STYLE_RIGHT),
                      _gui_decoration(w, STYLE_BOTTOM), _gui_decoration(w, STYLE_LEFT)};
}

static void _theme_place(Widget* w, const _ThemeDeco& d) {
    w->rect.x = (float)d.left;
    w->rect.y = (float)d.top;
    w->_rect.w = (float)d.left + w->rect.w + (float)d.right;
    w->_rect.h = (float)d.top + w->rect.h + (float)d.bottom;
}

void Theme::resize(Widget* w) {
    _ThemeDeco d = _theme_deco(w);
    w->resize();
    _theme_place(w, d);
}

void Theme::resize(Widget* w, int width, int height) {
    _ThemeDeco d = _theme_deco(w);
    w->resize(_gui_clamp((long long)width - ((long long)d.left + d.right)),
              _gui_clamp((long long)height - ((long long)d.top + d.bottom)));
    _theme_place(w, d);
}

// The index a sample field gives, when it names a sample of the registry.
static void _theme_sound(int v) {
    if (v > 0 && mixer_sample_valid(v)) mixer_sample_play(v, 1.0f, 0.0f);
}

var Theme::event(Widget* w, Event* e) {
    Event c = *e;
    c.x -= w->rect.x;
    c.y -= w->rect.y;
    const StyleData& s = w->style.data[STYLE_CUR];
    switch (c.type) {
    case EVT_CLICK: _theme_sound(s.sfx_onclick); break;
    case EVT_DOWN: _theme_sound(s.sfx_ondown); break;
    case EVT_UP: _theme_sound(s.sfx_onup); break;
    case EVT_ENTER: _theme_sound(s.sfx_onenter); break;
    case EVT_FOCUS: _theme_sound(s.sfx_onfocus); break;
    }
    return w->event(&c);
}

// A size truncated so that the box's far edge is an int too: the 9-slice
// and tiling primitives add the two.
static int _theme_extent(int x, float w) {
    int n = myint(w);
    if (n > 0 && x > INT_MAX - n) return INT_MAX - x;
    if (n < 0 && x < INT_MIN - n) return INT_MIN - x;
    return n;
}

// A background or overlay over the padding box (x, y, w, h). A given image
// suppresses the colour fill even when it draws nothing; an index outside the
// image registry is not drawn, a tile size of 0 or less tiles nothing, and a
// negative 9-slice edge counts as 0 (corners of no size).
static void _theme_layer(const StyleData::Draw& l, float x, float y, float w, float h) {
    GuiDraw* d = gui_draw();
    int ix = myint(x), iy = myint(y), iw = _theme_extent(ix, w), ih = _theme_extent(iy, h);
    if (l.image != STYLE_UNSET) {
        if (!gfx_img_valid(l.image)) return;
        int c = l.color != STYLE_UNSET ? l.color : 0xffffff;
        int a = l.alpha != STYLE_UNSET ? l.alpha : 255;
        guiColor4ub(c >> 16 & 255, c >> 8 & 255, c & 255, a & 255);
        if (l.edge != STYLE_UNSET) d->img_box(l.image, ix, iy, iw, ih, l.edge > 0 ? l.edge : 0);
        else if (l.tile != STYLE_UNSET) {
            if (l.tile > 0) d->img_tile(l.image, ix, iy, iw, ih, l.tile);
        } else
            d->img_blit(l.image, x, y, w, h);
        guiColor4ub(255, 255, 255, 255);
    } else if (l.color != STYLE_UNSET) {
        d->fill((unsigned)l.color, ix, iy, iw, ih);
    }
}

// Coordinates are relative to the outer box; the top and bottom border bars
// span the width inside the margins, the side bars fit between them.
void Theme::paint(Widget* w) {
    GuiDraw* d = gui_draw();
    const StyleData& s = w->style.data[STYLE_CUR];
    double mt = _theme_px(s.margin[STYLE_TOP]), mr = _theme_px(s.margin[STYLE_RIGHT]);
    double mb = _theme_px(s.margin[STYLE_BOTTOM]), ml = _theme_px(s.margin[STYLE_LEFT]);
    double bt = _theme_px(s.border[STYLE_TOP]), br = _theme_px(s.border[STYLE_RIGHT]);
    double bb = _theme_px(s.border[STYLE_BOTTOM]), bl = _theme_px(s.border[STYLE_LEFT]);
    double W = w->_rect.w, H = w->_rect.h;
    if (s.border_color != STYLE_UNSET) {
        unsigned c = (unsigned)s.border_color;
        int side_h = myint(H - (mt + bt + bb + mb));
        if (bt != 0) d->fill(c, myint(ml), myint(mt), myint(W - ml - mr), myint(bt));
        if (bb != 0) d->fill(c, myint(ml), myint(H - (mb + bb)), myint(W - ml - mr), myint(bb));
        if (br != 0) d->fill(c, myint(W - (mr + br)), myint(mt + bt), myint(br), side_h);
        if (bl != 0) d->fill(c, myint(ml), myint(mt + bt), myint(bl), side_h);
    }
    float px = (float)(ml + bl), py = (float)(mt + bt);
    float pw = (float)(W - (ml + mr + bl + br)), ph = (float)(H - (mt + mb + bt + bb));
    _theme_layer(s.background, px, py, pw, ph);
    _theme_layer(s.overlay, px, py, pw, ph);
    float cx = w->rect.x, cy = w->rect.y;
    d->translate(cx, cy);
    w->paint();
    d->translate(-cx, -cy);
}
