// qel_gfx-draw: the software clip stack and the drawing primitives.
//
// Every primitive is made of textured (or, for fills, untextured) quads, each
// a four-vertex triangle strip, handed to the quad batch (qel_gfx-batch.cpp);
// with batching off, each strip is drawn at once from local arrays. Quads are
// cut to the top clip rectangle on the CPU, texture coordinates shrinking in
// proportion, so no scissor or stencil state is needed and clipped quads cost
// the GPU nothing.
// Coordinates are local to the running translation (gfx_translate); clip
// rectangles are stored untranslated so they keep covering the same area of
// the canvas while the translation changes.
#include <algorithm>

#include <GL/gl.h>

#include "qel_gfx.h"

void gfx_clip(float x, float y, float w, float h) {
    int n = ++_gfx->clip_n;
    // Pushes beyond the eighth are only counted; clipped drawing stops then.
    if (n > 8) return;
    GfxRect& c = _gfx->clip[n - 1];
    c = GfxRect(_gfx->translate.x + x, _gfx->translate.y + y, w, h);
    // A push outside its parent keeps a size of zero or less: nothing shows.
    if (n > 1) _gfx_clip_test(_gfx->clip[n - 2], &c, nullptr);
}

void gfx_unclip() {
    if (_gfx->clip_n) _gfx->clip_n--;
}

bool _gfx_clip(GfxRect* rect, GfxRect* coords) {
    int n = _gfx->clip_n;
    if (n == 0) return true;
    if (n > 8) return false;
    GfxRect c = _gfx->clip[n - 1];
    c.x -= _gfx->translate.x;
    c.y -= _gfx->translate.y;
    return _gfx_clip_test(c, rect, coords);
}

bool _gfx_clip_test(const GfxRect& clip, GfxRect* rect, GfxRect* coords) {
    if (rect->w <= 0 || rect->h <= 0) return false;
    if (clip.x > rect->x) {
        float d = clip.x - rect->x;
        if (coords) {
            float k = coords->w * d / rect->w;
            coords->x += k;
            coords->w -= k;
        }
        rect->x += d;
        rect->w -= d;
    }
    if (rect->w <= 0) return false;
    if (rect->x + rect->w > clip.x + clip.w) {
        float d = rect->x + rect->w - (clip.x + clip.w);
        if (coords) coords->w -= coords->w * d / rect->w;
        rect->w -= d;
    }
    if (rect->w <= 0) return false;
    if (clip.y > rect->y) {
        float d = clip.y - rect->y;
        if (coords) {
            float k = coords->h * d / rect->h;
            coords->y += k;
            coords->h -= k;
        }
        rect->y += d;
        rect->h -= d;
    }
    if (rect->h <= 0) return false;
    if (rect->y + rect->h > clip.y + clip.h) {
        float d = rect->y + rect->h - (clip.y + clip.h);
        if (coords) coords->h -= coords->h * d / rect->h;
        rect->h -= d;
    }
    return rect->h > 0;
}

// Corners top-left, bottom-left, top-right, bottom-right of d, with the
// matching corners of the texture rectangle s.
static void _gfx_strip(int gl, const GfxRect& d, const GfxRect& s) {
    GLfloat v[8] = {d.x, d.y, d.x, d.y + d.h, d.x + d.w, d.y, d.x + d.w, d.y + d.h};
    GLfloat t[8] = {s.x, s.y, s.x, s.y + s.h, s.x + s.w, s.y, s.x + s.w, s.y + s.h};
    if (_gfx->batch.on) {
        _gfx_batch_begin(gl);
        _gfx_batch_strip(v, t);
        return;
    }
    glBindTexture(GL_TEXTURE_2D, (GLuint)gl);
    glVertexPointer(2, GL_FLOAT, 0, v);
    glTexCoordPointer(2, GL_FLOAT, 0, t);
    glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
}

// The texture behind an image, ready to draw, or null; *im gets the image.
// An image of zero size (index 0, a failed decode) would divide by zero into
// NaN vertices; GL name 0 would draw a solid box. A texture the budget freed
// is loaded back first: that may register images (moving the vector) and
// resets the whole-file image, so the image is looked at only afterwards.
static const GfxTexture* _gfx_img_texture(int img, const GfxImage** im) {
    int tid = _gfx->img_data[img].tid;
    if (tid && !_gfx->tex_data[tid].loaded) _gfx_tex_check(tid);
    const GfxImage* i = &_gfx->img_data[img];
    *im = i;
    if (i->shape.w == 0 || i->shape.h == 0 || !i->tid) return nullptr;
    const GfxTexture* t = &_gfx->tex_data[i->tid];
    if (!t->tex || t->rect.w == 0 || t->rect.h == 0) return nullptr;
    return t;
}

