// Test helper: the scripted loopback server and its socket helpers.
#include "tcp_server.h"

#include <arpa/inet.h>
#include <cstdlib>
#include <cstring>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

static int _tcp_listener(int* port, bool listening) {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) throw std::runtime_error("socket failed");
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (bind(fd, (sockaddr*)&a, sizeof a) != 0 || (listening && listen(fd, 16) != 0) ||
        getsockname(fd, (sockaddr*)&a, &len) != 0)
        throw std::runtime_error("bind or listen failed");
    *port = ntohs(a.sin_port);
    return fd;
}

TcpServer::TcpServer(Script script) : _script(std::move(script)) {
    _listen = _tcp_listener(&_port, true);
    _thread = std::thread([this] { _run(); });
}

TcpServer::~TcpServer() {
    {
        // shutdown wakes a blocked accept, recv or send; the thread closes
        // the connection, and only after clearing _conn under the lock, so
        // the number cannot name another socket here.
        std::lock_guard<std::mutex> lock(_mutex);
        _stopping = true;
        shutdown(_listen, SHUT_RDWR);
        if (_conn >= 0) shutdown(_conn, SHUT_RDWR);
    }
    _cond.notify_all();
    _thread.join();
    close(_listen);
}

void TcpServer::_run() {
    for (;;) {
        int c = accept(_listen, nullptr, nullptr);
        if (c < 0) return;
        {
            std::lock_guard<std::mutex> lock(_mutex);
            if (_stopping) {
                close(c);
                return;
            }
            _conn = c;
        }
        _accepted++;
        _script(*this, c);
        {
            std::lock_guard<std::mutex> lock(_mutex);
            _conn = -1;
        }
        close(c);
    }
}

void TcpServer::signal() {
    {
        std::lock_guard<std::mutex> lock(_mutex);
        _permits++;
    }
    _cond.notify_all();
}

bool TcpServer::wait() {
    std::unique_lock<std::mutex> lock(_mutex);
    _cond.wait(lock, [this] { return _permits > 0 || _stopping; });
    if (_stopping) return false;
    _permits--;
    return true;
}

std::string tcp_read_request(int fd) {
    std::string got;
    size_t body = std::string::npos, need = 0;
    char buf[4096];
    while (body == std::string::npos || got.size() < body + need) {
        ssize_t n = recv(fd, buf, sizeof buf, 0);
        if (n <= 0) break;
        got.append(buf, (size_t)n);
        if (body != std::string::npos) continue;
        size_t lf = got.find("\n\n"), crlf = got.find("\r\n\r\n");
        if (lf != std::string::npos) body = lf + 2;
        if (crlf != std::string::npos && crlf + 4 < body) body = crlf + 4;
        if (body == std::string::npos) continue;
        size_t cl = got.find("Content-Length: ");
        if (cl != std::string::npos && cl < body) need = strtoul(got.c_str() + cl + 16, nullptr, 10);
    }
    return got;
}

bool tcp_write(int fd, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n <= 0) return false;
        done += (size_t)n;
    }
    return true;
}

void tcp_nodelay(int fd) {
    int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

int tcp_closed_port() {
    int port;
    int fd = _tcp_listener(&port, false);
    close(fd);
    return port;
}
