// gprint: formats a log line of any length with the local time and its origin.
#include "gprint.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

#include "game.h"
#include "qel_printf.h"

// "[tag][YYYY-MM-DD hh:mm:ss]" before the origin, or nothing for the tag "0".
static std::string _gprint_prefix() {
    const char* tag = game_log_info();
    if (strcmp(tag, "0") == 0) return "";
    time_t now = time(nullptr);
    struct tm lt;
    localtime_r(&now, &lt);
    char stamp[64];
    snprintf(stamp, sizeof stamp, "%04d-%02d-%02d %02d:%02d:%02d", lt.tm_year + 1900, lt.tm_mon + 1, lt.tm_mday,
             lt.tm_hour, lt.tm_min, lt.tm_sec);
    return std::string("[") + tag + "][" + stamp + "]";
}

void _gprint(const char* file, int line, const char* func, int level, const char* fmt, ...) {
    (void)level;
    va_list ap;
    va_start(ap, fmt);
    std::string msg;
    bool ok = qel_vformat(&msg, fmt, ap);
    va_end(ap);
    if (ok) qel_log_line(_gprint_prefix().c_str(), file, line, func, msg);
}
