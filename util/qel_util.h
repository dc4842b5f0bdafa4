// qel_util: small float helpers shared by graphics, widgets and the game loop.
//
// Each compares its arguments directly; when the comparison is false (ties and
// NaN included) the second choice is returned, which callers rely on.
#ifndef QEL_UTIL_H
#define QEL_UTIL_H

#include <climits>
#include <cmath>

inline float mymin(float a, float b) { return b > a ? a : b; }
inline float mymax(float a, float b) { return a > b ? a : b; }
inline float myabs(float a) { return 0 > a ? -a : a; }
inline int mysign(float a) { return 0 > a ? -1 : (a > 0 ? 1 : 0); }

// Truncation toward zero that stays defined for every value, as numbers from
// scripts and files can be anything: NaN gives 0, values beyond the int range
// its nearest end.
inline int myint(double v) {
    if (std::isnan(v)) return 0;
    if (v >= 2147483647.0) return INT_MAX;
    if (v <= -2147483648.0) return INT_MIN;
    return (int)v;
}

#endif
