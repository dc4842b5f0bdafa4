// mods_lua: the Lua 5.2 script back end and the conversions between values
// and Lua.
#ifndef MODS_LUA_H
#define MODS_LUA_H

#include <cstdio>
#include <string>

#include "mods.h"

struct lua_State;

class ModsLua : public ModsBase {
public:
    ModsAPI& g;
    lua_State* L = nullptr;
    int status = 0;  // 0 while healthy, else the status of the failed entry point

    explicit ModsLua(ModsAPI& api) : g(api) {}
    ~ModsLua() override { lua_deinit(); }

    void init() override;
    void loop(float t) override;
    void event(var e) override;
    void paint() override;
    void script(const char* s, const char* name) override;
    bool is_ok() override { return status == 0; }

    void lua_init();
    void lua_deinit();
    std::string var2lua(var e);
    std::string dict2lua(var e);
};

// Where the Lua library's writes to the standard streams end: the mod log of
// the ModsAPI that last started or closed a state (dropped while null).
extern ModsAPI* _lua_modsapi;

int lua_fwrite(const void* ptr, size_t size, size_t count, FILE* stream);
int lua_fputs(const char* msg, FILE* stream);
int lua_fprintf(FILE* stream, const char* fmt, ...) __attribute__((format(printf, 2, 3)));

// Values between the engine and Lua. LUA_TO_VAR and my_lua_tostring raise
// "null string" (a Lua error, which unwinds by long jump) for values without
// a text; callers hold no C++ object while they may raise.
void LUA_PUSH_VAR(lua_State* L, var e);
var LUA_TO_VAR(lua_State* L, int n);
const char* my_lua_tostring(lua_State* L, int n, const char* d);

#endif
