// mods_misc: placeholder for the mod runtime's restart, loop, paint and event entry points to come.
#include <GL/gl.h>

#include "mods.h"
#include "qel_driver-tex_load.h"

void mods_restart(Game&, int) {}
void mods_loop(Game&, float) {}
void mods_paint(Game&) {}
void mods_event_handle(Game&, Event) {}

// Until the mod API exists no game has a ModsAPI, and textures are then
// magnified linearly.
int _QEL_GL_TEXTURE_MAG_FILTER() { return GL_LINEAR; }
