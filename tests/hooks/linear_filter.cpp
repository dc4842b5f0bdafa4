// For tests of the engine library alone: the game's answer to the texture
// loader's magnification question, as it is while no mod runs.
#include <GL/gl.h>

#include "qel_driver-tex_load.h"

int _QEL_GL_TEXTURE_MAG_FILTER() { return GL_LINEAR; }
