// qel_mixer: placeholder for the sample and stream registry to come.
#include "qel_mixer.h"

void mixer_init() {}
void mixer_deinit() {}
void mixer_reload_auto() {}
int mixer_sample_load(const char*) { return 0; }
int mixer_stream_load(const char*) { return 0; }
void mixer_sample_play(int, float, float) {}
void mixer_stream_play(int, float) {}
void mixer_stream_stop(int) {}
void mixer_stream_volume(int, float) {}
