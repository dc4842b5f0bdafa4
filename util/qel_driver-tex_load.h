// qel_driver-tex_load: placeholder for the image decoder and texture upload to come.
#ifndef QEL_DRIVER_TEX_LOAD_H
#define QEL_DRIVER_TEX_LOAD_H

int _driver_tex_load(const char* fname, int* rw, int* rh, int* rtw, int* rth);

#endif
