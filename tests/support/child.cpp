// Test helper: child processes with captured output and a time limit.
#include "child.h"

#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

Child child_start(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                  const std::string& out_path) {
    Child c;
    c.out_path = out_path;
    std::vector<std::string> envs;
    for (char** e = environ; *e; e++) envs.push_back(*e);
    for (const std::string& e : env) envs.push_back(e);
    std::vector<char*> av, ev;
    for (const std::string& a : argv) av.push_back(const_cast<char*>(a.c_str()));
    av.push_back(nullptr);
    for (const std::string& e : envs) ev.push_back(const_cast<char*>(e.c_str()));
    ev.push_back(nullptr);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 1, out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&fa, 1, 2);
    if (posix_spawn(&c.pid, av[0], &fa, nullptr, av.data(), ev.data()) != 0) c.pid = -1;
    posix_spawn_file_actions_destroy(&fa);
    return c;
}

int child_wait(Child& c, int timeout_ms) {
    if (c.pid < 0) return -1;
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

bool child_running(const Child& c) { return c.pid > 0 && waitpid(c.pid, nullptr, WNOHANG) == 0; }
