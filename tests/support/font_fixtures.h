// Test helper: bitmap fonts made by code, for the font layer and the widgets.
#ifndef QEL_TEST_FONT_FIXTURES_H
#define QEL_TEST_FONT_FIXTURES_H

#include <string>

// BMFont text for the printable bytes 32 to 126: every glyph advances
// `advance` pixels and fills its whole cell of `advance` x `line_height`
// (the space has an empty box), cells in 8 rows of 16 on a picture of
// fixture_font_width x fixture_font_height; lines are `line_height` high
// with the baseline at the bottom, so text is drawn from its top.
std::string fixture_font_text(int line_height, int advance);
int fixture_font_width(int advance);
int fixture_font_height(int line_height);

// That font added to the font registry (font_init first) without a file or
// a glyph picture: it measures and lays out, and draws nothing. Its index.
int fixture_font_register(int line_height, int advance);

#endif
