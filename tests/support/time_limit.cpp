// Test helper: the build tree's factor for wall-clock limits.
#include "time_limit.h"

int time_limit_ms(int ms) { return ms * QEL_TEST_TIME_FACTOR; }
