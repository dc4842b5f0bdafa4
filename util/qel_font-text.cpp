// qel_font-text: laying text out in a bitmap font, and drawing, measuring and
// hit-testing it.
//
// All lengths are logical pixels: font pixels times the entry's scale. Bytes
// are unsigned character codes; codes without a glyph advance 0 and draw
// nothing. Layout breaks at "\n" and, given a width, at the last space that
// still fits (or before the first byte that does not), in at most 32 lines.
#include <GL/gl.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "qel_font.h"
#include "qel_util.h"

// Glyphs per draw call when the graphics layer's batching is off: a longer
// line is sent in several calls. With it on, glyphs join the quad batch.
static const int _FONT_BATCH = 256;
static GLfloat _font_vertices[_FONT_BATCH * 6 * 2];
static GLfloat _font_coords[_FONT_BATCH * 6 * 2];

// Part of the font interface and returns the text unchanged, so the text
// operations below do not pass their texts through it.
const char* _font_filter(const char* s) { return s; }

static inline float _font_advance(const FontInfo& f, unsigned char c) { return f.shapes[c].w * f.scale; }

void _font_wrap_calc(int fid, const char* s, float ww, FontWrap& wrap) {
    const FontInfo& f = _font->data[fid];
    wrap.total = 0;
    int ts = 0, ls = 0, lw = 0;
    float w = 0;
    int i = 0;
    while (true) {
        unsigned char c = (unsigned char)s[i];
        int end = i;
        if (c != '\n' && c != 0) {
            float a = _font_advance(f, c);
            if (ww == 0 || w + a <= ww) {
                if (c == ' ') {
                    ls = i;
                    lw = myint(w);
                }
                w += a;
                i++;
                continue;
            }
            // The byte does not fit: break at the last space of the line, or
            // before this byte when the line has none.
            if (ls) {
                end = ls;
                w = (float)lw;
                c = ' ';
            }
        }
        int* line = wrap.lines[wrap.total];
        line[0] = ts;
        line[1] = end;
        line[2] = myint(w);
        if (++wrap.total == 32 || c == 0) return;
        // A breaking space or newline is dropped; a byte that did not fit
        // starts the next line.
        ts = i = c == ' ' || c == '\n' ? end + 1 : end;
        w = 0;
        ls = lw = 0;
    }
}

// The line's left edge: with a width, -1 aligns left, 0 centres, 1 aligns
// right. Counted in float, so no align value can overflow.
static float _font_line_x(const FontWrap& wrap, int l, float w, int align) {
    return w != 0 ? ((float)align + 1) * (w - wrap.lines[l][2]) / 2 : 0;
}

static void _font_flush(int glyphs) {
    if (!glyphs) return;
    glVertexPointer(2, GL_FLOAT, 0, _font_vertices);
    glTexCoordPointer(2, GL_FLOAT, 0, _font_coords);
    glDrawArrays(GL_TRIANGLES, 0, glyphs * 6);
}

// What texture coordinates divide by: the picture's texture as uploaded. The
// loader pads a picture to power-of-two sides with the picture in the
// top-left corner, so the size the font file declares is right only for a
// picture that needed no padding. Without a texture (no picture, or one that
// did not decode) the declared size stands.
static void _font_tex_size(const FontInfo& f, float* tw, float* th) {
    const GfxRect& t = _gfx_get_tex(f.tex)->rect;
    bool uploaded = t.w > 0 && t.h > 0;
    *tw = uploaded ? t.w : f.rect.w;
    *th = uploaded ? t.h : f.rect.h;
}

// The glyphs of the bytes from p up to end, as one line from (x, y).
static void _font_glyphs(const FontInfo& f, const unsigned char* p, const unsigned char* end, float x, float y) {
    int gl = gfx_tex_get_id(f.tex);
    bool batch = _gfx_batching();
    if (!batch) glBindTexture(GL_TEXTURE_2D, (GLuint)gl);
    float tw, th;
    _font_tex_size(f, &tw, &th);
    // Without the picture's size there are no texture coordinates to give.
    if (tw == 0 || th == 0) return;
    if (batch) _gfx_batch_begin(gl);
    int glyphs = 0;
    for (; p < end; p++) {
        const GfxRect& R = f.rects[*p];
        const GfxRect& S = f.shapes[*p];
        GfxRect t(R.x / tw, R.y / th, R.w / tw, R.h / th);
        GfxRect d(x + S.x * f.scale, y + S.y * f.scale, R.w * f.scale, R.h * f.scale);
        x += S.w * f.scale;
        // A glyph of no size (a space, a code the font lacks) has nothing to show.
        if (R.w == 0 || R.h == 0 || !_gfx_clip(&d, &t)) continue;
        // Top-left, top-right, bottom-left; bottom-left, top-right, bottom-right.
        float x2 = d.x + d.w, y2 = d.y + d.h, s2 = t.x + t.w, t2 = t.y + t.h;
        const GLfloat vs[12] = {d.x, d.y, x2, d.y, d.x, y2, d.x, y2, x2, d.y, x2, y2};
        const GLfloat cs[12] = {t.x, t.y, s2, t.y, t.x, t2, t.x, t2, s2, t.y, s2, t2};
        if (batch) {
            _gfx_batch_tris(vs, cs, 6);
            continue;
        }
        memcpy(_font_vertices + glyphs * 12, vs, sizeof vs);
        memcpy(_font_coords + glyphs * 12, cs, sizeof cs);
        if (++glyphs == _FONT_BATCH) {
            _font_flush(glyphs);
            glyphs = 0;
        }
    }
    _font_flush(glyphs);
}

