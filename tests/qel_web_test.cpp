// The HTTP client against real servers on 127.0.0.1: scripted ones on a
// thread of the test, which decide every byte and when it comes, and
// python3's stock http.server.
#include <chrono>
#include <climits>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <functional>
#include <initializer_list>
#include <mutex>
#include <netdb.h>
#include <string>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include "capture.h"
#include "child.h"
#include "lighttpd.h"
#include "qel_web.h"
#include "tcp_server.h"
#include "tempdir.h"
#include "time_limit.h"

namespace {

typedef std::chrono::steady_clock Clock;

// Polls until the request ends or limit_ms pass. On the way every poll must
// return 1 exactly when the request is done or has failed: so finishing the
// send returns 0 and the receive that sees the close returns 1 at once.
bool finish(qel_web* page, int limit_ms = 20000) {
    auto end = Clock::now() + std::chrono::milliseconds(time_limit_ms(limit_ms));
    for (;;) {
        int r = qel_web_poll(page);
        int over = page->state == QEL_WEB_STATE_DONE || page->error;
        if (r != over) {
            ADD_FAILURE() << "poll returned " << r << " in state " << page->state << " with error " << page->error;
            return false;
        }
        if (r) return true;
        if (Clock::now() > end) {
            ADD_FAILURE() << "the request did not end, state " << page->state;
            return false;
        }
        usleep(100);
    }
}

// Polls until cond holds; false (and a failure) when the request ends first
// or limit_ms pass.
bool poll_until(qel_web* page, const std::function<bool()>& cond, int limit_ms = 20000) {
    auto end = Clock::now() + std::chrono::milliseconds(time_limit_ms(limit_ms));
    while (!cond()) {
        if (qel_web_poll(page) || Clock::now() > end) {
            ADD_FAILURE() << "condition not reached, state " << page->state << " error " << page->error;
            return false;
        }
        usleep(100);
    }
    return true;
}

std::string body_of(const qel_web* page) { return std::string((const char*)page->data, (size_t)page->len); }

std::string response_of(const qel_web* page) {
    return std::string((const char*)page->_response.data, (size_t)page->_response.len);
}

// Reads each request, keeps it, answers with `reply` and closes.
struct AnsweringServer {
    std::mutex mutex;
    std::vector<std::string> requests;
    TcpServer server;
    explicit AnsweringServer(const std::string& reply)
        : server([this, reply](TcpServer&, int fd) {
              std::string req = tcp_read_request(fd);
              {
                  std::lock_guard<std::mutex> lock(mutex);
                  requests.push_back(req);
              }
              tcp_write(fd, reply);
          }) {}
    std::string request(size_t i) {
        std::lock_guard<std::mutex> lock(mutex);
        return i < requests.size() ? requests[i] : "(none)";
    }
};

// A request that qel_web_create refused: failed at once, nothing opened,
// nothing to send.
void expect_refused(qel_web* page) {
    EXPECT_EQ(page->error, 1);
    EXPECT_EQ(page->state, QEL_WEB_STATE_NEW);
    EXPECT_EQ(page->sockfd, -1);
    EXPECT_EQ(page->_request.len, 0);
    EXPECT_EQ(qel_web_poll(page), 1);
}

// Each name's value in the head, as qel_web_get_header gives it.
struct HeaderCase {
    const char* name;
    const char* want;
};
void expect_headers(qel_web* page, std::initializer_list<HeaderCase> cases) {
    for (const HeaderCase& c : cases) {
        char v[32];
        qel_web_get_header(page, v, sizeof v, c.name);
        EXPECT_STREQ(v, c.want) << c.name;
    }
}

// "127.0.0." and as many zeros before the last 1 as make n bytes: a dotted
// address the resolver reads as 127.0.0.1, of any length.
std::string long_loopback(size_t n) { return "127.0.0." + std::string(n - 9, '0') + "1"; }

// python3's stock http.server serving dir on 127.0.0.1, at a port of its own
// choosing (0 when it did not start); killed when the object goes.
struct StockServer {
    TempDir logs;
    Child child;
    int port = 0;
    explicit StockServer(const std::string& dir) {
        const char* script =
            "import http.server, os, sys\n"
            "os.chdir(sys.argv[1])\n"
            "s = http.server.HTTPServer(('127.0.0.1', 0), http.server.SimpleHTTPRequestHandler)\n"
            "print(s.server_address[1], flush=True)\n"
            "s.serve_forever()\n";
        child = child_start({"/usr/bin/python3", "-c", script, dir}, {}, logs.file("out"));
        for (int waited = 0; waited <= time_limit_ms(10000) && port == 0; waited += 10) {
            port = atoi(output().c_str());
            if (!port) usleep(10000);
        }
    }
    ~StockServer() { child_wait(child, 0); }
    std::string output() const { return read_file(logs.file("out")); }
};

}  // namespace

TEST(QelWeb, InitAndDeinit) {
    EXPECT_EQ(qel_web_init(), 0);
    qel_web_deinit();
}

