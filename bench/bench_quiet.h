// Keeps a benchmark's report readable: the log lines of the code under test
// would swamp it, so bench_quiet sends the process's stdout and stderr to a
// log file while a piece of code runs.
#ifndef QEL_BENCH_QUIET_H
#define QEL_BENCH_QUIET_H

#include <cstdio>
#include <unistd.h>

// Runs fn with file descriptors 1 and 2 appending to the file `log` (left as
// they are when it cannot be opened), C stdio buffers flushed on both sides.
template <class F>
void bench_quiet(const char* log, F fn) {
    fflush(stdout);
    fflush(stderr);
    int out = dup(1), err = dup(2);
    FILE* f = fopen(log, "a");
    if (f) {
        dup2(fileno(f), 1);
        dup2(fileno(f), 2);
    }
    fn();
    fflush(stdout);
    fflush(stderr);
    dup2(out, 1);
    dup2(err, 2);
    close(out);
    close(err);
    if (f) fclose(f);
}

#endif
