// qel_mixer: placeholder for the sample and stream registry to come.
#ifndef QEL_MIXER_H
#define QEL_MIXER_H

void mixer_init();
void mixer_deinit();
void mixer_reload_auto();

#endif
