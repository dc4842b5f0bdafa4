// qel_font: bitmap fonts in the BMFont text format.
//
// One global record (`_font`) keeps a registry of fonts, one entry per name
// and requested size (entry 0 is the empty font meaning none). An entry holds
// the glyph tables read from the font file and the index of its glyph picture
// in the image registry, shared by every size of the font; the size scales
// the whole font so that its line height becomes that many logical pixels.
// A once-per-second watcher (qel_watch) reads changed font files again in
// place (qel_font.cpp).
//
// Text is laid out in at most 32 lines, broken at newlines and, given a
// width, wrapped at spaces; it is drawn as two textured triangles per glyph,
// measured, and hit-tested for carets (qel_font-text.cpp).
// Main thread only, with the GL context current for drawing.
#ifndef QEL_FONT_H
#define QEL_FONT_H

#include <ctime>
#include <map>
#include <string>
#include <vector>

#include "qel_gfx.h"
#include "qel_watch.h"

struct FontInfo {
    int n = 0;               // its own index
    int tex = 0;             // texture index of the glyph picture
    GfxRect rects[256];      // per character code: glyph rectangle in the picture, in texels
    GfxRect shapes[256];     // per code: x, y offsets, w = xadvance, h = height, in font pixels
    float height = 0;        // line height
    float base = 0;          // top of a line to its baseline
    float _size = 0;         // the line height again, as the font's own size
    float size = 0;          // requested size, 0 for the font's own
    float scale = 0;         // size / _size, 1 for the font's own size
    GfxRect rect;            // (0, 0, scaleW, scaleH): the picture's declared size
    char fnt_fname[512] = {};  // full path of the font file
    FileStamp fnt_mtime;     // its stamp at the last read
};

struct _FontData {
    std::map<std::string, int> map;  // "name:size" to font index, 0 for not found
    std::vector<FontInfo> data;      // entries by index; 0 is the empty font
    Watch watch{};                   // the file watcher's last check
    std::string key;                 // font_load's key, its storage kept between calls

    _FontData();
};

extern _FontData* _font;

// The layout of one text: per line its first byte, the byte that ended it
// (not part of the line) and its width in logical pixels.
struct FontWrap {
    int total = 0;
    int lines[32][3];
};

// Registry.
void font_init();
void font_deinit();
const char* _font_find(const char* name);
int font_load(const char* name, int size);
void font_reload(int n);
void font_reload_auto();
// Drops the names cached as not found, so that their next use looks for
// their files again, and asks the image registry again for the glyph picture
// of every font loaded without one, so a picture added since is drawn. What
// was found keeps its entries and indices. The mod runtime calls it at each
// reload of the mod, after gfx_forget_missing.
void font_forget_missing();
// What one read of a font's text held.
struct FontParsed {
    bool common = false;  // a "common" line
    int glyphs = 0;       // "char" lines that gave a glyph
};
// Reads BMFont text into an entry; glyphs the text does not name are kept.
FontParsed _font_parse(FontInfo& f, const std::string& text);

// Text.
const char* _font_filter(const char* s);
void _font_wrap_calc(int fid, const char* s, float ww, FontWrap& wrap);
void font_draw(int fid, const char* s, float x, float y, float w, int align);
void _font_draw(int fid, const char* txt, float x, float y);
float font_get_width(int fid, const char* s);
float font_get_height(int fid, const char* s, float w);
GfxRect font_crect(int fid, const char* s, int pos, float w, int align);
int font_cnear(int fid, const char* s, int x, int y, float w, int align);

#endif