TEST(QelWeb, SendsTheRequestBytesExactly) {
    AnsweringServer srv("HTTP/1.0 200 OK\n\nok");
    std::string port = std::to_string(srv.server.port());
    std::string host255 = long_loopback(255), path1023 = "/" + std::string(1022, 'p');
    const std::string form = "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: ";
    struct Case {
        std::string host, path, post, want;
    } cases[] = {
        {"127.0.0.1", "/index.html?q=1", "",
         "GET /index.html?q=1 HTTP/1.0\r\nHost: 127.0.0.1:" + port + "\r\n\r\n"},
        {"127.0.0.1", "/form", "a=1&b",
         "POST /form HTTP/1.0\r\nHost: 127.0.0.1:" + port + "\r\n" + form + "5\r\n\r\na=1&b"},
        // The body goes as given, NUL bytes and all.
        {"127.0.0.1", "/bin", std::string("x\0y\n\n", 5),
         "POST /bin HTTP/1.0\r\nHost: 127.0.0.1:" + port + "\r\n" + form + "5\r\n\r\n" +
             std::string("x\0y\n\n", 5)},
        // The longest host and path the record holds: a head beyond the
        // request buffer's first 1024 bytes.
        {host255, path1023, "", "GET " + path1023 + " HTTP/1.0\r\nHost: " + host255 + ":" + port + "\r\n\r\n"},
        {host255, path1023, "k=v",
         "POST " + path1023 + " HTTP/1.0\r\nHost: " + host255 + ":" + port + "\r\n" + form + "3\r\n\r\nk=v"},
    };
    size_t i = 0;
    for (const Case& c : cases) {
        qel_web* page = qel_web_create(c.host.c_str(), srv.server.port(), c.path.c_str(), c.post.data(),
                                       (int)c.post.size(), 10);
        ASSERT_EQ(page->error, 0) << c.want;
        EXPECT_EQ(page->state, QEL_WEB_STATE_CONNECT);
        EXPECT_TRUE(finish(page));
        EXPECT_EQ(page->state, QEL_WEB_STATE_DONE);
        EXPECT_EQ(page->error, 0);
        EXPECT_EQ(srv.request(i++), c.want);
        EXPECT_EQ(page->_request.len, (int)c.want.size());
        EXPECT_EQ(body_of(page), "ok");
        // Once done, the poll says so again and does nothing more.
        EXPECT_EQ(capture_stderr([&] { EXPECT_EQ(qel_web_poll(page), 1); }), "");
        qel_web_destroy(page);
    }
}

// What the record cannot hold, and a negative body length, fail at once:
// nothing is connected, nothing is sent.
TEST(QelWeb, RefusesWhatDoesNotFitBeforeConnecting) {
    AnsweringServer srv("HTTP/1.0 200 OK\n\n");
    struct Case {
        std::string host, path;
        int postlen;
    } cases[] = {
        {long_loopback(256), "/", 0},
        {"127.0.0.1", "/" + std::string(1023, 'p'), 0},
        {"127.0.0.1", "/", -1},
    };
    for (const Case& c : cases) {
        qel_web* page = nullptr;
        std::string err = capture_stderr([&] {
            page = qel_web_create(c.host.c_str(), srv.server.port(), c.path.c_str(), "", c.postlen, 10);
        });
        EXPECT_NE(err.find("qel_web_create: refused"), std::string::npos) << err;
        expect_refused(page);
        qel_web_destroy(page);
    }
    usleep(50000);
    EXPECT_EQ(srv.server.accepted(), 0);
}

// A port outside 1 to 65535 is refused before connecting: cut to 16 bits it
// would name another port, the server's own among them here.
TEST(QelWeb, RefusesPortsOutsideTheTcpRange) {
    AnsweringServer srv("HTTP/1.0 200 OK\r\n\r\nwrong port");
    int p = srv.server.port();
    for (int port : {0, -1, 65536, 73536, -57536, p + 65536, p - 65536, INT_MAX, INT_MIN}) {
        qel_web* page = nullptr;
        std::string err = capture_stderr([&] { page = qel_web_create("127.0.0.1", port, "/", nullptr, 0, 10); });
        EXPECT_EQ(err, "qel_web_create: refused: port " + std::to_string(port) + " is not 1 to 65535\n");
        expect_refused(page);
        qel_web_destroy(page);
    }
    usleep(50000);
    EXPECT_EQ(srv.server.accepted(), 0);
    // The ends of the range pass and are connected to as given; whatever
    // listens there (most likely nothing) decides how the request ends.
    for (int port : {1, 65535}) {
        qel_web* page = nullptr;
        std::string err = capture_stderr([&] { page = qel_web_create("127.0.0.1", port, "/", nullptr, 0, 10); });
        EXPECT_EQ(err.find("qel_web_create"), std::string::npos) << err;
        EXPECT_EQ(page->error, 0);
        EXPECT_EQ(page->state, QEL_WEB_STATE_CONNECT);
        EXPECT_EQ(ntohs(page->their_addr.sin_port), port);
        std::string host = "\r\nHost: 127.0.0.1:" + std::to_string(port) + "\r\n";
        EXPECT_NE(std::string((const char*)page->_request.data, (size_t)page->_request.len).find(host),
                  std::string::npos);
        err = capture_stderr([&] { EXPECT_TRUE(finish(page)); });
        EXPECT_EQ(err.find("qel_web_create"), std::string::npos) << err;
        EXPECT_EQ(err.find("connect: "), std::string::npos) << err;
        qel_web_destroy(page);
    }
}

// A name that does not resolve is not cached: the next request asks again.
TEST(QelWeb, UnresolvedHostFailsAndIsAskedAgain) {
    for (int round = 0; round < 2; round++) {
        qel_web* page = nullptr;
        std::string err = capture_stderr([&] { page = qel_web_create("bad host name", 80, "/", nullptr, 0, 10); });
        EXPECT_EQ(err.rfind("gethostbyname ...\ngethostbyname(bad host name) == null; h_errno = ", 0), 0u) << err;
        EXPECT_NE(err.find("\nqel_gethostbyname == null\n"), std::string::npos) << err;
        EXPECT_EQ(page->error, 1);
        EXPECT_EQ(page->state, QEL_WEB_STATE_NEW);
        EXPECT_EQ(qel_web_poll(page), 1);
        qel_web_destroy(page);
    }
}

// Only this test has the client resolve "localhost": its first request is
// the name cache's first look-up of it. A machine whose resolver does not
// know the name (no /etc/hosts) skips it.
TEST(QelWeb, NameCacheLines) {
    hostent* h = gethostbyname("localhost");
    if (!h || h->h_addrtype != AF_INET || !h->h_addr_list[0] ||
        memcmp(h->h_addr_list[0], "\x7f\0\0\x01", 4) != 0)
        GTEST_SKIP() << "the name localhost does not resolve to 127.0.0.1 on this machine"
                     << (h ? "" : std::string(" (") + hstrerror(h_errno) + ")");
    AnsweringServer srv("HTTP/1.0 200 OK\n\nhi");
    for (const char* want : {"gethostbyname ...\nqel_gethostbyname('localhost') cached\n", ""}) {
        qel_web* page = nullptr;
        std::string err =
            capture_stderr([&] { page = qel_web_create("localhost", srv.server.port(), "/", nullptr, 0, 10); });
        EXPECT_EQ(err, want);
        EXPECT_TRUE(finish(page));
        EXPECT_EQ(body_of(page), "hi");
        qel_web_destroy(page);
    }
}

