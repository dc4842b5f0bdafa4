// qel_printf: formats a log line of any length and prints it with its origin.
#include "qel_printf.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

void _qel_iprintf(const char* file, int line, const char* func, int level, const char* fmt, ...) {
    (void)level;
    va_list ap;
    va_start(ap, fmt);
    va_list ap2;
    va_copy(ap2, ap);
    int n = vsnprintf(nullptr, 0, fmt, ap);
    va_end(ap);
    // A formatting error gives a negative length: print nothing rather than guess.
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

    const char* slash = strrchr(file, '/');
    const char* name = slash ? slash + 1 : file;
    printf("[%s:%s:%d] %s", name, func, line, msg);
    if (n == 0 || msg[n - 1] != '\n') fputc('\n', stdout);
    free(msg);
}
