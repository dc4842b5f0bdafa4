// qel_gfx: the graphics layer over fixed-function OpenGL.
//
// One global state record (`_gfx`) holds:
// - the texture registry (one entry per image file, named by the name it was
//   first asked for) and the image registry (named frames inside textures),
//   both with entry 0 reserved to mean none; lookups are cached both ways, a
//   name not found until the registries are told to forget it;
// - a texture memory budget that frees the GL textures of long-idle entries,
//   which come back on their next use, and a once-per-second file watcher
//   (qel_watch) that reloads changed files in place (qel_gfx.cpp);
// - sprite atlases: JSON files naming frames inside one texture
//   (qel_gfx-atlas.cpp);
// - the logical view: a canvas of a chosen size centred in the window,
//   scaled, rotated and shifted, as a GL projection and as CPU conversions
//   both ways (qel_gfx-view.cpp);
// - a software clip stack and the drawing primitives: every quad is cut to
//   the clip on the CPU, texture coordinates included (qel_gfx-draw.cpp);
// - the quad batch that the primitives draw through: consecutive quads of
//   one texture go to GL as one draw call (qel_gfx-batch.cpp). Code that
//   uses GL itself calls gfx_flush() first.
// Main thread only, with the GL context current.
#ifndef QEL_GFX_H
#define QEL_GFX_H

#include <ctime>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "qel_event.h"
#include "qel_watch.h"

// A rectangle (origin and size), or a point with w and h carried along.
struct GfxRect {
    float x, y, w, h;
    GfxRect() : x(0), y(0), w(0), h(0) {}
    GfxRect(float x, float y, float w, float h) : x(x), y(y), w(w), h(h) {}
};

struct GfxTexture {
    int n = 0;                     // its own index
    int loaded = 0;                // 1 once a load was tried, 0 after the budget freed it
    int tex = 0;                   // GL name, 0 when none
    unsigned long tex_memused = 0; // tw * th * 16 / 3: texels plus a third for mipmaps
    GfxRect rect;                  // (0, 0, tw, th): the GL texture's size
    char name[64] = {};            // registry name
    char tex_fname[512] = {};      // full path of the image file
    FileStamp tex_mtime;           // the file's stamp at the last (re)load
    char atlas_fname[512] = {};    // sprite atlas file beside the picture, empty: none
    FileStamp atlas_mtime;         // the atlas file's stamp at its last read
    time_t tex_atime = 0;          // wall-clock second of the last use
};

struct GfxImage {
    int n = 0;     // its own index
    int tid = 0;   // texture holding the frame
    GfxRect rect;  // the frame, in texels of the texture
    GfxRect shape; // x, y: frame offset inside the untrimmed picture; w, h: its size
};

// Room for the vertices of this many quads in the batch.
const int _GFX_BATCH_QUADS = 4096;

// Triangles waiting to be drawn together: positions, texture coordinates
// and, once their colours differ, colours per vertex.
struct GfxBatch {
    bool on = true;           // false: every primitive draws at once, on its own
    int tex = 0;              // GL name of the pending triangles, or _GFX_UNTEXTURED
    int n = 0;                // vertices pending
    bool mixed = false;       // their colours differ: the colour array holds them
    float color[4] = {};      // the colour of every pending vertex while not mixed
    float cur[4] = {};        // the GL colour of the quads being added
    bool held = false;        // cur is the GL colour by its caller's word: not read back
    float v[_GFX_BATCH_QUADS * 6 * 2];
    float t[_GFX_BATCH_QUADS * 6 * 2];
    float c[_GFX_BATCH_QUADS * 6 * 4];
};

struct _GfxData {
    GfxRect _driver_size;  // window size the viewport was last fitted to
    GfxRect view;          // viewport in window pixels
    GfxRect size;          // logical canvas (w, h)
    float orient = 0;      // degrees
    float scale = 0;       // logical to window
    GfxRect focus;         // logical rectangle of the focused text field
    GfxRect shift;         // logical translation (x, y)
    // Looked up by C string without making a std::string of it.
    std::map<std::string, int, std::less<>> img_map;
    std::vector<GfxImage> img_data;
    std::map<std::string, int, std::less<>> tex_map;
    std::vector<GfxTexture> tex_data;
    GfxRect translate;     // running drawing translation (x, y)
    GfxRect clip[8];       // clip stack, untranslated
    int clip_n = 0;        // pushes not yet popped; may exceed 8
    float ortho_near = -1, ortho_far = 1;
    unsigned long memused = 0;  // sum of tex_memused
    Watch watch{};              // the file watcher's last check
    long load_ms = 0;           // time spent in first loads, for their log line
    GfxBatch batch;

    _GfxData();
};

extern _GfxData* _gfx;

// Life and frame.
void gfx_init();
void gfx_deinit();
void gfx_clear();

// File lookup: results point into one static buffer that the next call
// overwrites; null when no candidate exists.
const char* _gfx_find_ext(const char* name);
const char* _gfx_find(const char* fname);

// Textures.
int gfx_tex_load(const char* name);
void gfx_tex_reload(int n);
void _gfx_tex_check(int n);
void _gfx_tex_gl_free(int n);
void _gfx_tex_recycle();
int gfx_tex_get_id(int tid);
GfxTexture* _gfx_get_tex(int n);

