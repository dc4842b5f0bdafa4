// The event record, the key table and event polling against SDL's own queue
// (dummy video driver: no window, no X server).
#include <SDL.h>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "capture.h"
#include "qel_driver-sdl2.h"
#include "qel_event.h"

TEST(Event, TypedConstructorZeroesEveryOtherField) {
    Event e(EVT_RESET);
    EXPECT_EQ(e.type, EVT_RESET);
    Event zero(EVT_NONE);
    // Fill a record with garbage, then construct over it: nothing may survive.
    memset((void*)&zero, 0x5a, sizeof zero);
    new (&zero) Event(EVT_RESET);
    const float fs[] = {zero.x, zero.y, zero.z, zero.dx, zero.dy, zero.dz, zero.w, zero.h,
                        zero._x, zero._y, zero._z, zero._dx, zero._dy, zero._dz};
    for (float f : fs) EXPECT_EQ(f, 0.0f);
    const int is[] = {zero.b, zero.v, zero.c, zero.t, zero._v, zero.stype, zero.device};
    for (int i : is) EXPECT_EQ(i, 0);
    EXPECT_EQ(EVT_MAX, 32);
    EXPECT_EQ(EVT_CUSTOM, 31);
    EXPECT_EQ(EVT_JOYMOTION, 20);
}

TEST(KeyTable, EveryMappedKeycodeAndSomeUnmapped) {
    struct Row {
        int sym, key;
    };
    std::vector<Row> rows = {
        {SDLK_UP, KEY_UP},         {SDLK_RIGHT, KEY_RIGHT},   {SDLK_DOWN, KEY_DOWN},
        {SDLK_LEFT, KEY_LEFT},     {SDLK_ESCAPE, KEY_ESCAPE}, {SDLK_BACKSPACE, KEY_BACKSPACE},
        {SDLK_DELETE, KEY_DELETE}, {SDLK_RETURN, KEY_RETURN}, {SDLK_KP_ENTER, KEY_RETURN},
        {SDLK_HOME, KEY_HOME},     {SDLK_END, KEY_END},       {SDLK_TAB, KEY_TAB},
        {SDLK_SPACE, KEY_SPACE},   {SDLK_PLUS, KEY_PLUS},     {SDLK_MINUS, KEY_MINUS},
        {SDLK_BACKQUOTE, KEY_TILDE},
        {SDLK_F1, KEY_F1},   {SDLK_F2, KEY_F2},   {SDLK_F3, KEY_F3},   {SDLK_F4, KEY_F4},
        {SDLK_F5, KEY_F5},   {SDLK_F6, KEY_F6},   {SDLK_F7, KEY_F7},   {SDLK_F8, KEY_F8},
        {SDLK_F9, KEY_F9},   {SDLK_F10, KEY_F10}, {SDLK_F11, KEY_F11}, {SDLK_F12, KEY_F12},
        {SDLK_KP_0, KEY_P0}, {SDLK_KP_1, KEY_P1}, {SDLK_KP_2, KEY_P2}, {SDLK_KP_3, KEY_P3},
        {SDLK_KP_4, KEY_P4}, {SDLK_KP_5, KEY_P5}, {SDLK_KP_6, KEY_P6}, {SDLK_KP_7, KEY_P7},
        {SDLK_KP_8, KEY_P8}, {SDLK_KP_9, KEY_P9},
        {SDLK_0, KEY_0}, {SDLK_1, KEY_1}, {SDLK_2, KEY_2}, {SDLK_3, KEY_3}, {SDLK_4, KEY_4},
        {SDLK_5, KEY_5}, {SDLK_6, KEY_6}, {SDLK_7, KEY_7}, {SDLK_8, KEY_8}, {SDLK_9, KEY_9},
        {SDLK_a, KEY_a}, {SDLK_b, KEY_b}, {SDLK_c, KEY_c}, {SDLK_d, KEY_d}, {SDLK_e, KEY_e},
        {SDLK_f, KEY_f}, {SDLK_g, KEY_g}, {SDLK_h, KEY_h}, {SDLK_i, KEY_i}, {SDLK_j, KEY_j},
        {SDLK_k, KEY_k}, {SDLK_l, KEY_l}, {SDLK_m, KEY_m}, {SDLK_n, KEY_n}, {SDLK_o, KEY_o},
        {SDLK_p, KEY_p}, {SDLK_q, KEY_q}, {SDLK_r, KEY_r}, {SDLK_s, KEY_s}, {SDLK_t, KEY_t},
        {SDLK_u, KEY_u}, {SDLK_v, KEY_v}, {SDLK_w, KEY_w}, {SDLK_x, KEY_x}, {SDLK_y, KEY_y},
        {SDLK_z, KEY_z},
        // Unmapped: page keys, Insert, keypad operators and point, modifiers,
        // equals and other punctuation, capitals, F13.
        {SDLK_PAGEUP, KEY_NONE},   {SDLK_PAGEDOWN, KEY_NONE}, {SDLK_INSERT, KEY_NONE},
        {SDLK_KP_PLUS, KEY_NONE},  {SDLK_KP_MINUS, KEY_NONE}, {SDLK_KP_PERIOD, KEY_NONE},
        {SDLK_LSHIFT, KEY_NONE},   {SDLK_RCTRL, KEY_NONE},    {SDLK_LGUI, KEY_NONE},
        {SDLK_EQUALS, KEY_NONE},   {SDLK_COMMA, KEY_NONE},    {SDLK_SLASH, KEY_NONE},
        {'A', KEY_NONE},           {SDLK_F13, KEY_NONE},      {0, KEY_NONE},
    };
    int mapped = 0;
    for (const Row& r : rows) {
        EXPECT_EQ(_driver_sdl_sym2key(r.sym), r.key) << "keycode " << r.sym;
        if (r.key != KEY_NONE) mapped++;
    }
    EXPECT_EQ(mapped, 74);
    EXPECT_EQ(KEY_MAX, 77);
    EXPECT_EQ(KEY_TILDE, 76);
    EXPECT_EQ(KEY_a, 38);
    EXPECT_EQ(KEY_0, 64);
}

