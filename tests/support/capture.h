// Test helper: captures what a piece of code writes to stdout or stderr.
#ifndef QEL_TEST_CAPTURE_H
#define QEL_TEST_CAPTURE_H

#include <functional>
#include <string>

// Runs fn with file descriptor fd (1 or 2) redirected to a temporary file and
// returns everything written to it, C stdio buffers flushed.
std::string capture_fd(int fd, const std::function<void()>& fn);
inline std::string capture_stdout(const std::function<void()>& fn) { return capture_fd(1, fn); }
inline std::string capture_stderr(const std::function<void()>& fn) { return capture_fd(2, fn); }

#endif
