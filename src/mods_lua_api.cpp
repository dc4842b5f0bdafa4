// mods_lua_api: the fourteen engine functions a mod calls from Lua.
//
// Each checks its argument count, finds the ModsAPI of the state, reads its
// arguments, runs one ModsAPI operation, raises an error the operation
// recorded, and pushes its results. Lua raises errors by long jump, which
// skips C++ destructors: arguments are read as plain C values first (reading
// may raise "null string"), C++ objects live only inside the statements and
// helpers that run the operation, and every raise happens where none is
// alive. Pushing a result can raise too (an allocation that fails, or a __gc
// finaliser that fails when the allocation runs the collector), so results
// that a C++ object holds are pushed under lua_pcall and any error is raised
// once that object is gone.
#include <cstring>

extern "C" {
#include <lauxlib.h>
#include <lua.h>
}

#include "mods_lua.h"
#include "qel_util.h"

namespace {

int _fail(lua_State* L, const char* msg) {
    lua_pushstring(L, msg);
    return lua_error(L);
}

// The state's ModsAPI, which every function carries as its upvalue.
ModsAPI* _api(lua_State* L) { return (ModsAPI*)lua_touserdata(L, lua_upvalueindex(1)); }

// Optional arguments take their default only when absent: a present nil or
// a text that does not convert reads as 0.
float _num(lua_State* L, int argc, int i, float d) { return argc >= i ? (float)lua_tonumberx(L, i, NULL) : d; }
int _int(lua_State* L, int argc, int i, int d) { return argc >= i ? (int)lua_tointegerx(L, i, NULL) : d; }

// Raises "null string" unless the value can become a var.
void _check_value(lua_State* L, int i) {
    int t = lua_type(L, i);
    if (t != LUA_TNIL && t != LUA_TNUMBER && t != LUA_TBOOLEAN && t != LUA_TSTRING) my_lua_tostring(L, i, NULL);
}

struct _Bytes {
    const char* p;
    size_t n;
};

int _push_bytes_call(lua_State* L) {
    const _Bytes* b = (const _Bytes*)lua_touserdata(L, 1);
    lua_pushlstring(L, b->p, b->n);
    return 1;
}

// Pushes a copy of n bytes at p under protection. Returns the status; on
// top is the new string, or the error for the caller to raise.
int _push_bytes(lua_State* L, const char* p, size_t n) {
    _Bytes b{p, n};
    lua_pushcfunction(L, _push_bytes_call);
    lua_pushlightuserdata(L, &b);
    return lua_pcall(L, 1, 1, 0);
}

// LUA_PUSH_VAR's conversion (a text ends at its first NUL byte), protected.
int _push_var(lua_State* L, const var& v) {
    int t = v.__type__();
    if (t == VAR_NONE || t == VAR_NUMBER || t == VAR_BOOL) {
        LUA_PUSH_VAR(L, v);  // nil, numbers and booleans take no memory
        return LUA_OK;
    }
    std::string s = v.__str__();
    return _push_bytes(L, s.c_str(), strlen(s.c_str()));
}

// Pushes a recorded error and clears it; the caller raises what is on top
// (the message, or the error of pushing it).
bool _take_error(lua_State* L, ModsAPI* g) {
    if (!g->api_error()) return false;
    std::string m = g->api_error_get();
    _push_bytes(L, m.data(), m.size());
    g->api_error_clear();
    return true;
}

// The state's ModsAPI, after checking the argument count (which raises).
ModsAPI* _begin(lua_State* L, int argc, int lo, int hi) {
    if (argc < lo || argc > hi) _fail(L, "incorrect number of arguments");
    return _api(L);
}

int lua_require(lua_State* L) {
    int argc = lua_gettop(L);
    ModsAPI* g = _begin(L, argc, 1, 1);
    const char* name = my_lua_tostring(L, 1, NULL);
    g->require(name);
    if (_take_error(L, g)) return lua_error(L);
    return 0;
}

int lua_params_set(lua_State* L) {
    int argc = lua_gettop(L);
    ModsAPI* g = _begin(L, argc, 2, 2);
    const char* k = my_lua_tostring(L, 1, NULL);
    _check_value(L, 2);
    g->params_set(k, LUA_TO_VAR(L, 2));
    if (_take_error(L, g)) return lua_error(L);
    return 0;
}

int lua_params_get(lua_State* L) {
    int argc = lua_gettop(L);
    ModsAPI* g = _begin(L, argc, 1, 1);
    const char* k = my_lua_tostring(L, 1, NULL);
    if (_push_var(L, g->params_get(k)) != LUA_OK) return lua_error(L);
    if (_take_error(L, g)) return lua_error(L);
    return 1;
}

// Whole files keep every byte, NUL included.
int _push_file(lua_State* L, ModsAPI* g, const char* name) {
    std::string data = g->file_load(name);
    return _push_bytes(L, data.data(), data.size());
}

int lua_file_load(lua_State* L) {
    int argc = lua_gettop(L);
    ModsAPI* g = _begin(L, argc, 1, 1);
    const char* name = my_lua_tostring(L, 1, NULL);
    if (_push_file(L, g, name) != LUA_OK) return lua_error(L);
    if (_take_error(L, g)) return lua_error(L);
    return 1;
}

int lua_file_save(lua_State* L) {
    int argc = lua_gettop(L);
    ModsAPI* g = _begin(L, argc, 2, 2);
    // Both whole: the name too, so that one holding a NUL byte is refused
    // rather than saved under the name cut there.
    my_lua_tostring(L, 1, NULL);
    my_lua_tostring(L, 2, NULL);
    size_t nlen, len;
    const char* name = lua_tolstring(L, 1, &nlen);
    const char* data = lua_tolstring(L, 2, &len);
    g->file_save(std::string(name, nlen), std::string(data, len));
    if (_take_error(L, g)) return lua_error(L);
    return 0;
}

int lua_view_set(lua_State* L) {
    int argc = lua_gettop(L);
    ModsAPI* g = _begin(L, argc, 4, 5);
    float x = _num(L, argc, 1, 0), y = _num(L, argc, 2, 0), w = _num(L, argc, 3, 0), h = _num(L, argc, 4, 0);
    float depth = _num(L, argc, 5, 1.0f);
    g->view_set(x, y, w, h, depth);
    if (_take_error(L, g)) return lua_error(L);
    return 0;
}

int lua_image_init(lua_State* L) {
    int argc = lua_gettop(L);
    ModsAPI* g = _begin(L, argc, 12, 12);
    const char* name = my_lua_tostring(L, 1, NULL);
    const char* src = my_lua_tostring(L, 2, NULL);
    float f[10];
    for (int i = 0; i < 10; i++) f[i] = _num(L, argc, i + 3, 0);
    g->image_init(name, src, f[0], f[1], f[2], f[3], f[4], f[5], f[6], f[7], f[8], f[9]);
    if (_take_error(L, g)) return lua_error(L);
    return 0;
}

int lua_image_draw(lua_State* L) {
    int argc = lua_gettop(L);
    ModsAPI* g = _begin(L, argc, 5, 12);
    const char* name = my_lua_tostring(L, 1, NULL);
    float x = _num(L, argc, 2, 0), y = _num(L, argc, 3, 0), w = _num(L, argc, 4, 0), h = _num(L, argc, 5, 0);
    float cx = _num(L, argc, 6, 0), cy = _num(L, argc, 7, 0), angle = _num(L, argc, 8, 0);
    int color = _int(L, argc, 9, 0xFFFFFF);
    float alpha = _num(L, argc, 10, 1.0f);
    int mode = _int(L, argc, 11, 0);
    float depth = _num(L, argc, 12, 0);
    g->image_draw(name, x, y, w, h, cx, cy, angle, color, alpha, mode, depth);
    if (_take_error(L, g)) return lua_error(L);
    return 0;
}

int lua_sample_play(lua_State* L) {
    int argc = lua_gettop(L);
    ModsAPI* g = _begin(L, argc, 1, 3);
    const char* name = my_lua_tostring(L, 1, NULL);
    float vol = _num(L, argc, 2, 1.0f), pan = _num(L, argc, 3, 0.0f);
    g->sample_play(name, vol, pan);
    if (_take_error(L, g)) return lua_error(L);
    return 0;
}

int lua_stream_play(lua_State* L) {
    int argc = lua_gettop(L);
    ModsAPI* g = _begin(L, argc, 1, 3);
    const char* name = my_lua_tostring(L, 1, NULL);
    float vol = _num(L, argc, 2, 1.0f), pan = _num(L, argc, 3, 0.0f);
    g->stream_play(name, vol, pan);
    if (_take_error(L, g)) return lua_error(L);
    return 0;
}

int lua_stream_stop(lua_State* L) {
    int argc = lua_gettop(L);
    ModsAPI* g = _begin(L, argc, 1, 1);
    const char* name = my_lua_tostring(L, 1, NULL);
    g->stream_stop(name);
    if (_take_error(L, g)) return lua_error(L);
    return 0;
}

int lua_font_draw(lua_State* L) {
    int argc = lua_gettop(L);
    ModsAPI* g = _begin(L, argc, 5, 12);
    const char* name = my_lua_tostring(L, 1, NULL);
    int points = _int(L, argc, 2, 0);
    const char* text = my_lua_tostring(L, 3, NULL);
    float x = _num(L, argc, 4, 0), y = _num(L, argc, 5, 0), w = _num(L, argc, 6, 0);
    // Any number, NaN and huge ones included, gives a defined int.
    int align = argc >= 7 ? myint(lua_tonumberx(L, 7, NULL)) : 0;
    int color = _int(L, argc, 8, 0xFFFFFF);
    float alpha = _num(L, argc, 9, 1.0f);
    float mode = (float)_int(L, argc, 10, 0);
    g->font_draw(name, points, text, x, y, w, align, color, alpha, mode);
    if (_take_error(L, g)) return lua_error(L);
    return 0;
}

int lua_font_size(lua_State* L) {
    int argc = lua_gettop(L);
    ModsAPI* g = _begin(L, argc, 3, 4);
    const char* name = my_lua_tostring(L, 1, NULL);
    int points = _int(L, argc, 2, 0);
    const char* text = my_lua_tostring(L, 3, NULL);
    float w = _num(L, argc, 4, 0);
    int r = g->font_size(name, points, text, w);
    if (_take_error(L, g)) return lua_error(L);
    lua_pushinteger(L, (lua_Integer)((unsigned)r >> 16));
    lua_pushinteger(L, (lua_Integer)(r & 0xFFFF));
    return 2;
}

int lua_ext_call(lua_State* L) {
    int argc = lua_gettop(L);
    ModsAPI* g = _begin(L, argc, 1, 2);
    const char* action = my_lua_tostring(L, 1, NULL);
    const char* data = argc >= 2 ? my_lua_tostring(L, 2, NULL) : "";
    if (_push_var(L, var(g->ext_call(action, data))) != LUA_OK) return lua_error(L);
    if (_take_error(L, g)) return lua_error(L);
    return 1;
}

}  // namespace

void _mods_lua_register(lua_State* L) {
    static const luaL_Reg fns[] = {
        {"require", lua_require},           {"qel_params_set", lua_params_set},
        {"qel_params_get", lua_params_get}, {"qel_file_load", lua_file_load},
        {"qel_file_save", lua_file_save},   {"qel_view_set", lua_view_set},
        {"qel_image_init", lua_image_init}, {"qel_image_draw", lua_image_draw},
        {"qel_sample_play", lua_sample_play}, {"qel_stream_play", lua_stream_play},
        {"qel_stream_stop", lua_stream_stop}, {"qel_font_draw", lua_font_draw},
        {"qel_font_size", lua_font_size},   {"qel_ext_call", lua_ext_call},
    };
    // The registry's ModsAPI pointer goes with each function, so that a call
    // finds it without a lookup by name.
    lua_getfield(L, LUA_REGISTRYINDEX, "g2");
    void* api = lua_touserdata(L, -1);
    lua_pop(L, 1);
    for (const luaL_Reg& f : fns) {
        lua_pushlightuserdata(L, api);
        lua_pushcclosure(L, f.func, 1);
        lua_setglobal(L, f.name);
    }
}
