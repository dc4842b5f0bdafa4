// Test helper: Lua text shared by the tests' mods.
#ifndef QEL_TEST_MOD_LUA_H
#define QEL_TEST_MOD_LUA_H

// Defines event_text(e): the event's fields as "key=value" in the order of
// their keys, separated by spaces, so that a test compares a whole event as
// one string.
inline const char* const mod_lua_event_text =
    "function event_text(e)\n"
    "  local k = {}\n"
    "  for n in pairs(e) do k[#k + 1] = n end\n"
    "  table.sort(k)\n"
    "  local t = {}\n"
    "  for _, n in ipairs(k) do t[#t + 1] = n .. '=' .. tostring(e[n]) end\n"
    "  return table.concat(t, ' ')\n"
    "end\n";

#endif
