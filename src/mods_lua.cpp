// mods_lua: the Lua back end. One state per run of the mod runs "api.lua",
// the mod's scripts and the generated calls of its entry points; every Lua
// error is reported into the mod log, and a failed entry point stops the
// entry points until the next script run. Everything the Lua library would
// write to the standard streams goes to the mod log instead.
#include "mods_lua.h"

#include <charconv>
#include <climits>
#include <cmath>
#include <cstdarg>
#include <cstring>

extern "C" {
#include <lauxlib.h>
#include <lua.h>
#include <lualib.h>
}

#include "gprint.h"
#include "qel_driver.h"
#include "qel_printf.h"

ModsAPI* _lua_modsapi = nullptr;

void _mods_lua_register(lua_State* L);  // the engine functions, mods_lua_api.cpp

ModsBase* mods_lua(ModsAPI& g) {
    ModsLua* m = new ModsLua(g);
    m->lua_init();
    return m;
}

// ---------------------------------------------------------------------------
// Output routing

int lua_fwrite(const void* ptr, size_t size, size_t count, FILE* stream) {
    size_t total = size * count;
    int n = total > (size_t)INT_MAX ? INT_MAX : (int)total;
    if (n <= 0) return 0;
    if (stream == stdout || stream == stderr) {
        if (_lua_modsapi) _lua_modsapi->log_entry(std::string((const char*)ptr, (size_t)n));
        return n;
    }
    // Files the mod opened itself get the real write and its real result.
    return (int)fwrite(ptr, 1, (size_t)n, stream);
}

int lua_fputs(const char* msg, FILE* stream) { return lua_fwrite(msg, 1, strlen(msg), stream); }

// A text that cannot be formatted writes nothing and returns 0.
int lua_fprintf(FILE* stream, const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    std::string text;
    int r = qel_vformat(&text, fmt, ap) ? lua_fputs(text.c_str(), stream) : 0;
    va_end(ap);
    return r;
}

// The library's writers, rebuilt over the routing. They follow the library's
// own: the same pieces, results and messages.

static int _lua_print(lua_State* L) {
    int n = lua_gettop(L);
    lua_getglobal(L, "tostring");
    for (int i = 1; i <= n; i++) {
        lua_pushvalue(L, -1);
        lua_pushvalue(L, i);
        lua_call(L, 1, 1);
        size_t l;
        const char* s = lua_tolstring(L, -1, &l);
        if (s == NULL) return luaL_error(L, "'tostring' must return a string to 'print'");
        if (i > 1) lua_fwrite("\t", 1, 1, stdout);
        lua_fwrite(s, 1, l, stdout);
        lua_pop(L, 1);
    }
    lua_fwrite("\n", 1, 1, stdout);
    return 0;
}

static int _lua_g_write(lua_State* L, FILE* f, int arg) {
    int nargs = lua_gettop(L) - arg;
    int ok = 1;
    for (; nargs--; arg++) {
        if (lua_type(L, arg) == LUA_TNUMBER) {
            ok = ok && lua_fprintf(f, LUA_NUMBER_FMT, lua_tonumber(L, arg)) > 0;
        } else {
            size_t l;
            const char* s = luaL_checklstring(L, arg, &l);
            ok = ok && lua_fwrite(s, 1, l, f) == (int)l;
        }
    }
    if (ok) return 1;  // the file is on the stack top
    return luaL_fileresult(L, 0, NULL);
}

static int _lua_io_write(lua_State* L) {
    lua_getfield(L, LUA_REGISTRYINDEX, "_IO_output");
    luaL_Stream* p = (luaL_Stream*)lua_touserdata(L, -1);
    if (p == NULL || p->closef == NULL) return luaL_error(L, "standard %s file is closed", "output");
    return _lua_g_write(L, p->f, 1);
}

static int _lua_f_write(lua_State* L) {
    luaL_Stream* p = (luaL_Stream*)luaL_checkudata(L, 1, LUA_FILEHANDLE);
    if (p->closef == NULL) return luaL_error(L, "attempt to use a closed file");
    lua_pushvalue(L, 1);
    return _lua_g_write(L, p->f, 2);
}

// An error object as text; one without a text (a table, say) must not reach
// a "%s" as a null pointer.
static const char* _lua_error_text(lua_State* L) {
    const char* msg = lua_tostring(L, -1);
    return msg ? msg : "(error object is not a string)";
}

static int _lua_debug(lua_State* L) {
    for (;;) {
        char buffer[250];
        lua_fprintf(stderr, "%s", "lua_debug> ");
        if (fgets(buffer, sizeof buffer, stdin) == 0 || strcmp(buffer, "cont\n") == 0) return 0;
        if (luaL_loadbuffer(L, buffer, strlen(buffer), "=(debug command)") || lua_pcall(L, 0, 0, 0))
            lua_fprintf(stderr, "%s\n", _lua_error_text(L));
        lua_settop(L, 0);
    }
}

