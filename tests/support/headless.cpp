// Test helper: the driver and the graphics layer without a window.
#include "headless.h"

#include <cstring>

#include "qel_driver.h"

int fake_tex_side = 2048, fake_tex_calls = 0, fake_tex_next = 100;

int fake_tex_load(const char* fname, int* w, int* h, int* tw, int* th) {
    fake_tex_calls++;
    if (strstr(fname, "bad")) return 0;
    *w = *h = fake_tex_side - 10;
    *tw = *th = fake_tex_side;
    return fake_tex_next++;
}

void headless_open(const std::string& altdir, GfxTexLoader loader) {
    fake_tex_side = 2048;
    fake_tex_calls = 0;
    fake_tex_next = 100;
    driver_init(0);
    driver_set_gamename("G");
    driver_set_altdir(altdir.c_str());
    gfx_init();
    _gfx_set_tex_loader(loader);
}

void headless_close() {
    _gfx_set_tex_loader(nullptr);
    gfx_deinit();
    driver_deinit();
}
