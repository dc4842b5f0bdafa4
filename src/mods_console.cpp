// mods_console: placeholder for the developer console to come.
#include "mods.h"

void modsapi_log_paint(ModsAPI*) {}
