// qel_gfx: placeholder for the graphics module to come.
#include "qel_gfx.h"

void gfx_init() {}
void gfx_deinit() {}
void gfx_clear() {}
void gfx_reload_auto() {}
void gfx_set_size(int, int) {}
void gfx_set_orient(float) {}
void gfx_set_ortho_near_far(float, float) {}
GfxRect _gfx_get_focus_fixed() { return GfxRect{0, 0, 0, 0}; }
int gfx_img_load(const char*) { return 0; }
void gfx_img_blit(int, float, float, float, float) {}
void gfx_set_shift(int, int) {}
void gfx_set_scale(float) {}
void gfx_ortho() {}
void gfx_event_correct(Event*) {}
