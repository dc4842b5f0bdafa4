// Test helper: bitmap fonts made by code.
#include "font_fixtures.h"

#include "qel_font.h"

int fixture_font_width(int advance) { return 16 * advance; }
int fixture_font_height(int line_height) { return 8 * line_height; }

std::string fixture_font_text(int line_height, int advance) {
    std::string s = "common lineHeight=" + std::to_string(line_height) + " base=" + std::to_string(line_height) +
                    " scaleW=" + std::to_string(fixture_font_width(advance)) +
                    " scaleH=" + std::to_string(fixture_font_height(line_height)) + " pages=1\n";
    for (int c = 32; c < 127; c++) {
        int i = c - 32;
        s += "char id=" + std::to_string(c) + " x=" + std::to_string(i % 16 * advance) +
             " y=" + std::to_string(i / 16 * line_height) + " width=" + std::to_string(c == ' ' ? 0 : advance) +
             " height=" + std::to_string(line_height) + " xoffset=0 yoffset=0 xadvance=" + std::to_string(advance) +
             "\n";
    }
    return s;
}

int fixture_font_register(int line_height, int advance) {
    int n = (int)_font->data.size();
    _font->data.emplace_back();
    FontInfo& f = _font->data[n];
    f.n = n;
    f.scale = 1;
    _font_parse(f, fixture_font_text(line_height, advance));
    return n;
}
