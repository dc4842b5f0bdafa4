// qel_mixer: placeholder for the sample and stream registry to come.
#ifndef QEL_MIXER_H
#define QEL_MIXER_H

void mixer_init();
void mixer_deinit();
void mixer_reload_auto();
int mixer_sample_load(const char* name);
int mixer_stream_load(const char* name);
void mixer_sample_play(int v, float vol, float pan);
void mixer_stream_play(int v, float vol);
void mixer_stream_stop(int v);
void mixer_stream_volume(int v, float vol);

#endif