// The body starts right after the empty line that ends the head, carriage
// returns or not; a response with neither a status line nor an empty line is
// all body.
TEST(QelWeb, FindsTheEndOfTheHead) {
    struct Case {
        std::string response, body;
        bool head;
    } cases[] = {
        {"HTTP/1.0 200 OK\nContent-Length: 12\n\nhello world!", "hello world!", true},
        {"HTTP/1.0 200 OK\r\nContent-Length: 12\r\n\r\nhello world!", "hello world!", true},
        {"HTTP/1.0 200 OK\n\r\n\r\nx", "\r\nx", true},
        {"HTTP/1.0 200 OK\r\n\r\r\r\nx\n\ny", "x\n\ny", true},
        {"\n\nbody", "body", true},
        {"\r\n\r\n", "", true},
        {"no head\r\nat all\r\n", "no head\r\nat all\r\n", false},
    };
    for (const Case& c : cases) {
        AnsweringServer srv(c.response);
        qel_web* page = qel_web_create("127.0.0.1", srv.server.port(), "/", nullptr, 0, 10);
        EXPECT_TRUE(finish(page));
        EXPECT_EQ(page->state, QEL_WEB_STATE_DONE) << c.response;
        EXPECT_EQ(page->error, 0);
        EXPECT_EQ(response_of(page), c.response);
        EXPECT_EQ(page->header, c.head ? (int)(c.response.size() - c.body.size()) : 0) << c.response;
        EXPECT_EQ(body_of(page), c.body) << c.response;
        qel_web_destroy(page);
    }
}

// Each split position of a response in two receives gives what one receive
// gives: the head's end is still found when it straddles them.
TEST(QelWeb, HeadSplitAtEveryBytePosition) {
    const std::string responses[] = {
        "HTTP/1.0 200 OK\nA: 1\n\nbo\n\ndy",
        "HTTP/1.0 200 OK\r\nA: 1\r\n\r\nbo\r\n\r\ndy",
    };
    for (const std::string& response : responses) {
        size_t head = response.find("bo");
        TcpServer srv([&](TcpServer& s, int fd) {
            tcp_nodelay(fd);
            tcp_read_request(fd);
            size_t k = (size_t)s.accepted();
            tcp_write(fd, response.substr(0, k));
            if (s.wait()) tcp_write(fd, response.substr(k));
        });
        for (size_t k = 1; k < response.size(); k++) {
            qel_web* page = qel_web_create("127.0.0.1", srv.port(), "/", nullptr, 0, 10);
            ASSERT_TRUE(poll_until(page, [&] { return page->_response.len >= (int)k; }));
            EXPECT_EQ(page->_response.len, (int)k);
            srv.signal();
            EXPECT_TRUE(finish(page));
            EXPECT_EQ(page->state, QEL_WEB_STATE_DONE);
            EXPECT_EQ(page->header, (int)head) << "split at " << k << " of " << response;
            EXPECT_EQ(body_of(page), response.substr(head)) << "split at " << k;
            char a[8];
            qel_web_get_header(page, a, sizeof a, "A");
            EXPECT_STREQ(a, "1") << "split at " << k;
            qel_web_destroy(page);
        }
    }
}

// The value of a head line: name and colon compared in any case at the
// start of a line, spaces and tabs before the value skipped (those after it
// kept), copied up to the line's end or dlen - 1 bytes, dest zeroed whole
// first; lines of the body are not looked at.
TEST(QelWeb, HeaderValues) {
    AnsweringServer srv(
        "HTTP/1.0 200 OK\r\nContent-Length: 12\r\nX-Spaced:   \t v \r\nX-Empty:\r\nLength: 3\r\n"
        "X-Tab:\t7\t\r\nX-Blank: \t \r\nServer: s\n\nContent-Type: in the body\n");
    qel_web* page = qel_web_create("127.0.0.1", srv.server.port(), "/", nullptr, 0, 10);
    char before[16];
    memset(before, 'Z', sizeof before);
    // Before any response there is no head to search.
    qel_web_get_header(page, before, 8, "Content-Length");
    EXPECT_EQ(std::string(before, 9), std::string(8, '\0') + "Z");
    ASSERT_TRUE(finish(page));
    struct Case {
        const char* name;
        int dlen;
        std::string want;
    } cases[] = {
        {"Content-Length", 16, "12"}, {"Content-Length", 3, "12"},  {"Content-Length", 2, "1"},
        {"Content-Length", 1, ""},    {"content-length", 16, "12"}, {"Content", 16, ""},
        {"Length", 16, "3"},          {"X-Spaced", 16, "v "},       {"X-Spaced", 2, "v"},
        {"X-Tab", 16, "7\t"},         {"X-Blank", 16, ""},          {"X-Empty", 16, ""},
        {"Server", 16, "s"},          {"Content-Type", 16, ""},
    };
    for (const Case& c : cases) {
        char dest[17];
        memset(dest, 'Z', sizeof dest);
        qel_web_get_header(page, dest, c.dlen, c.name);
        std::string want = c.want + std::string((size_t)c.dlen - c.want.size(), '\0') + "Z";
        EXPECT_EQ(std::string(dest, (size_t)c.dlen + 1), want) << c.name << " " << c.dlen;
    }
    // Refused without writing: a name over 254 bytes, a dlen below 1.
    std::string name254(254, 'n'), name255(255, 'n');
    char dest[4];
    memset(dest, 'Z', sizeof dest);
    std::string err = capture_stderr([&] {
        qel_web_get_header(page, dest, sizeof dest, name255.c_str());
        qel_web_get_header(page, dest, 0, "Server");
        qel_web_get_header(page, dest, -1, "Server");
    });
    EXPECT_EQ(std::string(dest, 4), "ZZZZ");
    EXPECT_NE(err.find("qel_web_get_header: refused"), std::string::npos);
    qel_web_get_header(page, dest, sizeof dest, name254.c_str());
    EXPECT_EQ(std::string(dest, 4), std::string(4, '\0'));
    qel_web_destroy(page);
}

