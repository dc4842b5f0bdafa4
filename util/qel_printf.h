// qel_printf: the engine library's log line printer.
//
// Lines look like "[file:function:line] message" on standard output, with the
// file shortened to its last path component. Call sites use QEL_LOG, which
// passes their own location.
#ifndef QEL_PRINTF_H
#define QEL_PRINTF_H

void _qel_iprintf(const char* file, int line, const char* func, int level, const char* fmt, ...)
    __attribute__((format(printf, 5, 6)));

#define QEL_LOG(...) _qel_iprintf(__FILE__, __LINE__, __func__, 0, __VA_ARGS__)

#endif
