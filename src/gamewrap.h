// gamewrap: the functions through which the entry point and other layers
// reach the single Game; each does nothing while no game exists.
#ifndef GAMEWRAP_H
#define GAMEWRAP_H

#include "qel_event.h"

void game_init(int argc, char** argv);
void game_loop();
void game_paint();
void game_event(Event e);
bool game_is_quit();
void game_deinit();

#endif