// SDL started with the dummy video driver and an empty queue.
class Poll : public ::testing::Test {
  protected:
    void SetUp() override {
        setenv("SDL_VIDEODRIVER", "dummy", 1);
        ASSERT_EQ(SDL_Init(SDL_INIT_VIDEO | SDL_INIT_JOYSTICK), 0) << SDL_GetError();
        SDL_EventState(SDL_TEXTINPUT, SDL_ENABLE);
        drain();
    }
    void TearDown() override { SDL_Quit(); }

    // SDL ends a poll loop at a marker it queues when it gathers events, so
    // "nothing pending" may come once before events pushed after it.
    static void drain() {
        Event e;
        for (int idle = 0; idle < 2;) idle = driver_event_poll(&e) ? 0 : idle + 1;
    }
    static void push(const SDL_Event& ev) {
        SDL_Event copy = ev;
        ASSERT_EQ(SDL_PushEvent(&copy), 1) << SDL_GetError();
    }
    static void push_key(Uint32 type, SDL_Keycode sym, Uint16 mod = 0) {
        SDL_Event ev;
        memset(&ev, 0, sizeof ev);
        ev.type = type;
        ev.key.keysym.sym = sym;
        ev.key.keysym.mod = mod;
        push(ev);
    }
    static void push_text(const char* text) {
        SDL_Event ev;
        memset(&ev, 0, sizeof ev);
        ev.type = SDL_TEXTINPUT;
        snprintf(ev.text.text, sizeof ev.text.text, "%s", text);
        push(ev);
    }
    static Event poll_one() {
        Event e;
        int got = driver_event_poll(&e) || driver_event_poll(&e);
        EXPECT_EQ(got, 1);
        return e;
    }
};

