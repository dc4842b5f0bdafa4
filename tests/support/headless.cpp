// Test helper: the driver and the graphics layer without a window.
#include "headless.h"

#include "qel_driver.h"

void headless_open(const std::string& altdir, GfxTexLoader loader) {
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