static int _lua_panic(lua_State* L) {
    lua_fprintf(stderr, "PANIC: unprotected error in call to Lua API (%s)\n", _lua_error_text(L));
    return 0;
}

// Replaces every writer a script can reach, before any script runs.
static void _lua_route_output(lua_State* L) {
    lua_atpanic(L, _lua_panic);
    lua_pushcfunction(L, _lua_print);
    lua_setglobal(L, "print");
    lua_getglobal(L, "io");
    lua_pushcfunction(L, _lua_io_write);
    lua_setfield(L, -2, "write");
    lua_pop(L, 1);
    luaL_getmetatable(L, LUA_FILEHANDLE);
    lua_pushcfunction(L, _lua_f_write);
    lua_setfield(L, -2, "write");
    lua_pop(L, 1);
    lua_getglobal(L, "debug");
    lua_pushcfunction(L, _lua_debug);
    lua_setfield(L, -2, "debug");
    lua_pop(L, 1);
}

// The distribution's library carries the 5.1 compatibility functions.
static void _lua_drop_compat(lua_State* L) {
    static const char* globals[] = {"unpack", "loadstring", "module"};
    for (const char* g : globals) {
        lua_pushnil(L);
        lua_setglobal(L, g);
    }
    static const char* fields[][2] = {{"table", "maxn"}, {"math", "log10"}, {"package", "loaders"},
                                      {"package", "seeall"}};
    for (auto& f : fields) {
        lua_getglobal(L, f[0]);
        lua_pushnil(L);
        lua_setfield(L, -2, f[1]);
        lua_pop(L, 1);
    }
}

// ---------------------------------------------------------------------------
// The chunk runner

static void l_message(const char* pname, const char* msg) {
    if (pname) {
        lua_fprintf(stderr, "%s: ", pname);
        fflush(stderr);
    }
    lua_fprintf(stderr, "%s\n", msg);
    fflush(stderr);
}

static int _collect(lua_State* L) {
    lua_gc(L, LUA_GCCOLLECT, 0);
    return 0;
}

// The full collection runs the __gc finalisers of what the failed chunk left
// behind. Outside a protected call an error in one of them would reach the
// panic function and abort the process, so it runs under lua_pcall and such
// an error is reported like any other.
static void _collect_protected(lua_State* L) {
    lua_pushcfunction(L, _collect);
    if (lua_pcall(L, 0, 0, 0) != LUA_OK) {
        l_message("borlix2", _lua_error_text(L));
        lua_pop(L, 1);
    }
}

static int report(lua_State* L, int status) {
    if (status != 0) {
        l_message("borlix2", _lua_error_text(L));
        lua_pop(L, 1);
        _collect_protected(L);
    }
    return status;
}

// A string error gets a stack traceback; any other error object its
// "__tostring" text. One without (nil from error() or error(nil) included)
// still leaves a line in the mod log, so a failure is never silent.
static int traceback(lua_State* L) {
    const char* msg = lua_tostring(L, 1);
    if (msg)
        luaL_traceback(L, L, msg, 1);
    else if (!luaL_callmeta(L, 1, "__tostring"))
        lua_pushliteral(L, "(no error message)");
    return 1;
}

static int docall(lua_State* L, int narg, int nres) {
    int base = lua_gettop(L) - narg;
    lua_pushcfunction(L, traceback);
    lua_insert(L, base);
    int status = lua_pcall(L, narg, nres, base);
    lua_remove(L, base);
    return status;
}

// A text ends at its first NUL byte.
static int dostring(lua_State* L, const char* s, const char* name) {
    int status = luaL_loadbufferx(L, s, strlen(s), name, NULL);
    if (status == LUA_OK) status = docall(L, 0, 0);
    return report(L, status);
}

// ---------------------------------------------------------------------------
// The back end

void ModsLua::lua_init() {
    _lua_modsapi = &g;
    if (L) return;
    L = luaL_newstate();
    if (!L) {
        GPRINT("luaL_newstate failed: no Lua state for this mod\n");
        return;
    }
    luaL_openlibs(L);
    _lua_drop_compat(L);
    _lua_route_output(L);
    lua_pushlightuserdata(L, &g);
    lua_setfield(L, LUA_REGISTRYINDEX, "g2");
    _mods_lua_register(L);
    std::string api = driver_data_load("api.lua");
    dostring(L, api.c_str(), "api.lua");
}

// Finalisers run by lua_close still reach this back end's ModsAPI, which the
// runtime deletes only afterwards; output after the close is dropped.
void ModsLua::lua_deinit() {
    _lua_modsapi = &g;
    if (L) {
        lua_close(L);
        L = nullptr;
    }
    _lua_modsapi = nullptr;
}

