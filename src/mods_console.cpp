// mods_console: the developer console that every mod gets.
//
// A strip at the bottom of the window counts the mod log's lines and names
// the console keys; F1 opens a darkened full-window view of the log with an
// input line whose Lua text runs in the mod's state on Return; F2 empties the
// log and F5 restarts the mod, open or closed. The console sees every event
// first and never consumes one: the script gets each afterwards. Its state
// lives in the ModsAPI, so a restart gives a closed console with an empty
// line and nothing to recall.
//
// Everything is in window pixels; painting goes through the widget
// toolkit's drawing back end, like the widgets themselves.
#include <cstdio>
#include <string>

#include "game.h"
#include "gprint.h"
#include "mods.h"
#include "qel_font.h"
#include "qel_gfx.h"
#include "qel_util.h"

// A pointer released above this line (window pixels) closes the console.
static const float _CONSOLE_TOP_BAND = 44.0f;
// The veil's alpha over whatever lies beneath the console and its strip.
static const unsigned char _CONSOLE_VEIL_ALPHA = 170;

// The font registry keeps it by name and size: the first call, made while
// the first ModsAPI is built and no mod directory is set, reads it from the
// engine's data folder, and every later call gets that entry.
QelGuiFont w_font_console() { return QelGuiFont(font_load("console", 24)); }

void modsapi_console_gui_rebuild(ModsAPI* mapi) {
    int sw = game_get_sw(), sh = game_get_sh();
    GPRINT("GAME_SW: %d GAME_SH: %d\n", sw, sh);
    mapi->console_gui = Container();
    Table* table = new Table();
    table->name = "table";
    table->tr();
    QelGuiFont font = w_font_console();
    Label* prompt = new Label(font, "> ");
    table->td(prompt, 1, 1, -1, -1);
    TextInput* input = new TextInput(font, "", 255);
    input->name = "input";
    Box* box = new Box(input);
    table->td(box, 1, 1, -1, -1);
    input->style.width = (float)((double)sw - prompt->rect.w);
    input->onchange = var_dict("type", "input");
    box->style.align = -1;
    // The blank row under the input line, on which the strip is drawn.
    table->tr();
    table->td(new Label(font, " "), 1, 1, -1, -1);
    table->resize();
    mapi->console_gui.add(table, 0, myint((double)sh - table->rect.h));
    // Focuses the input line.
    mapi->console_gui.loop();
}

static TextInput* _console_input(ModsAPI* api) {
    return dynamic_cast<TextInput*>(api->console_gui.find("input"));
}

// The line is echoed into the log before it runs, so its output and errors
// stand after it.
static void _console_run(Game& game, TextInput* input) {
    ModsAPI* api = game.data.mods.api;
    std::string line = input->get_value().__str__();
    api->log_entry("> " + line);
    game.data.mods.mod->script(line.c_str(), "console");
    api->console_history = line;
    input->set_value(var(""));
}

int mods_event_console(Game& game, Event e) {
    ModsAPI* api = game.data.mods.api;
    if (!api) return 0;
    if (e.type == EVT_RESIZE || e.type == EVT_RESET) modsapi_console_gui_rebuild(api);
    bool key = e.type == EVT_KEYDOWN;
    if (key && e.v == KEY_F1) {
        mods_console_toggle(game);
        return 1;
    }
    if (key && e.v == KEY_F2) {
        mods_log_clear(game);
        return 1;
    }
    if (key && e.v == KEY_F5) {
        // This event's ModsAPI and back end are gone after this.
        mods_restart(game, 1);
        return 1;
    }
    if (!api->console_toggle) return 0;
    if ((e.type == EVT_UP && e.y < _CONSOLE_TOP_BAND) || (key && e.v == KEY_ESCAPE)) {
        mods_console_toggle(game);
        return 1;
    }
    TextInput* input = _console_input(api);
    if (key && (e.v == KEY_UP || e.v == KEY_F3)) {
        if (input) input->set_value(var(api->console_history));
        return 1;
    }
    var r = api->console_gui.event(&e);
    if (input && r.__type__() == VAR_DICT && r["type"] == "input") _console_run(game, input);
    return 1;
}

// The veil: the image "black" at the console's alpha over the rectangle,
// then the colour opaque white again.
static void _console_veil(GuiDraw* d, float x, float y, float w, float h) {
    d->color(0, 0, 0, _CONSOLE_VEIL_ALPHA);
    d->img_blit(gfx_img_load("black"), x, y, w, h);
    d->color(255, 255, 255, 255);
}

void modsapi_log_paint(ModsAPI* api) {
    int sw = game_get_sw(), sh = game_get_sh();
    // The window-pixel view stays after the console, until the mod's next
    // view command.
    gfx_set_shift(0, 0);
    gfx_set_size(sw, sh);
    gfx_set_scale(1.0f);
    gfx_ortho();
    if (!api) return;
    GuiDraw* d = gui_draw();
    int fid = w_font_console().fid;
    float fh = font_get_height(fid, nullptr, 0);
    int y = myint((double)sh - fh);
    if (api->console_toggle) {
        _console_veil(d, 0, 0, (float)sw, (float)sh);
        api->console_gui.loop();
        api->console_gui.resize();
        api->console_gui.paint();
    }
    if (!api->log.empty() || api->console_toggle == 1) {
        _console_veil(d, 0, (float)y, (float)sw, fh);
        char text[128];
        snprintf(text, sizeof text, ">> Console(%d): F1 = toggle; F2 = clear; F5 = restart; Mods auto-reload.",
                 (int)api->log.size());
        d->text(fid, text, 0, (float)y, 0, -1);
    }
    if (!api->console_toggle) return;
    // Newest first, upward from the input line; a long entry wraps at the
    // window's width and takes as many lines as it needs.
    Widget* table = api->console_gui.find("table");
    y = table ? table->get_abs_rect(false).get_top() : y;
    for (const std::string& entry : api->log) {
        float h = font_get_height(fid, entry.c_str(), (float)sw);
        y = myint((double)y - h);
        d->text(fid, entry.c_str(), 0, (float)y, (float)sw, -1);
        if (y < -fh) break;
    }
}
