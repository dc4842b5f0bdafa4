// qel_driver: the platform-neutral half of the driver: its state record,
// start and stop by flags, the accessors, the fixed-step counter, where files
// live and whole-file reading and writing.
#include "qel_driver.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "qel_driver-audio.h"
#include "qel_driver-tex_load.h"
#include "qel_posix.h"

_DriverData* _driver = nullptr;

_DriverData::_DriverData()
    : width(0), height(0), aspect(1.0f), scale(1.0f), orient(0), idiom{}, gamename{}, caption{},
      icon{}, fps(0), altdir{}, tick_started(false), tick_t0(0), tick_n(0) {}

void driver_init(int flags) {
    delete _driver;
    _driver = new _DriverData();
    if (flags & DRIVER_TIMER) _driver_timer_init();
    if (flags & DRIVER_VIDEO) _driver_video_init();
    if (flags & DRIVER_AUDIO) _driver_audio_init();
}

void driver_deinit() {
    _driver_audio_deinit();
    _driver_video_deinit();
    _driver_timer_deinit();
    delete _driver;
    _driver = nullptr;
}

// Platforms whose apps end themselves need this; nothing calls it here.
void driver_app_exit() {}

// Replaces a text field. A text that does not fit is refused rather than cut,
// so a shortened name can never select another directory or file.
static void _driver_set_text(char* field, size_t size, const char* s, const char* what) {
    memset(field, 0, size);
    if (!s) return;
    size_t n = strlen(s);
    if (n >= size) {
        fprintf(stderr, "driver: %s of %zu bytes does not fit, refused\n", what, n);
        return;
    }
    memcpy(field, s, n);
}

void driver_set_caption(const char* s) {
    if (_driver) _driver_set_text(_driver->caption, sizeof _driver->caption, s, "caption");
}
const char* driver_get_caption() { return _driver ? _driver->caption : ""; }
void driver_set_idiom(const char* s) {
    if (_driver) _driver_set_text(_driver->idiom, sizeof _driver->idiom, s, "idiom");
}
const char* driver_get_idiom() { return _driver ? _driver->idiom : ""; }
void driver_set_icon(const char* s) {
    if (_driver) _driver_set_text(_driver->icon, sizeof _driver->icon, s, "icon");
}
const char* driver_get_icon() { return _driver ? _driver->icon : ""; }
void driver_set_gamename(const char* s) {
    if (_driver) _driver_set_text(_driver->gamename, sizeof _driver->gamename, s, "game name");
}
void driver_set_altdir(const char* s) {
    if (_driver) _driver_set_text(_driver->altdir, sizeof _driver->altdir, s, "alternative directory");
}

void driver_get_size(int* w, int* h) {
    *w = _driver ? _driver->width : 0;
    *h = _driver ? _driver->height : 0;
}
void driver_set_size(int w, int h) {
    if (!_driver) return;
    _driver->width = w;
    _driver->height = h;
}
float driver_get_aspect() { return _driver ? _driver->aspect : 1.0f; }
void driver_set_aspect(float v) {
    if (_driver) _driver->aspect = v;
}
float driver_get_scale() { return _driver ? _driver->scale : 1.0f; }
void driver_set_scale(float v) {
    if (_driver) _driver->scale = v;
}
float driver_get_orient() { return _driver ? _driver->orient : 0.0f; }
void driver_set_orient(float v) {
    if (_driver) _driver->orient = v;
}
void driver_timer_set(int fps) {
    if (_driver) _driver->fps = fps;
}

int driver_timer_tick() { return _driver_timer_tick_at(driver_timer_get_ticks()); }

int _driver_timer_tick_at(long ticks) {
    _DriverData* d = _driver;
    if (!d || d->fps == 0) return 0;
    double now = ticks / 1000.0;
    if (!d->tick_started) {
        d->tick_started = true;
        d->tick_t0 = now;
        d->tick_n = 0;
    }
    int steps = 0;
    while (now > d->tick_t0 + (double)d->tick_n / d->fps) {
        d->tick_n++;
        steps++;
    }
    return steps;
}

// "%s/%s" into a fixed buffer, or the empty string when it does not fit. The
// line names the path in part when it is huge: a mod can pass a name of any
// length, and every lookup of it would print it whole.
static const char* _driver_join(char* buf, size_t size, const char* dir, const char* name) {
    size_t nd = strlen(dir), nn = strlen(name);
    if (nd + 1 + nn >= size) {
        const int shown = 1024;
        fprintf(stderr, "path too long, refused: %s/%.*s%s\n", dir, shown, name, nn > (size_t)shown ? "..." : "");
        buf[0] = 0;
        return buf;
    }
    memcpy(buf, dir, nd);
    buf[nd] = '/';
    memcpy(buf + nd + 1, name, nn + 1);
    return buf;
}

