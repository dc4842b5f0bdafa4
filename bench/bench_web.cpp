// HTTP client benchmark, run by hand (no X needed), on a loopback server of
// the benchmark's own:
// - a 16 MiB body read by polling qel_web in a tight loop, against the
//   reference: a blocking recv loop of 4096 bytes a call into a buffer that
//   grows by doubling, on the same server (bytes_per_second);
// - one idle poll of a request whose peer never answers, against the
//   reference: one zero-wait poll() of the same socket (time per call).
//
//   build/bench/bench_web
#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

#include "bench_quiet.h"
#include "qel_web.h"
#include "tcp_server.h"

static const int BODY = 16 << 20;
static const char* const LOG = "/tmp/qel_bench_web.log";

// Answers every request with a head and BODY bytes, then closes.
static TcpServer& _body_server() {
    static std::string reply = "HTTP/1.0 200 OK\r\nContent-Length: " + std::to_string(BODY) + "\r\n\r\n" +
                               std::string((size_t)BODY, 'b');
    static TcpServer server([](TcpServer&, int fd) {
        tcp_read_request(fd);
        tcp_write(fd, reply);
    });
    return server;
}

static qel_web* _create(int port) {
    qel_web* page = nullptr;
    bench_quiet(LOG, [&] { page = qel_web_create("127.0.0.1", port, "/", nullptr, 0, 30); });
    return page;
}

static void BM_WebPollBody16M(benchmark::State& state) {
    int port = _body_server().port();
    for (auto _ : state) {
        qel_web* page = _create(port);
        while (!qel_web_poll(page)) {
        }
        if (page->error || page->len != BODY) state.SkipWithError("the body did not arrive whole");
        qel_web_destroy(page);
    }
    state.SetBytesProcessed((int64_t)state.iterations() * BODY);
}
BENCHMARK(BM_WebPollBody16M)->Unit(benchmark::kMillisecond);

static void BM_RefBlockingRecv16M(benchmark::State& state) {
    sockaddr_in addr = {};
    addr.sin_family = AF_INET;
    addr.sin_port = htons((uint16_t)_body_server().port());
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const std::string request = "GET / HTTP/1.0\nHost: 127.0.0.1\n\n";
    for (auto _ : state) {
        int fd = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        if (connect(fd, (sockaddr*)&addr, sizeof addr) != 0 || !tcp_write(fd, request)) {
            state.SkipWithError("connect or send failed");
            close(fd);
            break;
        }
        std::vector<unsigned char> buf;
        size_t len = 0;
        for (;;) {
            if (buf.size() < len + 4096) buf.resize(buf.empty() ? 8192 : buf.size() * 2);
            ssize_t n = recv(fd, buf.data() + len, 4096, 0);
            if (n <= 0) break;
            len += (size_t)n;
        }
        close(fd);
        if (len < (size_t)BODY) state.SkipWithError("the body did not arrive whole");
        benchmark::DoNotOptimize(buf.data());
    }
    state.SetBytesProcessed((int64_t)state.iterations() * BODY);
}
BENCHMARK(BM_RefBlockingRecv16M)->Unit(benchmark::kMillisecond);

// A request sent and waiting for an answer that never comes.
struct _Idle {
    TcpServer server{[](TcpServer& s, int fd) {
        tcp_read_request(fd);
        s.wait();
    }};
    qel_web* page = _create(server.port());
    _Idle() {
        while (page->state != QEL_WEB_STATE_RECV && !qel_web_poll(page)) {
        }
    }
    ~_Idle() { qel_web_destroy(page); }
};

static void BM_WebIdlePoll(benchmark::State& state) {
    _Idle idle;
    for (auto _ : state) {
        if (qel_web_poll(idle.page)) {
            state.SkipWithError("the idle request ended");
            break;
        }
    }
}
BENCHMARK(BM_WebIdlePoll);

static void BM_RefZeroWaitPoll(benchmark::State& state) {
    _Idle idle;
    for (auto _ : state) {
        pollfd p = {idle.page->sockfd, POLLIN | POLLOUT, 0};
        benchmark::DoNotOptimize(poll(&p, 1, 0));
    }
}
BENCHMARK(BM_RefZeroWaitPoll);

BENCHMARK_MAIN();
