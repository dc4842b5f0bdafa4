// Test helper: redirects a file descriptor into a temporary file for a while.
#include "capture.h"

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

#include "tempdir.h"

std::string capture_fd(int fd, const std::function<void()>& fn) {
    fflush(stdout);
    fflush(stderr);
    FILE* tmp = tmpfile();
    if (!tmp) return "";
    int saved = dup(fd);
    dup2(fileno(tmp), fd);
    fn();
    fflush(stdout);
    fflush(stderr);
    dup2(saved, fd);
    close(saved);
    rewind(tmp);
    std::string out = read_stream(tmp);
    fclose(tmp);
    return out;
}