const char* _driver_get_datadir() {
    static char buf[1024];
    snprintf(buf, sizeof buf, "%s", _driver && _driver->gamename[0] ? "./data" : "../data");
    return buf;
}

const char* _driver_get_docdir() {
    static char buf[512];
    if (!_driver || !_driver->gamename[0]) {
        snprintf(buf, sizeof buf, ".");
        return buf;
    }
    std::string base = posix_docs_base();
    if (_driver_join(buf, sizeof buf, base.c_str(), _driver->gamename)[0]) posix_mkdirs(buf);
    return buf;
}

const char* driver_data_fname(const char* name) {
    static char buf[512];
    if (_driver && _driver->altdir[0]) {
        if (_driver_join(buf, sizeof buf, _driver->altdir, name)[0] && driver_file_exists(buf)) return buf;
    }
    return _driver_join(buf, sizeof buf, _driver_get_datadir(), name);
}

const char* driver_doc_fname(const char* name) {
    static char buf[512];
    const char* dir = _driver_get_docdir();
    // Without a documents directory a name must not land at the root.
    if (!dir[0]) {
        buf[0] = 0;
        return buf;
    }
    return _driver_join(buf, sizeof buf, dir, name);
}

const char* driver_get_home_dir() {
    static char buf[512];
    const char* home = getenv("HOMEPATH");
    if (!home) home = getenv("HOME");
    if (!home) {
        buf[0] = 0;
        return buf;
    }
    return _driver_join(buf, sizeof buf, home, "Desktop");
}

const char* driver_data_find(char* buf, size_t size, const char* name, const char* const* suffixes, int count) {
    for (int i = 0; i < count; i++) {
        int n = snprintf(buf, size, "%s%s", name, suffixes[i]);
        if (n < 0 || (size_t)n >= size) continue;
        if (driver_data_exists(buf)) return buf;
    }
    return nullptr;
}

char* _driver_dirname(char* path) {
    char* cut = nullptr;
    for (char* p = path; *p; p++)
        if (*p == '/' || *p == '\\') cut = p;
    if (cut) *cut = 0;
    return path;
}

// Only regular files count: on Linux a directory opens for reading too, and a
// folder must never pass for a script, image or sound.
static bool _driver_regular(const char* path, struct stat* st) {
    return stat(path, st) == 0 && S_ISREG(st->st_mode);
}

bool driver_file_exists(const char* path) {
    struct stat st;
    if (!_driver_regular(path, &st)) return false;
    FILE* f = fopen(path, "rb");
    if (!f) return false;
    fclose(f);
    return true;
}

int driver_file_fsize(const char* path) {
    struct stat st;
    if (!_driver_regular(path, &st)) return 0;
    // Sizes travel as int: a larger file would be read in part or not at all.
    if (st.st_size > INT_MAX) {
        fprintf(stderr, "file too large, refused: %s\n", path);
        return 0;
    }
    return (int)st.st_size;
}

int driver_file_load(const char* path, void* data, int len) {
    struct stat st;
    FILE* f = _driver_regular(path, &st) ? fopen(path, "rb") : nullptr;
    if (!f) {
        fprintf(stderr, "file not found: %s\n", path);
        return 0;
    }
    int size = driver_file_fsize(path);
    int n = len < size ? len : size;
    int got = n > 0 ? (int)fread(data, 1, (size_t)n, f) : 0;
    fclose(f);
    return got;
}

void* driver_file_alloc(const char* path, int* len) {
    *len = 0;
    int size = driver_file_fsize(path);
    if (size == 0) return nullptr;
    void* buf = malloc((size_t)size);
    if (!buf) {
        fprintf(stderr, "out of memory reading %s\n", path);
        return nullptr;
    }
    FILE* f = fopen(path, "rb");
    if (!f) {
        fprintf(stderr, "file not found: %s\n", path);
        free(buf);
        return nullptr;
    }
    *len = (int)fread(buf, 1, (size_t)size, f);
    fclose(f);
    return buf;
}

std::string driver_file_load(const char* path) {
    int len;
    void* buf = driver_file_alloc(path, &len);
    if (!buf) return std::string();
    std::string r((const char*)buf, (size_t)len);
    free(buf);
    return r;
}

static int _driver_save_failed(const char* path, const char* why, int err) {
    fprintf(stderr, "file not saved: %s (%s)\n", path, why);
    return err;
}

