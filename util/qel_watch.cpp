// qel_watch: the watchers' once-per-second gate, their change rule and the
// wall clock.
#include "qel_watch.h"

static WatchClock _watch_clock = nullptr;

void _watch_set_clock(WatchClock clock) { _watch_clock = clock; }

time_t watch_now() { return _watch_clock ? _watch_clock() : time(nullptr); }

bool watch_due(Watch* w, time_t now) {
    if (now == w->last) return false;
    w->last = now;
    return true;
}

bool operator==(const FileStamp& a, const FileStamp& b) {
    return a.sec == b.sec && a.nsec == b.nsec && a.size == b.size;
}

bool watch_changed(const FileStamp& cur, const FileStamp& loaded, time_t now) {
    return !(cur == FileStamp()) && !(cur == loaded) && cur.sec <= now - 2;
}
