// console_font: bakes the engine's console font and its "black" picture.
//
//   cmake --build build --target console_font
//   build/console_font /usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf data
//
// writes, into the data directory:
// - console.fnt: BMFont text (a "common" line and one "char" line per glyph)
//   for the printable ASCII codes 32 to 126, with a line height of 24 pixels,
//   so the console's font at 24 points draws its glyphs texel for texel;
// - console.png: the glyph picture, white with the glyphs' coverage as alpha
//   (tinted by the drawing colour), 2 pixels apart so that linear filtering
//   and mipmaps of smaller sizes do not pick up a neighbour; its sides are
//   powers of two, so it is uploaded at exactly the size the .fnt declares;
// - black.png: 64 x 64 opaque black, which the console stretches over the
//   screen with a translucent colour (64 is the smallest texture side, so the
//   picture fills its texture and its edges do not fade into padding).
// The TrueType font is DejaVu Sans Mono from Debian's fonts-dejavu-core. The
// outputs are committed; run this only to change them.
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include <stb_image_write.h>
#include <stb_truetype.h>

static const int LINE = 24, FIRST = 32, LAST = 126, PAD = 2, ATLAS_W = 256;

struct Glyph {
    int code, x, y, w, h, xoffset, yoffset, xadvance;
};

static std::vector<unsigned char> read_all(const char* path) {
    std::vector<unsigned char> bytes;
    FILE* f = fopen(path, "rb");
    if (!f) return bytes;
    unsigned char buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) bytes.insert(bytes.end(), buf, buf + n);
    fclose(f);
    return bytes;
}

static int pow2(int n) {
    int p = 64;
    while (p < n) p *= 2;
    return p;
}

static bool write_black(const std::string& path) {
    std::vector<unsigned char> px(64 * 64 * 4, 0);
    for (size_t i = 3; i < px.size(); i += 4) px[i] = 255;
    return stbi_write_png(path.c_str(), 64, 64, 4, px.data(), 64 * 4) != 0;
}

int main(int argc, char** argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: %s <font.ttf> <data directory>\n", argv[0]);
        return 2;
    }
    std::vector<unsigned char> ttf = read_all(argv[1]);
    stbtt_fontinfo font;
    if (ttf.empty() || !stbtt_InitFont(&font, ttf.data(), stbtt_GetFontOffsetForIndex(ttf.data(), 0))) {
        fprintf(stderr, "%s: not a TrueType font\n", argv[1]);
        return 1;
    }
    // The font's ascent to descent fills the line exactly.
    float scale = stbtt_ScaleForPixelHeight(&font, (float)LINE);
    int ascent, descent, gap;
    stbtt_GetFontVMetrics(&font, &ascent, &descent, &gap);
    int base = (int)std::lround(ascent * scale);

    // Place the glyphs in rows, left to right.
    std::vector<Glyph> glyphs;
    int x = PAD, y = PAD, row_h = 0;
    for (int c = FIRST; c <= LAST; c++) {
        int adv, lsb, x0, y0, x1, y1;
        stbtt_GetCodepointHMetrics(&font, c, &adv, &lsb);
        stbtt_GetCodepointBitmapBox(&font, c, scale, scale, &x0, &y0, &x1, &y1);
        Glyph g = {c, 0, 0, x1 - x0, y1 - y0, x0, base + y0, (int)std::lround(adv * scale)};
        if (g.w <= 0 || g.h <= 0) g.w = g.h = g.xoffset = g.yoffset = 0;
        if (x + g.w + PAD > ATLAS_W) {
            x = PAD;
            y += row_h + PAD;
            row_h = 0;
        }
        if (g.w) {
            g.x = x;
            g.y = y;
            x += g.w + PAD;
            if (g.h > row_h) row_h = g.h;
        }
        glyphs.push_back(g);
    }
    int atlas_h = pow2(y + row_h + PAD);

    std::vector<unsigned char> cover((size_t)ATLAS_W * atlas_h, 0);
    for (const Glyph& g : glyphs)
        if (g.w)
            stbtt_MakeCodepointBitmap(&font, &cover[(size_t)g.y * ATLAS_W + g.x], g.w, g.h, ATLAS_W,
                                      scale, scale, g.code);
    std::vector<unsigned char> px(cover.size() * 4);
    for (size_t i = 0; i < cover.size(); i++) {
        px[i * 4] = px[i * 4 + 1] = px[i * 4 + 2] = 255;
        px[i * 4 + 3] = cover[i];
    }

    std::string dir = argv[2];
    if (!stbi_write_png((dir + "/console.png").c_str(), ATLAS_W, atlas_h, 4, px.data(), ATLAS_W * 4) ||
        !write_black(dir + "/black.png")) {
        fprintf(stderr, "cannot write the pictures into %s\n", dir.c_str());
        return 1;
    }
    FILE* f = fopen((dir + "/console.fnt").c_str(), "wb");
    if (!f) {
        fprintf(stderr, "cannot write %s/console.fnt\n", dir.c_str());
        return 1;
    }
    fprintf(f,
            "info face=\"DejaVu Sans Mono\" size=%d bold=0 italic=0 charset=\"\" unicode=0 stretchH=100 "
            "smooth=1 aa=1 padding=0,0,0,0 spacing=%d,%d\n",
            LINE, PAD, PAD);
    fprintf(f, "common lineHeight=%d base=%d scaleW=%d scaleH=%d pages=1 packed=0\n", LINE, base, ATLAS_W,
            atlas_h);
    fprintf(f, "page id=0 file=\"console.png\"\n");
    fprintf(f, "chars count=%d\n", (int)glyphs.size());
    for (const Glyph& g : glyphs)
        fprintf(f,
                "char id=%d x=%d y=%d width=%d height=%d xoffset=%d yoffset=%d xadvance=%d page=0 "
                "chnl=15\n",
                g.code, g.x, g.y, g.w, g.h, g.xoffset, g.yoffset, g.xadvance);
    fclose(f);
    return 0;
}
