// Fuzz target: BMFont text through the font reader, then the font it made
// through layout, measuring, hit-testing and drawing (no GL context: the GL
// calls do nothing). The reader must write only inside the glyph tables and
// the line metrics, whatever the ids and numbers say.
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

static bool _zero(const GfxRect& r) { return r.x == 0 && r.y == 0 && r.w == 0 && r.h == 0; }

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    driver_init(0);
    gfx_init();
    font_init();
    _font->data.emplace_back();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    FontInfo& f = _font->data[1];
    f = FontInfo();
    f.n = 1;
    f.size = (float)(data[0] % 64);  // the requested size, 0 for the font's own
    f.scale = 1;
    strcpy(f.fnt_fname, "sentinel");
    _font_parse(f, std::string((const char*)data + 1, size - 1));
    if (f.n != 1 || f.tex != 0 || strcmp(f.fnt_fname, "sentinel") != 0 || !(f.fnt_mtime == FileStamp())) abort();
    if (!_zero(f.rects[0]) || !_zero(f.shapes[0])) abort();
    if (!std::isfinite(f.scale) || f.scale == 0) abort();

    static const char* const texts[] = {"", "Console", "The quick brown fox\njumps over  the lazy dog.",
                                        "\x01\x7f\x80\xff \xfe\n\n x"};
    for (const char* s : texts) {
        int len = (int)strlen(s);
        for (float w : {0.0f, 100.0f}) {
            FontWrap wrap;
            _font_wrap_calc(1, s, w, wrap);
            if (wrap.total < 1 || wrap.total > 32) abort();
            for (int l = 0; l < wrap.total; l++)
                if (wrap.lines[l][0] < 0 || wrap.lines[l][0] > wrap.lines[l][1] || wrap.lines[l][1] > len) abort();
            int n = font_cnear(1, s, 7, 30, w, 1);
            if (n < 0 || n > len) abort();
            font_crect(1, s, 3, w, 0);
            font_get_height(1, s, w);
            font_draw(1, s, 5, 5, w, 0);
        }
        font_get_width(1, s);
    }
    return 0;
}
