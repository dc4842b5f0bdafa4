// form: a complete program on the engine library alone, without the mod
// runtime. It opens a window, sets a logical view of 400 x 250 scaled to fit
// it, loads the console font from data/, builds a sign-in form (a table of
// labels and text fields, the password field masked, inside a bordered box),
// hands it the window's events, paints it every frame and quits on Escape or
// when the window is closed. Return in a field prints the name and the
// password's length.
//
// Run it from the project root, where data/ is: build/examples/form
// With "-frames N" it stops after N frames and first reads back a pixel of
// the box's border, exiting 1 when it is not the border's colour (the test
// runs it so).
#include <GL/gl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "qel_driver-tex_load.h"
#include "qel_driver.h"
#include "qel_font.h"
#include "qel_gfx.h"
#include "qel_gui.h"

// The logical canvas the form is laid out in; the window is twice as large.
static const int _FORM_W = 400, _FORM_H = 250;
static const int _FORM_BORDER = 0x6688aa;

// The texture loader asks the program for its magnification filter: the view
// scales the font's picture twice, and nearest texels keep it crisp.
int _QEL_GL_TEXTURE_MAG_FILTER() { return GL_NEAREST; }

static Label* _form_label(QelGuiFont font, const char* text, int color) {
    Label* l = new Label(font, text);
    l->style.color = color;
    // Its text level with a field's: margin, border and padding add up alike.
    l->style.set_margin(4);
    l->style.set_padding(4);
    return l;
}

// A field on a dark ground whose border lights up while it has the focus
// (focused, and focused with the pointer over it).
static TextInput* _form_field(QelGuiFont font, const char* name) {
    TextInput* t = new TextInput(font, "", 32);
    t->name = name;
    t->onchange = var("submit");
    t->style.width = 200;
    t->style.set_margin(4);
    t->style.set_border(1);
    t->style.set_padding(3);
    t->style.border_color = 0x445566;
    t->style.background.color = 0x1a2430;
    t->style.data[STYLE_FOCUS].border_color = 0xffcc44;
    t->style.data[STYLE_ACTIVE].border_color = 0xffcc44;
    return t;
}

// The form, added to root; returns the box around it.
static Box* _form_build(Container& root, QelGuiFont font) {
    Table* table = new Table();
    TextInput* name = _form_field(font, "name");
    TextInput* password = _form_field(font, "password");
    password->passwd = 1;
    // Tab goes round the two fields.
    name->next = password;
    password->next = name;
    table->tr();
    table->td(_form_label(font, "Sign in", 0xffffff), 2, 1, -1, -1);
    table->tr();
    table->td(_form_label(font, "Name", 0xc0c8d0), 1, 1, -1, -1);
    table->td(name, 1, 1, -1, -1);
    table->tr();
    table->td(_form_label(font, "Password", 0xc0c8d0), 1, 1, -1, -1);
    table->td(password, 1, 1, -1, -1);
    table->tr();
    table->td(_form_label(font, "Tab: next  Esc: quit", 0x7f8c99), 2, 1, -1, -1);
    Box* box = new Box(table);
    box->style.set_border(2);
    box->style.border_color = _FORM_BORDER;
    box->style.set_padding(8);
    box->style.background.color = 0x2a3644;
    root.add(box, 0, 0);
    return box;
}

// The view: the canvas centred in the window at the largest scale that fits.
// gfx_ortho installs it as the GL projection; gfx_event_correct and the
// widgets' focus rectangle read the same values.
static void _form_view() {
    int w, h;
    driver_get_size(&w, &h);
    float sx = (float)w / _FORM_W, sy = (float)h / _FORM_H;
    gfx_set_size(_FORM_W, _FORM_H);
    gfx_set_scale(sx < sy ? sx : sy);
    gfx_set_orient(0);
    gfx_set_shift(0, 0);
    gfx_ortho();
}

