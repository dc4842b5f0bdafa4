// Test helper: child processes with captured output and a time limit.
#include "child.h"

#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "time_limit.h"

extern char** environ;

// The child is killed when the test process ends, however it ends: a test
// that fails or crashes part-way must not leave a window behind on the X
// server for the tests after it to find.
Child child_start(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                  const std::string& out_path) {
    Child c;
    c.out_path = out_path;
    // The test's own settings win: an inherited entry of a name the test
    // sets is left out (the C library's getenv takes the first of two).
    std::vector<std::string> envs;
    for (char** e = environ; *e; e++) {
        bool overridden = false;
        for (const std::string& own : env) {
            size_t eq = own.find('=');
            if (eq != std::string::npos && strncmp(*e, own.c_str(), eq + 1) == 0) overridden = true;
        }
        if (!overridden) envs.push_back(*e);
    }
    for (const std::string& e : env) envs.push_back(e);
    std::vector<char*> av, ev;
    for (const std::string& a : argv) av.push_back(const_cast<char*>(a.c_str()));
    av.push_back(nullptr);
    for (const std::string& e : envs) ev.push_back(const_cast<char*>(e.c_str()));
    ev.push_back(nullptr);
    pid_t parent = getpid();
    c.pid = fork();
    if (c.pid == 0) {
        // Only async-signal-safe calls between fork and exec.
        if (prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || getppid() != parent) _exit(127);
        int fd = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0 || dup2(fd, 1) < 0 || dup2(fd, 2) < 0) _exit(127);
        if (fd > 2) close(fd);
        execve(av[0], av.data(), ev.data());
        _exit(127);
    }
    return c;
}

int child_wait(Child& c, int timeout_ms) {
    if (c.pid < 0) return -1;
    timeout_ms = time_limit_ms(timeout_ms);
    for (int waited = 0;; waited += 10) {
        int status;
        pid_t r = waitpid(c.pid, &status, WNOHANG);
        if (r == c.pid) {
            c.pid = -1;
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
        if (waited >= timeout_ms) break;
        usleep(10000);
    }
    kill(c.pid, SIGKILL);
    waitpid(c.pid, nullptr, 0);
    c.pid = -1;
    return -1;
}

// WNOWAIT leaves an ended child as it is, for child_wait to reap and read.
bool child_running(const Child& c) {
    if (c.pid <= 0) return false;
    siginfo_t info;
    info.si_pid = 0;
    return waitid(P_PID, (id_t)c.pid, &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == 0;
}
