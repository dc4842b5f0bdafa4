// Test helper: a TCP server on 127.0.0.1 whose thread runs a test's script on
// every connection it accepts, so that a test decides each byte the client
// gets and when; and small blocking socket helpers for such scripts.
#ifndef QEL_TEST_TCP_SERVER_H
#define QEL_TEST_TCP_SERVER_H

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

class TcpServer {
  public:
    typedef std::function<void(TcpServer& server, int fd)> Script;
    // Listens at a free port and runs script on each connection in turn; the
    // connection is closed when the script returns.
    explicit TcpServer(Script script);
    // Wakes a script blocked on its connection or in wait(), then joins.
    ~TcpServer();
    TcpServer(const TcpServer&) = delete;
    TcpServer& operator=(const TcpServer&) = delete;

    int port() const { return _port; }
    // Connections accepted so far.
    int accepted() const { return _accepted; }
    // Gives the script one permit to go on.
    void signal();
    // Takes a permit, waiting for one; false when the server is stopping.
    bool wait();

  private:
    void _run();

    Script _script;
    int _listen = -1;
    int _port = 0;
    int _conn = -1;  // the connection the script has, under _mutex
    std::atomic<int> _accepted{0};
    std::mutex _mutex;
    std::condition_variable _cond;
    int _permits = 0;
    bool _stopping = false;
    std::thread _thread;
};

// A request as a client sends it: the head up to its empty line (line feeds,
// with or without carriage returns) and as many body bytes as its
// Content-Length line gives. Whatever came when the peer closed early.
std::string tcp_read_request(int fd);
// Sends all the bytes; false when the peer went (never SIGPIPE).
bool tcp_write(int fd, const std::string& bytes);
// Sets TCP_NODELAY, so that each small write leaves as a segment of its own.
void tcp_nodelay(int fd);
// A port on 127.0.0.1 where nothing listens.
int tcp_closed_port();

#endif
