// The Lua binding's per-call costs against bare references in the same state:
// qel_image_draw (count check, argument reads, the queued command) against an
// empty C function taking the same twelve arguments; and an event delivered
// as the generated "_event(...)" text against the same table pushed through
// the C API and called directly.
#include <cstdlib>
#include <string>

#include <benchmark/benchmark.h>

extern "C" {
#include <lauxlib.h>
#include <lua.h>
}

#include "game.h"
#include "mods.h"
#include "mods_lua.h"
#include "qel_driver.h"
#include "qel_font.h"
#include "qel_gfx.h"
#include "qel_mixer.h"

namespace {

struct World {
    Game game;
    ModsLua* lua;
    World() {
        driver_init(0);
        driver_set_gamename("Bench");
        gfx_init();  // no GL context: its GL calls do nothing
        font_init();
        mixer_init();
        GAME_THIS = &game;
        snprintf(game.data.mods.fname, sizeof game.data.mods.fname, "/nonexistent/main.lua");
        mods_restart(game, 1);
        game.data.mods.api->api_error_clear();  // the missing main script
        lua = static_cast<ModsLua*>(game.data.mods.mod);
        lua_register(lua->L, "empty12", [](lua_State*) { return 0; });
        lua->script("function _event(e) last = e.type end", "bench");
    }
};

World& world() {
    static World w;
    return w;
}

void run_loop(benchmark::State& state, const char* call) {
    World& w = world();
    std::string chunk = std::string("for i = 1, 1000000 do ") + call + " end";
    lua_State* L = w.lua->L;
    luaL_loadstring(L, chunk.c_str());
    int ref = luaL_ref(L, LUA_REGISTRYINDEX);
    // One untimed run first: a running game reuses its queue every frame, so
    // its growth to a million commands is not part of the per-call cost.
    lua_rawgeti(L, LUA_REGISTRYINDEX, ref);
    lua_pcall(L, 0, 0, 0);
    for (auto _ : state) {
        w.game.data.mods.api->batch.clear();
        lua_rawgeti(L, LUA_REGISTRYINDEX, ref);
        if (lua_pcall(L, 0, 0, 0) != LUA_OK) state.SkipWithError(lua_tostring(L, -1));
    }
    state.SetItemsProcessed(state.iterations() * 1000000);
}

void BM_ImageDraw1M(benchmark::State& state) {
    run_loop(state, "qel_image_draw('hero', i, 20, 32, 32, 16, 16, 0, 0xFFFFFF, 1.0, 0, 0)");
}
BENCHMARK(BM_ImageDraw1M)->Unit(benchmark::kMillisecond);

void BM_RefEmptyFunction1M(benchmark::State& state) {
    run_loop(state, "empty12('hero', i, 20, 32, 32, 16, 16, 0, 0xFFFFFF, 1.0, 0, 0)");
}
BENCHMARK(BM_RefEmptyFunction1M)->Unit(benchmark::kMillisecond);

var sample_event() {
    Event e(EVT_MOUSEMOTION);
    e.x = 640.5f;
    e.y = 360;
    e.dx = 3;
    e.dy = -2;
    e.b = 1;
    return mods_event_dict(e);
}

void BM_EventTextRoute(benchmark::State& state) {
    World& w = world();
    var e = sample_event();
    for (auto _ : state) w.lua->event(e);
}
BENCHMARK(BM_EventTextRoute);

void BM_RefEventPushedTable(benchmark::State& state) {
    World& w = world();
    var e = sample_event();
    lua_State* L = w.lua->L;
    for (auto _ : state) {
        lua_getglobal(L, "_event");
        lua_newtable(L);
        var it(e.__iter__());
        var k, v;
        while (it.__pair__(k, v)) {
            LUA_PUSH_VAR(L, v);
            lua_setfield(L, -2, k.__str__().c_str());
        }
        lua_pcall(L, 1, 0, 0);
    }
}
BENCHMARK(BM_RefEventPushedTable);

}  // namespace

BENCHMARK_MAIN();
