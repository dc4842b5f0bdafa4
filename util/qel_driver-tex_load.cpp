// qel_driver-tex_load: image file to premultiplied, padded GL texture.
#include "qel_driver-tex_load.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <stb_image.h>

#include "qel_driver.h"
#include "qel_var.h"

// stb keeps its own reason only for what it decoded; a file that could not be
// read at all never reached it, so its reason would be stale or null.
static const char* _tex_load_reason = "nothing loaded yet";

const char* _stbi_load_reason() { return _tex_load_reason; }

static void* _tex_file_read(const char* fname, int* len) {
    void* data = driver_file_alloc(fname, len);
    if (!data) _tex_load_reason = "file missing, empty or unreadable";
    return data;
}

static unsigned char* _tex_decode(const void* data, int len, int* width, int* height, int* bpp, int req) {
    unsigned char* pixels = stbi_load_from_memory((const stbi_uc*)data, len, width, height, bpp, req);
    if (!pixels) {
        // stb names an unknown PNG chunk by its four type bytes, which in a
        // cut file are zeros: an empty reason.
        const char* why = stbi_failure_reason();
        _tex_load_reason = why && *why ? why : "undecodable";
    }
    return pixels;
}

unsigned char* _stbi_load(const char* fname, int* width, int* height, int* bpp, int req) {
    int len = 0;
    void* data = _tex_file_read(fname, &len);
    if (!data) return nullptr;
    unsigned char* pixels = _tex_decode(data, len, width, height, bpp, req);
    free(data);
    return pixels;
}

// A version piece's digits as a number. Pieces are capped at 255 so that an
// absurd text can neither overflow nor spill into the neighbouring field.
static int _gl_version_piece(const std::string& s) {
    int n = 0;
    for (char c : s) {
        n = n * 10 + (c - '0');
        if (n > 255) return 255;
    }
    return n;
}

int _driver_gl_version_parse(const char* text) {
    if (!text) return 0;
    // A longer text is cut: the digits and points that matter come first.
    char buf[256];
    snprintf(buf, sizeof buf, "%s", text);
    buf[strspn(buf, "0123456789.")] = 0;
    var parts = str_split(buf, ".");
    int v[3] = {0, 0, 0};
    for (int i = 0; i < 3 && i < parts.__len__(); i++) v[i] = _gl_version_piece(parts[i]);
    return (v[0] << 16) + (v[1] << 8) + v[2];
}

int _driver_gl_version() {
    // Null without a current context (no window could be made).
    return _driver_gl_version_parse((const char*)glGetString(GL_VERSION));
}

int _has_gl_generate_mipmap() { return _driver_gl_version() > 0x103ff ? 1 : 0; }

GLint _qel_gl_texture_min_filter() {
    return _has_gl_generate_mipmap() ? GL_LINEAR_MIPMAP_LINEAR : GL_LINEAR;
}

GLboolean _qel_gl_generate_mipmap() {
    GLint f = _qel_gl_texture_min_filter();
    return f != GL_NEAREST && f != GL_LINEAR;
}

int _driver_tex_side(int side) {
    for (int s = 64; s <= 4096; s *= 2)
        if (s >= side) return s;
    return side;
}

void _driver_tex_premultiply(unsigned char* pixels, size_t count) {
    for (size_t i = 0; i < count; i++) {
        unsigned char* p = pixels + i * 4;
        unsigned a = p[3];
        p[0] = (unsigned char)((p[0] * a) >> 8);
        p[1] = (unsigned char)((p[1] * a) >> 8);
        p[2] = (unsigned char)((p[2] * a) >> 8);
    }
}

static bool _tex_halves(bool downscale, int tw, int th) { return downscale && tw > 64 && th > 64; }

void _driver_tex_sizes(int w, int h, bool downscale, int* rw, int* rh, int* rtw, int* rth) {
    int tw = _driver_tex_side(w), th = _driver_tex_side(h);
    if (_tex_halves(downscale, tw, th)) {
        w /= 2;
        h /= 2;
        tw /= 2;
        th /= 2;
    }
    *rw = w;
    *rh = h;
    *rtw = tw;
    *rth = th;
}

