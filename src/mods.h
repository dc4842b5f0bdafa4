// mods: the mod runtime's records and entry points.
//
// A mod is a set of Lua scripts. The game owns one ModsAPI (the mod's view of
// the engine: parameters, log, loaded scripts, draw queue, stream table) and
// one script back end (ModsBase), and replaces both as a pair at every
// restart. The script never draws directly: its drawing calls queue GCommands
// that the engine plays after _paint() returns.
#ifndef MODS_H
#define MODS_H

#include <ctime>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "qel_event.h"
#include "qel_gui.h"
#include "qel_var.h"
#include "qel_watch.h"

class Game;

// One loaded script.
struct ModScript {
    std::string _fname;  // the name as the script asked for it
    std::string fname;   // the path of the file that was loaded
    FileStamp mtime;     // the file's stamp at the load
    std::string name;    // base name with ".lua" ensured; names the chunk
};

enum { GCMD_VIEW = 1, GCMD_IMAGE = 2, GCMD_TEXT = 3 };

// One draw command; each kind uses only some of the fields.
struct GCommand {
    int type = 0;
    std::string name;  // image or font name
    int points = 0;    // font size
    std::string text;
    float x = 0, y = 0, w = 0, h = 0;
    int align = 0;
    float cx = 0, cy = 0;  // image anchor, subtracted from x and y
    float angle = 0;       // carried, not drawn
    int color = 0;         // 0xRRGGBB
    float alpha = 0;
    int mode = 0;          // carried, not drawn
    float depth = 0;       // a view stores it in the parameters
};

// A vertex and a triangle of the batch below: kept with it, filled and read
// by nothing.
struct GVert {
    float tx, ty, vx, vy;
    unsigned char r, g, b, a;
};

struct GTri {
    GVert v[3];
};

// The draw queue of one run of the mod. The commands of a picture take over
// the strings' storage of the previous picture's commands, place by place,
// so a picture like the last one is queued without allocating.
class GBatch {
public:
    std::vector<GTri> batch;  // room for a triangle batch; unused
    std::vector<GCommand> queue;

    void clear();
    // Appends a new command of the kind.
    GCommand& add(int type);
    void draw();

private:
    std::vector<GCommand> _last;  // the commands emptied by the last clear()
};

// A script back end. The runtime drives it through these calls only.
class ModsBase {
public:
    virtual ~ModsBase() {}
    virtual void init() {}
    virtual void loop(float t) { (void)t; }
    virtual void event(var e) { (void)e; }
    virtual void paint() {}
    virtual void script(const char* s, const char* name) {
        (void)s;
        (void)name;
    }
    virtual bool is_ok() { return true; }
};

class ModsAPI {
public:
    Container gui;  // a widget tree of the mod's run; nothing fills or paints it
    Game& game;
    std::vector<std::string> log;  // newest first, at most 255 entries
    // The developer console: its widgets (in window pixels), the last line
    // run from it, and whether it is open.
    Container console_gui;
    std::string console_history;
    int console_toggle = 0;
    std::string error;  // the recorded error; "" when none
    int has_error = 0;
    std::vector<ModScript> scripts;  // in load order
    // The paths at which require found no file in this load: the script
    // watcher reloads the mod when one appears.
    std::set<std::string> scripts_missing;
    GBatch batch;
    std::map<std::string, int> streams;  // 1 while started by the script
    var params;

    // Builds the console's widgets, which loads the console font.
    explicit ModsAPI(Game& game);

    void params_set(std::string k, var v);
    var params_get(std::string k);

    std::string file_load(std::string name);
    void file_save(std::string name, std::string data);

    void log_entry(std::string s);
    void log_printf(const char* fmt, ...) __attribute__((format(printf, 2, 3)));

    int api_error() { return has_error; }
    void api_error_set(std::string v);
    std::string api_error_get() { return error; }
    void api_error_clear();

    void require(std::string fname);

    void view_set(float x, float y, float w, float h, float depth);
    void image_init(std::string name, std::string src, float sw, float sh, float x, float y, float w, float h,
                    float tx, float ty, float tw, float th);
    // The texts are copied into the queued command.
    void image_draw(const char* name, float x, float y, float w, float h, float cx, float cy, float angle,
                    int color, float alpha, int mode, float depth);
    void font_draw(const char* name, int points, const char* text, float x, float y, float w, int align,
                   int color, float alpha, float mode);
    int font_size(std::string name, int points, std::string text, float w);
    void sample_play(std::string name, float vol, float pan);
    void stream_play(std::string name, float vol, float pan);
    void stream_stop(std::string name);
    std::string ext_call(std::string action, std::string data);
};

// What the game holds of the mod. The script watcher's state is kept here,
// so it survives a restart of the mod and starts anew with the game.
struct Mods {
    char fname[512];  // the main script path
    ModsAPI* api;
    ModsBase* mod;
    Watch watch;
};

// Name functions of script loading.
std::string get_basename(std::string fname);
std::string get_dirname(std::string fname);
std::string _name_clean(std::string v);

// Lifecycle, per frame and per event.
void mods_restart(Game& game, int chstate);
void mods_destroy(Game& game);  // back end first, then its ModsAPI
void mods_reload(Game& game);
void mods_reload_auto(Game& game);
void mods_loop(Game& game, float t);
void mods_paint(Game& game);
void mods_log_clear(Game& game);
void mods_console_toggle(Game& game);
void mods_event_handle(Game& game, Event e);
void mods_event(Game& game, var e);

// Drawing helpers of the queue.
void _blend_set(int color, float alpha, int mode);
void _mods_view_init(Game& game);

// The event dictionary's type name of an event code.
const char* mods_event_name(int type);
var mods_event_dict(const Event& e);

// The Lua back end.
ModsBase* mods_lua(ModsAPI& g);

// The developer console (its own module): its font, its widgets, its
// reaction to every event before the script sees it (1 when it acted), and
// its overlay, painted after the mod's drawing.
QelGuiFont w_font_console();
void modsapi_console_gui_rebuild(ModsAPI* mapi);
int mods_event_console(Game& game, Event e);
void modsapi_log_paint(ModsAPI* api);

#endif