// Makes a rename in `dir` survive a crash of the machine: the new name is on
// disk only once the directory itself is synced. The file is in place either
// way, so a directory that cannot be synced (some file systems refuse) is not
// a failed save.
static void _driver_sync_dir(const std::string& dir) {
    int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd < 0) return;
    fsync(fd);
    close(fd);
}

// Writes a new file beside the target, syncs it, renames it over the target
// and syncs the directory, so the old contents survive any failure on the way
// and the new ones survive a crash once the call returns.
int driver_file_save(const char* path, void* data, int len) {
    static unsigned counter = 0;
    if (!path[0]) return _driver_save_failed(path, "no path", ENOENT);
    if (len < 0) return _driver_save_failed(path, "negative length", EINVAL);
    // A link keeps pointing at the file it named, as with writing in place.
    std::string target = path;
    struct stat st;
    if (lstat(path, &st) == 0 && S_ISLNK(st.st_mode)) {
        if (char* real = realpath(path, nullptr)) {
            target = real;
            free(real);
        }
    }
    // A short name of its own in the same directory, so the rename stays on one
    // file system and a long target name cannot make the temporary too long.
    size_t slash = target.rfind('/');
    std::string dir = slash == std::string::npos ? "." : target.substr(0, slash + 1);
    if (slash == 0) dir = "/";
    std::string tmp;
    int fd = -1;
    for (int tries = 0; tries < 100 && fd < 0; tries++) {
        tmp = dir + (dir.back() == '/' ? "" : "/") + ".qel-save." + std::to_string(getpid()) + "." +
              std::to_string(counter++);
        fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0666);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) {
        int e = errno;
        return _driver_save_failed(path, strerror(e), e);
    }
    if (_driver_regular(target.c_str(), &st)) fchmod(fd, st.st_mode & 07777);
    const char* p = (const char*)data;
    size_t left = (size_t)len;
    int err = 0;
    while (left > 0) {
        ssize_t n = write(fd, p, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            err = n < 0 ? errno : EIO;
            break;
        }
        p += n;
        left -= (size_t)n;
    }
    if (!err && fsync(fd) != 0) err = errno;
    if (close(fd) != 0 && !err) err = errno;
    if (!err && rename(tmp.c_str(), target.c_str()) != 0) err = errno;
    if (err) {
        unlink(tmp.c_str());
        return _driver_save_failed(path, strerror(err), err);
    }
    _driver_sync_dir(dir);
    return 0;
}

time_t driver_file_mtime(const char* path) { return driver_file_stamp(path).sec; }

FileStamp driver_file_stamp(const char* path) {
    struct stat st;
    FileStamp s;
    if (!_driver_regular(path, &st)) return s;
    s.sec = st.st_mtim.tv_sec;
    s.nsec = st.st_mtim.tv_nsec;
    s.size = (long long)st.st_size;
    s.dev = (unsigned long long)st.st_dev;
    s.ino = (unsigned long long)st.st_ino;
    return s;
}

bool driver_data_exists(const char* name) { return driver_file_exists(driver_data_fname(name)); }
int driver_data_fsize(const char* name) { return driver_file_fsize(driver_data_fname(name)); }
int driver_data_load(const char* name, void* data, int len) {
    return driver_file_load(driver_data_fname(name), data, len);
}
std::string driver_data_load(const char* name) { return driver_file_load(driver_data_fname(name)); }

bool driver_doc_exists(const char* name) { return driver_file_exists(driver_doc_fname(name)); }
int driver_doc_fsize(const char* name) { return driver_file_fsize(driver_doc_fname(name)); }
int driver_doc_load(const char* name, void* data, int len) {
    return driver_file_load(driver_doc_fname(name), data, len);
}
std::string driver_doc_load(const char* name) { return driver_file_load(driver_doc_fname(name)); }
// A name whose path does not fit has none (driver_doc_fname): too long.
int driver_doc_save(const char* name, void* data, int len) {
    const char* path = driver_doc_fname(name);
    int err = driver_file_save(path, data, len);
    return path[0] ? err : ENAMETOOLONG;
}

// The cloud is the documents directory on this platform.
bool driver_cloud_exists(const char* name) { return driver_doc_exists(name); }
int driver_cloud_fsize(const char* name) { return driver_doc_fsize(name); }
int driver_cloud_load(const char* name, void* data, int len) { return driver_doc_load(name, data, len); }
std::string driver_cloud_load(const char* name) { return driver_doc_load(name); }
int driver_cloud_save(const char* name, void* data, int len) { return driver_doc_save(name, data, len); }

int driver_tex_load(const char* fname, int* rw, int* rh, int* rtw, int* rth) {
    fprintf(stderr, "driver_tex_load %s\n", fname);
    return _driver_tex_load(fname, rw, rh, rtw, rth);
}
