// Test helper: a shell command's output through popen.
#include "shell.h"

#include <cstdio>

#include "tempdir.h"

std::string shell_output(const std::string& cmd) {
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return "";
    std::string out = read_stream(p);
    pclose(p);
    return out;
}
