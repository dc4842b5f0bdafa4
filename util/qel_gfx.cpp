// qel_gfx: the state record, the texture and image registries with their file
// lookup, the texture memory budget and the file watcher.
#include "qel_gfx.h"

#include <cstdio>
#include <cstring>
#include <iterator>

#include <GL/gl.h>

#include "qel_driver-tex_load.h"
#include "qel_driver.h"
#include "qel_util.h"

_GfxData* _gfx = nullptr;

static GfxTexLoader _gfx_loader = nullptr;

void _gfx_set_tex_loader(GfxTexLoader loader) { _gfx_loader = loader; }

static int _gfx_load_file(const char* fname, int* w, int* h, int* tw, int* th) {
    return _gfx_loader ? _gfx_loader(fname, w, h, tw, th) : driver_tex_load(fname, w, h, tw, th);
}

_GfxData::_GfxData() {
    img_data.emplace_back();
    tex_data.emplace_back();
}

void gfx_init() {
    if (!_gfx) {
        _gfx = new _GfxData();
        glEnable(GL_TEXTURE_2D);
        glEnableClientState(GL_VERTEX_ARRAY);
        glEnableClientState(GL_TEXTURE_COORD_ARRAY);
        glEnable(GL_BLEND);
        // Texels and draw colours are premultiplied by alpha.
        glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
        gfx_set_size(256, 256);
        gfx_set_orient(0);
        gfx_set_scale(1);
    }
    _gfx_fix_view();
}

void gfx_deinit() {
    gfx_flush();
    // The GL textures end with the context, at the end of the program.
    delete _gfx;
    _gfx = nullptr;
}

