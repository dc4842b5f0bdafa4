// Widget toolkit benchmarks, without GL: the drawing goes to the counting
// back end of the tests (calls counted, nothing drawn), text is measured in
// a font made by code (10-pixel glyphs), so what is timed is the toolkit's
// own work.
// - one frame of a 1,000-cell table as its owner drives it: loop (auto-focus
//   search and per-widget hooks), resize (a style step per widget, natural
//   sizes, the grid layout with its two sorts) and paint (visibility,
//   decoration and text calls);
// - the same frame's resize and paint alone;
// - the reference: the very calls that the frame hands the back end,
//   recorded once and replayed straight to it: the least any toolkit must
//   pay to draw this table.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "font_fixtures.h"
#include "gui_record.h"
#include "qel_font.h"
#include "qel_gui.h"

static const int ROWS = 50, COLS = 20;

static Container* _root = nullptr;
static GuiDrawRecorder* _count = nullptr;

// 1,000 labels in a table, every one with a border, a padding and a
// background, as a console or a menu would style them.
static void _build(int fid) {
    _root = new Container();
    Table* t = new Table();
    t->name = "table";
    for (int r = 0; r < ROWS; r++) {
        t->tr();
        for (int c = 0; c < COLS; c++) {
            Label* l = new Label(QelGuiFont(fid), ("r" + std::to_string(r) + "c" + std::to_string(c)).c_str());
            l->style.set_border(1);
            l->style.border_color = 0x404040;
            l->style.set_padding(2);
            l->style.background.color = 0x202020;
            l->style.color = 0xe0e0e0;
            t->td(l, 1, 1, -1, -1);
        }
    }
    _root->add(t, 0, 0);
}

static void _frame() {
    _root->loop();
    _root->resize();
    _root->paint();
}

static void BM_TableFrame(benchmark::State& state) {
    for (auto _ : state) _frame();
    long before = _count->draws;
    _frame();
    state.counters["widgets"] = (double)_root->widgets[0]->_list_descendants().size();
    state.counters["draws/frame"] = (double)(_count->draws - before);
}
BENCHMARK(BM_TableFrame)->Unit(benchmark::kMicrosecond);

static void BM_TableResize(benchmark::State& state) {
    for (auto _ : state) _root->resize();
}
BENCHMARK(BM_TableResize)->Unit(benchmark::kMicrosecond);

static void BM_TablePaint(benchmark::State& state) {
    _root->resize();
    for (auto _ : state) _root->paint();
}
BENCHMARK(BM_TablePaint)->Unit(benchmark::kMicrosecond);

// One call the frame made to the back end, to be made again.
struct _Call {
    enum Kind { COLOR, TRANSLATE, FILL, TEXT } kind;
    float a, b, c, d;
    int i;
    std::string s;
};

// Writes down every drawing call of one frame.
class _Capture : public GuiDraw {
  public:
    std::vector<_Call> calls;
    void color(unsigned char r, unsigned char g, unsigned char b, unsigned char a) override {
        calls.push_back({_Call::COLOR, (float)r, (float)g, (float)b, (float)a, 0, ""});
    }
    void translate(float x, float y) override { calls.push_back({_Call::TRANSLATE, x, y, 0, 0, 0, ""}); }
    bool visible(GfxRect) override { return true; }
    void fill(unsigned int c, int x, int y, int w, int h) override {
        calls.push_back({_Call::FILL, (float)x, (float)y, (float)w, (float)h, (int)c, ""});
    }
    void text(int fid, const char* s, float x, float y, float w, int align) override {
        calls.push_back({_Call::TEXT, x, y, w, (float)align, fid, s});
    }
};

// Reference: the frame's drawing calls, replayed to the counting back end.
static void BM_Reference_ReplayDrawCalls(benchmark::State& state) {
    _Capture cap;
    _gui_set_draw(&cap);
    _frame();
    _gui_set_draw(_count);
    for (auto _ : state) {
        for (const _Call& c : cap.calls) {
            switch (c.kind) {
            case _Call::COLOR:
                _count->color((unsigned char)c.a, (unsigned char)c.b, (unsigned char)c.c, (unsigned char)c.d);
                break;
            case _Call::TRANSLATE: _count->translate(c.a, c.b); break;
            case _Call::FILL: _count->fill((unsigned)c.i, (int)c.a, (int)c.b, (int)c.c, (int)c.d); break;
            case _Call::TEXT: _count->text(c.i, c.s.c_str(), c.a, c.b, c.c, (int)c.d); break;
            }
        }
    }
    state.counters["calls/frame"] = (double)cap.calls.size();
}
BENCHMARK(BM_Reference_ReplayDrawCalls)->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    font_init();
    int fid = fixture_font_register(10, 10);
    _count = new GuiDrawRecorder();
    _count->keep_lines = false;
    _build(fid);
    benchmark::RunSpecifiedBenchmarks();
    delete _root;
    delete _count;
    font_deinit();
    return 0;
}
