// qel_event: the one record through which every input and system happening
// travels, with its platform-neutral type codes and key codes.
//
// The driver fills records from the platform's events; the game, the widgets
// and the script binding read them, and make synthetic ones with Event(type).
#ifndef QEL_EVENT_H
#define QEL_EVENT_H

enum {
    EVT_NONE = 0,
    EVT_QUIT,
    EVT_SUSPEND,
    EVT_RESUME,
    EVT_RESIZE,
    EVT_RESET,
    EVT_KEYDOWN,
    EVT_KEYUP,
    EVT_DOWN,
    EVT_MOTION,
    EVT_UP,
    EVT_MOUSEDOWN,
    EVT_MOUSEMOTION,
    EVT_MOUSEUP,
    EVT_WHEEL,
    EVT_TOUCHDOWN,
    EVT_TOUCHMOTION,
    EVT_TOUCHUP,
    EVT_ACCEL,
    EVT_ORIENT,
    EVT_JOYMOTION,
    EVT_JOYDOWN,
    EVT_JOYUP,
    EVT_FOCUS,
    EVT_BLUR,
    EVT_ENTER,
    EVT_EXIT,
    EVT_CLICK,
    EVT_SDLEVENT,
    EVT_LOGIN,
    EVT_LOGOUT,
    EVT_CUSTOM,
    EVT_MAX  // the number of codes, never an event's type
};

enum {
    KEY_NONE = 0,
    KEY_UP, KEY_RIGHT, KEY_DOWN, KEY_LEFT,
    KEY_ESCAPE,
    KEY_BACKSPACE,
    KEY_DELETE,
    KEY_RETURN,
    KEY_HOME, KEY_END,
    KEY_BACK, KEY_MENU, KEY_SEARCH,  // keys of other platforms: never produced here
    KEY_F1, KEY_F2, KEY_F3, KEY_F4, KEY_F5, KEY_F6,
    KEY_F7, KEY_F8, KEY_F9, KEY_F10, KEY_F11, KEY_F12,
    KEY_TAB,
    KEY_SPACE,
    KEY_P0, KEY_P1, KEY_P2, KEY_P3, KEY_P4, KEY_P5, KEY_P6, KEY_P7, KEY_P8, KEY_P9,
    KEY_a, KEY_b, KEY_c, KEY_d, KEY_e, KEY_f, KEY_g, KEY_h, KEY_i, KEY_j, KEY_k, KEY_l, KEY_m,
    KEY_n, KEY_o, KEY_p, KEY_q, KEY_r, KEY_s, KEY_t, KEY_u, KEY_v, KEY_w, KEY_x, KEY_y, KEY_z,
    KEY_0, KEY_1, KEY_2, KEY_3, KEY_4, KEY_5, KEY_6, KEY_7, KEY_8, KEY_9,
    KEY_PLUS,
    KEY_MINUS,
    KEY_TILDE,
    KEY_MAX  // the number of codes, never an event's key
};

// Modifier bits in Event::b of key events.
enum {
    EVT_MOD_SHIFT = 1,
    EVT_MOD_CTRL = 2,
    EVT_MOD_ALT = 4,
    EVT_MOD_GUI = 8
};

struct Event {
    int type;
    // Position and motion; pointer types are later converted to the logical
    // canvas, while the underscored copies keep what the driver produced.
    float x, y, z, dx, dy, dz, w, h;
    float _x, _y, _z, _dx, _dy, _dz;
    int b;       // button, button mask, modifier bits, stick or finger + 1
    int v;       // KEY_* code
    int c;       // typed byte, signed
    int t;
    int _v;      // the platform's own key code
    int stype;
    int device;  // mouse, joystick or touch device number

    // Every field but the type is 0.
    explicit Event(int type = EVT_NONE);
};

// The game's event entry (defined by the game); other layers post their own
// events through it.
void game_event(Event e);

#endif
