// Random argument vectors (any Lua type, 0 to 14 values) for each of the
// engine functions, called under pcall: nothing may crash or leak, and the
// only errors are the binding's own three messages.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

extern "C" {
#include <lauxlib.h>
#include <lua.h>
}

#include "fuzz_bytes.h"
#include "game.h"
#include "mods.h"
#include "mods_lua.h"
#include "qel_driver.h"
#include "qel_font.h"
#include "qel_gfx.h"
#include "qel_mixer.h"

namespace {

const char* FUNCTIONS[] = {"require",         "qel_params_set", "qel_params_get",  "qel_file_load",
                           "qel_file_save",   "qel_view_set",   "qel_image_init",  "qel_image_draw",
                           "qel_sample_play", "qel_stream_play", "qel_stream_stop", "qel_font_draw",
                           "qel_font_size",   "qel_ext_call"};

// Texts from a small alphabet: no '/' so saved files stay in the scratch
// documents directory.
void push_value(lua_State* L, Bytes& b) {
    static const double numbers[] = {0, 1, -1, 0.5, 1e300, -1e300, 2147483648.0, 65536, NAN, INFINITY};
    switch (b.next() % 10) {
        case 0: lua_pushnil(L); break;
        case 1: lua_pushboolean(L, b.next() & 1); break;
        case 2: lua_pushnumber(L, numbers[b.next() % 10]); break;
        case 3: {
            char s[8];
            size_t len = b.next() % 8;
            for (size_t i = 0; i < len; i++) s[i] = "ab.1\0x9z"[b.next() % 8];
            lua_pushlstring(L, s, len);
            break;
        }
        case 4: lua_newtable(L); break;
        case 5: lua_getglobal(L, "print"); break;
        case 6: lua_pushstring(L, "12"); break;
        case 7: lua_pushlightuserdata(L, &b); break;
        case 8: lua_newuserdata(L, 4); break;
        default: lua_newthread(L); break;
    }
}

struct World {
    Game game;
    World() {
        char tmpl[] = "/tmp/qelfuzz.XXXXXX";
        setenv("APPDATA", mkdtemp(tmpl), 1);
        setenv("QEL_URL_OPENER", "true", 1);
        driver_init(0);
        driver_set_gamename("Fuzz");
        gfx_init();  // no GL context: its GL calls do nothing
        font_init();
        mixer_init();
        GAME_THIS = &game;
        snprintf(game.data.mods.fname, sizeof game.data.mods.fname, "/nonexistent/main.lua");
        mods_restart(game, 1);
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static World world;
    ModsLua* m = static_cast<ModsLua*>(world.game.data.mods.mod);
    lua_State* L = m->L;
    Bytes b{data, size};
    while (b.n) {
        int top = lua_gettop(L);
        lua_getglobal(L, FUNCTIONS[b.next() % 14]);
        int argc = b.next() % 15;
        for (int i = 0; i < argc; i++) push_value(L, b);
        if (lua_pcall(L, argc, LUA_MULTRET, 0) != LUA_OK) {
            const char* msg = lua_tostring(L, -1);
            if (!msg || (strcmp(msg, "incorrect number of arguments") && strcmp(msg, "null string") &&
                         strcmp(msg, "file missing")))
                abort();
        }
        lua_settop(L, top);
        world.game._quit = 0;
        world.game.data.mods.api->batch.clear();
    }
    return 0;
}
