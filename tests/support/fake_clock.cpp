// Test helper: a wall clock that stands still until the test moves it.
#include "fake_clock.h"

#include "qel_watch.h"

time_t fake_now = 0;

static time_t _fake_clock() { return fake_now; }

void fake_clock_install(time_t now) {
    fake_now = now;
    _watch_set_clock(_fake_clock);
}

void fake_clock_remove() { _watch_set_clock(nullptr); }