void _font_draw(int fid, const char* txt, float x, float y) {
    const unsigned char* p = (const unsigned char*)txt;
    _font_glyphs(_font->data[fid], p, p + strlen(txt), x, y);
}

void font_draw(int fid, const char* s, float x, float y, float w, int align) {
    FontWrap wrap;
    _font_wrap_calc(fid, s, w, wrap);
    const FontInfo& f = _font->data[fid];
    float lh = f.height * f.scale;
    y += (f.height - f.base) * 0.333 * f.scale;
    for (int l = 0; l < wrap.total; l++) {
        const int* line = wrap.lines[l];
        float lx = x + _font_line_x(wrap, l, w, align);
        GfxRect r(lx, y, (float)line[2], lh);
        if (_gfx_clip(&r, nullptr)) {
            const unsigned char* p = (const unsigned char*)s;
            _font_glyphs(f, p + line[0], p + line[1], lx, y);
        }
        y += lh;
    }
}

float font_get_width(int fid, const char* s) {
    const FontInfo& f = _font->data[fid];
    float w = 0, max = 0;
    for (const unsigned char* p = (const unsigned char*)s;; p++) {
        if (*p == '\n' || *p == 0) {
            if (w > max) max = w;
            if (*p == 0) break;
            w = 0;
            continue;
        }
        w += _font_advance(f, *p);
    }
    return std::ceil(max + 0.01f);
}

float font_get_height(int fid, const char* s, float w) {
    const FontInfo& f = _font->data[fid];
    float lh = f.height * f.scale;
    if (!s || w == 0) return lh;
    FontWrap wrap;
    _font_wrap_calc(fid, s, w, wrap);
    return wrap.total * lh;
}

// Walks the laid-out text as the caret sees it: every index from each line's
// start up to and including the byte that ended the line, with its left edge
// x, its line's top y and its advance a. visit returns true to stop.
template <class F>
static void _font_walk(int fid, const char* s, float w, int align, float* x, float* y, F visit) {
    const FontInfo& f = _font->data[fid];
    FontWrap wrap;
    _font_wrap_calc(fid, s, w, wrap);
    float lh = f.height * f.scale;
    *y = 0;
    for (int l = 0; l < wrap.total; l++) {
        *x = _font_line_x(wrap, l, w, align);
        for (int n = wrap.lines[l][0]; n <= wrap.lines[l][1]; n++) {
            float a = _font_advance(f, (unsigned char)s[n]);
            if (visit(n, *x, *y, a, lh)) return;
            *x += a;
        }
        *y += lh;
    }
}

GfxRect font_crect(int fid, const char* s, int pos, float w, int align) {
    float lh = _font->data[fid].height * _font->data[fid].scale;
    float x = 0, y = 0;
    GfxRect r;
    bool hit = false;
    _font_walk(fid, s, w, align, &x, &y, [&](int n, float nx, float ny, float a, float h) {
        if (n < pos) return false;
        r = GfxRect(nx, ny, a, h);
        return hit = true;
    });
    // Past the text: a caret of no width after the last character.
    return hit ? r : GfxRect(x, y - lh, 0, lh);
}

int font_cnear(int fid, const char* s, int x, int y, float w, int align) {
    float nx = 0, ny = 0;
    int best = 0;
    int64_t best_d = INT64_MAX;
    _font_walk(fid, s, w, align, &nx, &ny, [&](int n, float rx, float ry, float, float h) {
        // The line counts before the column: a vertical step outweighs any
        // horizontal one. In 64 bits, so no distance can wrap around.
        int64_t dx = myint(rx - x), dy = myint(ry + h / 2 - y);
        int64_t d = std::llabs(dx) + std::llabs(dy) * 65536;
        if (d < best_d) {
            best_d = d;
            best = n;
        }
        return false;
    });
    return best;
}
