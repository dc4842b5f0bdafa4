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
