// qel_mixer: placeholder for the sample and stream registry to come.
#include "qel_mixer.h"

void mixer_init() {}
void mixer_deinit() {}
void mixer_reload_auto() {}
