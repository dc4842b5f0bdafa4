// qel_gfx-batch: the quad batch. Consecutive quads of one texture go to GL
// together, as one glDrawArrays of triangles from client arrays.
//
// A software rasteriser pays a fixed set-up for every draw call, and every
// change of GL state between two calls costs a validation on top: one call
// per sprite spends more there than on the sprite's pixels. So the
// primitives hand their triangles here, and they are drawn when something
// would change how they are drawn: another texture (or a fill, which is
// untextured), a change of the matrices, a clear, a texture freed or
// reloaded, a full batch; and by gfx_flush() before a buffer swap or a read
// of the pixels. Draw order is kept: a flush draws everything pending before
// anything else reaches GL.
//
// Each quad keeps the GL colour its caller had set when it was added (read
// back from GL, so glColor4ub calls between primitives tint exactly the
// quads they meant to). While every pending quad has one colour, the batch
// is drawn with that colour as the current one, as an unbatched draw is;
// once the colours differ they go per vertex. The triangles are those GL
// makes of each quad's strip, corner for corner, so the rasteriser is given
// the same input as when each quad was drawn on its own.
#include <cstring>

#include <GL/gl.h>

#include "qel_gfx.h"

void gfx_flush() {
    if (!_gfx || !_gfx->batch.n) return;
    GfxBatch& b = _gfx->batch;
    // Drawing with a colour array leaves the current colour undefined, and a
    // uniform batch sets its own: the caller's comes back afterwards.
    GLfloat now[4] = {};
    glGetFloatv(GL_CURRENT_COLOR, now);
    bool recolour = b.mixed || memcmp(now, b.color, sizeof now) != 0;
    if (b.mixed) {
        glEnableClientState(GL_COLOR_ARRAY);
        glColorPointer(4, GL_FLOAT, 0, b.c);
    } else if (recolour) {
        glColor4fv(b.color);
    }
    bool textured = b.tex != _GFX_UNTEXTURED;
    if (textured) {
        glBindTexture(GL_TEXTURE_2D, (GLuint)b.tex);
        glTexCoordPointer(2, GL_FLOAT, 0, b.t);
    } else {
        glDisable(GL_TEXTURE_2D);
        glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    }
    glVertexPointer(2, GL_FLOAT, 0, b.v);
    glDrawArrays(GL_TRIANGLES, 0, b.n);
    if (!textured) {
        glEnable(GL_TEXTURE_2D);
        glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    }
    if (b.mixed) glDisableClientState(GL_COLOR_ARRAY);
    if (recolour) glColor4fv(now);
    b.n = 0;
}

void _gfx_set_batching(bool on) {
    gfx_flush();
    _gfx->batch.on = on;
}

bool _gfx_batching() { return _gfx->batch.on; }

void _gfx_batch_begin(int tex) {
    GfxBatch& b = _gfx->batch;
    if (b.n && b.tex != tex) gfx_flush();
    b.tex = tex;
    if (!b.held) glGetFloatv(GL_CURRENT_COLOR, b.cur);
}

void _gfx_batch_color(const float* c) {
    GfxBatch& b = _gfx->batch;
    b.held = c != nullptr;
    if (c) memcpy(b.cur, c, sizeof b.cur);
}

// Room for n more vertices in the colour of the quads being added: a full
// batch is drawn first, and the colours are spelt out per vertex once they
// differ. The index of the first.
static int _gfx_batch_room(GfxBatch& b, int n) {
    if (b.n + n > _GFX_BATCH_QUADS * 6) {
        // GL is told to get on with a full batch: a software rasteriser then
        // fills its pixels on its own threads while the next one is built.
        gfx_flush();
        glFlush();
    }
    if (b.n == 0) {
        memcpy(b.color, b.cur, sizeof b.color);
        b.mixed = false;
    } else if (!b.mixed && memcmp(b.color, b.cur, sizeof b.color) != 0) {
        for (int i = 0; i < b.n; i++) memcpy(b.c + i * 4, b.color, sizeof b.color);
        b.mixed = true;
    }
    if (b.mixed)
        for (int i = b.n; i < b.n + n; i++) memcpy(b.c + i * 4, b.cur, sizeof b.cur);
    int at = b.n;
    b.n += n;
    return at;
}

void _gfx_batch_tris(const float* v, const float* t, int n) {
    GfxBatch& b = _gfx->batch;
    int at = _gfx_batch_room(b, n);
    memcpy(b.v + at * 2, v, sizeof(float) * 2 * n);
    if (b.tex != _GFX_UNTEXTURED) memcpy(b.t + at * 2, t, sizeof(float) * 2 * n);
}

// A strip's triangles as GL forms them: corners 0, 1, 2, then 2, 1, 3 (the
// second turned so that both keep the first one's winding), two floats each.
static void _gfx_strip_tris(float* o, const float* p) {
    memcpy(o, p, sizeof(float) * 6);
    memcpy(o + 6, p + 4, sizeof(float) * 2);
    memcpy(o + 8, p + 2, sizeof(float) * 2);
    memcpy(o + 10, p + 6, sizeof(float) * 2);
}

void _gfx_batch_strip(const float* v, const float* t) {
    GfxBatch& b = _gfx->batch;
    int at = _gfx_batch_room(b, 6);
    _gfx_strip_tris(b.v + at * 2, v);
    if (b.tex != _GFX_UNTEXTURED) _gfx_strip_tris(b.t + at * 2, t);
}
