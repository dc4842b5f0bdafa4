// qel_gfx-atlas: sprite atlases, JSON files that name frames inside one
// texture.
//
// The atlas reader is not built yet: nothing sets a texture's atlas file, so
// the file watcher never calls this. The reader replaces it.
#include "qel_gfx.h"

void gfx_atlas_reload(int tid, const char* fname) {
    (void)tid;
    (void)fname;
}