// A body that comes a byte at a time, slower in all than the time-out but
// never idle that long: every receive renews the deadline. Each byte goes
// 0.1 s after the client has the one before, so each is a receive of its own
// however slowly the client runs. The buffer grows by doubling with its
// unused tail zero.
TEST(QelWeb, SlowBodyRenewsTheDeadline) {
    const std::string head = "HTTP/1.0 200 OK\n\n", body = "a body that trickles in";
    TcpServer srv([&](TcpServer& s, int fd) {
        tcp_nodelay(fd);
        tcp_read_request(fd);
        tcp_write(fd, head);
        for (char c : body) {
            if (!s.wait()) return;
            usleep(100000);
            if (!tcp_write(fd, std::string(1, c))) return;
        }
    });
    qel_web* page = qel_web_create("127.0.0.1", srv.port(), "/slow", nullptr, 0, 1);
    int receives = 0, last = 0;
    auto start = Clock::now();
    while (!qel_web_poll(page)) {
        if (page->_response.len != last) {
            receives++;
            srv.signal();
        }
        last = page->_response.len;
        usleep(200);
    }
    EXPECT_GT(Clock::now() - start, std::chrono::seconds(2));
    EXPECT_EQ(page->error, 0);
    EXPECT_EQ(page->state, QEL_WEB_STATE_DONE);
    EXPECT_EQ(body_of(page), body);
    EXPECT_GE(receives, (int)body.size());
    const qel_web_buffer& r = page->_response;
    EXPECT_EQ(r.alloc & (r.alloc - 1), 0) << r.alloc;
    EXPECT_GE(r.alloc, r.len + 4096);
    size_t tail = (size_t)(r.alloc - r.len);
    EXPECT_EQ(std::string((const char*)r.data + r.len, tail), std::string(tail, '\0'));
    qel_web_destroy(page);
}

// A body many receives long, arriving as fast as it can: the data pointer
// follows the buffer as it moves.
TEST(QelWeb, LargeBodyArrivesWhole) {
    std::string body(300000, '\0');
    for (size_t i = 0; i < body.size(); i++) body[i] = (char)(i * 7919 >> 3);
    AnsweringServer srv("HTTP/1.0 200 OK\r\n\r\n" + body);
    qel_web* page = qel_web_create("127.0.0.1", srv.server.port(), "/big", nullptr, 0, 10);
    EXPECT_TRUE(finish(page));
    EXPECT_EQ(page->error, 0);
    EXPECT_EQ(page->data, page->_response.data + page->header);
    EXPECT_TRUE(body_of(page) == body);
    qel_web_destroy(page);
}

// The peer closes while a large request is still going out: the client's next
// send meets a broken pipe, which must fail the request, not end the process.
TEST(QelWeb, PeerClosingBeforeTheRequestIsSentFailsWithoutSigpipe) {
    TcpServer srv([](TcpServer& s, int fd) {
        if (!s.wait()) return;
        // The close comes first, then (the request's bytes unread) a reset.
        shutdown(fd, SHUT_WR);
        usleep(20000);
    });
    std::string post(8 << 20, 'x');
    qel_web* page = qel_web_create("127.0.0.1", srv.port(), "/", post.data(), (int)post.size(), 20);
    ASSERT_TRUE(poll_until(page, [&] { return page->_request.pos > 0; }));
    ASSERT_LT(page->_request.pos, page->_request.len);
    srv.signal();
    std::string err = capture_stderr([&] { finish(page); });
    EXPECT_EQ(page->error, 1);
    EXPECT_EQ(page->state, QEL_WEB_STATE_SEND);
    EXPECT_NE(err.find("send: "), std::string::npos) << err;
    EXPECT_NE(err.find("\nsend error!!\n"), std::string::npos) << err;
    qel_web_destroy(page);
}