// 2 x 2 box filter over the whole texture, in place: every output texel lies
// at or before the first of the four it is made from, so reads stay ahead of
// writes.
static void _tex_halve(unsigned char* buf, int tw, int th) {
    int nw = tw / 2, nh = th / 2;
    size_t stride = (size_t)tw * 4;
    for (int y = 0; y < nh; y++) {
        for (int x = 0; x < nw; x++) {
            const unsigned char* p = buf + (size_t)y * 2 * stride + (size_t)x * 8;
            unsigned char* q = buf + ((size_t)y * nw + x) * 4;
            for (int c = 0; c < 4; c++)
                q[c] = (unsigned char)((p[c] + p[c + 4] + p[stride + c] + p[stride + c + 4]) >> 2);
        }
    }
}

static bool _tex_power_of_two(int side) { return side > 0 && (side & (side - 1)) == 0; }

bool _driver_tex_own_mipmaps(int tw, int th) { return _tex_power_of_two(tw) && _tex_power_of_two(th); }

static inline unsigned char _tex_mean(unsigned a, unsigned b) { return (unsigned char)((a + b + 1) >> 1); }

void _driver_tex_mip_halve(unsigned char* buf, int w, int h, int* rw, int* rh) {
    int nw = w > 1 ? w / 2 : 1, nh = h > 1 ? h / 2 : 1;
    size_t stride = (size_t)w * 4;
    // A side of 1 has no pair to average: the second texel of the pair is
    // the first one again.
    size_t dx = w > 1 ? 4 : 0, dy = h > 1 ? stride : 0;
    // Every texel written lies at or before the first one it is made from.
    for (int y = 0; y < nh; y++) {
        const unsigned char* row = buf + (size_t)y * 2 * stride;
        unsigned char* q = buf + (size_t)y * nw * 4;
        for (int x = 0; x < nw; x++, q += 4) {
            const unsigned char* p = row + (size_t)x * 8;
            for (int c = 0; c < 4; c++)
                q[c] = _tex_mean(_tex_mean(p[c], p[dx + c]), _tex_mean(p[dy + c], p[dy + dx + c]));
        }
    }
    *rw = nw;
    *rh = nh;
}

unsigned char* _driver_tex_prepare(unsigned char* pixels, int w, int h, bool downscale,
                                   int* rw, int* rh, int* rtw, int* rth) {
    _driver_tex_premultiply(pixels, (size_t)w * h);
    int tw = _driver_tex_side(w), th = _driver_tex_side(h);
    unsigned char* buf = pixels;
    if (tw != w || th != h) {
        buf = (unsigned char*)calloc((size_t)tw * th, 4);
        if (!buf) return nullptr;
        for (int y = 0; y < h; y++)
            memcpy(buf + (size_t)y * tw * 4, pixels + (size_t)y * w * 4, (size_t)w * 4);
    }
    if (_tex_halves(downscale, tw, th)) _tex_halve(buf, tw, th);
    _driver_tex_sizes(w, h, downscale, rw, rh, rtw, rth);
    return buf;
}

bool _driver_tex_downscale_rule(const char* idiom, int ww, int wh, float scale) {
    if (!strcmp(idiom, "phone")) return true;
    if (strcmp(idiom, "tablet")) return false;
    return (int)(ww * scale) <= 1024 && (int)(wh * scale) <= 1024;
}

bool _QEL_DRIVER_TEX_LOAD_DOWNSCALE() {
    if (!_driver) return false;
    int w = 0, h = 0;
    driver_get_size(&w, &h);
    return _driver_tex_downscale_rule(driver_get_idiom(), w, h, driver_get_scale());
}

