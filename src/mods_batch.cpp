// mods_batch: playing the draw queue every frame in the mod's logical view,
// the premultiplied draw colour, and the texture magnification switch.
#include <SDL_opengl.h>

#include <cmath>

#include "game.h"
#include "mods.h"
#include "qel_driver-tex_load.h"
#include "qel_font.h"
#include "qel_gfx.h"
#include "qel_util.h"

// The largest int that survives the graphics layer's float storage: INT_MAX
// itself becomes 2^31 there, which no longer converts back to an int.
static const int _BATCH_INT_TOP = 2147483520;

// Truncation toward zero that stays defined for every value: NaN gives 0,
// values beyond INT_MIN .. _BATCH_INT_TOP the nearest end.
static int _batch_to_int(float v) {
    int i = myint(v);
    return i > _BATCH_INT_TOP ? _BATCH_INT_TOP : i;
}

struct _BlendColor {
    GLubyte r, g, b, a;
    bool operator==(const _BlendColor& o) const { return r == o.r && g == o.g && b == o.b && a == o.a; }
};

// The colour premultiplied by alpha, as the blending expects. Alpha is first
// held to 0..1 (NaN as 0), so every product stays a byte.
static _BlendColor _blend_color(int color, float alpha) {
    if (!(alpha > 0)) alpha = 0;
    if (alpha > 1) alpha = 1;
    int r = (color >> 16) & 0xFF, g = (color >> 8) & 0xFF, b = color & 0xFF;
    return _BlendColor{(GLubyte)(r * alpha), (GLubyte)(g * alpha), (GLubyte)(b * alpha), (GLubyte)(alpha * 255)};
}

// The draw colour of a command, set at once. The queue itself goes through
// _blend_color to skip a colour that is already set; this stays for callers
// that want the colour set now.
void _blend_set(int color, float alpha, int mode) {
    (void)mode;
    _BlendColor c = _blend_color(color, alpha);
    glColor4ub(c.r, c.g, c.b, c.a);
}

// The logical view from the parameters: "view_w" x "view_h" shifted by
// -"view_x", -"view_y" and scaled to fit the window. A size that is not a
// positive finite number (a script can pass 0/0 or math.huge), or one so
// small that the scale overflows, falls back to the window size at scale 1:
// an infinite or NaN scale would turn every later conversion into NaN.
void _mods_view_init(Game& game) {
    ModsAPI* api = game.data.mods.api;
    if (!api) return;
    var& p = api->params;
    float vw = p["view_w"], vh = p["view_h"];
    float sw = (float)game_get_sw(), sh = (float)game_get_sh();
    bool usable = std::isfinite(vw) && std::isfinite(vh) && vw > 0 && vh > 0;
    float scale = usable ? mymin(sw / vw, sh / vh) : 0.0f;
    if (!(std::isfinite(scale) && scale > 0)) {
        vw = sw;
        vh = sh;
        scale = 1.0f;
    }
    p["view_scale"] = var(scale);
    gfx_set_size(_batch_to_int(vw), _batch_to_int(vh));
    gfx_set_shift(_batch_to_int(-(float)p["view_x"]), _batch_to_int(-(float)p["view_y"]));
    gfx_set_scale(scale);
}

// The commands just played keep their strings for the next picture's; the
// records those were lent to last time hold only empty ones by now.
void GBatch::clear() {
    std::swap(queue, _last);
    queue.clear();
}

GCommand& GBatch::add(int type) {
    size_t i = queue.size();
    queue.emplace_back();
    GCommand& c = queue.back();
    c.type = type;
    // Only storage beyond what a new string holds is worth taking over.
    if (i < _last.size()) {
        GCommand& last = _last[i];
        if (last.name.capacity() > c.name.capacity()) {
            c.name.swap(last.name);
            c.name.clear();
        }
        if (last.text.capacity() > c.text.capacity()) {
            c.text.swap(last.text);
            c.text.clear();
        }
    }
    return c;
}

// An image or font is looked up by name only when the name differs from the
// previous command's of its kind: a run of one picture costs one lookup. The
// registries never move a name to another handle while the queue plays, and
// the blit itself brings back a texture that the budget freed. Nothing but
// the commands sets the GL colour while they play, so a colour that is set
// already is not set again, and the graphics layer is handed each new one
// rather than reading it back for every quad.
void GBatch::draw() {
    Game* game = game_this();
    if (!game || !game->data.mods.api) return;
    var& p = game->data.mods.api->params;
    const std::string* img_name = nullptr;
    const std::string* font_name = nullptr;
    int img = 0, font = 0, font_points = 0;
    bool coloured = false;
    _BlendColor now = {};
    int now_color = 0;
    float now_alpha = 0;
    auto colour = [&](const GCommand& c) {
        if (coloured && c.color == now_color && c.alpha == now_alpha) return;
        now_color = c.color;
        now_alpha = c.alpha;
        _BlendColor k = _blend_color(c.color, c.alpha);
        if (coloured && k == now) return;
        glColor4ub(k.r, k.g, k.b, k.a);
        GLfloat held[4];
        glGetFloatv(GL_CURRENT_COLOR, held);
        _gfx_batch_color(held);
        now = k;
        coloured = true;
    };
    for (const GCommand& c : queue) {
        switch (c.type) {
            case GCMD_VIEW:
                p["view_x"] = var(c.x);
                p["view_y"] = var(c.y);
                p["view_w"] = var(c.w);
                p["view_h"] = var(c.h);
                p["view_depth"] = var(c.depth);
                _mods_view_init(*game);
                gfx_ortho();
                break;
            case GCMD_IMAGE: {
                if (!img_name || c.name != *img_name) {
                    img = gfx_img_load(c.name.c_str());
                    img_name = &c.name;
                }
                colour(c);
                float px = c.x - c.cx, py = c.y - c.cy;
                if (c.w < 0) px -= c.w;
                if (c.h < 0) py -= c.h;
                gfx_img_blit(img, px, py, c.w, c.h);
                break;
            }
            case GCMD_TEXT: {
                if (!font_name || c.points != font_points || c.name != *font_name) {
                    font = font_load(c.name.c_str(), c.points);
                    font_name = &c.name;
                    font_points = c.points;
                }
                colour(c);
                font_draw(font, c.text.c_str(), c.x, c.y, c.w, c.align);
                break;
            }
        }
    }
    _gfx_batch_color(nullptr);
    gfx_flush();
}

// Only a healthy _paint() replaces the queue: after a failure the last
// picture keeps being played.
void mods_paint(Game& game) {
    ModsAPI* api = game.data.mods.api;
    if (!api) return;
    api->params_set("default_w", var(game_get_sw()));
    api->params_set("default_h", var(game_get_sh()));
    ModsBase* mod = game.data.mods.mod;
    if (mod && mod->is_ok()) {
        api->batch.clear();
        mod->paint();
    }
    api->batch.draw();
    glColor4ub(255, 255, 255, 255);
}

int _QEL_GL_TEXTURE_MAG_FILTER() {
    Game* game = game_this();
    if (!game || !game->data.mods.api) return GL_LINEAR;
    return game->data.mods.api->params["filter"].__str__() == "nearest" ? GL_NEAREST : GL_LINEAR;
}
