// qel_driver-tex_load: placeholder for the image decoder and texture upload to come.
#ifndef QEL_DRIVER_TEX_LOAD_H
#define QEL_DRIVER_TEX_LOAD_H

int _driver_tex_load(const char* fname, int* rw, int* rh, int* rtw, int* rth);

// The magnification filter for a texture being uploaded; the game answers it.
int _QEL_GL_TEXTURE_MAG_FILTER();

#endif
