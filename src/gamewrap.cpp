// gamewrap: owner of the single Game and the wrappers over it.
#include "gamewrap.h"

#include "game.h"

static Game* _game = nullptr;

void game_init(int argc, char** argv) {
    if (_game) return;
    _game = new Game();
    _game->args(argc, argv);
    _game->init();
}

void game_loop() {
    if (_game) _game->loop();
}

void game_paint() {
    if (_game) _game->paint();
}

void game_event(Event e) {
    if (_game) _game->event(e);
}

bool game_is_quit() { return !_game || _game->_quit != 0; }

void game_deinit() {
    if (!_game) return;
    _game->deinit();
    delete _game;
    _game = nullptr;
}
