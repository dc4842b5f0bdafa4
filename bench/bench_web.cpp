// HTTP client benchmark, run by hand (no X needed):
// - a 50 MiB file from lighttpd (started on a free port with a configuration
//   of its own), read by qel_web polled in a tight loop and polled once per
//   16.7 ms frame as a game polls it, against the reference: curl fetching
//   the same file from the same server into /dev/null, timed by curl itself
//   (its time_total, without its start-up) (bytes_per_second; "polls" is the
//   number of polls a request took);
// - a 16 MiB body from the benchmark's own loopback server read by polling
//   qel_web in a tight loop, against the reference: a blocking recv loop of
//   4096 bytes a call into a buffer that grows by doubling, on the same
//   server (bytes_per_second);
// - one idle poll of a request whose peer never answers, against the
//   reference: one zero-wait poll() of the same socket (time per call).
//
//   build/bench/bench_web
#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <chrono>
#include <cstdio>
#include <netinet/in.h>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "bench_quiet.h"
#include "lighttpd.h"
#include "qel_web.h"
#include "tcp_server.h"
#include "tempdir.h"

extern char** environ;

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

static qel_web* _create(int port, const char* path = "/") {
    qel_web* page = nullptr;
    bench_quiet(LOG, [&] { page = qel_web_create("127.0.0.1", port, path, nullptr, 0, 30); });
    return page;
}

static const int FILE_SIZE = 50 << 20;

// lighttpd serving one file of FILE_SIZE bytes, for the whole run.
struct _Site {
    TempDir dir;
    Lighttpd server{dir.path()};
    _Site() { write_file(dir.file("big.bin"), std::string((size_t)FILE_SIZE, 'f')); }
};

static _Site& _site() {
    static _Site site;
    return site;
}

// One GET of the file, polled once a frame of `frame` (none: a tight loop).
static void _get_file(benchmark::State& state, std::chrono::microseconds frame) {
    _Site& site = _site();
    if (!site.server.ok()) {
        state.SkipWithError(site.server.why().c_str());
        return;
    }
    long polls = 0;
    for (auto _ : state) {
        qel_web* page = _create(site.server.port(), "/big.bin");
        auto next = std::chrono::steady_clock::now();
        for (polls = 1; !qel_web_poll(page); polls++) {
            if (frame.count() == 0) continue;
            next += frame;
            std::this_thread::sleep_until(next);
        }
        if (page->error || page->len != FILE_SIZE) state.SkipWithError("the file did not arrive whole");
        qel_web_destroy(page);
    }
    state.counters["polls"] = (double)polls;
    state.SetBytesProcessed((int64_t)state.iterations() * FILE_SIZE);
}

static void BM_WebGet50M_TightLoop(benchmark::State& state) { _get_file(state, std::chrono::microseconds(0)); }
BENCHMARK(BM_WebGet50M_TightLoop)->Unit(benchmark::kMillisecond)->UseRealTime();

static void BM_WebGet50M_PollPerFrame(benchmark::State& state) {
    _get_file(state, std::chrono::microseconds(16700));
}
BENCHMARK(BM_WebGet50M_PollPerFrame)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

// curl's own account of one fetch: status, bytes and seconds, or "" when it
// could not be run.
static std::string _curl(int port) {
    std::string url = "http://127.0.0.1:" + std::to_string(port) + "/big.bin";
    const char* argv[] = {"curl", "-s", "-o", "/dev/null", "-w", "%{http_code} %{size_download} %{time_total}",
                          url.c_str(), nullptr};
    int out[2];
    if (pipe(out) != 0) return "";
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, out[1], 1);
    posix_spawn_file_actions_addclose(&fa, out[0]);
    pid_t pid;
    int r = posix_spawnp(&pid, "curl", &fa, nullptr, const_cast<char**>(argv), environ);
    posix_spawn_file_actions_destroy(&fa);
    close(out[1]);
    std::string text;
    char buf[256];
    for (ssize_t n; r == 0 && (n = read(out[0], buf, sizeof buf)) > 0;) text.append(buf, (size_t)n);
    close(out[0]);
    int status = 0;
    if (r != 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return "";
    return text;
}

static void BM_RefCurlGet50M(benchmark::State& state) {
    _Site& site = _site();
    if (!site.server.ok()) {
        state.SkipWithError(site.server.why().c_str());
        return;
    }
    for (auto _ : state) {
        int code = 0;
        long size = 0;
        double seconds = 0;
        std::string text = _curl(site.server.port());
        if (sscanf(text.c_str(), "%d %ld %lf", &code, &size, &seconds) != 3 || code != 200 || size != FILE_SIZE) {
            state.SkipWithError(("curl failed (tools/packages.sh installs it): " + text).c_str());
            break;
        }
        state.SetIterationTime(seconds);
    }
    state.SetBytesProcessed((int64_t)state.iterations() * FILE_SIZE);
}
BENCHMARK(BM_RefCurlGet50M)->Unit(benchmark::kMillisecond)->UseManualTime();

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
    const std::string request = "GET / HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n";
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
