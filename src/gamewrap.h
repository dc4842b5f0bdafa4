// gamewrap: the functions through which the entry point and other layers
// reach the single Game; each does nothing while no game exists. game_event,
// which the engine library's layers call too, is declared in qel_event.h.
#ifndef GAMEWRAP_H
#define GAMEWRAP_H

#include "qel_event.h"

void game_init(int argc, char** argv);
void game_loop();
void game_paint();
bool game_is_quit();
void game_deinit();

#endif