// GL would keep an oversized texture incomplete and draw it as a solid box;
// such a picture is refused like an undecodable file. Without a context the
// limit reads as 0 and no texture can be made anyway.
static bool _tex_too_large(int w, int h, bool downscale) {
    GLint max = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &max);
    int iw, ih, tw, th;
    _driver_tex_sizes(w, h, downscale, &iw, &ih, &tw, &th);
    return max > 0 && (tw > max || th > max);
}

static int _tex_refuse(const char* fname, const char* why) {
    fprintf(stderr, "stbi_load failed %s - %s\n", fname, why);
    return 0;
}

int _driver_tex_load(const char* fname, int* rw, int* rh, int* rtw, int* rth) {
    bool downscale = _QEL_DRIVER_TEX_LOAD_DOWNSCALE();
    int len = 0;
    void* data = _tex_file_read(fname, &len);
    if (!data) return _tex_refuse(fname, _tex_load_reason);
    // The size is read from the header first: a few bytes of a damaged
    // header can claim some 2 GB of pixels, which stb would allocate (and,
    // for some formats, fill from nothing) before the size could be refused.
    int w = 0, h = 0, bpp = 0;
    if (stbi_info_from_memory((const stbi_uc*)data, len, &w, &h, &bpp) && _tex_too_large(w, h, downscale)) {
        free(data);
        return _tex_refuse(fname, "larger than GL_MAX_TEXTURE_SIZE");
    }
    unsigned char* pixels = _tex_decode(data, len, &w, &h, &bpp, 4);
    free(data);
    if (!pixels) return _tex_refuse(fname, _tex_load_reason);
    // The decoded size is checked as well: it is the one that counts.
    const char* refused = nullptr;
    int iw, ih, tw, th;
    unsigned char* buf = nullptr;
    if (_tex_too_large(w, h, downscale))
        refused = "larger than GL_MAX_TEXTURE_SIZE";
    else if (!(buf = _driver_tex_prepare(pixels, w, h, downscale, &iw, &ih, &tw, &th)))
        refused = "out of memory";
    if (refused) {
        stbi_image_free(pixels);
        return _tex_refuse(fname, refused);
    }

    GLuint tex = 0;
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glGenTextures(1, &tex);
    glBindTexture(GL_TEXTURE_2D, tex);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, _QEL_GL_TEXTURE_MAG_FILTER());
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, _qel_gl_texture_min_filter());
    // GL_GENERATE_MIPMAP set before the upload has GL make the smaller
    // levels. For power-of-two sides they are made here instead, with the
    // same texels: on the software rasteriser GL's first generation compiles
    // its blit, some 60 ms, more than all the rest of start-up. The switch is
    // set afterwards all the same, so the texture's state does not differ.
    bool mipmaps = _qel_gl_generate_mipmap(), own = mipmaps && _driver_tex_own_mipmaps(tw, th);
    if (mipmaps && !own) glTexParameteri(GL_TEXTURE_2D, GL_GENERATE_MIPMAP, 1);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, tw, th, 0, GL_RGBA, GL_UNSIGNED_BYTE, buf);
    if (own) {
        // Each level is made in place from the one above it, which is
        // uploaded already.
        int lw = tw, lh = th;
        for (int level = 1; lw > 1 || lh > 1; level++) {
            _driver_tex_mip_halve(buf, lw, lh, &lw, &lh);
            glTexImage2D(GL_TEXTURE_2D, level, GL_RGBA, lw, lh, 0, GL_RGBA, GL_UNSIGNED_BYTE, buf);
        }
        glTexParameteri(GL_TEXTURE_2D, GL_GENERATE_MIPMAP, 1);
    }

    if (buf != pixels) free(buf);
    stbi_image_free(pixels);
    if (!tex) {
        fprintf(stderr, "no GL texture for %s\n", fname);
        return 0;
    }
    *rw = iw;
    *rh = ih;
    *rtw = tw;
    *rth = th;
    fprintf(stderr, "loaded %s as %d (%d,%d)->(%d,%d):(%d,%d)\n", fname, (int)tex, w, h, iw, ih,
            tw, th);
    return (int)tex;
}
