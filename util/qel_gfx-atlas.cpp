// qel_gfx-atlas: sprite atlases, JSON files that name frames inside one
// texture.
//
// The file "<name>.json" beside the picture holds "frames", keyed by frame
// name, each with "frame" (the rectangle inside the picture),
// "spriteSourceSize" (x, y: the trim offset) and "sourceSize" (w, h: the
// untrimmed size). Every frame becomes an image on the atlas texture, named
// by its key cut at the last '.', so it is drawn by name like a whole file.
// Reading the file again overwrites frames in place: their image indexes stay.
#include <cstdio>
#include <cstring>
#include <string>

#include "qel_driver.h"
#include "qel_gfx.h"
#include "qel_json.h"
#include "qel_var.h"

// Frame keys and image names are at most this long.
static const size_t _GFX_ATLAS_NAME_MAX = 255;

// x, y, w and h of a JSON object; a missing key, and anything but an
// object, reads as 0.
static GfxRect _gfx_json_rect(var js) {
    if (js.__type__() != VAR_DICT) return GfxRect();
    return GfxRect((float)js["x"], (float)js["y"], (float)js["w"], (float)js["h"]);
}

void gfx_atlas_load(const char* name) {
    // Only the first request of a name reads its atlas, also when the name
    // was asked for before as a plain picture or was not found.
    if (_gfx->tex_map.count(name)) return;
    int tid = gfx_tex_load(name);
    if (!tid) {
        // Entry 0 stands for none: it must hold no atlas and no frame.
        fprintf(stderr, "atlas %s: no picture, no frames registered\n", name);
        return;
    }
    char json[256];
    int n = snprintf(json, sizeof json, "%s.json", name);
    if (n < 0 || n >= (int)sizeof json) {
        fprintf(stderr, "atlas %s: name too long for its JSON file\n", name);
        return;
    }
    fprintf(stderr, "gfx_atlas_load: %s\n", json);
    const char* found = _gfx_find(json);
    if (!found) {
        fprintf(stderr, "atlas %s: file %s not found, no frames registered\n", name, json);
        return;
    }
    GfxTexture& t = _gfx->tex_data[tid];
    snprintf(t.atlas_fname, sizeof t.atlas_fname, "%s", driver_data_fname(found));
    gfx_atlas_reload(tid, t.atlas_fname);
}

void gfx_atlas_reload(int tid, const char* fname) {
    if (tid <= 0 || tid >= (int)_gfx->tex_data.size() || !fname) return;
    std::string path(fname);  // fname may be the entry's own field
    size_t slash = path.rfind('/');
    std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    _gfx->tex_data[tid].atlas_mtime = driver_file_stamp(path.c_str());

    std::string text = driver_data_load(base.c_str());
    var js;
    // A text that fails part-way leaves a partial tree: none of it counts.
    if (json_decode(js, text.data(), (int)text.size())) {
        fprintf(stderr, "atlas %s: not valid JSON, no frames registered\n", path.c_str());
        return;
    }
    var frames = js.__type__() == VAR_DICT ? js["frames"] : var();
    if (frames.__type__() != VAR_DICT) {
        fprintf(stderr, "atlas %s: no \"frames\" object, no frames registered\n", path.c_str());
        return;
    }
    var it(frames.__iter__());
    var key, frame;
    while (it.__pair__(key, frame)) {
        std::string k = key.__str__();
        if (frame.__type__() != VAR_DICT || k.size() > _GFX_ATLAS_NAME_MAX || k.find('\0') != std::string::npos) {
            fprintf(stderr, "atlas %s: frame skipped: %.64s\n", path.c_str(), k.c_str());
            continue;
        }
        size_t dot = k.rfind('.');
        std::string name = dot == std::string::npos ? k : k.substr(0, dot);
        GfxRect rect = _gfx_json_rect(frame["frame"]);
        GfxRect trim = _gfx_json_rect(frame["spriteSourceSize"]);
        GfxRect size = _gfx_json_rect(frame["sourceSize"]);
        gfx_img_add(name.c_str(), tid, rect, GfxRect(trim.x, trim.y, size.w, size.h));
    }
}
