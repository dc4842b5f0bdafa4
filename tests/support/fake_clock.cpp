// Test helper: a wall clock that stands still until the test moves it.
#include "fake_clock.h"

#include "qel_watch.h"

time_t fake_now = 0;
long fake_now_nsec = 0;

static timespec _fake_clock() {
    timespec ts;
    ts.tv_sec = fake_now;
    ts.tv_nsec = fake_now_nsec;
    return ts;
}

void fake_clock_install(time_t now, long nsec) {
    fake_now = now;
    fake_now_nsec = nsec;
    _watch_set_clock(_fake_clock);
}

void fake_clock_remove() { _watch_set_clock(nullptr); }
