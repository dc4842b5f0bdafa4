// qel_driver-sdl2: window, GL context, events, timer, on-screen keyboard,
// clipboard and URL opening over SDL2.
#include "qel_driver-sdl2.h"

#include <SDL_opengl.h>
#include <cstdio>
#include <cstring>
#include <string>

#include "qel_gfx.h"
#include "qel_posix.h"
#include "qel_printf.h"
#include "qel_util.h"

// The SDL2 layer's own state, from the video start to its shut-down, which
// starts it afresh.
struct _DriverSdl2 {
    SDL_Window* window = nullptr;     // the one window
    SDL_GLContext context = nullptr;  // made with the first window, kept when it is re-created
    // The desktop is read with the first window request: later windows keep
    // the size the game started with.
    SDL_DisplayMode desktop{};
    bool desktop_read = false;
    char title[256] = {};      // the title last given to the window, so a flip sets it only on a change
    std::string pending_text;  // typed text still to be handed out one byte per poll
    int axes[256][8] = {};     // the last value of every joystick axis
};

static _DriverSdl2 _driver_sdl2;

SDL_Window* driver_sdl2_window() { return _driver_sdl2.window; }

void driver_sdl2_window_destroy() {
    if (!_driver_sdl2.window) return;
    SDL_DestroyWindow(_driver_sdl2.window);
    _driver_sdl2.window = nullptr;
}

void _driver_timer_init() { SDL_Init(SDL_INIT_TIMER); }

void _driver_timer_deinit() {
    SDL_QuitSubSystem(SDL_INIT_TIMER);
    SDL_Quit();
}

long driver_timer_get_ticks() { return (long)SDL_GetTicks(); }

void driver_timer_delay(int ticks) {
    // SDL takes an unsigned count: a negative one would sleep for weeks.
    SDL_Delay(ticks > 0 ? (Uint32)ticks : 0);
}

void _driver_video_init() {
    driver_set_idiom("desktop");
    SDL_Init(SDL_INIT_VIDEO);
    SDL_version linked, compiled;
    SDL_GetVersion(&linked);
    SDL_VERSION(&compiled);
    QEL_LOG("SDL Runtime Version: %u.%u.%u\n", linked.major, linked.minor, linked.patch);
    QEL_LOG("SDL Compile Version: %u.%u.%u\n", compiled.major, compiled.minor, compiled.patch);
    SDL_InitSubSystem(SDL_INIT_JOYSTICK);
    QEL_LOG("== joystick init.............\n");
    // The handles are not kept: the joysticks stay open until SDL quits.
    for (int i = 0; i < SDL_NumJoysticks(); i++) {
        QEL_LOG("opening joystick : %d\n", i);
        SDL_JoystickOpen(i);
    }
}