// The image's frame drawn over (dx, dy, w, h) at its trim offset, taking the
// part (s) of the texture given in texture coordinates.
static void _gfx_img_draw(const GfxImage& img, const GfxTexture& t, GfxRect s, float dx, float dy,
                          float w, float h) {
    const GfxRect& f = img.rect;
    const GfxRect& u = img.shape;
    GfxRect d(dx + u.x * w / u.w, dy + u.y * h / u.h, f.w * w / u.w, f.h * h / u.h);
    if (!_gfx_clip(&d, &s)) return;
    _gfx_strip(t.tex, d, s);
}

void gfx_img_blit(int img, float dx, float dy, float w, float h) {
    const GfxImage* im;
    const GfxTexture* t = _gfx_img_texture(img, &im);
    if (!t) return;
    if (w == 0) w = im->shape.w;
    if (h == 0) h = im->shape.h;
    const GfxRect& f = im->rect;
    GfxRect s(f.x / t->rect.w, f.y / t->rect.h, f.w / t->rect.w, f.h / t->rect.h);
    _gfx_img_draw(*im, *t, s, dx, dy, w, h);
}

void gfx_img_blit2(int img, float sx, float sy, float sw, float sh, float dx, float dy, float w,
                   float h) {
    if (w == 0 || h == 0) return;
    const GfxImage* im;
    const GfxTexture* t = _gfx_img_texture(img, &im);
    if (!t) return;
    const GfxRect& f = im->rect;
    GfxRect s((f.x + f.w * sx) / t->rect.w, (f.y + f.h * sy) / t->rect.h, f.w * sw / t->rect.w,
              f.h * sh / t->rect.h);
    _gfx_img_draw(*im, *t, s, dx, dy, w, h);
}

// Free quads have a depth, which the batch does not keep: they are drawn on
// their own, after whatever is pending.
static void _gfx_quad(int gl, const GLfloat* v, const GLfloat* t) {
    gfx_flush();
    glBindTexture(GL_TEXTURE_2D, (GLuint)gl);
    glVertexPointer(3, GL_FLOAT, 0, v);
    glTexCoordPointer(2, GL_FLOAT, 0, t);
    glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
}

// The corners show the picture's bottom-left, bottom-right, top-left and
// top-right, in that order.
void gfx_img_quad(int img, float x1, float y1, float z1, float x2, float y2, float z2, float x3,
                  float y3, float z3, float x4, float y4, float z4) {
    const GfxImage* im;
    const GfxTexture* t = _gfx_img_texture(img, &im);
    if (!t) return;
    const GfxRect& f = im->rect;
    float l = f.x / t->rect.w, r = (f.x + f.w) / t->rect.w;
    float top = f.y / t->rect.h, bottom = (f.y + f.h) / t->rect.h;
    // Sent bottom-left, top-left, bottom-right, top-right.
    GLfloat v[12] = {x1, y1, z1, x3, y3, z3, x2, y2, z2, x4, y4, z4};
    GLfloat c[8] = {l, bottom, l, top, r, bottom, r, top};
    _gfx_quad(t->tex, v, c);
}

void gfx_tex_quad(int gl, float x1, float y1, float z1, float x2, float y2, float z2, float x3,
                  float y3, float z3, float x4, float y4, float z4) {
    if (!gl) return;
    GLfloat v[12] = {x1, y1, z1, x2, y2, z2, x3, y3, z3, x4, y4, z4};
    GLfloat c[8] = {0, 1, 1, 1, 0, 0, 1, 0};
    _gfx_quad(gl, v, c);
}

void gfx_tex_blit2(int gl, float sx, float sy, float sw, float sh, float dx, float dy, float dw,
                   float dh) {
    // GL name 0 is no texture: it would draw a solid box.
    if (!gl) return;
    GfxRect d(dx, dy, dw, dh), s(sx, sy, sw, sh);
    if (!_gfx_clip(&d, &s)) return;
    _gfx_strip(gl, d, s);
}

void gfx_tex_blit(int gl, int dx, int dy, int dw, int dh) {
    gfx_tex_blit2(gl, 0, 0, 1, 1, (float)dx, (float)dy, (float)dw, (float)dh);
}

void gfx_fill(unsigned int c, int dx, int dy, int dw, int dh) {
    GfxRect d((float)dx, (float)dy, (float)dw, (float)dh);
    if (!_gfx_clip(&d, nullptr)) return;
    glColor4ub(c >> 16 & 255, c >> 8 & 255, c & 255, 255);
    // Top-left, top-right, bottom-left, bottom-right.
    GLfloat v[8] = {d.x, d.y, d.x + d.w, d.y, d.x, d.y + d.h, d.x + d.w, d.y + d.h};
    if (_gfx->batch.on) {
        _gfx_batch_begin(_GFX_UNTEXTURED);
        _gfx_batch_strip(v, nullptr);
    } else {
        glDisable(GL_TEXTURE_2D);
        glDisableClientState(GL_TEXTURE_COORD_ARRAY);
        glVertexPointer(2, GL_FLOAT, 0, v);
        glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
        glEnable(GL_TEXTURE_2D);
        glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    }
    glColor4ub(255, 255, 255, 255);
}