TEST_F(Poll, TypedTextFollowsItsKeyByteByByte) {
    push_key(SDL_KEYDOWN, SDLK_a);
    push_text("a");
    push_key(SDL_KEYDOWN, SDLK_b);
    push_text("b\xc3\xa9");  // "b" and a two-byte character in one commit
    push_key(SDL_KEYUP, SDLK_b);
    struct Want {
        int type, v, c, _v;
    } want[] = {
        {EVT_KEYDOWN, KEY_a, 0, SDLK_a}, {EVT_NONE, 0, 0, 0},         {EVT_KEYDOWN, 0, 97, 0},
        {EVT_KEYDOWN, KEY_b, 0, SDLK_b}, {EVT_NONE, 0, 0, 0},         {EVT_KEYDOWN, 0, 98, 0},
        {EVT_KEYDOWN, 0, -61, 0},        {EVT_KEYDOWN, 0, -87, 0},    {EVT_KEYUP, KEY_b, 0, SDLK_b},
    };
    std::string log = capture_stdout([&] {
        for (const Want& w : want) {
            Event e = poll_one();
            EXPECT_EQ(e.type, w.type);
            EXPECT_EQ(e.v, w.v);
            EXPECT_EQ(e.c, w.c);
            EXPECT_EQ(e._v, w._v);
            EXPECT_EQ(e.b, 0);
        }
    });
    Event none;
    drain();
    EXPECT_EQ(driver_event_poll(&none), 0);
    // Each typed byte logs how many bytes are still pending, itself
    // included, and never the bytes: they may be a password.
    std::vector<std::string> lines;
    for (size_t p = 0; (p = log.find("] text: ", p)) != std::string::npos; p++)
        lines.push_back(log.substr(p + 8, log.find('\n', p) - p - 8));
    EXPECT_EQ(lines, (std::vector<std::string>{"1 byte", "3 bytes", "2 bytes", "1 byte"})) << log;

    push_text("hunter2");
    log = capture_stdout([] { drain(); });
    EXPECT_NE(log.find("] text: 7 bytes\n"), std::string::npos) << log;
    EXPECT_EQ(log.find("hunter"), std::string::npos) << log;
}

TEST_F(Poll, TextFieldWithoutTerminatorIsReadWithinItsSize) {
    SDL_Event ev;
    memset(&ev, 0, sizeof ev);
    ev.type = SDL_TEXTINPUT;
    memset(ev.text.text, 'x', sizeof ev.text.text);  // 32 bytes, no NUL
    Event e;
    _driver_event_translate(&ev, &e);
    EXPECT_EQ(e.type, EVT_NONE);
    int bytes = 0;
    capture_stdout([&] {
        while (driver_event_poll(&e)) {  // the text needs no SDL event
            EXPECT_EQ(e.c, 'x');
            bytes++;
        }
    });
    EXPECT_EQ(bytes, 32);
}

TEST_F(Poll, ModifierBitsFromTheKeyEvent) {
    struct Case {
        Uint16 mod;
        int b;
    } cases[] = {
        {KMOD_LSHIFT, 1}, {KMOD_RSHIFT, 1}, {KMOD_RCTRL | KMOD_LALT, 6},
        {KMOD_LGUI, 8},   {KMOD_NUM | KMOD_CAPS, 0}, {KMOD_LSHIFT | KMOD_LCTRL | KMOD_RALT | KMOD_RGUI, 15},
    };
    for (const Case& c : cases) push_key(SDL_KEYDOWN, SDLK_a, c.mod);
    for (const Case& c : cases) {
        Event e = poll_one();
        EXPECT_EQ(e.v, KEY_a);
        EXPECT_EQ(e.b, c.b) << "mod " << c.mod;
    }
    // An unmapped key keeps its keycode.
    push_key(SDL_KEYDOWN, SDLK_PAGEUP);
    Event e = poll_one();
    EXPECT_EQ(e.v, KEY_NONE);
    EXPECT_EQ(e._v, SDLK_PAGEUP);
}