void _driver_video_deinit() {
    if (_driver_sdl2.context) SDL_GL_DeleteContext(_driver_sdl2.context);
    driver_sdl2_window_destroy();
    _driver_sdl2 = _DriverSdl2();
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

void _driver_video_sizes(int dw, int dh, int ww, int hh, int full, int* tw, int* th, int* bw, int* bh) {
    *bw = dw * 80 / 100;
    *bh = dh * 80 / 100;
    if (ww != 0 && hh != 0) {
        *tw = ww;
        *th = hh;
    } else {
        *tw = full ? dw : *bw;
        *th = full ? dh : *bh;
    }
}

void _driver_video_quotients(int sw, int sh, int rw, float* aspect, float* scale) {
    if (sh != 0) *aspect = (float)(sw / sh);
    if (sw != 0) *scale = (float)(rw / sw);
}

static void _driver_window_state(int* w, int* h, int* full) {
    *w = *h = *full = 0;
    if (!_driver_sdl2.window) return;
    SDL_GetWindowSize(_driver_sdl2.window, w, h);
    *full = (SDL_GetWindowFlags(_driver_sdl2.window) & SDL_WINDOW_FULLSCREEN) ? 1 : 0;
}

static void _driver_window_icon() {
    const char* icon = driver_get_icon();
    if (!icon[0]) return;
    SDL_RWops* rw = SDL_RWFromFile(icon, "rb");
    SDL_Surface* s = rw ? SDL_LoadBMP_RW(rw, 1) : nullptr;
    if (!s) return;
    SDL_SetColorKey(s, SDL_TRUE, SDL_MapRGB(s->format, 255, 0, 255));
    SDL_SetWindowIcon(_driver_sdl2.window, s);
    SDL_FreeSurface(s);
}

static void _driver_log_gl_attributes() {
    static const struct {
        SDL_GLattr attr;
        const char* fmt;
    } attrs[] = {
        {SDL_GL_RED_SIZE, "GL_RED_SIZE:%d\n"},       {SDL_GL_GREEN_SIZE, "GL_GREEN_SIZE:%d\n"},
        {SDL_GL_BLUE_SIZE, "GL_BLUE_SIZE:%d\n"},     {SDL_GL_ALPHA_SIZE, "GL_ALPHA_SIZE:%d\n"},
        {SDL_GL_DEPTH_SIZE, "GL_DEPTH_SIZE:%d\n"},   {SDL_GL_BUFFER_SIZE, "GL_BUFFER_SIZE:%d\n"},
        {SDL_GL_DOUBLEBUFFER, "GL_DOUBLEBUFFER:%d\n"}, {SDL_GL_STENCIL_SIZE, "GL_STENCIL_SIZE:%d\n"},
    };
    for (const auto& a : attrs) {
        int v = 0;
        SDL_GL_GetAttribute(a.attr, &v);
        QEL_LOG(a.fmt, v);
    }
}

SDL_Window* _try_init_video(int ww, int hh, int full) {
    QEL_LOG("_try_init_video(%d,%d,%d)\n", ww, hh, full);
    _DriverSdl2& s = _driver_sdl2;
    if (!s.desktop_read && SDL_GetDesktopDisplayMode(0, &s.desktop) == 0) s.desktop_read = true;
    int dw = s.desktop_read ? s.desktop.w : 0;
    int dh = s.desktop_read ? s.desktop.h : 0;
    int tw, th, bw, bh;
    _driver_video_sizes(dw, dh, ww, hh, full, &tw, &th, &bw, &bh);
    int sw, sh, sfull;
    _driver_window_state(&sw, &sh, &sfull);
    QEL_LOG("_try_init_video: desktop: %d x %d, backup: %d x %d, target: %d x %d, screen: %d x %d\n", dw, dh, bw,
            bh, tw, th, sw, sh);
    if (_driver_sdl2.window && sw == tw && sh == th && sfull == (full ? 1 : 0)) {
        QEL_LOG("_try_init_video: no changes needed.\n");
        return _driver_sdl2.window;
    }

    driver_sdl2_window_destroy();
    QEL_LOG("_try_init_video: initial init\n");
    SDL_InitSubSystem(SDL_INIT_VIDEO);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 16);
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_ACCELERATED_VISUAL, 1);
    SDL_SetHint(SDL_HINT_RENDER_VSYNC, "1");
    Uint32 flags = SDL_WINDOW_OPENGL | SDL_WINDOW_SHOWN;
    SDL_Window* w = SDL_CreateWindow(driver_get_caption(), SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, tw, th,
                                     flags | (full ? SDL_WINDOW_FULLSCREEN : 0));
    if (!w) {
        QEL_LOG("failed to init at %d x %d .. trying %d x %d\n", tw, th, bw, bh);
        w = SDL_CreateWindow(driver_get_caption(), SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, bw, bh, flags);
        if (!w) return nullptr;
    }
    _driver_sdl2.window = w;
    _driver_window_icon();
    if (!_driver_sdl2.context) {
        _driver_sdl2.context = SDL_GL_CreateContext(w);
        if (_driver_sdl2.context) _driver_log_gl_attributes();
    }
    SDL_GL_MakeCurrent(w, _driver_sdl2.context);
    // The swap interval belongs to the current context, so it is asked for
    // once the context is current on this window.
    SDL_GL_SetSwapInterval(1);
    _driver_window_state(&sw, &sh, &sfull);
    QEL_LOG("now: %d x %d - %d\n", sw, sh, sfull);
    return w;
}

void driver_video_init(int ww, int hh, int dw, int dh, int mw, int mh, int full) {
    QEL_LOG("init_video: %d %d %d %d %d %d %d\n", ww, hh, dw, dh, mw, mh, full);
    if (!_try_init_video(ww, hh, full)) return;
    SDL_SetWindowMinimumSize(_driver_sdl2.window, mw, mh);
    _driver_video_resize();
}

void _driver_video_resize() {
    if (!_driver_sdl2.window) return;
    int sw, sh, rw, rh;
    SDL_GetWindowSize(_driver_sdl2.window, &sw, &sh);
    SDL_GL_GetDrawableSize(_driver_sdl2.window, &rw, &rh);
    QEL_LOG("window: %d x %d. drawable: %d x %d\n", sw, sh, rw, rh);
    glViewport(0, 0, rw, rh);
    driver_set_size(sw, sh);
    float aspect = driver_get_aspect(), scale = driver_get_scale();
    _driver_video_quotients(sw, sh, rw, &aspect, &scale);
    driver_set_aspect(aspect);
    driver_set_scale(scale);
    driver_set_orient(0);
}

