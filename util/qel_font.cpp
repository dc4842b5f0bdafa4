// qel_font: placeholder for the bitmap font registry to come.
#include "qel_font.h"

void font_init() {}
void font_deinit() {}
void font_reload_auto() {}
