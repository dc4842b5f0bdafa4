// qel_printf: the engine library's log line printer, and the printf-style
// formatter into a std::string that every log printer of the system uses.
//
// Lines look like "[file:function:line] message" on standard output, with the
// file shortened to its last path component. Call sites use QEL_LOG, which
// passes their own location.
#ifndef QEL_PRINTF_H
#define QEL_PRINTF_H

#include <cstdarg>
#include <string>

void _qel_iprintf(const char* file, int line, const char* func, int level, const char* fmt, ...)
    __attribute__((format(printf, 5, 6)));

#define QEL_LOG(...) _qel_iprintf(__FILE__, __LINE__, __func__, 0, __VA_ARGS__)

// Formats fmt with its arguments into *out, whatever the length. A format
// that cannot be formatted (vsnprintf gives a negative length, as for a wide
// character the locale cannot encode) returns false with *out empty.
bool qel_vformat(std::string* out, const char* fmt, va_list ap);
bool qel_format(std::string* out, const char* fmt, ...) __attribute__((format(printf, 2, 3)));

// Prints prefix, then "[file:function:line] " with the file shortened to its
// last path component, then the message and a newline unless the message
// ends in one: the line of both log printers.
void qel_log_line(const char* prefix, const char* file, int line, const char* func, const std::string& msg);

#endif
