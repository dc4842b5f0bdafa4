// Test helper: runs a program as a child process with its standard output
// and error in a file, and waits for it with a time limit.
#ifndef QEL_TEST_CHILD_H
#define QEL_TEST_CHILD_H

#include <string>
#include <sys/types.h>
#include <vector>

struct Child {
    pid_t pid = -1;
    std::string out_path;  // stdout and stderr of the child
};

// Starts argv[0] (a path) with the process's environment and the given
// "NAME=value" entries, which replace inherited entries of the same names.
Child child_start(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                  const std::string& out_path);
// Exit status of the child, or -1 when it died from a signal or did not end
// within timeout_ms (times the tree's factor, time_limit.h); a child that did
// not end is killed, at once for 0.
int child_wait(Child& c, int timeout_ms);
// Whether the child is still running; an ended one is left for child_wait.
bool child_running(const Child& c);

#endif
