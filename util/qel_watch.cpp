// qel_watch: the watchers' once-per-second gate, their change rule and the
// wall clock.
#include "qel_watch.h"

static WatchClock _watch_clock = nullptr;

void _watch_set_clock(WatchClock clock) { _watch_clock = clock; }

timespec watch_now_ns() {
    if (_watch_clock) return _watch_clock();
    timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    return ts;
}

// Whole seconds come from time(), which costs a fraction of the nanosecond
// clock: the texture registry reads it at every draw. Each watcher gates its
// checks with one of the two only, so the few milliseconds by which time()
// may lag at a second's turn move no decision.
time_t watch_now() {
    if (_watch_clock) return _watch_clock().tv_sec;
    return time(nullptr);
}

bool watch_due(Watch* w, time_t now) {
    if (now == w->last) return false;
    w->last = now;
    return true;
}

bool operator==(const FileStamp& a, const FileStamp& b) {
    return a.sec == b.sec && a.nsec == b.nsec && a.size == b.size && a.dev == b.dev && a.ino == b.ino;
}

// now - stamp >= 2 s, compared field by field so that no time overflows.
static bool _watch_rested(const FileStamp& s, const timespec& now) {
    return s.sec < now.tv_sec - 2 || (s.sec == now.tv_sec - 2 && s.nsec <= now.tv_nsec);
}

bool watch_changed(const FileStamp& cur, const FileStamp& loaded, const timespec& now) {
    return !(cur == FileStamp()) && !(cur == loaded) && _watch_rested(cur, now);
}
