// Test helper: the wall clock of the file watchers and the texture budget,
// standing at a time that the test sets.
#ifndef QEL_TEST_FAKE_CLOCK_H
#define QEL_TEST_FAKE_CLOCK_H

#include <ctime>

// What the clock reads while it is installed, the second and the nanoseconds
// into it; the test moves them.
extern time_t fake_now;
extern long fake_now_nsec;

// Installs the clock at `now` seconds and `nsec` nanoseconds;
// fake_clock_remove gives the real one back.
void fake_clock_install(time_t now, long nsec = 0);
void fake_clock_remove();

#endif
