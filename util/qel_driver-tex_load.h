// qel_driver-tex_load: turns an image file into an OpenGL texture.
//
// The file is decoded to 8-bit RGBA with stb_image, premultiplied by alpha
// (everything is drawn with premultiplied blending), padded with transparent
// texels to a power-of-two size from 64 to 4096, halved on small devices, and
// uploaded with filters chosen from the GL version and, where GL has them,
// mipmaps. The CPU half (sizes, premultiply, padding, halving, mipmap levels)
// is kept apart from the upload so that it can be tested and fuzzed without a
// GL context.
#ifndef QEL_DRIVER_TEX_LOAD_H
#define QEL_DRIVER_TEX_LOAD_H

#include <cstddef>

#include <GL/gl.h>

// Decodes the file and uploads it as a new texture bound to GL_TEXTURE_2D.
// Returns the GL name and writes the image size (after any halving) and the
// texture size; returns 0 with the outputs untouched when the file cannot be
// read or decoded, or when the texture would not fit GL_MAX_TEXTURE_SIZE.
int _driver_tex_load(const char* fname, int* rw, int* rh, int* rtw, int* rth);

// The whole file decoded with stbi_load_from_memory; null when it cannot be
// read or decoded. Release the pixels with stbi_image_free.
unsigned char* _stbi_load(const char* fname, int* width, int* height, int* bpp, int req);
// Why the last _stbi_load returned null; never null itself.
const char* _stbi_load_reason();

// GL version as major << 16 | minor << 8 | third, from glGetString(GL_VERSION)
// at every call; 0 without a GL context.
int _driver_gl_version();
// The same from a version text; null or a text without digits gives 0.
int _driver_gl_version_parse(const char* text);
int _has_gl_generate_mipmap();
GLint _qel_gl_texture_min_filter();
GLboolean _qel_gl_generate_mipmap();

// Texture side for an image side: the first of 64 ... 4096 that holds it, or
// the side itself above 4096.
int _driver_tex_side(int side);
// Each of R, G, B becomes (c * a) >> 8; alpha stays.
void _driver_tex_premultiply(unsigned char* pixels, size_t count);
// The image and texture sizes that _driver_tex_prepare will give.
void _driver_tex_sizes(int w, int h, bool downscale, int* rw, int* rh, int* rtw, int* rth);
// Premultiplies the decoded w x h pixels and lays them into the top-left of a
// zeroed texture-sized buffer (or keeps them in place when they already fill
// it), then halves everything when `downscale` holds and both texture sides
// are above 64. Returns the buffer to upload: `pixels` itself or a new one
// from malloc that the caller frees; null when that allocation fails.
unsigned char* _driver_tex_prepare(unsigned char* pixels, int w, int h, bool downscale,
                                   int* rw, int* rh, int* rtw, int* rth);

// Whether the loader makes a texture's smaller mipmap levels itself rather
// than leaving them to GL_GENERATE_MIPMAP: for power-of-two sides, where
// each level is an exact half of the one above.
bool _driver_tex_own_mipmaps(int tw, int th);
// The mipmap level below a w x h RGBA level, in place, with its size in *rw,
// *rh: per channel the rounded mean of the rounded means of the two
// horizontal pairs, (a + b + 1) >> 1 each, which is what GL's linear blit
// makes of the level on the software rasteriser. A side of 1 stays 1.
void _driver_tex_mip_halve(unsigned char* buf, int w, int h, int* rw, int* rh);

// Whether textures are halved: always on a phone, on a tablet whose window in
// pixels fits 1024 x 1024, never elsewhere.
bool _driver_tex_downscale_rule(const char* idiom, int ww, int wh, float scale);
// The rule applied to the driver's idiom, window size and scale.
bool _QEL_DRIVER_TEX_LOAD_DOWNSCALE();

// The magnification filter (GL_NEAREST or GL_LINEAR) for every new texture;
// defined by the game, which reads it from the mod parameters.
int _QEL_GL_TEXTURE_MAG_FILTER();

#endif