// A reset in the middle of the response fails the request; what came before
// stays readable.
TEST(QelWeb, ResetDuringTheResponseKeepsWhatCame) {
    TcpServer srv([](TcpServer& s, int fd) {
        tcp_read_request(fd);
        tcp_write(fd, "HTTP/1.0 200 OK\n\npart");
        if (!s.wait()) return;
        linger l = {1, 0};
        setsockopt(fd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
    });
    qel_web* page = qel_web_create("127.0.0.1", srv.port(), "/", nullptr, 0, 10);
    ASSERT_TRUE(poll_until(page, [&] { return page->len == 4; }));
    srv.signal();
    std::string err = capture_stderr([&] { finish(page); });
    EXPECT_EQ(err, "recv: Connection reset by peer\n");
    EXPECT_EQ(page->error, 1);
    EXPECT_EQ(page->state, QEL_WEB_STATE_RECV);
    EXPECT_EQ(body_of(page), "part");
    qel_web_destroy(page);
}

// On Linux the refusal shows at the first send after the connect.
TEST(QelWeb, RefusedPortFails) {
    qel_web* page = qel_web_create("127.0.0.1", tcp_closed_port(), "/", nullptr, 0, 10);
    std::string err = capture_stderr([&] { finish(page); });
    EXPECT_EQ(err, "send: Connection refused\nsend error!!\n");
    EXPECT_EQ(page->error, 1);
    EXPECT_EQ(page->state, QEL_WEB_STATE_SEND);
    EXPECT_EQ(page->len, 0);
    qel_web_destroy(page);
}

// A peer that takes the request and never answers: the poll keeps returning
// 0 until the first poll after the deadline's second, which fails. The test
// moves the deadline rather than waiting for it.
TEST(QelWeb, PeerThatNeverAnswersTimesOut) {
    TcpServer srv([](TcpServer& s, int fd) {
        tcp_read_request(fd);
        s.wait();
    });
    long created = (long)time(nullptr);
    qel_web* page = qel_web_create("127.0.0.1", srv.port(), "/", nullptr, 0, 30);
    EXPECT_GE(page->timeout, created + 30);
    ASSERT_TRUE(poll_until(page, [&] { return page->state == QEL_WEB_STATE_RECV; }));
    for (int i = 0; i < 3; i++) EXPECT_EQ(qel_web_poll(page), 0);
    // Not yet in the deadline's own second.
    for (;;) {
        long now = (long)time(nullptr);
        page->timeout = now;
        int r = qel_web_poll(page);
        if ((long)time(nullptr) != now) continue;
        EXPECT_EQ(r, 0);
        EXPECT_EQ(page->error, 0);
        break;
    }
    page->timeout = (long)time(nullptr) - 1;
    std::string err = capture_stderr([&] { EXPECT_EQ(qel_web_poll(page), 1); });
    EXPECT_EQ(err, "timeout :: state = 3\n");
    EXPECT_EQ(page->error, 1);
    EXPECT_EQ(page->state, QEL_WEB_STATE_RECV);
    qel_web_destroy(page);

    // Before the connect, the deadline comes first: nothing is connected.
    page = qel_web_create("127.0.0.1", srv.port(), "/", nullptr, 0, 30);
    page->timeout = (long)time(nullptr) - 1;
    err = capture_stderr([&] { EXPECT_EQ(qel_web_poll(page), 1); });
    EXPECT_EQ(err, "timeout :: state = 1\n");
    EXPECT_EQ(page->state, QEL_WEB_STATE_CONNECT);
    qel_web_destroy(page);
}

// A socket closed behind the client's back fails the readiness test at once
// instead of leaving the request to wait for its deadline.
TEST(QelWeb, ReadinessTestOnAClosedSocketFails) {
    TcpServer srv([](TcpServer& s, int fd) {
        tcp_read_request(fd);
        s.wait();
    });
    qel_web* page = qel_web_create("127.0.0.1", srv.port(), "/", nullptr, 0, 30);
    ASSERT_TRUE(poll_until(page, [&] { return page->state == QEL_WEB_STATE_RECV; }));
    // A number high enough that the capture's own files do not take it.
    int real = page->sockfd;
    page->sockfd = fcntl(real, F_DUPFD, 900);
    close(page->sockfd);
    std::string err = capture_stderr([&] { EXPECT_EQ(qel_web_poll(page), 1); });
    EXPECT_EQ(err, "select: Bad file descriptor\nerror in select\n");
    EXPECT_EQ(page->error, 1);
    page->sockfd = real;
    qel_web_destroy(page);
}

// The readiness test takes descriptors of any number.
TEST(QelWeb, SocketAbove1024) {
    rlimit old;
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &old), 0);
    rlimit lim = old;
    if (lim.rlim_cur < 2048) lim.rlim_cur = 2048;
    if (lim.rlim_max < lim.rlim_cur) lim.rlim_max = lim.rlim_cur;
    if (setrlimit(RLIMIT_NOFILE, &lim) != 0) GTEST_SKIP() << "cannot raise the descriptor limit";
    std::vector<int> files;
    for (int i = 0; i < 1100; i++) {
        int fd = open("/dev/null", O_RDONLY);
        ASSERT_GE(fd, 0);
        files.push_back(fd);
    }
    AnsweringServer srv("HTTP/1.0 200 OK\n\nhigh");
    qel_web* page = qel_web_create("127.0.0.1", srv.server.port(), "/", nullptr, 0, 10);
    EXPECT_GE(page->sockfd, 1024);
    EXPECT_TRUE(finish(page));
    EXPECT_EQ(page->error, 0);
    EXPECT_EQ(body_of(page), "high");
    qel_web_destroy(page);
    for (int fd : files) close(fd);
    setrlimit(RLIMIT_NOFILE, &old);
}

TEST(QelWeb, NoSocketLeftFails) {
    // The look-up reads files of its own: done first, it is in the cache.
    qel_web_destroy(qel_web_create("127.0.0.1", 80, "/", nullptr, 0, 10));
    rlimit old;
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &old), 0);
    qel_web* page = nullptr;
    // Inside the capture, which needs descriptors of its own: the limit is
    // set to the lowest free one.
    std::string err = capture_stderr([&] {
        int lowest = dup(0);
        close(lowest);
        rlimit lim = old;
        lim.rlim_cur = (rlim_t)lowest;
        setrlimit(RLIMIT_NOFILE, &lim);
        page = qel_web_create("127.0.0.1", 80, "/", nullptr, 0, 10);
        setrlimit(RLIMIT_NOFILE, &old);
    });
    EXPECT_NE(err.find("socket: Too many open files\nsocket() == -1\n"), std::string::npos) << err;
    EXPECT_EQ(page->error, 1);
    EXPECT_EQ(page->state, QEL_WEB_STATE_NEW);
    EXPECT_EQ(page->sockfd, -1);
    qel_web_destroy(page);
}

// A response buffer that cannot grow further (its size would pass what an
// int holds) fails the request and keeps what was received. The test makes
// the buffer claim that size; the client must refuse before touching it.
TEST(QelWeb, ResponseBufferAtItsLimitFailsAndKeepsTheData) {
    TcpServer srv([](TcpServer& s, int fd) {
        tcp_read_request(fd);
        tcp_write(fd, "HTTP/1.0 200 OK\n\nkept");
        if (s.wait()) tcp_write(fd, "more");
        s.wait();
    });
    qel_web* page = qel_web_create("127.0.0.1", srv.port(), "/", nullptr, 0, 10);
    ASSERT_TRUE(poll_until(page, [&] { return page->len == 4; }));
    qel_web_buffer real = page->_response;
    page->_response.len = page->_response.alloc = 1 << 30;
    srv.signal();
    std::string err = capture_stderr([&] { finish(page); });
    qel_web_buffer claimed = page->_response;
    page->_response = real;
    EXPECT_EQ(err, "qel_web: a buffer of 1073741824 bytes cannot grow by 4096\n");
    EXPECT_EQ(claimed.data, real.data);
    EXPECT_EQ(claimed.alloc, 1 << 30);
    EXPECT_EQ(page->error, 1);
    EXPECT_EQ(body_of(page), "kept");
    srv.signal();
    qel_web_destroy(page);
}