void gfx_clear() {
    gfx_flush();
    glClearColor(0, 0, 0, 1);
    glClearDepth(1.0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

static char _gfx_find_buf[512];

// A name with a '.' is tried unchanged first; one without starts at ".tga".
const char* _gfx_find_ext(const char* name) {
    static const char* const suffixes[] = {"", ".tga", ".png", ".jpg", ".qel"};
    int first = strchr(name, '.') ? 0 : 1;
    return driver_data_find(_gfx_find_buf, sizeof _gfx_find_buf, name, suffixes + first, 5 - first);
}

const char* _gfx_find(const char* fname) {
    char scale[32], idiom[32];
    snprintf(scale, sizeof scale, "@%dx", (int)driver_get_scale());
    int n = snprintf(idiom, sizeof idiom, "~%s", driver_get_idiom());
    // An idiom too long for its suffix buffer gets no idiom variants rather
    // than a cut one that could match another idiom's files.
    bool with_idiom = n >= 0 && n < (int)sizeof idiom;

    // The base is the last path component up to its first '.'; the extension
    // is everything from that '.' on.
    std::string s(fname);
    size_t slash = s.rfind('/');
    size_t start = slash == std::string::npos ? 0 : slash + 1;
    size_t dot = s.find('.', start);
    std::string base = s.substr(start, dot == std::string::npos ? std::string::npos : dot - start);
    std::string ext = dot == std::string::npos ? "" : s.substr(dot);
    printf("_gfx_find(%s):%s:%s\n", fname, base.c_str(), ext.c_str());

    const char* r = nullptr;
    if (with_idiom && (r = _gfx_find_ext((base + scale + idiom + ext).c_str()))) return r;
    if ((r = _gfx_find_ext((base + scale + ext).c_str()))) return r;
    if (with_idiom && (r = _gfx_find_ext((base + idiom + ext).c_str()))) return r;
    return _gfx_find_ext((base + ext).c_str());
}

GfxTexture* _gfx_get_tex(int n) { return &_gfx->tex_data[n]; }
GfxImage* _gfx_get_img(int n) { return &_gfx->img_data[n]; }
bool gfx_img_valid(int img) { return _gfx && img >= 0 && (size_t)img < _gfx->img_data.size(); }

int gfx_tex_load(const char* name) {
    auto it = _gfx->tex_map.find(name);
    if (it == _gfx->tex_map.end()) {
        fprintf(stderr, "trying load tex %s\n", name);
        // The entry keeps the name in 64 bytes and registers the whole-file
        // image under that copy: a cut name could alias another entry's image.
        bool fits = strlen(name) < sizeof(GfxTexture::name);
        if (!fits) fprintf(stderr, "tex name longer than 63 bytes: %s\n", name);
        const char* found = fits ? _gfx_find(name) : nullptr;
        if (!found) {
            fprintf(stderr, "unable to find tex %s\n", name);
            _gfx->tex_map[name] = 0;
            return 0;
        }
        int n = (int)_gfx->tex_data.size();
        _gfx->tex_data.emplace_back();
        fprintf(stderr, "doing load tex %s (%d)\n", name, n);
        long t0 = driver_timer_get_ticks();
        _gfx->tex_map[name] = n;
        GfxTexture& t = _gfx->tex_data[n];
        t.n = n;
        snprintf(t.tex_fname, sizeof t.tex_fname, "%s", driver_data_fname(found));
        snprintf(t.name, sizeof t.name, "%s", name);
        gfx_tex_reload(n);
        long dt = driver_timer_get_ticks() - t0;
        _gfx->load_ms += dt;
        fprintf(stderr, "gfx_tex_load: %ld ms, total %ld ms\n\n", dt, _gfx->load_ms);
        it = _gfx->tex_map.find(name);
    }
    _gfx_tex_check(it->second);
    return it->second;
}

void gfx_tex_reload(int n) {
    if (n <= 0) return;  // entry 0 stands for none and is never written
    GfxTexture& t = _gfx->tex_data[n];
    fprintf(stderr, "gfx_tex_reload: %d %s %s\n", n, t.name, t.tex_fname);
    if (t.tex) _gfx_tex_gl_free(n);
    int w = 0, h = 0, tw = 0, th = 0;
    t.loaded = 1;
    t.tex_mtime = driver_file_stamp(t.tex_fname);
    t.tex = _gfx_load_file(t.tex_fname, &w, &h, &tw, &th);
    // A failed load has no picture: keep its sizes and memory at zero so it
    // draws nothing and is never counted or evicted.
    if (!t.tex) w = h = tw = th = 0;
    t.rect = GfxRect(0, 0, (float)tw, (float)th);
    t.tex_memused = (unsigned long)tw * (unsigned long)th * 16 / 3;
    t.tex_atime = watch_now();
    _gfx->memused += t.tex_memused;
    GfxRect whole(0, 0, (float)w, (float)h);
    gfx_img_add(t.name, n, whole, whole);
    _gfx_tex_recycle();
}

void _gfx_tex_gl_free(int n) {
    if (n <= 0) return;
    GfxTexture& t = _gfx->tex_data[n];
    GLuint name = (GLuint)t.tex;
    // Pending quads may use the texture, and its name may be given out again.
    gfx_flush();
    if (name) glDeleteTextures(1, &name);
    t.tex = 0;
    _gfx->memused -= t.tex_memused;
    t.tex_memused = 0;
    t.loaded = 0;
}

void _gfx_tex_check(int n) {
    if (n <= 0) return;
    if (!_gfx->tex_data[n].loaded) gfx_tex_reload(n);
    _gfx->tex_data[n].tex_atime = watch_now();
}

// The budget is asked anew on every test: the halving switch may change.
static unsigned long _gfx_memmax() {
    return _QEL_DRIVER_TEX_LOAD_DOWNSCALE() ? 33554432ul : 83886080ul;
}

void _gfx_tex_recycle() {
    fprintf(stderr, "_gfx->memused: %.2fM\n", _gfx->memused / 1048576.0);
    while (_gfx->memused > _gfx_memmax()) {
        float max = (float)(_gfx_memmax() / 1048576.0);
        fprintf(stderr, "QEL_GFX_MEMMAX: %.2fM exceeded by %.2f\n", max,
                (float)(_gfx->memused / 1048576) - max);
        // The longest idle wins, the later index on a tie. Only entries that
        // hold memory can bring the sum down.
        time_t now = watch_now();
        int best = 0;
        time_t best_idle = 0;
        for (size_t i = 1; i < _gfx->tex_data.size(); i++) {
            const GfxTexture& t = _gfx->tex_data[i];
            if (!t.loaded || !t.tex_memused) continue;
            time_t idle = now - t.tex_atime;
            if (idle >= 300 && idle >= best_idle) {
                best = (int)i;
                best_idle = idle;
            }
        }
        if (!best) break;
        fprintf(stderr, "_gfx_tex_recycle: %d (%s)\n", best, _gfx->tex_data[best].name);
        _gfx_tex_gl_free(best);
    }
}

int gfx_tex_get_id(int tid) {
    _gfx_tex_check(tid);
    return _gfx->tex_data[tid].tex;
}

int gfx_img_add(const char* name, int tex, GfxRect rect, GfxRect shape) {
    auto it = _gfx->img_map.find(name);
    int n;
    // A name cached as not found maps to 0, which stays the empty entry.
    if (it == _gfx->img_map.end() || it->second == 0) {
        n = (int)_gfx->img_data.size();
        _gfx->img_data.emplace_back();
        _gfx->img_map[name] = n;
    } else {
        n = it->second;
    }
    GfxImage& img = _gfx->img_data[n];
    img.n = n;
    img.tid = tex;
    img.rect = rect;
    img.shape = shape;
    return n;
}

int gfx_img_load(const char* name) {
    auto it = _gfx->img_map.find(name);
    if (it == _gfx->img_map.end()) {
        if (gfx_tex_load(name)) it = _gfx->img_map.find(name);
        if (it == _gfx->img_map.end()) {
            fprintf(stderr, "unable to find img %s\n", name);
            _gfx->img_map[name] = 0;
            return 0;
        }
    }
    int n = it->second;
    _gfx_tex_check(_gfx->img_data[n].tid);
    return n;
}

int gfx_img_get_tex(int img) { return gfx_tex_get_id(_gfx->img_data[img].tid); }
int gfx_img_get_width(int img) { return (int)_gfx->img_data[img].shape.w; }
int gfx_img_get_height(int img) { return (int)_gfx->img_data[img].shape.h; }

float gfx_img_get_ratio(int img) {
    return mymax(1, (float)gfx_img_get_width(img)) / mymax(1, (float)gfx_img_get_height(img));
}

static void _gfx_forget_zeros(std::map<std::string, int, std::less<>>& map) {
    for (auto it = map.begin(); it != map.end();) it = it->second == 0 ? map.erase(it) : std::next(it);
}

void gfx_forget_missing() {
    if (!_gfx) return;
    _gfx_forget_zeros(_gfx->tex_map);
    _gfx_forget_zeros(_gfx->img_map);
}

// Pictures first, then the atlas files beside them.
void gfx_reload_auto() {
    timespec now = watch_now_ns();
    if (!watch_due(&_gfx->watch, now.tv_sec)) return;
    for (size_t n = 1; n < _gfx->tex_data.size(); n++) {
        const GfxTexture& t = _gfx->tex_data[n];
        if (t.tex_fname[0] && watch_changed(driver_file_stamp(t.tex_fname), t.tex_mtime, now))
            gfx_tex_reload((int)n);
    }
    for (size_t n = 1; n < _gfx->tex_data.size(); n++) {
        const GfxTexture& t = _gfx->tex_data[n];
        if (t.atlas_fname[0] && watch_changed(driver_file_stamp(t.atlas_fname), t.atlas_mtime, now))
            gfx_atlas_reload((int)n, t.atlas_fname);
    }
}
