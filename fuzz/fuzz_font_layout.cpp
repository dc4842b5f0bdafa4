// Fuzz target: layout, caret rectangles and nearest characters over random
// texts, wrap widths, alignments, caret positions and points, in a font whose
// advances vary from byte to byte (some 0). Checks what must hold for any
// text: 1 to 32 lines in order inside the text, lines no wider than a
// positive width, breaks only at "\n" without a width, indices inside the
// text, and carets one line high.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include <GL/gl.h>

#include "qel_driver.h"
#include "qel_font.h"
#include "qel_gfx.h"

// The driver's texture loader asks the game for its filter; nothing loads here.
int _QEL_GL_TEXTURE_MAG_FILTER() { return GL_LINEAR; }

static const int HEADER = 18;  // width (4), pos, x, y (4 each), align, size

static const float _sizes[] = {0, 20, 10, 7, 40, 1000};
static FontInfo _fonts[6];

static void _font_make(FontInfo& f, float size) {
    f.n = 1;
    f.size = size;
    f.scale = 1;
    std::string fnt = "common lineHeight=20 base=16 scaleW=256 scaleH=256\n";
    for (int c = 1; c < 256; c++)
        fnt += "char id=" + std::to_string(c) + " x=" + std::to_string(c % 16 * 16) + " y=" +
               std::to_string(c / 16 * 16) + " width=12 height=16 xadvance=" + std::to_string(c * 7 % 23 / 2.0) +
               "\n";
    _font_parse(f, fnt);
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    driver_init(0);
    gfx_init();
    font_init();
    _font->data.emplace_back();
    for (int i = 0; i < 6; i++) _font_make(_fonts[i], _sizes[i]);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < HEADER) return 0;
    float ww;
    int32_t pos, x, y;
    memcpy(&ww, data, 4);
    memcpy(&pos, data + 4, 4);
    memcpy(&x, data + 8, 4);
    memcpy(&y, data + 12, 4);
    int align = (int8_t)data[16];
    const FontInfo& f = _font->data[1] = _fonts[data[17] % 6];
    std::string text((const char*)data + HEADER, size - HEADER);
    const char* s = text.c_str();  // stops at the first zero byte, as the engine's texts do
    int len = (int)strlen(s);
    float lh = f.height * f.scale;

    FontWrap wrap;
    _font_wrap_calc(1, s, ww, wrap);
    if (wrap.total < 1 || wrap.total > 32) abort();
    int prev_end = 0;
    for (int l = 0; l < wrap.total; l++) {
        int a = wrap.lines[l][0], b = wrap.lines[l][1], w = wrap.lines[l][2];
        if (a < prev_end || a > prev_end + 1 || a > b || b > len || w < 0) abort();
        if (ww > 0 && w > ww) abort();
        if (ww == 0 && s[b] != '\n' && s[b] != 0) abort();
        prev_end = b;
    }
    if (wrap.total < 32 && wrap.lines[wrap.total - 1][1] != len) abort();

    int n = font_cnear(1, s, x, y, ww, align);
    if (n < 0 || n > len) abort();
    GfxRect r = font_crect(1, s, pos, ww, align);
    if (r.h != lh || !(r.w >= 0)) abort();
    if (font_get_height(1, s, ww) != (ww == 0 ? lh : wrap.total * lh)) abort();
    font_get_width(1, s);
    font_draw(1, s, (float)x, (float)y, ww, align);
    return 0;
}
