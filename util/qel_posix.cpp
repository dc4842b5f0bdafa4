// qel_posix: documents base directory, mkdir -p and the URL opener on Linux.
#include "qel_posix.h"

#include <cerrno>
#include <cstdlib>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>

extern char** environ;

static const char* _posix_env(const char* name) {
    const char* v = getenv(name);
    return v && *v ? v : nullptr;
}

std::string posix_docs_base() {
    if (const char* v = _posix_env("APPDATA")) return v;
    if (const char* v = _posix_env("XDG_DATA_HOME")) return v;
    if (const char* v = _posix_env("HOME")) return std::string(v) + "/.local/share";
    return ".";
}

void posix_mkdirs(const char* path) {
    std::string p(path);
    // Each prefix that ends before a slash is a parent; the leading slash of an
    // absolute path names the root, which exists.
    for (size_t i = 1; i < p.size(); i++) {
        if (p[i] != '/') continue;
        mkdir(p.substr(0, i).c_str(), 0777);
    }
    mkdir(p.c_str(), 0777);
}

void posix_open_url(const char* url) {
    const char* opener = _posix_env("QEL_URL_OPENER");
    if (!opener) opener = "xdg-open";
    char* argv[] = {const_cast<char*>(opener), const_cast<char*>(url), nullptr};
    pid_t pid;
    if (posix_spawnp(&pid, opener, nullptr, nullptr, argv, environ) != 0) return;
    // Browsers' openers may run for long; waiting here would stall the frame.
    std::thread([pid] {
        int status;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    }).detach();
}
