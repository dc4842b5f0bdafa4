// mods_api: the ModsAPI operations: parameters, files, the mod log, recorded
// errors, script loading by base name, and the draw, sound, text and
// extension operations that the Lua binding calls.
#include "mods.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "game.h"
#include "gprint.h"
#include "qel_driver.h"
#include "qel_font.h"
#include "qel_mixer.h"
#include "qel_printf.h"
#include "qel_util.h"

ModsAPI::ModsAPI(Game& game) : game(game), params(var_dict()) { modsapi_console_gui_rebuild(this); }

// ---------------------------------------------------------------------------
// Parameters

void ModsAPI::params_set(std::string k, var v) {
    params[k] = v;
    if (k == "altdir")
        driver_set_altdir(v.__str__().c_str());
    else if (k == "appid")
        driver_set_gamename(v.__str__().c_str());
    else if (k == "caption")
        driver_set_caption(v.__str__().c_str());
}

var ModsAPI::params_get(std::string k) { return params[k]; }

// ---------------------------------------------------------------------------
// Files: saved documents first, then the mod's and the engine's data.

std::string ModsAPI::file_load(std::string name) {
    if (driver_doc_exists(name.c_str())) return driver_doc_load(name.c_str());
    if (driver_data_exists(name.c_str())) return driver_data_load(name.c_str());
    return "";
}

// A save that does not happen is told in the mod log, where the mod's author
// looks. A name holding a NUL byte is refused: cut there, it would name
// another file.
void ModsAPI::file_save(std::string name, std::string data) {
    const char* why;
    if (name.find('\0') != std::string::npos)
        why = "the name holds a NUL byte";
    else if (int err = driver_doc_save(name.c_str(), (void*)data.data(), (int)data.size()))
        why = strerror(err);
    else
        return;
    // The name as a mod's author would write it, and short enough to read.
    std::string shown;
    for (char c : name.substr(0, 256)) shown += c ? std::string(1, c) : std::string("\\0");
    if (name.size() > 256) shown += "...";
    log_printf("ModsAPI::file_save(\"%s\") file not saved: %s\n", shown.c_str(), why);
}

// ---------------------------------------------------------------------------
// The mod log

void ModsAPI::log_entry(std::string s) {
    s = str_replace(s, "\t", "    ");
    s = str_replace(s, "\r", "\n");
    var pieces = str_split(s, "\n");
    int n = pieces.__len__();
    for (int i = 0; i < n; i++) {
        std::string piece = pieces[i].__str__();
        if (piece.find_first_not_of(' ') == std::string::npos) continue;
        log.insert(log.begin(), piece);
        GPRINT("ModsAPI: %s\n", piece.c_str());
        if (log.size() > 255) log.resize(255);
    }
}

void ModsAPI::log_printf(const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    std::string text;
    if (qel_vformat(&text, fmt, ap)) log_entry(text);
    va_end(ap);
}

// ---------------------------------------------------------------------------
// Recorded errors

void ModsAPI::api_error_set(std::string v) {
    has_error = 1;
    error = v;
}

void ModsAPI::api_error_clear() {
    error = "";
    has_error = 0;
}

// ---------------------------------------------------------------------------
// Script loading

std::string get_basename(std::string fname) {
    fname = str_replace(fname, "..", "_");
    fname = str_replace(fname, "\\", "/");
    var parts = str_split(fname, "/");
    return parts[-1].__str__();
}

std::string get_dirname(std::string fname) {
    fname = str_replace(fname, "\\", "/");
    var parts = str_split(fname, "/");
    parts.__del__(var(-1));
    return str_join("/", parts).__str__();
}

std::string _name_clean(std::string v) {
    std::string r;
    for (char c : v) {
        if (c == '.' || r.size() >= 16) break;
        bool keep = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        r += keep ? c : '_';
    }
    return r.empty() ? "_" : r;
}