// Out of memory while the response grows: the request fails and keeps what
// came. Run in a child whose address space is capped a little above what it
// uses (the sanitizers' shadow memory cannot live under such a cap).
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define QEL_WEB_SANITIZED 1
#else
static bool oom_while_receiving() {
    std::string chunk(1 << 20, 'q');
    TcpServer srv([&](TcpServer&, int fd) {
        tcp_read_request(fd);
        tcp_write(fd, "HTTP/1.0 200 OK\n\n");
        for (int i = 0; i < 512; i++)
            if (!tcp_write(fd, chunk)) return;
    });
    qel_web* page = qel_web_create("127.0.0.1", srv.port(), "/", nullptr, 0, 10);
    // The cap comes once the response flows: by then both threads have made
    // their allocations (a thread's first one reserves an arena of its own,
    // which the cap would refuse).
    while (page->len == 0 && !qel_web_poll(page)) {
    }
    if (page->len == 0) return false;
    long pages = 0;
    FILE* f = fopen("/proc/self/statm", "r");
    if (!f || fscanf(f, "%ld", &pages) != 1) return false;
    fclose(f);
    rlimit cap = {(rlim_t)pages * (rlim_t)sysconf(_SC_PAGESIZE) + (64u << 20), RLIM_INFINITY};
    if (setrlimit(RLIMIT_AS, &cap) != 0) return false;
    std::string err = capture_stderr([&] {
        while (!qel_web_poll(page)) {
        }
    });
    return page->error == 1 && page->state == QEL_WEB_STATE_RECV && page->len > (1 << 20) &&
           page->data[0] == 'q' && page->data[page->len - 1] == 'q' &&
           err.find("qel_web: out of memory growing a buffer to ") != std::string::npos;
}
#endif

TEST(QelWebDeathTest, OutOfMemoryWhileReceivingKeepsTheData) {
#ifdef QEL_WEB_SANITIZED
    GTEST_SKIP() << "an address-space cap and the sanitizers do not mix";
#else
    // _exit: the server's thread is still sending when the child ends.
    EXPECT_EXIT(_exit(oom_while_receiving() ? 0 : 1), ::testing::ExitedWithCode(0), "");
#endif
}

// The stock server: a file, its head values, and a missing file, whose
// answer completes like any other.
TEST(QelWeb, StockHttpServer) {
    TempDir site;
    std::string file(10000, '\0');
    for (size_t i = 0; i < file.size(); i++) file[i] = (char)('a' + i % 26);
    write_file(site.file("page.txt"), file);
    StockServer py(site.path());
    ASSERT_GT(py.port, 0) << py.output();
    int port = py.port;

    qel_web* page = qel_web_create("127.0.0.1", port, "/page.txt", nullptr, 0, 10);
    EXPECT_TRUE(finish(page));
    EXPECT_EQ(page->error, 0);
    EXPECT_EQ(response_of(page).rfind("HTTP/1.0 200 OK\r\n", 0), 0u);
    EXPECT_TRUE(body_of(page) == file);
    char v[32];
    qel_web_get_header(page, v, sizeof v, "Content-Length");
    EXPECT_STREQ(v, "10000");
    qel_web_get_header(page, v, sizeof v, "Content-type");
    EXPECT_STREQ(v, "text/plain");
    qel_web_destroy(page);

    page = qel_web_create("127.0.0.1", port, "/missing", nullptr, 0, 10);
    EXPECT_TRUE(finish(page));
    EXPECT_EQ(page->error, 0);
    EXPECT_EQ(page->state, QEL_WEB_STATE_DONE);
    EXPECT_EQ(response_of(page).rfind("HTTP/1.0 404 ", 0), 0u);
    qel_web_destroy(page);
}

// Header names are compared in any case, as HTTP has them: the stock server
// writes "Content-type".
TEST(QelWeb, StockHttpServerHeaderNamesInAnyCase) {
    TempDir site;
    write_file(site.file("page.txt"), "hello");
    StockServer py(site.path());
    ASSERT_GT(py.port, 0) << py.output();
    qel_web* page = qel_web_create("127.0.0.1", py.port, "/page.txt", nullptr, 0, 10);
    EXPECT_TRUE(finish(page));
    EXPECT_EQ(page->error, 0);
    EXPECT_EQ(body_of(page), "hello");
    expect_headers(page,
                   {{"Content-Type", "text/plain"}, {"CONTENT-TYPE", "text/plain"}, {"content-length", "5"}});
    qel_web_destroy(page);
}

// Only ASCII letters are folded: other bytes, those of UTF-8 included, must
// be the same.
TEST(QelWeb, HeaderNamesMatchInAnyCase) {
    AnsweringServer srv("HTTP/1.0 200 OK\r\nContent-type: text/plain\r\nX-A: 1\r\nX\xc3\xa9: 2\r\n\r\nbody");
    qel_web* page = qel_web_create("127.0.0.1", srv.server.port(), "/", nullptr, 0, 10);
    ASSERT_TRUE(finish(page));
    expect_headers(page, {{"Content-Type", "text/plain"},
                          {"content-type", "text/plain"},
                          {"CONTENT-TYPE", "text/plain"},
                          {"Content-type", "text/plain"},
                          {"x-a", "1"},
                          {"X_A", ""},
                          {"X-A-", ""},
                          {"x\xc3\xa9", "2"},
                          {"X\xc3\x89", ""}});
    qel_web_destroy(page);
}

