// qel_posix: documents base directory, mkdir -p, the URL opener and the
// sockets on Linux.
#include "qel_posix.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <netdb.h>
#include <poll.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

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

int posix_net_start() { return 0; }

void posix_net_stop() {}

bool posix_net_resolve(const char* name, in_addr* addr, int* err) {
    hostent* h = gethostbyname(name);
    if (!h || h->h_addrtype != AF_INET || h->h_length != (int)sizeof *addr || !h->h_addr_list[0]) {
        *err = h ? NO_ADDRESS : h_errno;
        return false;
    }
    memcpy(addr, h->h_addr_list[0], sizeof *addr);
    return true;
}

int posix_socket_open() { return socket(AF_INET, SOCK_STREAM, IPPROTO_TCP); }

int posix_socket_nonblock(int fd) {
    int on = 1;
    return ioctl(fd, FIONBIO, &on) == 0 ? 0 : -1;
}

int posix_socket_connect(int fd, const sockaddr_in* addr) {
    return connect(fd, (const sockaddr*)addr, sizeof *addr);
}

bool posix_would_block(int err) { return err == EINPROGRESS || err == EAGAIN || err == EWOULDBLOCK; }

// poll rather than select: select's sets hold only descriptors below 1024.
int posix_socket_ready(int fd, bool* readable, bool* writable) {
    pollfd p = {fd, POLLIN | POLLOUT, 0};
    int n = poll(&p, 1, 0);
    if (n < 0) return -1;
    // select fails on a descriptor that is not open; poll only flags it.
    if (p.revents & POLLNVAL) {
        errno = EBADF;
        return -1;
    }
    bool fault = (p.revents & (POLLERR | POLLHUP)) != 0;
    *readable = fault || (p.revents & POLLIN);
    *writable = fault || (p.revents & POLLOUT);
    return *readable || *writable ? 1 : 0;
}

long posix_socket_send(int fd, const void* buf, long n) { return send(fd, buf, (size_t)n, MSG_NOSIGNAL); }

long posix_socket_recv(int fd, void* buf, long n) { return recv(fd, buf, (size_t)n, 0); }

void posix_socket_close(int fd) { close(fd); }

int posix_socket_error() { return errno; }