// Each base name runs at most once per load, from the mod's directory (the
// main script's, or "altdir" once that key exists) or else the data files.
void ModsAPI::require(std::string fname) {
    std::string name = get_basename(fname);
    if (name.find('.') == std::string::npos) name += ".lua";
    for (const ModScript& s : scripts)
        if (s.name == name) return;

    ModScript rec;
    rec._fname = fname;
    rec.name = name;
    std::string dir = params.__has__(var("altdir")) ? params["altdir"].__str__()
                                                     : get_dirname(game.data.mods.fname);
    driver_set_altdir(dir.c_str());
    std::string path = dir + "/" + name;
    // Where no file is, one may appear: also in the mod's directory while
    // the data directory's file of the name runs, since it would come first.
    if (!driver_file_exists(path.c_str())) {
        scripts_missing.insert(path);
        path = driver_data_fname(name.c_str());
        if (!driver_file_exists(path.c_str())) {
            scripts_missing.insert(path);
            log_printf("ModsAPI::require(\"%s\") file missing\n", fname.c_str());
            api_error_set("file missing");
            return;
        }
    }
    rec.fname = path;
    rec.mtime = driver_file_stamp(path.c_str());
    scripts.push_back(rec);
    GPRINT("ModsAPI::require: %s\n", path.c_str());

    std::string text = driver_file_load(path.c_str());
    // While the back end is being torn down there is none to run the script.
    if (game.data.mods.mod) game.data.mods.mod->script(text.c_str(), name.c_str());
}

// ---------------------------------------------------------------------------
// Queueing

void ModsAPI::view_set(float x, float y, float w, float h, float depth) {
    GCommand& c = batch.add(GCMD_VIEW);
    c.x = x;
    c.y = y;
    c.w = w;
    c.h = h;
    c.depth = depth;
}

void ModsAPI::image_init(std::string, std::string, float, float, float, float, float, float, float, float, float,
                         float) {}

void ModsAPI::image_draw(const char* name, float x, float y, float w, float h, float cx, float cy, float angle,
                         int color, float alpha, int mode, float depth) {
    GCommand& c = batch.add(GCMD_IMAGE);
    c.name.assign(name);
    c.x = x;
    c.y = y;
    c.w = w;
    c.h = h;
    c.cx = cx;
    c.cy = cy;
    c.angle = angle;
    c.color = color;
    c.alpha = alpha;
    c.mode = mode;
    c.depth = depth;
}

void ModsAPI::font_draw(const char* name, int points, const char* text, float x, float y, float w, int align,
                        int color, float alpha, float mode) {
    GCommand& c = batch.add(GCMD_TEXT);
    c.name.assign(name);
    c.points = points;
    c.text.assign(text);
    c.x = x;
    c.y = y;
    c.w = w;
    c.align = align;
    c.color = color;
    c.alpha = alpha;
    c.mode = myint(mode);
}

// Width and height packed as width * 65536 + height: each is clamped to what
// the packing holds (width below 32768, height below 65536), so a huge text
// or wrap width can neither overflow nor bleed into the other half. Without a
// wrap width the height is that of the lines the text holds, as many as
// font_draw draws, where font_get_height gives one line's.
int ModsAPI::font_size(std::string name, int points, std::string text, float w) {
    int f = font_load(name.c_str(), points);
    double width = w > 0 ? w : font_get_width(f, text.c_str());
    double height = font_get_height(f, text.c_str(), w);
    if (w == 0) {
        FontWrap wrap;
        _font_wrap_calc(f, text.c_str(), 0, wrap);
        height *= wrap.total;
    }
    int wi = myint(width), hi = myint(height);
    wi = wi < 0 ? 0 : (wi > 32767 ? 32767 : wi);
    hi = hi < 0 ? 0 : (hi > 65535 ? 65535 : hi);
    return wi * 65536 + hi;
}

// ---------------------------------------------------------------------------
// Sound

void ModsAPI::sample_play(std::string name, float vol, float pan) {
    mixer_sample_play(mixer_sample_load(name.c_str()), vol, pan);
}

// Started once per run of the mod; later calls only follow the volume. A
// name without a sound starts nothing and is not marked, so that once a
// reload has found its file the next call starts it.
void ModsAPI::stream_play(std::string name, float vol, float pan) {
    (void)pan;
    int n = mixer_stream_load(name.c_str());
    int& started = streams[name];
    if (!started && n) {
        mixer_stream_play(n, vol);
        started = 1;
    }
    mixer_stream_volume(n, vol);
}

void ModsAPI::stream_stop(std::string name) {
    int n = mixer_stream_load(name.c_str());
    mixer_stream_stop(n);
    streams[name] = 0;
}

// ---------------------------------------------------------------------------
// Extensions

std::string ModsAPI::ext_call(std::string action, std::string data) {
    if (action == "open_url") {
        driver_video_minimize();
        driver_open_url(data.c_str());
    } else if (action == "exit") {
        game._quit = 1;
    }
    return "";
}
