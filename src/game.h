// game: the one Game of the process: start-up, the update and drawing of a
// frame, the frame pacing, the routing of events with the engine's own key
// combinations, and shut-down.
#ifndef GAME_H
#define GAME_H

#include "mods.h"
#include "qel_event.h"

struct GameData {
    int version;
    Mods mods;
};

class Game {
  public:
    int version;    // 1 once init has run
    GameData data;
    int _quit;      // non-zero ends the main loop after the current frame
    char _mod[512]; // main script path
    int _argc;
    char** _argv;   // kept, not copied, for every mod restart
    int _full;      // 0 at start, 1 fullscreen, -1 windowed after a toggle
    // Tick of the previous update and of the previous pacing reading; -1
    // before the first.
    long _loop_prev;
    long _paint_prev;

    Game();
    ~Game();
    void args(int argc, char** argv);
    void init();
    void loop();
    void paint();
    void event(Event e);
    void deinit();
};

// The running game: set when init starts, null again once it is destroyed.
extern Game* GAME_THIS;

Game* game_this();
int game_get_sw();
int game_get_sh();
char* game_log_info();

// Frame pacing: sleeps for what is left of 1/60 s since the previous call.
void _game_paint_tick(Game& game);

// Milliseconds from *prev to cur on the 32-bit tick counter (so across its
// wrap), clamped to 0..1000; stores cur in *prev. A negative *prev means no
// reading yet and gives 0.
long _game_ticks_delta(long* prev, long cur);
// The update's frame time in seconds, capped at 1.
float _game_loop_time(long* prev, long cur);
// The pacing's sleep in milliseconds, or -1 when no sleep is due.
int _game_pacing_sleep(long* prev, long cur);

#endif
