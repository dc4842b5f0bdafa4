// qel_font: placeholder for the bitmap font registry to come.
#include "qel_font.h"

void font_init() {}
void font_deinit() {}
void font_reload_auto() {}
int font_load(const char*, int) { return 0; }
void font_draw(int, const char*, float, float, float, int) {}
float font_get_width(int, const char*) { return 0; }
float font_get_height(int, const char*, float) { return 0; }
