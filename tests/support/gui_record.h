// Test helper: the widget toolkit observed from outside.
// - GuiDrawRecorder, a drawing back end that writes every call down as a
//   line (or only counts them) without GL, keeping its own translation and
//   clip stack with the graphics layer's cut so that visibility answers as
//   with the real one; it is installed while it lives.
// - Rec<W>, a widget of class W that writes down every call it gets (events,
//   loop, paint, both resizes) into a shared log, then does what W does.
// - gui_event, a compact maker of the events handed to widgets.
#ifndef QEL_TEST_GUI_RECORD_H
#define QEL_TEST_GUI_RECORD_H

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "qel_gui.h"

class GuiDrawRecorder : public GuiDraw {
  public:
    bool keep_lines = true;          // false: count only
    std::vector<std::string> lines;  // e.g. "fill ff0000 3 3 16 2"
    long calls = 0;                  // every call but visible()
    long draws = 0;                  // fills, images and texts
    float tx = 0, ty = 0;            // the running translation
    std::vector<GfxRect> clips;      // pushed rectangles, untranslated
    int clip_n = 0;                  // pushes not popped; may pass 8

    GuiDrawRecorder() { _gui_set_draw(this); }
    ~GuiDrawRecorder() override { _gui_set_draw(nullptr); }
    GuiDrawRecorder(const GuiDrawRecorder&) = delete;
    GuiDrawRecorder& operator=(const GuiDrawRecorder&) = delete;

    // The recorded lines that start with `prefix`, in order.
    std::vector<std::string> only(const std::string& prefix) const;
    void clear() { lines.clear(); }

    void color(unsigned char r, unsigned char g, unsigned char b, unsigned char a) override;
    void translate(float x, float y) override;
    void clip(float x, float y, float w, float h) override;
    void unclip() override;
    bool visible(GfxRect r) override;
    void fill(unsigned int c, int x, int y, int w, int h) override;
    void img_blit(int img, float x, float y, float w, float h) override;
    void img_box(int img, int x, int y, int w, int h, int sz) override;
    void img_tile(int img, int x, int y, int w, int h, int sz) override;
    void text(int fid, const char* s, float x, float y, float w, int align) override;

  private:
    void _line(bool draw, const char* fmt, ...) __attribute__((format(printf, 3, 4)));
};

// An event of the type with the fields the toolkit reads most; the rest 0.
Event gui_event(int type, float x = 0, float y = 0, int v = 0, int b = 0);

// "FOCUS", "KEYUP" and so on: the event type code without its prefix.
std::string gui_evt_name(int type);

// One line per call: "<name> <what>", e.g. "a event DOWN 5,5 v=23".
typedef std::vector<std::string> GuiLog;

template <class W>
class Rec : public W {
  public:
    GuiLog* log;
    // Called with each event before it is written down and handled.
    std::function<void(Event*)> on_event;

    template <class... A>
    Rec(GuiLog* log, const char* name, A&&... a) : W(std::forward<A>(a)...), log(log) {
        this->name = name;
    }
    var event(Event* e) override {
        if (on_event) on_event(e);
        char buf[128];
        snprintf(buf, sizeof buf, " %g,%g v=%d", e->x, e->y, e->v);
        note("event " + gui_evt_name(e->type) + buf);
        return W::event(e);
    }
    void loop() override {
        note("loop");
        W::loop();
    }
    void paint() override {
        note("paint");
        W::paint();
    }
    void resize() override {
        note("resize");
        W::resize();
    }
    void resize(int w, int h) override {
        note("resize " + std::to_string(w) + "x" + std::to_string(h));
        W::resize(w, h);
    }
    void note(const std::string& what) {
        if (log) log->push_back(this->name + " " + what);
    }
};

// The log lines that contain `needle`, in order.
GuiLog gui_log_grep(const GuiLog& log, const std::string& needle);

#endif
