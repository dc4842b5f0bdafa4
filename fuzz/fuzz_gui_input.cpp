// Fuzz target: one text field (single-line or wrapping, masked or not, of
// any width and length limit, with any starting bytes) driven by a random
// sequence of key presses with any modifiers, typed bytes, pointer presses,
// drags, releases, clicks and wheel turns, focus and blur, clipboard
// contents, values set from outside, direct edits, undo, redo and frames.
// After every step:
// - the text fits the length limit, the display copy has its length, caret
//   and anchor lie within the text, the history within its 255 steps;
// - undoing every step and redoing them gives the same text back, every
//   state on the way within the limit; while no step was forgotten, undoing
//   all of them gives the starting text.
// The clipboard is SDL's own, on its dummy video driver (no window needed).
// ASan and UBSan watch for overflow and bad conversions.
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <GL/gl.h>
#include <SDL.h>

#include "fuzz_bytes.h"
#include "qel_driver.h"
#include "qel_font.h"
#include "qel_gfx.h"
#include "qel_gui.h"

// The driver's texture loader asks the game for its filter; nothing loads here.
int _QEL_GL_TEXTURE_MAG_FILTER() { return GL_LINEAR; }

namespace {

int _fid = 0;

const unsigned _limits[] = {0, 1, 5, 16, 255, 2147483647u, 2147483648u, UINT_MAX};
const float _widths[] = {(float)STYLE_UNSET, 0, 1, 3, 20, 50, 300, -5};
const int _pointer_types[] = {EVT_DOWN, EVT_MOTION, EVT_UP, EVT_WHEEL, EVT_CLICK};

void _fail(const char* what) {
    fprintf(stderr, "invariant broken: %s\n", what);
    abort();
}

// The limit the field keeps: above the int range there is none.
bool _fits(const TextInput& t) { return t.maxlen > (unsigned)INT_MAX || t.txt.size() <= t.maxlen; }

void _check_state(const TextInput& t) {
    if (!_fits(t)) _fail("text longer than the limit");
    if (t.txt2.size() != t.txt.size()) _fail("display copy of another length");
    int len = (int)t.txt.size();
    if (t.pos < 0 || t.pos > len) _fail("caret outside the text");
    if (t._pos < 0 || t._pos > len) _fail("anchor outside the text");
    if (t.undo.size() > 255) _fail("history longer than 255 steps");
    if (t.undo_n < 0 || t.undo_n > (int)t.undo.size()) _fail("applied steps outside the history");
}

// Undo everything, redo it, and put the caret back: the field goes on as if
// nothing happened.
void _check_history(TextInput& t, const std::string& first, bool complete) {
    std::string text = t.txt;
    int pos = t.pos, anchor = t._pos, applied = t.undo_n;
    while (t.undo_n > 0) {
        t._undo();
        _check_state(t);
    }
    if (complete && t.txt != first) _fail("undoing every step does not give the starting text");
    while (t.undo_n < applied) {
        t._redo();
        _check_state(t);
    }
    if (t.txt != text) _fail("undo all then redo all changes the text");
    t.pos = pos;
    t._pos = anchor;
}

void _step(TextInput& t, Bytes& in) {
    Event e(EVT_NONE);
    switch (in.next() % 9) {
    case 0:
        e.type = EVT_KEYDOWN;
        e.v = in.next() % KEY_MAX;
        e.b = in.next() & 15;
        t.event(&e);
        break;
    case 1:
        // A typed byte, signed as the driver hands it out.
        e.type = EVT_KEYDOWN;
        e.c = in.signed8();
        t.event(&e);
        break;
    case 2:
        e.type = _pointer_types[in.next() % 5];
        e.x = (float)(in.signed8() * 3);
        e.y = (float)(in.signed8() * 3);
        e.b = in.next() & 1;
        e.v = in.next() & 1 ? EVT_KEYUP : 0;
        e.dy = (float)in.signed8();
        t.event(&e);
        break;
    case 3: driver_clipboard_set_text(in.take(24)); break;
    case 4: t.set_value(var(in.take(24))); break;
    case 5:
        e.type = in.next() & 1 ? EVT_FOCUS : EVT_BLUR;
        t.event(&e);
        break;
    case 6: {
        int p = in.signed8(), n = in.signed8();
        t._change(p, n, in.take(16));
        break;
    }
    case 7:
        if (in.next() & 1) t._undo();
        else t._redo();
        break;
    default:
        t.style.loop();
        t.resize();
        t.paint();
        break;
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    SDL_InitSubSystem(SDL_INIT_VIDEO);
    driver_init(0);
    gfx_init();
    font_init();
    // Glyphs of several advances, so hit tests and wrapping fall between them.
    _fid = (int)_font->data.size();
    _font->data.emplace_back();
    FontInfo& f = _font->data.back();
    f.scale = 1;
    std::string fnt = "common lineHeight=10 base=8 scaleW=64 scaleH=64\n";
    for (int c = 32; c < 127; c++)
        fnt += "char id=" + std::to_string(c) + " width=6 height=8 xadvance=" + std::to_string(3 + c % 7) + "\n";
    _font_parse(f, fnt);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Bytes in{data, size};
    // Each input starts from an empty clipboard, so that it runs alike
    // whatever the inputs before it left there.
    driver_clipboard_set_text("");
    int flags = in.next();
    unsigned maxlen = _limits[in.next() % 8];
    std::string first = in.take(40);
    TextInput t(QelGuiFont(_fid), first.c_str(), maxlen);
    first = t.txt;  // up to a NUL byte
    t.wrap = flags & 1;
    t.passwd = flags >> 1 & 1;
    t.reveal = flags >> 2 & 1;
    t.style.width = _widths[flags >> 3 & 7];
    if (flags & 64) t.style.focus = 1;
    t.style.loop();
    t.resize();
    _check_state(t);
    bool complete = true;
    // Copying the whole text and pasting it twice doubles it, and every
    // step undoes and redoes the whole history: past a few KiB an input only
    // grows slower, not more interesting.
    while (in.n && t.txt.size() <= 4096) {
        _step(t, in);
        _check_state(t);
        // Only a step that fills the history can forget the oldest one.
        if (t.undo.size() == 255) complete = false;
        _check_history(t, first, complete);
    }
    return 0;
}
