// mods_misc: placeholder for the mod runtime's restart, loop, paint and event entry points to come.
#include "mods.h"

void mods_restart(Game&, int) {}
void mods_loop(Game&, float) {}
void mods_paint(Game&) {}
void mods_event_handle(Game&, Event) {}
