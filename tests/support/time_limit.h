// Test helper: the wall-clock limits of the tests' waits, scaled for the
// build tree. A limit is written for the release tree, far beyond what the
// wait takes there; a sanitizer tree runs everything several times slower,
// and its build multiplies every limit by QEL_TEST_TIME_FACTOR, which also
// multiplies CTest's timeout (tests/CMakeLists.txt). The waiting helpers here
// (child_wait, x11_wait_window, ModRunTest::wait_for and frame_passes) scale
// the limits they are given; a test's own waiting loop scales its limit with
// time_limit_ms.
#ifndef QEL_TEST_TIME_LIMIT_H
#define QEL_TEST_TIME_LIMIT_H

// ms times the tree's factor (1 in the release tree).
int time_limit_ms(int ms);

#endif
