// qel_printf: formats a log line of any length and prints it with its origin.
#include "qel_printf.h"

#include <cstdio>
#include <cstring>

bool qel_vformat(std::string* out, const char* fmt, va_list ap) {
    out->clear();
    // The length is measured on a copy: the arguments are read twice.
    va_list measure;
    va_copy(measure, ap);
    int n = vsnprintf(nullptr, 0, fmt, measure);
    va_end(measure);
    if (n < 0) return false;
    out->resize((size_t)n + 1);
    vsnprintf(&(*out)[0], out->size(), fmt, ap);
    out->resize((size_t)n);
    return true;
}

bool qel_format(std::string* out, const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    bool ok = qel_vformat(out, fmt, ap);
    va_end(ap);
    return ok;
}

void qel_log_line(const char* prefix, const char* file, int line, const char* func, const std::string& msg) {
    const char* slash = strrchr(file, '/');
    const char* name = slash ? slash + 1 : file;
    printf("%s[%s:%s:%d] %s", prefix, name, func, line, msg.c_str());
    if (msg.empty() || msg.back() != '\n') fputc('\n', stdout);
}

void _qel_iprintf(const char* file, int line, const char* func, int level, const char* fmt, ...) {
    (void)level;
    va_list ap;
    va_start(ap, fmt);
    std::string msg;
    // A formatting error prints nothing rather than guess.
    if (qel_vformat(&msg, fmt, ap)) qel_log_line("", file, line, func, msg);
    va_end(ap);
}