// Images.
int gfx_img_add(const char* name, int tex, GfxRect rect, GfxRect shape);
int gfx_img_load(const char* name);
int gfx_img_get_tex(int img);
int gfx_img_get_width(int img);
int gfx_img_get_height(int img);
float gfx_img_get_ratio(int img);
GfxImage* _gfx_get_img(int n);
// Whether img is an index of the image registry (0, the empty entry, included).
bool gfx_img_valid(int img);

// The file watcher, run every frame; works at most once per wall-clock second.
void gfx_reload_auto();
// Drops the names cached as not found, so that their next use looks for
// their files again (a file added since shows then). What was found keeps its
// entries and indices. The mod runtime calls it at each reload of the mod.
void gfx_forget_missing();

// Sprite atlases (qel_gfx-atlas.cpp): the picture of the name and the JSON
// file "<name>.json" beside it, whose "frames" become images on that texture,
// drawn by name. Loaded once per name; the file watcher reads the JSON file
// again when it changes.
void gfx_atlas_load(const char* name);
// Reads the atlas file fname for texture tid and (re)registers its frames.
void gfx_atlas_reload(int tid, const char* fname);

// Seam for tests: the loader behind every texture (re)load; null restores
// driver_tex_load. The budget and the watcher read watch_now (qel_watch).
typedef int (*GfxTexLoader)(const char* fname, int* rw, int* rh, int* rtw, int* rth);
void _gfx_set_tex_loader(GfxTexLoader loader);

// View.
void gfx_set_view(int x, int y, int w, int h);
void gfx_get_view(int* x, int* y, int* w, int* h);
void gfx_set_size(int w, int h);
void gfx_get_size(int* w, int* h);
void gfx_set_shift(int x, int y);
void gfx_get_shift(int* x, int* y);
void gfx_set_orient(float deg);
float gfx_get_orient();
void gfx_set_scale(float s);
float gfx_get_scale();
void gfx_set_ortho_near_far(float near, float far);
void _gfx_fix_view();
void gfx_ortho();
GfxRect gfx_pos_to_hwpos(GfxRect p);
GfxRect gfx_hwpos_to_pos(GfxRect p);
GfxRect gfx_rect_to_hwrect(GfxRect r);
GfxRect gfx_hwrect_to_rect(GfxRect r);
void gfx_event_correct(Event* e);
void gfx_focus(GfxRect r);
void gfx_blur();
GfxRect _gfx_get_focus_fixed();
void gfx_translate(float x, float y);

// Clip stack.
void gfx_clip(float x, float y, float w, float h);
void gfx_unclip();
bool _gfx_clip(GfxRect* rect, GfxRect* coords);
bool _gfx_clip_test(const GfxRect& clip, GfxRect* rect, GfxRect* coords);

// Primitives: gfx_img_* take an image index, gfx_tex_* a GL texture name.
void gfx_img_blit(int img, float dx, float dy, float dw, float dh);
void gfx_img_blit2(int img, float sx, float sy, float sw, float sh, float dx, float dy, float dw,
                   float dh);
void gfx_img_quad(int img, float x1, float y1, float z1, float x2, float y2, float z2, float x3,
                  float y3, float z3, float x4, float y4, float z4);
void gfx_tex_blit(int gl, int dx, int dy, int dw, int dh);
void gfx_tex_blit2(int gl, float sx, float sy, float sw, float sh, float dx, float dy, float dw,
                   float dh);
void gfx_tex_quad(int gl, float x1, float y1, float z1, float x2, float y2, float z2, float x3,
                  float y3, float z3, float x4, float y4, float z4);
void gfx_fill(unsigned int c, int dx, int dy, int dw, int dh);
void gfx_img_box(int img, int rx, int ry, int rw, int rh, int sz);
void gfx_tex_box(int gl, int rx, int ry, int rw, int rh, int sz);
void gfx_tex_box_slow(int gl, int rx, int ry, int rw, int rh, int sz);
void gfx_img_tile(int img, int rx, int ry, int rw, int rh, int sz);

// The quad batch (qel_gfx-batch.cpp). gfx_flush draws what is pending; the
// graphics layer calls it itself before anything that would change how
// pending quads are drawn (another texture, a matrix, a clear, a texture
// freed or reloaded). A buffer swap, a pixel read and any GL call of a
// caller's own but glColor need it first.
void gfx_flush();
// Test hook: off, every primitive draws at once with its own GL calls.
void _gfx_set_batching(bool on);
bool _gfx_batching();
// The texture argument of _gfx_batch_begin for fills.
const int _GFX_UNTEXTURED = -1;
// Quads drawn with texture tex (a GL name) in the current GL colour follow.
void _gfx_batch_begin(int tex);
// For a caller that sets the GL colour itself and lets nothing else set it
// meanwhile: c is the colour as GL holds it (glGetFloatv), taken for the
// quads that follow instead of reading it back for each; null ends that.
void _gfx_batch_color(const float* c);
// n vertices of whole triangles: positions v and texture coordinates t,
// two floats each (t unread for fills).
void _gfx_batch_tris(const float* v, const float* t, int n);
// A quad given as a four-vertex triangle strip.
void _gfx_batch_strip(const float* v, const float* t);

#endif