TEST_F(Poll, MouseEventsAndTouchMadeMouseFiltered) {
    SDL_Event ev;
    memset(&ev, 0, sizeof ev);
    ev.type = SDL_MOUSEMOTION;
    ev.motion.which = 3;
    ev.motion.x = 10;
    ev.motion.y = 20;
    ev.motion.xrel = -4;
    ev.motion.yrel = 5;
    ev.motion.state = SDL_BUTTON_LMASK | SDL_BUTTON_RMASK;
    push(ev);
    ev.motion.which = SDL_TOUCH_MOUSEID;
    push(ev);
    memset(&ev, 0, sizeof ev);
    ev.type = SDL_MOUSEBUTTONDOWN;
    ev.button.which = 1;
    ev.button.button = SDL_BUTTON_RIGHT;
    ev.button.x = 7;
    ev.button.y = 8;
    push(ev);
    ev.button.which = SDL_TOUCH_MOUSEID;
    push(ev);
    ev.type = SDL_MOUSEBUTTONUP;
    ev.button.which = 1;
    ev.button.button = SDL_BUTTON_LEFT;
    push(ev);
    ev.button.which = SDL_TOUCH_MOUSEID;
    push(ev);

    Event e = poll_one();
    EXPECT_EQ(e.type, EVT_MOUSEMOTION);
    EXPECT_EQ(e.x, 10);
    EXPECT_EQ(e.y, 20);
    EXPECT_EQ(e.dx, -4);
    EXPECT_EQ(e.dy, 5);
    EXPECT_EQ(e._x, 10);
    EXPECT_EQ(e._dy, 5);
    EXPECT_EQ(e.b, (int)(SDL_BUTTON_LMASK | SDL_BUTTON_RMASK));
    EXPECT_EQ(e.device, 3);
    EXPECT_EQ(poll_one().type, EVT_NONE);
    e = poll_one();
    EXPECT_EQ(e.type, EVT_MOUSEDOWN);
    EXPECT_EQ(e.b, 3);
    EXPECT_EQ(e.x, 7);
    EXPECT_EQ(e.y, 8);
    EXPECT_EQ(e.device, 1);
    EXPECT_EQ(poll_one().type, EVT_NONE);
    e = poll_one();
    EXPECT_EQ(e.type, EVT_MOUSEUP);
    EXPECT_EQ(e.b, 1);
    EXPECT_EQ(poll_one().type, EVT_NONE);
}

TEST_F(Poll, WheelStepsAreNegated) {
    SDL_Event ev;
    memset(&ev, 0, sizeof ev);
    ev.type = SDL_MOUSEWHEEL;
    ev.wheel.which = 2;
    ev.wheel.y = 1;
    ev.wheel.x = -2;
    push(ev);
    ev.wheel.y = INT32_MIN;  // no overflow on negation
    ev.wheel.x = 0;
    push(ev);
    Event e = poll_one();
    EXPECT_EQ(e.type, EVT_WHEEL);
    EXPECT_EQ(e.dy, -1);
    EXPECT_EQ(e.dx, 2);
    EXPECT_EQ(e._dy, -1);
    EXPECT_EQ(e.device, 0);
    e = poll_one();
    EXPECT_EQ(e.dy, 2147483648.0f);
}

