// qel_util: small float helpers shared by graphics, widgets and the game loop.
//
// Each compares its arguments directly; when the comparison is false (ties and
// NaN included) the second choice is returned, which callers rely on.
#ifndef QEL_UTIL_H
#define QEL_UTIL_H

inline float mymin(float a, float b) { return b > a ? a : b; }
inline float mymax(float a, float b) { return a > b ? a : b; }
inline float myabs(float a) { return 0 > a ? -a : a; }
inline int mysign(float a) { return 0 > a ? -1 : (a > 0 ? 1 : 0); }

#endif