// A response cut short fails, with what came kept in the record: nothing
// at all, a status line whose head never ends (the head is then not taken
// for the body), a body shorter than its Content-Length (blanks around its
// digits allowed). A status that has no body (1xx, 204, 304) is complete at
// the end of its head, with an empty body whatever its head says or bytes
// follow it. Complete answers, and one that never had a status line, end as
// they always did.
TEST(QelWeb, TruncatedResponsesFailAndKeepWhatCame) {
    const std::string ok = "HTTP/1.0 200 OK\r\n", twenty(20, 't');
    const std::string cl9 = "Content-Length: 9\r\n\r\n", short9 = "qel_web: the body ended after 0 of 9 bytes\n";
    const std::string endless = ok + "X-Endless: " + std::string(3 << 20, 'h');
    struct Case {
        std::string response;
        std::string body, err;
    } cases[] = {
        {"", "", "qel_web: the peer closed without answering\n"},
        {ok + "Content-Length: 5\r\n", "", "qel_web: the response ended inside its head\n"},
        {"HTTP/1.0 200 OK", "", "qel_web: the response ended inside its head\n"},
        {endless, "", "qel_web: the response ended inside its head\n"},
        {ok + "Content-Length: 1000\r\n\r\n" + twenty, twenty, "qel_web: the body ended after 20 of 1000 bytes\n"},
        {ok + "content-length:1000\r\n\r\n" + twenty, twenty, "qel_web: the body ended after 20 of 1000 bytes\n"},
        {ok + "Content-Length: 99999999999999999999\r\n\r\n" + twenty, twenty,
         "qel_web: the body ended after 20 of 99999999999999999999 bytes\n"},
        {ok + "Content-Length:\t50\r\n\r\nfives", "fives", "qel_web: the body ended after 5 of 50 bytes\n"},
        {ok + "Content-Length: \t1000 \t\r\n\r\n" + twenty, twenty,
         "qel_web: the body ended after 20 of 1000 bytes\n"},
        {ok + "Content-Length: 20\r\n\r\n" + twenty, twenty, ""},
        {"HTTP/1.0 304 Not Modified\r\nContent-Length: 1234\r\n\r\n", "", ""},
        {"HTTP/1.0 204 No Content\r\n" + cl9, "", ""},
        {"HTTP/1.1 204\r\n" + cl9, "", ""},
        {"HTTP/1.1 100 Continue\r\n" + cl9, "", ""},
        {"HTTP/1.0 199 X\n" + cl9, "", ""},
        {"HTTP/1.0 304 Not Modified\r\n\r\nstray", "", ""},
        {"HTTP/1.0 304 Not Modified\r\nContent-Length: 5\r\n", "", "qel_web: the response ended inside its head\n"},
        // Statuses that only look like those: their bodies count.
        {"HTTP/1.0 205 Reset Content\r\n" + cl9, "", short9},
        {"HTTP/1.0 2040 X\r\n" + cl9, "", short9},
        {"HTTP/1.0 099 X\r\n" + cl9, "", short9},
        {"HTTP/1.0 200 304\r\n" + cl9, "", short9},
        // More than declared, or a length that is not a number: kept whole.
        {ok + "Content-Length: 5\r\n\r\n" + twenty, twenty, ""},
        {ok + "Content-Length: many\r\n\r\n" + twenty, twenty, ""},
        {ok + "\r\n", "", ""},
        {"no head at all", "no head at all", ""},
        {"HTTP", "HTTP", ""},
    };
    for (const Case& c : cases) {
        AnsweringServer srv(c.response);
        qel_web* page = qel_web_create("127.0.0.1", srv.server.port(), "/", nullptr, 0, 10);
        std::string err = capture_stderr([&] { EXPECT_TRUE(finish(page)); });
        std::string what = c.response.substr(0, 60);
        EXPECT_EQ(err, c.err) << what;
        EXPECT_EQ(page->error, c.err.empty() ? 0 : 1) << what;
        EXPECT_EQ(page->state, c.err.empty() ? QEL_WEB_STATE_DONE : QEL_WEB_STATE_RECV) << what;
        EXPECT_TRUE(response_of(page) == c.response) << what;
        EXPECT_TRUE(body_of(page) == c.body) << what << " gave a body of " << page->len;
        if (page->header) {
            EXPECT_EQ(page->data, page->_response.data + page->header) << what;
        }
        qel_web_destroy(page);
    }
}

// A host or path with a control byte would put its own lines into the
// request: refused before anything is connected. Other bytes go as given.
TEST(QelWeb, RefusesControlBytesInHostOrPath) {
    AnsweringServer srv("HTTP/1.0 200 OK\r\n\r\nok");
    struct Case {
        std::string host, path;
    } cases[] = {
        {"127.0.0.1", "/a HTTP/1.0\r\nX-Injected: 1\r\n\r\nGET /second"},
        {"127.0.0.1", "/a\nb"},
        {"127.0.0.1", "/a\rb"},
        {"127.0.0.1", "/a\tb"},
        {"127.0.0.1", "/a\x7f"},
        {"127.0.0.1", "/a\x01"},
        {"127.0.0.1\r\nX-Injected: 1", "/"},
        {"127.0.0.1\n", "/"},
    };
    for (const Case& c : cases) {
        qel_web* page = nullptr;
        std::string err = capture_stderr(
            [&] { page = qel_web_create(c.host.c_str(), srv.server.port(), c.path.c_str(), nullptr, 0, 10); });
        EXPECT_EQ(err, "qel_web_create: refused: a control byte in the host or path\n") << c.path;
        expect_refused(page);
        qel_web_destroy(page);
    }
    // The first request the server sees is this one.
    const std::string path = "/caf\xc3\xa9?q=%0d%0a";
    qel_web* page = qel_web_create("127.0.0.1", srv.server.port(), path.c_str(), nullptr, 0, 10);
    EXPECT_TRUE(finish(page));
    EXPECT_EQ(page->error, 0);
    EXPECT_EQ(srv.request(0),
              "GET " + path + " HTTP/1.0\r\nHost: 127.0.0.1:" + std::to_string(srv.server.port()) + "\r\n\r\n");
    qel_web_destroy(page);
}