void driver_video_flip() {
    if (!_driver_sdl2.window) return;
    SDL_GL_SwapWindow(_driver_sdl2.window);
    const char* caption = driver_get_caption();
    if (strcmp(caption, _driver_sdl2.title) != 0) {
        snprintf(_driver_sdl2.title, sizeof _driver_sdl2.title, "%s", caption);
        SDL_SetWindowTitle(_driver_sdl2.window, _driver_sdl2.title);
    }
}

bool driver_video_minimize() {
    if (!_driver_sdl2.window) return false;
    SDL_MinimizeWindow(_driver_sdl2.window);
    return true;
}

int _driver_sdl_sym2key(int sym) {
    if (sym >= SDLK_a && sym <= SDLK_z) return KEY_a + (sym - SDLK_a);
    if (sym >= SDLK_0 && sym <= SDLK_9) return KEY_0 + (sym - SDLK_0);
    if (sym >= SDLK_F1 && sym <= SDLK_F12) return KEY_F1 + (sym - SDLK_F1);
    if (sym >= SDLK_KP_1 && sym <= SDLK_KP_9) return KEY_P1 + (sym - SDLK_KP_1);
    switch (sym) {
    case SDLK_UP: return KEY_UP;
    case SDLK_RIGHT: return KEY_RIGHT;
    case SDLK_DOWN: return KEY_DOWN;
    case SDLK_LEFT: return KEY_LEFT;
    case SDLK_ESCAPE: return KEY_ESCAPE;
    case SDLK_BACKSPACE: return KEY_BACKSPACE;
    case SDLK_DELETE: return KEY_DELETE;
    case SDLK_RETURN:
    case SDLK_KP_ENTER: return KEY_RETURN;
    case SDLK_HOME: return KEY_HOME;
    case SDLK_END: return KEY_END;
    case SDLK_TAB: return KEY_TAB;
    case SDLK_SPACE: return KEY_SPACE;
    case SDLK_KP_0: return KEY_P0;
    case SDLK_PLUS: return KEY_PLUS;
    case SDLK_MINUS: return KEY_MINUS;
    case SDLK_BACKQUOTE: return KEY_TILDE;
    default: return KEY_NONE;
    }
}

int _driver_sdl_mods(int kmod) {
    int b = 0;
    if (kmod & KMOD_SHIFT) b |= EVT_MOD_SHIFT;
    if (kmod & KMOD_CTRL) b |= EVT_MOD_CTRL;
    if (kmod & KMOD_ALT) b |= EVT_MOD_ALT;
    if (kmod & KMOD_GUI) b |= EVT_MOD_GUI;
    return b;
}

int _driver_event_translate(const SDL_Event* ev, Event* r) {
    *r = Event(EVT_NONE);
    switch (ev->type) {
    case SDL_QUIT:
        r->type = EVT_QUIT;
        break;
    case SDL_WINDOWEVENT:
        if (ev->window.event == SDL_WINDOWEVENT_RESIZED) {
            r->type = EVT_RESIZE;
            r->w = (float)ev->window.data1;
            r->h = (float)ev->window.data2;
            _driver_video_resize();
        }
        break;
    case SDL_KEYDOWN:
    case SDL_KEYUP:
        r->type = ev->type == SDL_KEYDOWN ? EVT_KEYDOWN : EVT_KEYUP;
        r->_v = ev->key.keysym.sym;
        r->v = _driver_sdl_sym2key(ev->key.keysym.sym);
        r->b = _driver_sdl_mods(ev->key.keysym.mod);
        break;
    case SDL_TEXTINPUT:
        // The field need not hold a NUL within its size: never read past it.
        _driver_sdl2.pending_text.assign(ev->text.text, strnlen(ev->text.text, sizeof ev->text.text));
        break;
    case SDL_MOUSEMOTION:
        if (ev->motion.which == SDL_TOUCH_MOUSEID) break;
        r->type = EVT_MOUSEMOTION;
        r->_x = (float)ev->motion.x;
        r->_y = (float)ev->motion.y;
        r->_dx = (float)ev->motion.xrel;
        r->_dy = (float)ev->motion.yrel;
        r->b = (int)ev->motion.state;
        r->device = (int)ev->motion.which;
        break;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP:
        if (ev->button.which == SDL_TOUCH_MOUSEID) break;
        r->type = ev->type == SDL_MOUSEBUTTONDOWN ? EVT_MOUSEDOWN : EVT_MOUSEUP;
        r->_x = (float)ev->button.x;
        r->_y = (float)ev->button.y;
        r->b = ev->button.button;
        r->device = (int)ev->button.which;
        break;
    case SDL_MOUSEWHEEL: {
        int mx = 0, my = 0;
        SDL_GetMouseState(&mx, &my);
        r->type = EVT_WHEEL;
        r->_x = (float)mx;
        r->_y = (float)my;
        // Negated as floats: the integer negation of the lowest value overflows.
        r->_dx = -(float)ev->wheel.x;
        r->_dy = -(float)ev->wheel.y;
        break;
    }
    case SDL_JOYAXISMOTION: {
        if (ev->jaxis.axis >= 8) break;
        // Instance ids grow with every reconnection; the table keeps the low
        // eight bits, so no id can reach outside it.
        int* axes = _driver_sdl2.axes[(Uint32)ev->jaxis.which & 255];
        axes[ev->jaxis.axis] = ev->jaxis.value;
        int stick = ev->jaxis.axis / 2;
        r->type = EVT_JOYMOTION;
        r->device = ev->jaxis.which;
        r->b = stick;
        r->_x = axes[2 * stick] / 32768.0f;
        r->_y = axes[2 * stick + 1] / 32768.0f;
        break;
    }
    case SDL_JOYBUTTONDOWN:
    case SDL_JOYBUTTONUP:
        r->type = ev->type == SDL_JOYBUTTONDOWN ? EVT_JOYDOWN : EVT_JOYUP;
        r->device = ev->jbutton.which;
        r->b = ev->jbutton.button;
        break;
    case SDL_FINGERDOWN:
    case SDL_FINGERMOTION:
    case SDL_FINGERUP: {
        int w = 1, h = 1;
        if (_driver_sdl2.window) SDL_GetWindowSize(_driver_sdl2.window, &w, &h);
        r->type = ev->type == SDL_FINGERDOWN ? EVT_TOUCHDOWN : ev->type == SDL_FINGERUP ? EVT_TOUCHUP : EVT_TOUCHMOTION;
        r->device = (int)(Uint32)ev->tfinger.touchId;
        r->b = (int)((Uint32)ev->tfinger.fingerId + 1u);
        r->_x = ev->tfinger.x * w;
        r->_y = ev->tfinger.y * h;
        r->_dx = ev->tfinger.dx * w;
        r->_dy = ev->tfinger.dy * h;
        break;
    }
    default:
        break;
    }
    r->x = r->_x;
    r->y = r->_y;
    r->dx = r->_dx;
    r->dy = r->_dy;
    return 1;
}

