// qel_font: placeholder for the bitmap font registry to come.
#ifndef QEL_FONT_H
#define QEL_FONT_H

void font_init();
void font_deinit();
void font_reload_auto();
int font_load(const char* name, int size);
void font_draw(int fid, const char* s, float x, float y, float w, int align);
float font_get_width(int fid, const char* s);
float font_get_height(int fid, const char* s, float w);

#endif
