// Test helper: finds, inspects, focuses, types into, clicks, resizes, reads
// and closes top-level windows of the X server named by $DISPLAY, as a user or
// a window manager would.
#ifndef QEL_TEST_X11_H
#define QEL_TEST_X11_H

#include <string>
#include <vector>

// Makes the SDL2 tests of this process use the X server, failing loudly
// (rather than falling back to another driver) when $DISPLAY is not set.
bool x11_pin_sdl();

// Id of a mapped top-level window with exactly this title whose size is
// w x h (0 x 0: any size), waiting up to timeout_ms (times the tree's factor,
// time_limit.h; 0 looks once); 0 when none appears.
unsigned long x11_wait_window(const std::string& title, int w, int h, int timeout_ms);
// The functions below fail for window 0 (none found) rather than hand it to
// tools that would take it as "let the user pick a window" and wait.
bool x11_window_size(unsigned long id, int* w, int* h);
// Gives the window the keyboard focus and presses the keys ("ctrl+f") through
// the X server's input, so they arrive like a user's.
bool x11_key(unsigned long id, const std::string& keys);
// Types the text (US layout) into the window a key at a time; for a character
// that needs Shift the Shift key is held a quarter of a second around it, so
// the program sees it held when the key comes.
bool x11_type(unsigned long id, const std::string& text);
// Asks the window to close, as a window manager's close button does.
bool x11_close(unsigned long id);
// Moves the pointer to (x, y) in the window and clicks the button (1 left).
bool x11_click(unsigned long id, int x, int y, int button);
// Sets the window's size, as a window manager would.
bool x11_resize(unsigned long id, int w, int h);
// What the window shows now, as pixels read from the X server (ImageMagick's
// import); also written as PNG to png_path when that is not empty.
struct X11Shot {
    int w = 0, h = 0;
    std::vector<unsigned char> rgb;  // 3 bytes a pixel, rows from the top
    // The colour at (x, y); {-1, -1, -1} outside the picture.
    std::vector<int> at(int x, int y) const;
};
bool x11_screenshot(unsigned long id, const std::string& png_path, X11Shot* shot);

#endif
