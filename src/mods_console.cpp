// mods_console: the developer console's hooks into every event and frame.
//
// The console's widgets and its log view are not here yet; what stands is
// its frame-end duty that the mod's drawing relies on: after everything is
// drawn the window-pixel view is installed, and stays until the mod's next
// view command.
#include "game.h"
#include "mods.h"
#include "qel_gfx.h"

int mods_event_console(Game& game, Event e) {
    (void)game;
    (void)e;
    return 0;
}

void modsapi_log_paint(ModsAPI* api) {
    (void)api;
    gfx_set_shift(0, 0);
    gfx_set_size(game_get_sw(), game_get_sh());
    gfx_set_scale(1.0f);
    gfx_ortho();
}
