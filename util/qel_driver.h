// qel_driver: the platform driver's interface: state, start and stop, the
// window and its frames, events, timer, text entry, clipboard, URL opening,
// and the data, alternative and documents directories with whole-file access.
//
// This file's .cpp holds what needs no platform (state, directories, files);
// qel_driver-sdl2.cpp holds the SDL2 half, qel_driver-audio.cpp the sound.
// Path functions return static buffers that the next call overwrites. A path
// that does not fit its buffer is refused (the empty string, which names no
// file), never cut short.
#ifndef QEL_DRIVER_H
#define QEL_DRIVER_H

#include <string>

#include "qel_event.h"
#include "qel_watch.h"

// Flags of driver_init.
enum {
    DRIVER_VIDEO = 1,
    DRIVER_AUDIO = 2,
    DRIVER_TIMER = 4,
    DRIVER_ALL = 255  // every flag, as the game starts the driver
};

struct _DriverData {
    int width, height;  // window size in window units
    float aspect;       // width / height in integer arithmetic
    float scale;        // drawable width / window width in integer arithmetic
    float orient;       // degrees
    char idiom[256];
    char gamename[256];
    char caption[256];
    char icon[512];
    int fps;            // rate of driver_timer_tick
    char altdir[512];   // searched before the data directory; empty: none
    // The fixed-step counter: whether it started, its start in seconds and
    // the steps counted since.
    bool tick_started;
    double tick_t0;
    long tick_n;

    _DriverData();
};

extern _DriverData* _driver;

// Start and stop.
void driver_init(int flags);
void driver_deinit();
void driver_app_exit();

// State. Text setters refuse a text that does not fit (the field is left
// empty and a line is printed); null clears.
void driver_set_caption(const char* s);
const char* driver_get_caption();
void driver_set_idiom(const char* s);
const char* driver_get_idiom();
void driver_set_icon(const char* s);
const char* driver_get_icon();
void driver_set_gamename(const char* s);
void driver_set_altdir(const char* s);
void driver_get_size(int* w, int* h);
void driver_set_size(int w, int h);
float driver_get_aspect();
void driver_set_aspect(float v);
float driver_get_scale();
void driver_set_scale(float v);
float driver_get_orient();
void driver_set_orient(float v);
void driver_timer_set(int fps);

// Window and frames (ww or hh 0: the default size, 80 % of the desktop).
void driver_video_init(int ww, int hh, int dw, int dh, int mw, int mh, int full);
void _driver_video_resize();
void driver_video_flip();
bool driver_video_minimize();

// Timer: milliseconds of SDL's 32-bit counter.
long driver_timer_get_ticks();
void driver_timer_delay(int ticks);
// Steps of 1/fps seconds that became due since the previous call.
int driver_timer_tick();
int _driver_timer_tick_at(long ticks);

// Events: 1 when *r was filled (EVT_NONE included), 0 when nothing is pending.
int driver_event_poll(Event* r);

// On-screen keyboard: acts only where the platform has one.
void driver_keyboard_init(void* _view);
void driver_keyboard_show();
void driver_keyboard_hide();
int driver_keyboard_state();
int driver_keyboard_get_height();
void driver_keyboard_set_height(int v);

// Clipboard and URL.
std::string driver_clipboard_get_text();
void driver_clipboard_set_text(const std::string& text);
void driver_open_url(const char* url);
void _driver_open_url_platform(const char* url);

// Directories.
const char* driver_data_fname(const char* name);
const char* driver_doc_fname(const char* name);
const char* _driver_get_datadir();
const char* _driver_get_docdir();
const char* driver_get_home_dir();
char* _driver_dirname(char* path);
// The first of name + suffix, for each of the `count` suffixes in turn, that
// exists as a data file (driver_data_exists), written into buf: buf, or null
// when none does. A candidate that does not fit buf is skipped, never cut
// short: a cut name could be another file.
const char* driver_data_find(char* buf, size_t size, const char* name, const char* const* suffixes, int count);

// Whole files. "Exists" means a regular file that opens for reading; files
// of 2 GiB or more are refused (size 0, nothing read). Saving replaces the
// old file only once the new one is completely written and synced to disk;
// it returns 0, or the errno value of the failure after printing one line
// (ENAMETOOLONG for a document name whose path does not fit).
bool driver_file_exists(const char* path);
int driver_file_fsize(const char* path);
int driver_file_load(const char* path, void* data, int len);
std::string driver_file_load(const char* path);
int driver_file_save(const char* path, void* data, int len);
// The modification time in whole seconds; 0 for a missing file.
time_t driver_file_mtime(const char* path);
// The watchers' stamp of a file: all zero for a missing one.
FileStamp driver_file_stamp(const char* path);
void* driver_file_alloc(const char* path, int* len);

bool driver_data_exists(const char* name);
int driver_data_fsize(const char* name);
int driver_data_load(const char* name, void* data, int len);
std::string driver_data_load(const char* name);

bool driver_doc_exists(const char* name);
int driver_doc_fsize(const char* name);
int driver_doc_load(const char* name, void* data, int len);
std::string driver_doc_load(const char* name);
int driver_doc_save(const char* name, void* data, int len);

bool driver_cloud_exists(const char* name);
int driver_cloud_fsize(const char* name);
int driver_cloud_load(const char* name, void* data, int len);
std::string driver_cloud_load(const char* name);
int driver_cloud_save(const char* name, void* data, int len);

// Texture upload of an image file: the GL name or 0.
int driver_tex_load(const char* fname, int* rw, int* rh, int* rtw, int* rth);

// The platform halves that driver_init and driver_deinit start and stop.
void _driver_timer_init();
void _driver_timer_deinit();
void _driver_video_init();
void _driver_video_deinit();

#endif