// The driver reports the pointer in window pixels as EVT_MOUSE* and
// EVT_TOUCH*; the widgets take EVT_DOWN, EVT_MOTION, EVT_UP and EVT_WHEEL in
// the logical view. Returns false when the program is to end.
static bool _form_event(Container& root, Event e) {
    if (e.type == EVT_QUIT || (e.type == EVT_KEYDOWN && e.v == KEY_ESCAPE)) return false;
    if (e.type == EVT_MOUSEDOWN || e.type == EVT_TOUCHDOWN) e.type = EVT_DOWN;
    if (e.type == EVT_MOUSEMOTION || e.type == EVT_TOUCHMOTION) e.type = EVT_MOTION;
    if (e.type == EVT_MOUSEUP || e.type == EVT_TOUCHUP) e.type = EVT_UP;
    gfx_event_correct(&e);  // pointer types only: window pixels to the view
    var action = root.event(&e);
    if (action == "submit") {
        std::string name = root.find("name")->get_value_s();
        size_t secret = strlen(root.find("password")->get_value_s());
        printf("form: name \"%s\", password of %zu bytes\n", name.c_str(), secret);
        fflush(stdout);
    }
    return true;
}

// The colour of the box's border in the back buffer, before the swap (after
// it the buffer's content is undefined).
static bool _form_check(Box* box, int frame) {
    gfx_flush();
    MyRect r = box->get_abs_rect(true);
    GfxRect p = gfx_pos_to_hwpos(GfxRect(r.x + 1, r.y + 1, 0, 0));
    int w, h;
    driver_get_size(&w, &h);
    unsigned char px[4] = {0, 0, 0, 0};
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels((int)p.x, h - 1 - (int)p.y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, px);
    int got = px[0] << 16 | px[1] << 8 | px[2];
    printf("form: frame %d, border pixel at %d,%d is #%06x, wanted #%06x\n", frame, (int)p.x, (int)p.y, got,
           _FORM_BORDER);
    return got == _FORM_BORDER;
}

// The layers in the reverse order of their start.
static void _form_deinit() {
    font_deinit();
    gfx_deinit();
    driver_deinit();
}

int main(int argc, char** argv) {
    int frames = 0;  // 0: until Escape
    for (int i = 1; i + 1 < argc; i++)
        if (strcmp(argv[i], "-frames") == 0) frames = atoi(argv[i + 1]);

    driver_init(DRIVER_VIDEO | DRIVER_TIMER);
    // With a game name the data directory is ./data (without one, ../data).
    driver_set_gamename("form");
    driver_set_caption("form example");
    driver_video_init(2 * _FORM_W, 2 * _FORM_H, 2 * _FORM_W, 2 * _FORM_H, _FORM_W, _FORM_H, 0);
    gfx_init();
    font_init();
    int fid = font_load("console", 24);
    if (!fid) {
        fprintf(stderr, "form: no console font in ./data: run from the project root\n");
        _form_deinit();
        return 1;
    }
    Container root;
    Box* box = _form_build(root, QelGuiFont(fid));

    bool run = true, ok = true;
    for (int frame = 1; run; frame++) {
        _form_view();
        Event e;
        while (driver_event_poll(&e))
            if (!_form_event(root, e)) run = false;
        // The root is driven directly: auto-focus and per-frame hooks, layout,
        // then the box centred on the canvas, painting.
        root.loop();
        root.resize();
        box->_rect.x = (float)((_FORM_W - (int)box->_rect.w) / 2);
        box->_rect.y = (float)((_FORM_H - (int)box->_rect.h) / 2);
        gfx_clear();
        gfx_fill(0x10161c, 0, 0, _FORM_W, _FORM_H);
        root.paint();
        if (frame == frames) {
            ok = _form_check(box, frame);
            run = false;
        }
        gfx_flush();
        driver_video_flip();
        driver_timer_delay(16);  // about 60 frames a second
    }
    root = Container();  // the widgets go before the layers they draw with
    _form_deinit();
    return ok ? 0 : 1;
}
