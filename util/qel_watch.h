// qel_watch: what the file watchers of images, atlases, fonts, sounds and
// scripts share, and the wall clock they and the texture budget read.
//
// A watcher looks at its files at most once per wall-clock second, and reads
// a file again once it is no longer the file it read (another modification
// time, size or file) and has stood unchanged for two seconds, so that a file
// still being written is left alone. Each module keeps its watcher's state (a
// Watch) in its own state record, so a new record starts a watcher that
// checks at once; the names it watches and what it prints stay with the
// module.
#ifndef QEL_WATCH_H
#define QEL_WATCH_H

#include <ctime>

struct Watch {
    time_t last;  // wall-clock second of the last check; 0 before the first
};

// What a watcher keeps of a file to know it again (driver_file_stamp): its
// modification time to the nanosecond, its size, and which file it is (the
// device and inode), since whole seconds alone do not tell apart two versions
// saved within one second, and a file renamed into the place of another may
// carry the other's time and size. All zero: no file.
struct FileStamp {
    time_t sec = 0;
    long nsec = 0;
    long long size = 0;
    unsigned long long dev = 0;
    unsigned long long ino = 0;
};
bool operator==(const FileStamp& a, const FileStamp& b);

// The wall clock in whole seconds (time()) and to the nanosecond (the
// system's real-time clock); or the clock a test set.
time_t watch_now();
timespec watch_now_ns();

// Seam for tests: the clock behind watch_now and watch_now_ns; null restores
// the real one.
typedef timespec (*WatchClock)();
void _watch_set_clock(WatchClock clock);

// Whether the watcher checks at `now`: once per wall-clock second, when now
// is not the second of its last check, which it then becomes.
bool watch_due(Watch* w, time_t now);

// Whether a file whose stamp is `cur`, read when its stamp was `loaded`, is
// to be read again at `now`: the stamps differ (an older file counts too) and
// the file has stood unchanged for at least two seconds, measured from its
// modification time to the nanosecond. A missing file never counts; a file
// that was missing when read (`loaded` all zero) counts once it exists.
bool watch_changed(const FileStamp& cur, const FileStamp& loaded, const timespec& now);

#endif
