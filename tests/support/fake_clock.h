// Test helper: the wall clock of the file watchers and the texture budget,
// standing at a second that the test sets.
#ifndef QEL_TEST_FAKE_CLOCK_H
#define QEL_TEST_FAKE_CLOCK_H

#include <ctime>

// What the clock reads while it is installed; the test moves it.
extern time_t fake_now;

// Installs the clock at `now`; fake_clock_remove gives the real one back.
void fake_clock_install(time_t now);
void fake_clock_remove();

#endif
