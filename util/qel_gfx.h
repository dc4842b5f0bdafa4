// qel_gfx: placeholder for the graphics module to come (the calls the game and
// the driver make of it, doing nothing).
#ifndef QEL_GFX_H
#define QEL_GFX_H

struct GfxRect {
    float x, y, w, h;
};

void gfx_init();
void gfx_deinit();
void gfx_clear();
void gfx_reload_auto();
void gfx_set_size(int w, int h);
void gfx_set_orient(float deg);
void gfx_set_ortho_near_far(float near_, float far_);
GfxRect _gfx_get_focus_fixed();

struct Event;
int gfx_img_load(const char* name);
void gfx_img_blit(int img, float dx, float dy, float dw, float dh);
void gfx_set_shift(int x, int y);
void gfx_set_scale(float s);
void gfx_ortho();
void gfx_event_correct(Event* e);

#endif