// Runs an entry point while healthy; a failure stops the entry points.
static void _lua_entry(ModsLua& m, const std::string& text, const char* chunk, const char* func) {
    if (m.status != 0 || !m.L) return;
    m.status = dostring(m.L, text.c_str(), chunk);
    if (m.status != 0) _gprint(__FILE__, __LINE__, func, 0, "Lua error: %d\n", m.status);
}

void ModsLua::init() { _lua_entry(*this, "_init()", "init", "init"); }

// Lua text of a number that has no digits: NaN and the infinities as
// expressions, so they never read as a variable name. Null for the rest.
static const char* _lua_nonfinite(double v) {
    if (std::isnan(v)) return "(0/0)";
    if (std::isinf(v)) return v > 0 ? "(1/0)" : "(-1/0)";
    return nullptr;
}

// "%f" of the frame time, in the C locale whatever the process's locale.
void ModsLua::loop(float t) {
    char buf[64];
    const char* odd = _lua_nonfinite(t);
    std::string text = odd ? odd : std::string(buf, std::to_chars(buf, buf + sizeof buf, (double)t,
                                                                  std::chars_format::fixed, 6).ptr);
    _lua_entry(*this, "_loop(" + text + ")", "loop", "loop");
}

void ModsLua::event(var e) {
    if (e.__type__() != VAR_DICT) return;
    _lua_entry(*this, "_event(" + dict2lua(e) + ");", "event", "event");
}

void ModsLua::paint() { _lua_entry(*this, "_paint()", "paint", "paint"); }

// A script run is reported but never stops the mod, and it revives one that
// an entry point stopped.
void ModsLua::script(const char* s, const char* name) {
    if (!L) return;
    status = dostring(L, s, name);
    if (status != 0) GPRINT("Lua error: %d\n", status);
    status = 0;
}

// ---------------------------------------------------------------------------
// Lua text of values

// Whether a text survives a level-1 long string unchanged: Lua drops a line
// break right after the opening bracket, turns every CR into LF, and a text
// ending in "]=" would close the string early; a NUL would end the chunk.
static bool _lua_long_string_keeps(const std::string& s) {
    if (s.empty()) return true;
    if (s[0] == '\n' || s.find('\r') != std::string::npos || s.find('\0') != std::string::npos) return false;
    return !(s.size() >= 2 && s.compare(s.size() - 2, 2, "]=") == 0);
}

static std::string _lua_quoted(const std::string& s) {
    std::string r = "\"";
    for (unsigned char c : s) {
        if (c == '"' || c == '\\') {
            r += '\\';
            r += (char)c;
        } else if (c < 32 || c == 127) {
            char esc[8];
            snprintf(esc, sizeof esc, "\\%03d", c);
            r += esc;
        } else {
            r += (char)c;
        }
    }
    return r + "\"";
}

std::string ModsLua::var2lua(var e) {
    switch (e.__type__()) {
        case VAR_NONE: return "nil";
        case VAR_DICT: return dict2lua(e);
        case VAR_NUMBER: {
            const char* odd = _lua_nonfinite(e.__num__());
            return odd ? odd : e.__str__();
        }
        default: {
            std::string s = str_replace(e.__str__(), "]=]", "?");
            if (_lua_long_string_keeps(s)) return "[=[" + s + "]=]";
            return _lua_quoted(s);
        }
    }
}

std::string ModsLua::dict2lua(var e) {
    std::string r = "{";
    var it(e.__iter__());
    var k, v;
    bool first = true;
    while (it.__pair__(k, v)) {
        if (!first) r += ",";
        first = false;
        r += k.__str__() + "=" + var2lua(v);
    }
    return r + "}";
}

// ---------------------------------------------------------------------------
// Values between the engine and Lua

const char* my_lua_tostring(lua_State* L, int n, const char* d) {
    const char* s = lua_tostring(L, n);
    if (s) return s;
    if (d) return d;
    lua_pushliteral(L, "null string");
    lua_error(L);
    return NULL;
}

var LUA_TO_VAR(lua_State* L, int n) {
    switch (lua_type(L, n)) {
        case LUA_TNIL: return var();
        case LUA_TNUMBER: return var((double)lua_tonumber(L, n));
        case LUA_TBOOLEAN: return var(lua_toboolean(L, n) != 0);
        default: return var(my_lua_tostring(L, n, NULL));
    }
}

void LUA_PUSH_VAR(lua_State* L, var e) {
    switch (e.__type__()) {
        case VAR_NONE: lua_pushnil(L); break;
        case VAR_NUMBER: lua_pushnumber(L, e.__num__()); break;
        case VAR_BOOL: lua_pushboolean(L, e.__bool__()); break;
        default: lua_pushstring(L, e.__str__().c_str()); break;
    }
}
