// qel_driver-audio: placeholder for the audio device half of the driver to come.
#ifndef QEL_DRIVER_AUDIO_H
#define QEL_DRIVER_AUDIO_H

void _driver_audio_init();
void _driver_audio_deinit();

#endif
