// qel_font: the font registry, the BMFont text reader and the file watcher.
#include "qel_font.h"

#include <cstdio>
#include <cstring>

#include "qel_driver.h"
#include "qel_var.h"

_FontData* _font = nullptr;

_FontData::_FontData() { data.emplace_back(); }

void font_init() {
    if (!_font) _font = new _FontData();
}

void font_deinit() {
    // The glyph pictures stay in the image registry.
    delete _font;
    _font = nullptr;
}

static char _font_find_buf[512];

const char* _font_find(const char* name) {
    static const char* const suffixes[] = {"", ".fnt", ".txt"};
    return driver_data_find(_font_find_buf, sizeof _font_find_buf, name, suffixes, 3);
}

int font_load(const char* name, int size) {
    // The key is kept whole, however long the name: a cut key could make two
    // fonts share an entry.
    char num[16];
    snprintf(num, sizeof num, ":%d", size);
    std::string& key = _font->key;
    key.assign(name).append(num);
    auto it = _font->map.find(key);
    if (it != _font->map.end()) return it->second;

    fprintf(stderr, "trying load font %s\n", name);
    const char* found = _font_find(name);
    if (!found) {
        fprintf(stderr, "unable to find font %s\n", name);
        _font->map[key] = 0;
        return 0;
    }
    // The lookup's buffer is overwritten by the image lookup below.
    std::string fname = driver_data_fname(found);
    int tid = gfx_tex_load(name);
    int n = (int)_font->data.size();
    fprintf(stderr, "doing load font %s (%d)\n", name, n);
    _font->map[key] = n;
    _font->data.emplace_back();
    FontInfo& f = _font->data[n];
    f.n = n;
    f.tex = tid;
    f.size = (float)size;
    f.scale = 1;
    snprintf(f.fnt_fname, sizeof f.fnt_fname, "%s", fname.c_str());
    font_reload(n);
    return n;
}

void font_reload(int n) {
    if (n <= 0) return;  // entry 0 stands for none and is never written
    FontInfo& f = _font->data[n];
    f.fnt_mtime = driver_file_stamp(f.fnt_fname);
    // The file that the lookup found, with its directory: a font asked for as
    // "dir/name" must not read another "name" at the top of the data directory.
    FontParsed got = _font_parse(f, driver_file_load(f.fnt_fname));
    // An empty or cut-short file would otherwise load without a word, and
    // its text would measure nothing or draw no glyph.
    if (!got.common || !got.glyphs)
        fprintf(stderr, "damaged font %s: %s\n", f.fnt_fname,
                !got.common && !got.glyphs ? "no \"common\" line and no glyphs"
                                           : !got.common ? "no \"common\" line" : "no glyphs");
}

// Only "common" and "char" lines are read. Each word is key=value; values are
// read as numbers the way the value type reads text, and a missing key is 0.
FontParsed _font_parse(FontInfo& f, const std::string& text) {
    FontParsed got;
    var lines = str_split(text, "\n");
    int nlines = lines.__len__();
    for (int i = 0; i < nlines; i++) {
        var words = str_split(lines[i].__str__(), " ");
        std::string kind = words[0].__str__();
        bool common = kind == "common";
        if (!common && kind != "char") continue;
        var d = var_dict();
        int nwords = words.__len__();
        for (int k = 0; k < nwords; k++) {
            var kv = str_split(words[k].__str__(), "=");
            if (kv.__len__() >= 2) d[kv[0].__str__()] = kv[1];
        }
        if (common) {
            got.common = true;
            f.height = f._size = (float)(int)d["lineHeight"];
            f.base = (float)(int)d["base"];
            f.rect = GfxRect(0, 0, (float)(int)d["scaleW"], (float)(int)d["scaleH"]);
            // Without a line height there is nothing to scale to.
            f.scale = 1;
            if (f.size != 0 && f._size != 0) f.scale = f.size / f._size;
            continue;
        }
        int id = d["id"];
        // Only byte values have a place in the tables; 0 ends every text.
        if (id < 1 || id > 255) continue;
        got.glyphs++;
        f.rects[id] = GfxRect((float)(int)d["x"], (float)(int)d["y"], (float)(int)d["width"],
                              (float)(int)d["height"]);
        f.shapes[id] = GfxRect((float)(int)d["xoffset"], (float)(int)d["yoffset"], (float)d["xadvance"],
                               (float)d["height"]);
    }
    return got;
}

void font_forget_missing() {
    if (!_font) return;
    for (auto it = _font->map.begin(); it != _font->map.end();) {
        if (it->second == 0) {
            it = _font->map.erase(it);
            continue;
        }
        // The key is "name:size"; the picture has the font's name. Every size
        // of a font asks, the first one finds or misses for all.
        FontInfo& f = _font->data[it->second];
        if (!f.tex) f.tex = gfx_tex_load(it->first.substr(0, it->first.rfind(':')).c_str());
        ++it;
    }
}

void font_reload_auto() {
    timespec now = watch_now_ns();
    if (!watch_due(&_font->watch, now.tv_sec)) return;
    for (size_t n = 1; n < _font->data.size(); n++) {
        const FontInfo& f = _font->data[n];
        if (f.fnt_fname[0] && watch_changed(driver_file_stamp(f.fnt_fname), f.fnt_mtime, now)) font_reload((int)n);
    }
}
