// Image bytes through the decode-and-prepare path of the texture loader:
// stb_image decoding, premultiply, padding, halving and the mipmap levels
// made for the upload must stay memory-safe for any input. Pictures are
// capped at 1 M pixels and 4096 per side so that each run stays fast.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include <stb_image.h>

#include "qel_driver-tex_load.h"

// The loader asks the game for its magnification filter; no upload happens here.
int _QEL_GL_TEXTURE_MAG_FILTER() { return GL_LINEAR; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1 || size > (1 << 20)) return 0;
    // The first byte chooses the halving, the rest is the file.
    bool downscale = data[0] & 1;
    const stbi_uc* file = data + 1;
    int len = (int)(size - 1);
    int w = 0, h = 0, bpp = 0;
    if (!stbi_info_from_memory(file, len, &w, &h, &bpp)) return 0;
    if (w <= 0 || h <= 0 || w > 4096 || h > 4096 || (long)w * h > (1 << 20)) return 0;
    unsigned char* px = stbi_load_from_memory(file, len, &w, &h, &bpp, 4);
    if (!px) return 0;
    int iw, ih, tw, th;
    unsigned char* buf = _driver_tex_prepare(px, w, h, downscale, &iw, &ih, &tw, &th);
    if (buf) {
        // Touch the last texel so a buffer shorter than its sizes is caught.
        volatile unsigned char last = buf[((size_t)tw * th - 1) * 4 + 3];
        (void)last;
        if (_driver_tex_own_mipmaps(tw, th))
            for (int lw = tw, lh = th; lw > 1 || lh > 1;) _driver_tex_mip_halve(buf, lw, lh, &lw, &lh);
        if (buf != px) free(buf);
    }
    stbi_image_free(px);
    return 0;
}
