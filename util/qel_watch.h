// qel_watch: what the file watchers of images, fonts, sounds and scripts
// share, and the wall clock they and the texture budget read.
//
// A watcher looks at its files at most once per wall-clock second, and reads
// a file again once it is newer than at its load and has been quiet for two
// seconds, so that a file still being written is left alone. Each module
// keeps its watcher's state (a Watch) in its own state record, so a new
// record starts a watcher that checks at once; the names it watches and what
// it prints stay with the module.
#ifndef QEL_WATCH_H
#define QEL_WATCH_H

#include <ctime>

struct Watch {
    time_t last;  // wall-clock second of the last check; 0 before the first
};

// The wall clock in seconds: time(), or the clock a test set.
time_t watch_now();

// Seam for tests: the clock behind watch_now; null restores time().
typedef time_t (*WatchClock)();
void _watch_set_clock(WatchClock clock);

// Whether the watcher checks at `now`: once per wall-clock second, when now
// is not the second of its last check, which it then becomes.
bool watch_due(Watch* w, time_t now);

// Whether a file of modification time `mtime`, last read when it had the time
// `loaded`, is to be read again at `now`: newer, and at least two seconds
// old. A missing file reads as time 0 and so never counts.
bool watch_changed(time_t mtime, time_t loaded, time_t now);

#endif