TEST_F(Poll, JoystickAxesReportTheirStick) {
    auto axis = [&](SDL_JoystickID which, Uint8 a, Sint16 value) {
        SDL_Event ev;
        memset(&ev, 0, sizeof ev);
        ev.type = SDL_JOYAXISMOTION;
        ev.jaxis.which = which;
        ev.jaxis.axis = a;
        ev.jaxis.value = value;
        push(ev);
        return poll_one();
    };
    Event e = axis(0, 0, -32768);  // full left, vertical centred
    EXPECT_EQ(e.type, EVT_JOYMOTION);
    EXPECT_EQ(e.b, 0);
    EXPECT_EQ(e.x, -1.0f);
    EXPECT_EQ(e.y, 0.0f);
    e = axis(0, 2, 16384);
    e = axis(0, 3, 32767);  // only axis 3 moves: stick 1 with axis 2's last value
    EXPECT_EQ(e.b, 1);
    EXPECT_EQ(e.x, 0.5f);
    EXPECT_EQ(e.y, 32767 / 32768.0f);
    e = axis(0, 1, 8192);
    EXPECT_EQ(e.x, -1.0f);
    EXPECT_EQ(e.y, 0.25f);
    EXPECT_EQ(axis(0, 8, 100).type, EVT_NONE);
    // Instance ids past the table stay inside it and keep their own id.
    e = axis(300, 1, -16384);
    EXPECT_EQ(e.type, EVT_JOYMOTION);
    EXPECT_EQ(e.device, 300);
    EXPECT_EQ(e.y, -0.5f);

    SDL_Event ev;
    memset(&ev, 0, sizeof ev);
    ev.type = SDL_JOYBUTTONDOWN;
    ev.jbutton.which = 4;
    ev.jbutton.button = 9;
    push(ev);
    ev.type = SDL_JOYBUTTONUP;
    push(ev);
    e = poll_one();
    EXPECT_EQ(e.type, EVT_JOYDOWN);
    EXPECT_EQ(e.b, 9);
    EXPECT_EQ(e.device, 4);
    EXPECT_EQ(poll_one().type, EVT_JOYUP);
}

TEST_F(Poll, TouchWithoutWindowUsesUnitSize) {
    SDL_Event ev;
    memset(&ev, 0, sizeof ev);
    ev.type = SDL_FINGERDOWN;
    ev.tfinger.touchId = 0x100000007LL;
    ev.tfinger.fingerId = 0xffffffffLL;  // + 1 wraps in unsigned arithmetic
    ev.tfinger.x = 0.25f;
    ev.tfinger.y = 0.5f;
    ev.tfinger.dx = 0.125f;
    push(ev);
    ev.type = SDL_FINGERUP;
    ev.tfinger.fingerId = 4;
    push(ev);
    Event e = poll_one();
    EXPECT_EQ(e.type, EVT_TOUCHDOWN);
    EXPECT_EQ(e.device, 7);
    EXPECT_EQ(e.b, 0);
    EXPECT_EQ(e.x, 0.25f);
    EXPECT_EQ(e.y, 0.5f);
    EXPECT_EQ(e.dx, 0.125f);
    e = poll_one();
    EXPECT_EQ(e.type, EVT_TOUCHUP);
    EXPECT_EQ(e.b, 5);
}

TEST_F(Poll, NothingPendingAndUntranslatedEvents) {
    Event e;
    memset((void*)&e, 0x7f, sizeof e);
    EXPECT_EQ(driver_event_poll(&e), 0);
    EXPECT_EQ(e.type, EVT_NONE);
    EXPECT_EQ(e.x, 0);
    EXPECT_EQ(e.device, 0);

    SDL_Event ev;
    memset(&ev, 0, sizeof ev);
    ev.type = SDL_JOYHATMOTION;
    push(ev);
    ev.type = SDL_USEREVENT;
    push(ev);
    ev.type = SDL_WINDOWEVENT;
    ev.window.event = SDL_WINDOWEVENT_MOVED;
    push(ev);
    ev.type = SDL_QUIT;
    push(ev);
    for (int i = 0; i < 3; i++) {
        e = poll_one();
        EXPECT_EQ(e.type, EVT_NONE);
    }
    EXPECT_EQ(poll_one().type, EVT_QUIT);
    drain();
    EXPECT_EQ(driver_event_poll(&e), 0);
}