// The float nearest one third, and twice it: the cuts of a 9-slice source.
static const float _third = 0.33333334f, _two_thirds = 0.6666667f;

void gfx_img_box(int img, int rx, int ry, int rw, int rh, int sz) {
    const float r = _third, r2 = _two_thirds;
    int cw = std::min(sz, rw / 2), ch = std::min(sz, rh / 2);
    int mw = rw - 2 * cw, mh = rh - 2 * ch;
    gfx_img_blit2(img, 0, 0, r, r, rx, ry, cw, ch);
    gfx_img_blit2(img, r, 0, r, r, rx + cw, ry, mw, ch);
    gfx_img_blit2(img, r2, 0, r, r, rx + rw - cw, ry, cw, ch);
    gfx_img_blit2(img, 0, r, r, r, rx, ry + ch, cw, mh);
    gfx_img_blit2(img, r, r, r, r, rx + cw, ry + ch, mw, mh);
    gfx_img_blit2(img, r2, r, r, r, rx + rw - cw, ry + ch, cw, mh);
    gfx_img_blit2(img, 0, r2, r, r, rx, ry + rh - ch, cw, ch);
    gfx_img_blit2(img, r, r2, r, r, rx + cw, ry + rh - ch, mw, ch);
    gfx_img_blit2(img, r2, r2, r, r, rx + rw - cw, ry + rh - ch, cw, ch);
}

void gfx_tex_box(int gl, int rx, int ry, int rw, int rh, int sz) {
    const float r = _third, r2 = _two_thirds;
    int mw = rw - 2 * sz, mh = rh - 2 * sz;
    gfx_tex_blit2(gl, 0, 0, r, r, rx, ry, sz, sz);
    gfx_tex_blit2(gl, r, 0, r, r, rx + sz, ry, mw, sz);
    gfx_tex_blit2(gl, r2, 0, r, r, rx + rw - sz, ry, sz, sz);
    gfx_tex_blit2(gl, 0, r, r, r, rx, ry + sz, sz, mh);
    gfx_tex_blit2(gl, r, r, r, r, rx + sz, ry + sz, mw, mh);
    gfx_tex_blit2(gl, r2, r, r, r, rx + rw - sz, ry + sz, sz, mh);
    gfx_tex_blit2(gl, 0, r2, r, r, rx, ry + rh - sz, sz, sz);
    gfx_tex_blit2(gl, r, r2, r, r, rx + sz, ry + rh - sz, mw, sz);
    gfx_tex_blit2(gl, r2, r2, r, r, rx + rw - sz, ry + rh - sz, sz, sz);
}

// One row (or column) of the tiled box starting at p: the source cell start,
// the destination start and the length. The first takes the first cell, the
// others the middle one; the one before the last edge is cropped to end where
// the last begins, and the last takes the last cell flush with the box's edge.
struct _GfxSpan {
    int src, dst, len;
};

static _GfxSpan _gfx_box_span(int p, int start, int extent, int sz) {
    _GfxSpan s = {p == start ? 0 : sz, p, sz};
    int end = start + extent;
    if (p >= end - 2 * sz && p < end - sz) {
        s.len = end - sz - p;
    } else if (p >= end - sz) {
        s.src += sz;
        s.dst = end - sz;
    }
    return s;
}

void gfx_tex_box_slow(int gl, int rx, int ry, int rw, int rh, int sz) {
    // A step of 0 or less would never reach the box's end.
    if (sz <= 0) return;
    float cells = 3.0f * sz;
    for (int yy = ry; yy < ry + rh; yy += sz) {
        _GfxSpan row = _gfx_box_span(yy, ry, rh, sz);
        for (int xx = rx; xx < rx + rw; xx += sz) {
            _GfxSpan col = _gfx_box_span(xx, rx, rw, sz);
            gfx_tex_blit2(gl, col.src / cells, row.src / cells, col.len / cells, row.len / cells,
                          col.dst, row.dst, col.len, row.len);
        }
    }
}

void gfx_img_tile(int img, int rx, int ry, int rw, int rh, int sz) {
    if (sz <= 0) return;
    gfx_clip(rx, ry, rw, rh);
    for (int y = ry; y < ry + rh; y += sz)
        for (int x = rx; x < rx + rw; x += sz) gfx_img_blit(img, x, y, sz, sz);
    gfx_unclip();
}
