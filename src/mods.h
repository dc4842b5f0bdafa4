// mods: placeholder for the mod runtime to come: the records the game holds
// and the entry points it calls, doing nothing.
#ifndef MODS_H
#define MODS_H

#include "qel_event.h"

class Game;

class ModsAPI {};

class ModsBase {
  public:
    virtual ~ModsBase() {}
};

struct Mods {
    char fname[512];  // main script path
    ModsAPI* api;     // owned, replaced at every restart
    ModsBase* mod;    // owned, replaced at every restart
};

void mods_restart(Game& game, int chstate);
void mods_loop(Game& game, float t);
void mods_paint(Game& game);
void mods_event_handle(Game& game, Event e);
void modsapi_log_paint(ModsAPI* api);

#endif
