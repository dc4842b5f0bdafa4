// Frame pacing of the main loop: runs the game's frame (events, update,
// drawing with the pacing sleep) for 600 frames and reports the distribution
// of the intervals between frame starts against the ideal 1/60 s (16.67 ms).
// Run it through bench/frame_pacing.sh, which gives it an X server and an
// empty mod.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "gamewrap.h"
#include "qel_driver.h"

static const int kFrames = 600;
static const double kIdeal = 1000.0 / 60.0;

// One frame as the entry point runs it.
static void _frame() {
    Event e(EVT_NONE);
    while (driver_event_poll(&e)) game_event(e);
    game_loop();
    game_paint();
}

static double _percentile(const std::vector<double>& sorted, double p) {
    size_t i = (size_t)std::lround(p / 100.0 * (double)(sorted.size() - 1));
    return sorted[i];
}

int main(int argc, char** argv) {
    // The log lines of start-up and shut-down would bury the report.
    FILE* log = freopen("/dev/null", "w", stdout);
    (void)log;
    const char* mod = "./data/main.lua";
    for (int i = 0; i + 1 < argc; i++)
        if (strcmp(argv[i], "-mod") == 0) mod = argv[i + 1];
    game_init(argc, argv);
    for (int i = 0; i < 30; i++) _frame();  // settle: first frames load and allocate
    using clock = std::chrono::steady_clock;
    std::vector<double> ms;
    auto last = clock::now();
    for (int i = 0; i < kFrames; i++) {
        _frame();
        auto now = clock::now();
        ms.push_back(std::chrono::duration<double, std::milli>(now - last).count());
        last = now;
    }
    game_deinit();

    std::vector<double> sorted = ms;
    std::sort(sorted.begin(), sorted.end());
    double sum = 0, sq = 0;
    for (double v : ms) sum += v;
    double mean = sum / ms.size();
    for (double v : ms) sq += (v - mean) * (v - mean);
    int within1 = 0;
    for (double v : ms) within1 += std::fabs(v - kIdeal) <= 1.0;
    int bins[8] = {0};  // <2, 2-5, 5-10, 10-15, 15-16, 16-17.5, 17.5-20, >=20
    const double edges[] = {2, 5, 10, 15, 16, 17.5, 20};
    for (double v : ms) {
        int b = 0;
        while (b < 7 && v >= edges[b]) b++;
        bins[b]++;
    }
    fprintf(stderr, "frame pacing: %d frames of the main loop with the mod %s, reference: the ideal %.2f ms (60 Hz)\n",
            kFrames, mod, kIdeal);
    fprintf(stderr, "  mean %.2f ms (%.1f frames/s, ideal 60.0), stddev %.2f ms\n", mean, 1000.0 / mean,
            std::sqrt(sq / ms.size()));
    fprintf(stderr, "  min %.2f  p5 %.2f  p25 %.2f  median %.2f  p75 %.2f  p95 %.2f  max %.2f ms\n", sorted.front(),
            _percentile(sorted, 5), _percentile(sorted, 25), _percentile(sorted, 50), _percentile(sorted, 75),
            _percentile(sorted, 95), sorted.back());
    fprintf(stderr, "  within 1 ms of the ideal: %d of %d (%.1f %%)\n", within1, kFrames, 100.0 * within1 / kFrames);
    const char* names[] = {"< 2", "2-5", "5-10", "10-15", "15-16", "16-17.5", "17.5-20", ">= 20"};
    fprintf(stderr, "  histogram (ms: frames):");
    for (int b = 0; b < 8; b++) fprintf(stderr, "  %s: %d", names[b], bins[b]);
    fprintf(stderr, "\n");
    return 0;
}
