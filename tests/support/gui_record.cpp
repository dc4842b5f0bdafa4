// Test helper: the toolkit's drawing recorder and the event names.
#include "gui_record.h"

#include <cstdarg>
#include <cstdio>

static const char* const _evt_names[EVT_MAX] = {
    "NONE",  "QUIT",        "SUSPEND",   "RESUME",      "RESIZE",     "RESET",     "KEYDOWN",
    "KEYUP", "DOWN",        "MOTION",    "UP",          "MOUSEDOWN",  "MOUSEMOTION", "MOUSEUP",
    "WHEEL", "TOUCHDOWN",   "TOUCHMOTION", "TOUCHUP",   "ACCEL",      "ORIENT",    "JOYMOTION",
    "JOYDOWN", "JOYUP",     "FOCUS",     "BLUR",        "ENTER",      "EXIT",      "CLICK",
    "SDLEVENT", "LOGIN",    "LOGOUT",    "CUSTOM"};

Event gui_event(int type, float x, float y, int v, int b) {
    Event e(type);
    e.x = x;
    e.y = y;
    e.v = v;
    e.b = b;
    return e;
}

std::string gui_evt_name(int type) {
    if (type < 0 || type >= EVT_MAX) return "?" + std::to_string(type);
    return _evt_names[type];
}

GuiLog gui_log_grep(const GuiLog& log, const std::string& needle) {
    GuiLog r;
    for (const std::string& l : log)
        if (l.find(needle) != std::string::npos) r.push_back(l);
    return r;
}

std::vector<std::string> GuiDrawRecorder::only(const std::string& prefix) const {
    std::vector<std::string> r;
    for (const std::string& l : lines)
        if (l.compare(0, prefix.size(), prefix) == 0) r.push_back(l);
    return r;
}

void GuiDrawRecorder::_line(bool draw, const char* fmt, ...) {
    calls++;
    if (draw) draws++;
    if (!keep_lines) return;
    char buf[256];
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    lines.push_back(buf);
}

void GuiDrawRecorder::color(unsigned char r, unsigned char g, unsigned char b, unsigned char a) {
    _line(false, "color %d %d %d %d", r, g, b, a);
}

void GuiDrawRecorder::translate(float x, float y) {
    tx += x;
    ty += y;
    _line(false, "translate %g %g", x, y);
}

void GuiDrawRecorder::clip(float x, float y, float w, float h) {
    if (++clip_n <= 8) {
        GfxRect c(tx + x, ty + y, w, h);
        if (!clips.empty()) _gfx_clip_test(clips.back(), &c, nullptr);
        clips.push_back(c);
    }
    _line(false, "clip %g %g %g %g", x, y, w, h);
}

void GuiDrawRecorder::unclip() {
    if (clip_n > 0 && clip_n-- <= 8) clips.pop_back();
    _line(false, "unclip");
}

bool GuiDrawRecorder::visible(GfxRect r) {
    if (clip_n == 0) return true;
    if (clip_n > 8) return false;
    GfxRect c = clips.back();
    c.x -= tx;
    c.y -= ty;
    return _gfx_clip_test(c, &r, nullptr);
}

void GuiDrawRecorder::fill(unsigned int c, int x, int y, int w, int h) {
    _line(true, "fill %06x %d %d %d %d", c, x, y, w, h);
}

void GuiDrawRecorder::img_blit(int img, float x, float y, float w, float h) {
    _line(true, "blit %d %g %g %g %g", img, x, y, w, h);
}

void GuiDrawRecorder::img_box(int img, int x, int y, int w, int h, int sz) {
    _line(true, "box %d %d %d %d %d %d", img, x, y, w, h, sz);
}

void GuiDrawRecorder::img_tile(int img, int x, int y, int w, int h, int sz) {
    _line(true, "tile %d %d %d %d %d %d", img, x, y, w, h, sz);
}

void GuiDrawRecorder::text(int fid, const char* s, float x, float y, float w, int align) {
    _line(true, "text %d '%s' %g %g %g %d", fid, s, x, y, w, align);
}
