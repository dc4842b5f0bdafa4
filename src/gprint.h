// gprint: the mod runtime's log line printer.
//
// Lines look like "[tag][YYYY-MM-DD hh:mm:ss][file:function:line] message" on
// standard output, the tag being game_log_info(). Call sites use GPRINT,
// which passes their own location.
#ifndef GPRINT_H
#define GPRINT_H

void _gprint(const char* file, int line, const char* func, int level, const char* fmt, ...)
    __attribute__((format(printf, 5, 6)));

#define GPRINT(...) _gprint(__FILE__, __LINE__, __func__, 0, __VA_ARGS__)

#endif