int driver_event_poll(Event* r) {
    *r = Event(EVT_NONE);
    // Typed text goes out first, so no text is ever merged or lost. The log
    // gets only its length: the bytes may be a password.
    if (!_driver_sdl2.pending_text.empty()) {
        size_t n = _driver_sdl2.pending_text.size();
        QEL_LOG("text: %zu byte%s\n", n, n == 1 ? "" : "s");
        r->type = EVT_KEYDOWN;
        r->c = (signed char)_driver_sdl2.pending_text[0];
        _driver_sdl2.pending_text.erase(0, 1);
        return 1;
    }
    SDL_Event ev;
    if (!SDL_PollEvent(&ev)) return 0;
    return _driver_event_translate(&ev, r);
}

// The on-screen keyboard acts only with a window on a platform that has one;
// on the desktop, text input stays as SDL started it.
static bool _driver_keyboard_present() { return _driver_sdl2.window && SDL_HasScreenKeyboardSupport(); }

// Platforms with an on-screen keyboard need these; the desktop does not.
void driver_keyboard_init(void*) {}
void driver_keyboard_set_height(int) {}

void driver_keyboard_show() {
    if (!_driver_keyboard_present()) return;
    QEL_LOG("- keyboard_show ...\n");
    GfxRect f = _gfx_get_focus_fixed();
    if (f.w != 0) {
        SDL_Rect r = {myint(f.x), myint(f.y), myint(f.w), myint(f.h)};
        SDL_SetTextInputRect(&r);
    }
    SDL_StartTextInput();
    QEL_LOG("- keyboard_show: OK\n");
}

void driver_keyboard_hide() {
    if (!_driver_keyboard_present()) return;
    QEL_LOG("- keyboard_hide ...\n");
    SDL_StopTextInput();
    QEL_LOG("- keyboard_hide: OK\n");
}

int driver_keyboard_state() { return _driver_keyboard_present() ? SDL_IsTextInputActive() : 0; }

// No platform this driver runs on reports the keyboard's height.
int driver_keyboard_get_height() { return 0; }

std::string driver_clipboard_get_text() {
    char* t = SDL_GetClipboardText();
    std::string s = t ? t : "";
    SDL_free(t);
    return s;
}

void driver_clipboard_set_text(const std::string& text) { SDL_SetClipboardText(text.c_str()); }

void driver_open_url(const char* url) {
    printf("Driver::weblink: %s\n", url);
    _driver_open_url_platform(url);
}

void _driver_open_url_platform(const char* url) {
    printf("Win32:WebPage\n");
    // Out before the opener's own output, which shares the stream.
    fflush(stdout);
    posix_open_url(url);
}
