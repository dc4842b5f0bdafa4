// gprint: formats a log line of any length with the local time and its origin.
#include "gprint.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "game.h"

void _gprint(const char* file, int line, const char* func, int level, const char* fmt, ...) {
    (void)level;
    va_list ap;
    va_start(ap, fmt);
    va_list ap2;
    va_copy(ap2, ap);
    int n = vsnprintf(nullptr, 0, fmt, ap);
    va_end(ap);
    if (n < 0) {
        va_end(ap2);
        return;
    }
    char* msg = (char*)malloc((size_t)n + 1);
    if (!msg) {
        va_end(ap2);
        return;
    }
    vsnprintf(msg, (size_t)n + 1, fmt, ap2);
    va_end(ap2);

    time_t now = time(nullptr);
    struct tm lt;
    localtime_r(&now, &lt);
    char stamp[64];
    snprintf(stamp, sizeof stamp, "%04d-%02d-%02d %02d:%02d:%02d", lt.tm_year + 1900, lt.tm_mon + 1, lt.tm_mday,
             lt.tm_hour, lt.tm_min, lt.tm_sec);
    const char* tag = game_log_info();
    const char* slash = strrchr(file, '/');
    const char* name = slash ? slash + 1 : file;
    if (strcmp(tag, "0") == 0)
        printf("[%s:%s:%d] %s", name, func, line, msg);
    else
        printf("[%s][%s][%s:%s:%d] %s", tag, stamp, name, func, line, msg);
    if (n == 0 || msg[n - 1] != '\n') fputc('\n', stdout);
    free(msg);
}
