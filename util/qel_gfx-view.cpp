// qel_gfx-view: the logical view, as a GL projection and as CPU conversions
// of points, rectangles and pointer events in both directions.
//
// A logical point p lands in the window at
//     V + s * R(a) * (p + shift - (W / 2, H / 2))
// with V the viewport centre, s the scale, a the orientation and W x H the
// canvas size. The CPU conversions follow the same steps as the matrices so
// that what is drawn and what is hit agree.
#include <cmath>

#include <GL/gl.h>

#include "qel_driver.h"
#include "qel_gfx.h"

void gfx_set_view(int x, int y, int w, int h) {
    _gfx->view = GfxRect((float)x, (float)y, (float)w, (float)h);
}

void gfx_get_view(int* x, int* y, int* w, int* h) {
    *x = (int)_gfx->view.x;
    *y = (int)_gfx->view.y;
    *w = (int)_gfx->view.w;
    *h = (int)_gfx->view.h;
}

void gfx_set_size(int w, int h) {
    _gfx->size.w = (float)w;
    _gfx->size.h = (float)h;
}

void gfx_get_size(int* w, int* h) {
    *w = (int)_gfx->size.w;
    *h = (int)_gfx->size.h;
}

void gfx_set_shift(int x, int y) {
    _gfx->shift.x = (float)x;
    _gfx->shift.y = (float)y;
}

void gfx_get_shift(int* x, int* y) {
    *x = (int)_gfx->shift.x;
    *y = (int)_gfx->shift.y;
}

void gfx_set_orient(float deg) { _gfx->orient = deg; }
float gfx_get_orient() { return _gfx->orient; }
void gfx_set_scale(float s) { _gfx->scale = s; }
float gfx_get_scale() { return _gfx->scale; }

void gfx_set_ortho_near_far(float near, float far) {
    _gfx->ortho_near = near;
    _gfx->ortho_far = far;
}

void _gfx_fix_view() {
    int w = 0, h = 0;
    driver_get_size(&w, &h);
    if (_gfx->_driver_size.w == (float)w && _gfx->_driver_size.h == (float)h) return;
    _gfx->view = GfxRect(0, 0, (float)w, (float)h);
    _gfx->_driver_size.w = (float)w;
    _gfx->_driver_size.h = (float)h;
}

static float _gfx_angle() { return (float)(_gfx->orient * 3.141592653589793 / 180.0); }

static float _gfx_centre_x() { return _gfx->view.x + _gfx->view.w / 2; }
static float _gfx_centre_y() { return _gfx->view.y + _gfx->view.h / 2; }

void gfx_ortho() {
    _gfx_fix_view();
    int ww = 0, wh = 0;
    driver_get_size(&ww, &wh);
    int w = (int)_gfx->size.w, h = (int)_gfx->size.h;
    float a = _gfx_angle();
    float s = _gfx->scale;
    gfx_flush();
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    // Window pixels, origin top-left, y down.
    glOrtho(0, ww, wh, 0, _gfx->ortho_near, _gfx->ortho_far);
    glTranslatef(_gfx_centre_x(), _gfx_centre_y(), 0);
    glScalef(s, s, 1);
    glRotatef((float)(a * 180 / 3.141592653589793), 0, 0, 1);
    glTranslated(-w / 2.0, -h / 2.0, 0);
    glTranslatef(_gfx->shift.x, _gfx->shift.y, 0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

GfxRect gfx_pos_to_hwpos(GfxRect p) {
    int w = (int)_gfx->size.w, h = (int)_gfx->size.h;
    double a = _gfx_angle();
    float x = p.x + _gfx->shift.x, y = p.y + _gfx->shift.y;
    x -= w / 2.0f;
    y -= h / 2.0f;
    float rx = (float)(x * cos(a) - y * sin(a));
    float ry = (float)(x * sin(a) + y * cos(a));
    rx *= _gfx->scale;
    ry *= _gfx->scale;
    return GfxRect(rx + _gfx_centre_x(), ry + _gfx_centre_y(), p.w, p.h);
}

GfxRect gfx_hwpos_to_pos(GfxRect p) {
    int w = (int)_gfx->size.w, h = (int)_gfx->size.h;
    double a = _gfx_angle();
    float x = p.x - _gfx_centre_x(), y = p.y - _gfx_centre_y();
    x /= _gfx->scale;
    y /= _gfx->scale;
    float rx = (float)(x * cos(a) + y * sin(a));
    float ry = (float)(y * cos(a) - x * sin(a));
    rx += w / 2.0f;
    ry += h / 2.0f;
    return GfxRect(rx - _gfx->shift.x, ry - _gfx->shift.y, p.w, p.h);
}

GfxRect gfx_rect_to_hwrect(GfxRect r) {
    GfxRect a = gfx_pos_to_hwpos(GfxRect(r.x, r.y, 0, 0));
    GfxRect b = gfx_pos_to_hwpos(GfxRect(r.x + r.w, r.y + r.h, 0, 0));
    return GfxRect(a.x, a.y, b.x - a.x, b.y - a.y);
}

GfxRect gfx_hwrect_to_rect(GfxRect r) {
    GfxRect a = gfx_hwpos_to_pos(GfxRect(r.x, r.y, 0, 0));
    GfxRect b = gfx_hwpos_to_pos(GfxRect(r.x + r.w, r.y + r.h, 0, 0));
    return GfxRect(a.x, a.y, b.x - a.x, b.y - a.y);
}

void gfx_event_correct(Event* e) {
    if (e->type != EVT_DOWN && e->type != EVT_MOTION && e->type != EVT_UP && e->type != EVT_WHEEL)
        return;
    e->_x = e->x;
    e->_y = e->y;
    e->_dx = e->dx;
    e->_dy = e->dy;
    // The step converts as a rectangle's size: scaled and turned, not shifted.
    GfxRect r = gfx_hwrect_to_rect(GfxRect(e->_x, e->_y, e->_dx, e->_dy));
    e->x = r.x;
    e->y = r.y;
    e->dx = r.w;
    e->dy = r.h;
}

void gfx_focus(GfxRect r) { _gfx->focus = r; }
void gfx_blur() { _gfx->focus = GfxRect(); }
GfxRect _gfx_get_focus_fixed() { return gfx_rect_to_hwrect(_gfx->focus); }

void gfx_translate(float x, float y) {
    _gfx->translate.x += x;
    _gfx->translate.y += y;
    // Pending quads are drawn in the matrix they were given in; a step of
    // nothing leaves the matrix as it is.
    if (x != 0 || y != 0) gfx_flush();
    glTranslatef(x, y, 0);
}
