// qel_font: placeholder for the bitmap font registry to come.
#ifndef QEL_FONT_H
#define QEL_FONT_H

void font_init();
void font_deinit();
void font_reload_auto();

#endif
