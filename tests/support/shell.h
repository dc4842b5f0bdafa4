// Test helper: runs a shell command and reads what it prints, for checking
// results against the system's own tools.
#ifndef QEL_TEST_SHELL_H
#define QEL_TEST_SHELL_H

#include <string>

// Standard output of `sh -c cmd`; empty when it cannot be started.
std::string shell_output(const std::string& cmd);

#endif
