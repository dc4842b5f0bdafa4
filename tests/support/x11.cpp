// Test helper: X11 window lookup and close requests through Xlib, key presses,
// clicks and resizes through xdotool (which injects input with the XTEST
// extension), window pictures through ImageMagick's import.
#include "x11.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <unistd.h>

#include <stb_image.h>

#include "time_limit.h"

bool x11_pin_sdl() {
    setenv("SDL_VIDEODRIVER", "x11", 1);
    const char* d = getenv("DISPLAY");
    return d && *d;
}

// Windows come and go while a test looks at them (a finished test's process
// closing its window, say), and Xlib's default answer to a request about a
// window that is gone is to end the process. Requests fail quietly instead.
static int _x11_ignore_error(Display*, XErrorEvent*) { return 0; }

static Display* _x11_open() {
    XSetErrorHandler(_x11_ignore_error);
    return XOpenDisplay(nullptr);
}

static unsigned long _x11_find(Display* dpy, const std::string& title, int w, int h) {
    Window root = DefaultRootWindow(dpy), parent, *children = nullptr;
    unsigned n = 0;
    unsigned long found = 0;
    if (!XQueryTree(dpy, root, &root, &parent, &children, &n)) return 0;
    for (unsigned i = 0; i < n && !found; i++) {
        XWindowAttributes a;
        if (!XGetWindowAttributes(dpy, children[i], &a) || a.map_state != IsViewable) continue;
        char* name = nullptr;
        if (XFetchName(dpy, children[i], &name) && name) {
            if (title == name && (w == 0 || (a.width == w && a.height == h))) found = children[i];
            XFree(name);
        }
    }
    if (children) XFree(children);
    return found;
}

unsigned long x11_wait_window(const std::string& title, int w, int h, int timeout_ms) {
    Display* dpy = _x11_open();
    if (!dpy) return 0;
    unsigned long id = 0;
    timeout_ms = time_limit_ms(timeout_ms);
    for (int waited = 0; waited <= timeout_ms && !id; waited += 50) {
        id = _x11_find(dpy, title, w, h);
        if (!id) usleep(50000);
    }
    XCloseDisplay(dpy);
    return id;
}

bool x11_window_size(unsigned long id, int* w, int* h) {
    if (!id) return false;
    Display* dpy = _x11_open();
    if (!dpy) return false;
    XWindowAttributes a;
    bool ok = XGetWindowAttributes(dpy, id, &a);
    if (ok) {
        *w = a.width;
        *h = a.height;
    }
    XCloseDisplay(dpy);
    return ok;
}

bool x11_key(unsigned long id, const std::string& keys) {
    if (!id) return false;
    std::string cmd = "xdotool windowfocus --sync " + std::to_string(id) + " key " + keys;
    return system(cmd.c_str()) == 0;
}

// The X key name of a character typed without Shift on the US layout.
static std::string _x11_keysym(char c) {
    static const struct {
        char c;
        const char* name;
    } names[] = {{' ', "space"},     {'`', "grave"},        {'-', "minus"},     {'=', "equal"},
                 {'[', "bracketleft"}, {']', "bracketright"}, {'\\', "backslash"}, {';', "semicolon"},
                 {'\'', "apostrophe"}, {',', "comma"},        {'.', "period"},    {'/', "slash"}};
    for (const auto& n : names)
        if (n.c == c) return n.name;
    return std::string(1, c);
}

bool x11_type(unsigned long id, const std::string& text) {
    if (!id) return false;
    static const std::string shifted = "~!@#$%^&*()_+{}|:\"<>?", plain = "`1234567890-=[]\\;',./";
    for (char c : text) {
        size_t i = shifted.find(c);
        bool shift = i != std::string::npos || (c >= 'A' && c <= 'Z');
        char k = i != std::string::npos ? plain[i] : shift ? (char)(c - 'A' + 'a') : c;
        std::string cmd = "xdotool windowfocus --sync " + std::to_string(id) +
                          (shift ? " keydown shift sleep 0.25 key " + _x11_keysym(k) + " sleep 0.25 keyup shift"
                                 : " key " + _x11_keysym(k));
        if (system(cmd.c_str()) != 0) return false;
    }
    return true;
}

bool x11_close(unsigned long id) {
    if (!id) return false;
    Display* dpy = _x11_open();
    if (!dpy) return false;
    XEvent ev;
    memset(&ev, 0, sizeof ev);
    ev.xclient.type = ClientMessage;
    ev.xclient.window = id;
    ev.xclient.message_type = XInternAtom(dpy, "WM_PROTOCOLS", False);
    ev.xclient.format = 32;
    ev.xclient.data.l[0] = (long)XInternAtom(dpy, "WM_DELETE_WINDOW", False);
    ev.xclient.data.l[1] = CurrentTime;
    bool ok = XSendEvent(dpy, id, False, NoEventMask, &ev) != 0;
    XSync(dpy, False);
    XCloseDisplay(dpy);
    return ok;
}

bool x11_click(unsigned long id, int x, int y, int button) {
    if (!id) return false;
    std::string cmd = "xdotool mousemove --window " + std::to_string(id) + " " + std::to_string(x) + " " +
                      std::to_string(y) + " click " + std::to_string(button);
    return system(cmd.c_str()) == 0;
}

bool x11_resize(unsigned long id, int w, int h) {
    if (!id) return false;
    std::string cmd =
        "xdotool windowsize --sync " + std::to_string(id) + " " + std::to_string(w) + " " + std::to_string(h);
    return system(cmd.c_str()) == 0;
}

std::vector<int> X11Shot::at(int x, int y) const {
    if (x < 0 || y < 0 || x >= w || y >= h) return {-1, -1, -1};
    const unsigned char* p = &rgb[((size_t)y * w + x) * 3];
    return {p[0], p[1], p[2]};
}

bool x11_screenshot(unsigned long id, const std::string& png_path, X11Shot* shot) {
    if (!id) return false;
    char tmp[] = "/tmp/qel_shot_XXXXXX";
    int fd = mkstemp(tmp);
    if (fd < 0) return false;
    close(fd);
    std::string path = png_path.empty() ? std::string(tmp) + ".png" : png_path;
    unlink(tmp);
    std::string cmd = "import -window " + std::to_string(id) + " png24:'" + path + "'";
    bool ok = system(cmd.c_str()) == 0;
    int n = 0;
    unsigned char* px = ok ? stbi_load(path.c_str(), &shot->w, &shot->h, &n, 3) : nullptr;
    if (png_path.empty()) unlink(path.c_str());
    if (!px) return false;
    shot->rgb.assign(px, px + (size_t)shot->w * shot->h * 3);
    stbi_image_free(px);
    return true;
}
