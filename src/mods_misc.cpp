// mods_misc: the mod's lifecycle (restart, load, the script watcher, the
// per-frame update) and the event dictionary handed to the script.
#include <SDL.h>

#include <cstdio>

#include "game.h"
#include "gprint.h"
#include "mods.h"
#include "qel_driver.h"
#include "qel_font.h"
#include "qel_gfx.h"
#include "qel_mixer.h"

// The back end goes first: closing its Lua state runs finalisers that may
// write to the log or call the engine, which must find a live ModsAPI. With
// the back end already out of the record, a `require` from a finaliser finds
// no back end to run a script in.
void mods_destroy(Game& game) {
    ModsBase* mod = game.data.mods.mod;
    game.data.mods.mod = nullptr;
    delete mod;
    ModsAPI* api = game.data.mods.api;
    game.data.mods.api = nullptr;
    delete api;
}

// What the registries did not find is looked for again at its next use,
// once per reload of the mod rather than never (or every frame); what they
// found stays, with the handles the mod holds. Pictures first: a font looks
// for its picture again.
static void _mods_forget_missing() {
    gfx_forget_missing();
    font_forget_missing();
    mixer_forget_missing();
}

void mods_restart(Game& game, int chstate) {
    (void)chstate;
    // The old state's finalisers may still set "altdir" or require a script
    // while it closes; the new run starts with no alternative directory.
    mods_destroy(game);
    driver_set_altdir(nullptr);
    // Before the console's font is loaded, which the new ModsAPI does.
    _mods_forget_missing();
    ModsAPI* api = new ModsAPI(game);
    game.data.mods.api = api;

    // "-key value" pairs of the command line; the index advances by one, so
    // a value that starts with '-' is a key for the argument after it.
    for (int i = 0; i + 1 < game._argc; i++)
        if (game._argv[i][0] == '-') api->params_set(game._argv[i] + 1, var(game._argv[i + 1]));

    int sw = game_get_sw(), sh = game_get_sh();
    api->params_set("vinfo", var("test-Desktop-Win32-linux"));
    api->params_set("version", var("test"));
    api->params_set("speed", var(1.0));
    api->params_set("ticks", var(1));
    api->params_set("view_x", var(0));
    api->params_set("view_y", var(0));
    api->params_set("view_w", var(sw));
    api->params_set("view_h", var(sh));
    api->params_set("view_scale", var(1.0));
    api->params_set("default_w", var(sw));
    api->params_set("default_h", var(sh));

    game.data.mods.mod = mods_lua(*api);
    mods_reload(game);
    game.data.mods.mod->init();
}

void mods_reload(Game& game) {
    ModsAPI* api = game.data.mods.api;
    mods_log_clear(game);
    GPRINT("mods_reload: %s\n", game.data.mods.fname);
    api->scripts.clear();
    api->scripts_missing.clear();
    api->require(game.data.mods.fname);
    // A main script that is missing is not watched: the mod has run its
    // _init() without it, so only a restart (F5) starts it.
    if (api->scripts.empty()) api->scripts_missing.clear();
}

// Once per wall-clock second: a script whose file is not the one loaded (its
// time, size or file differs), or a file where require found none, that has
// stood unchanged for 2 seconds reloads the mod in the same state.
void mods_reload_auto(Game& game) {
    timespec now = watch_now_ns();
    if (!watch_due(&game.data.mods.watch, now.tv_sec)) return;
    ModsAPI* api = game.data.mods.api;
    bool changed = false;
    for (const ModScript& s : api->scripts)
        if (watch_changed(driver_file_stamp(s.fname.c_str()), s.mtime, now)) changed = true;
    for (const std::string& path : api->scripts_missing)
        if (watch_changed(driver_file_stamp(path.c_str()), FileStamp(), now)) changed = true;
    if (changed) {
        GPRINT("reload...\n");
        _mods_forget_missing();
        mods_reload(game);
    }
}

void mods_loop(Game& game, float t) {
    if (!game.data.mods.api) return;
    mods_reload_auto(game);
    game.data.mods.mod->loop(t);
}

void mods_log_clear(Game& game) { game.data.mods.api->log.clear(); }

void mods_console_toggle(Game& game) { game.data.mods.api->console_toggle ^= 1; }

// ---------------------------------------------------------------------------
// Events

const char* mods_event_name(int type) {
    static const char* names[] = {"?",         "quit",      "suspend",     "resume",     "resize",     "reset",
                                  "keydown",   "keyup",     "down",        "motion",     "up",         "mousedown",
                                  "mousemotion", "mouseup", "wheel",       "touchdown",  "touchmotion", "touchup",
                                  "?",         "?",         "joymotion",   "joydown",    "joyup"};
    if (type < 0 || type >= (int)(sizeof names / sizeof names[0])) return "?";
    return names[type];
}

var mods_event_dict(const Event& e) {
    var d = var_dict();
    d["type"] = var(mods_event_name(e.type));
    d["x"] = var(e.x);
    d["y"] = var(e.y);
    d["w"] = var(e.w);
    d["h"] = var(e.h);
    d["dx"] = var(e.dx);
    d["dy"] = var(e.dy);
    char text[16];
    snprintf(text, sizeof text, "%c", e.c);
    d["text"] = var(text);
    d["button"] = var(e.b);
    d["device"] = var(e.device);
    if (e.type == EVT_KEYDOWN || e.type == EVT_KEYUP) {
        d["key"] = var(e._v);
        d["name"] = var(SDL_GetScancodeName(SDL_GetScancodeFromKey(e._v)));
    }
    return d;
}

void mods_event_handle(Game& game, Event e) {
    mods_event_console(game, e);
    _mods_view_init(game);
    gfx_event_correct(&e);
    mods_event(game, mods_event_dict(e));
}

void mods_event(Game& game, var e) {
    if (game.data.mods.mod) game.data.mods.mod->event(e);
}