// One poll takes all that the socket holds, up to a mebibyte, so a game
// polling once a frame is not held to a few kilobytes a frame.
TEST(QelWeb, OnePollTakesWhatTheSocketHolds) {
    const int total = 3 << 19;
    const std::string head = "HTTP/1.0 200 OK\r\n\r\n";
    std::string reply = head + std::string((size_t)total - head.size(), 'r');
    TcpServer srv([&](TcpServer& s, int fd) {
        tcp_read_request(fd);
        tcp_write(fd, reply);
        s.wait();
    });
    qel_web* page = qel_web_create("127.0.0.1", srv.port(), "/", nullptr, 0, 10);
    // Room for the whole response in the socket (set before the connect).
    int room = 4 << 20;
    socklen_t size = sizeof room;
    ASSERT_EQ(setsockopt(page->sockfd, SOL_SOCKET, SO_RCVBUF, &room, size), 0);
    ASSERT_EQ(getsockopt(page->sockfd, SOL_SOCKET, SO_RCVBUF, &room, &size), 0);
    if (room < 2 * total) {
        qel_web_destroy(page);
        GTEST_SKIP() << "the kernel keeps receive buffers to " << room << " bytes";
    }
    ASSERT_TRUE(poll_until(page, [&] { return page->state == QEL_WEB_STATE_RECV; }));
    int held = 0;
    auto end = Clock::now() + std::chrono::milliseconds(time_limit_ms(20000));
    while (ioctl(page->sockfd, FIONREAD, &held) == 0 && held < total && Clock::now() < end) usleep(1000);
    ASSERT_EQ(held, total);
    EXPECT_EQ(qel_web_poll(page), 0);
    EXPECT_EQ(page->_response.len, 1 << 20);
    EXPECT_EQ(page->len, (1 << 20) - (int)head.size());
    EXPECT_EQ(qel_web_poll(page), 0);
    EXPECT_EQ(page->_response.len, total);
    srv.signal();
    EXPECT_TRUE(finish(page));
    EXPECT_EQ(page->error, 0);
    EXPECT_TRUE(response_of(page) == reply);
    qel_web_destroy(page);
}

// lighttpd, which answers 400 to request lines that end with a bare line
// feed: a GET and a POST of a file bring it byte for byte, a missing file
// its 404 page like any other answer, and an injected path is refused.
TEST(QelWeb, Lighttpd) {
    TempDir site;
    std::string file(1500000, '\0');
    for (size_t i = 0; i < file.size(); i++) file[i] = (char)(i * 7919 >> 5);
    write_file(site.file("data.bin"), file);
    Lighttpd server(site.path());
    ASSERT_TRUE(server.ok()) << server.why();
    for (const char* post : {"", "a=1"}) {
        qel_web* page = qel_web_create("127.0.0.1", server.port(), "/data.bin", post, (int)strlen(post), 10);
        EXPECT_TRUE(finish(page));
        EXPECT_EQ(page->error, 0) << post;
        EXPECT_EQ(page->state, QEL_WEB_STATE_DONE);
        EXPECT_EQ(response_of(page).substr(0, 17), "HTTP/1.0 200 OK\r\n") << post;
        EXPECT_TRUE(body_of(page) == file) << post;
        char v[32];
        qel_web_get_header(page, v, sizeof v, "Content-Length");
        EXPECT_STREQ(v, "1500000");
        qel_web_destroy(page);
    }
    qel_web* page = qel_web_create("127.0.0.1", server.port(), "/missing", nullptr, 0, 10);
    EXPECT_TRUE(finish(page));
    EXPECT_EQ(page->error, 0);
    EXPECT_EQ(page->state, QEL_WEB_STATE_DONE);
    EXPECT_EQ(response_of(page).substr(0, 13), "HTTP/1.0 404 ");
    qel_web_destroy(page);

    std::string err = capture_stderr([&] {
        page = qel_web_create("127.0.0.1", server.port(), "/a HTTP/1.0\r\nX-Injected: 1\r\n\r\nGET /data.bin",
                              nullptr, 0, 10);
    });
    EXPECT_EQ(err, "qel_web_create: refused: a control byte in the host or path\n");
    expect_refused(page);
    qel_web_destroy(page);
}

TEST(QelWeb, FormEncoder) {
    struct Case {
        std::string in;
        int len;
        std::string want;
    } cases[] = {
        {"a b", 6, "a%20b"},
        {"a b", 5, "a%20"},
        {"a b", 4, "a"},
        {"a b", 1, ""},
        {"AZaz09", 7, "AZaz09"},
        {"-._~*+/", 22, "%2d%2e%5f%7e%2a%2b%2f"},
        {std::string("\0\x80\xff\n", 4), 13, "%00%80%ff%0a"},
        {"x=\xc3\xa9", 12, "x%3d%c3%a9"},
    };
    for (const Case& c : cases) {
        char out[32];
        memset(out, 'Z', sizeof out);
        qel_web_urlencode(out, c.len, c.in.data(), (int)c.in.size());
        std::string want = c.want + std::string((size_t)c.len - c.want.size(), '\0') + "Z";
        EXPECT_EQ(std::string(out, (size_t)c.len + 1), want) << c.in << " into " << c.len;
    }
    char out[2] = {'Z', 'Z'};
    qel_web_urlencode(out, 0, "a", 1);
    EXPECT_EQ(std::string(out, 2), "ZZ");

    struct Len {
        std::string in;
        int want;
    } lens[] = {{"a b", 6}, {"", 1}, {"AZaz09", 7}, {std::string("\0\xff", 2), 7}, {"-._~", 13}};
    for (const Len& c : lens) EXPECT_EQ(qel_web_urlencode_len(c.in.data(), (int)c.in.size()), c.want) << c.in;
}
