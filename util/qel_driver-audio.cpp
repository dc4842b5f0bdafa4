// qel_driver-audio: placeholder for the audio device half of the driver to come.
#include "qel_driver-audio.h"

void _driver_audio_init() {}
void _driver_audio_deinit() {}
