// Text benchmarks, run by hand under an X server (DISPLAY) on the real GL
// context, with the engine's console font at 24 points:
// - the console's worst frame: 255 log lines of 100 bytes, each measured
//   wrapped at 1536 pixels (font_get_height) and drawn (font_draw), with
//   glFinish at the end of the frame; also with the process's CPU time, which
//   counts the GL driver's rasterizer threads;
// - the same frame's layout alone: each line laid out twice, as the frame
//   does (once to measure, once inside font_draw), and nothing drawn;
// - the reference, a bare loop summing the advances of the same bytes: the
//   least any layout must do;
// - a second reference, the frame's glyph triangles built once and sent
//   straight to GL, one draw call per line: what the GL side costs.
#include <benchmark/benchmark.h>

#include <GL/gl.h>
#include <malloc.h>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench_quiet.h"
#include "gl_window.h"
#include "qel_driver.h"
#include "qel_font.h"
#include "qel_gfx.h"

int _QEL_GL_TEXTURE_MAG_FILTER() { return GL_LINEAR; }

static const int LINES = 255, BYTES = 100, WIDTH = 1536, HEIGHT = 864;
static int _fid = 0;
static std::vector<std::string> _lines;

// Where the log lines of the code under test go (see bench_quiet.h).
static const char* const LOG = "/tmp/qel_bench_font.log";

// Words of 1 to 10 letters and digits between single spaces, like log text.
static std::string _line(unsigned* seed) {
    static const char chars[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789.,:()";
    std::string s;
    int word = 0;
    while ((int)s.size() < BYTES) {
        *seed = *seed * 1103515245 + 12345;
        if (word > 0 && (word >= 10 || (*seed >> 16) % 7 == 0)) {
            s += ' ';
            word = 0;
        } else {
            s += chars[(*seed >> 16) % (sizeof chars - 1)];
            word++;
        }
    }
    return s;
}

static bool _setup() {
    std::string why;
    if (!gl_window_open(WIDTH, HEIGHT, &why)) return false;
    driver_set_altdir(QEL_SOURCE_DIR "/data");
    gfx_init();
    gfx_set_size(WIDTH, HEIGHT);
    gfx_set_scale(1);
    gfx_ortho();
    font_init();
    _fid = font_load("console", 24);
    unsigned seed = 1;
    for (int i = 0; i < LINES; i++) _lines.push_back(_line(&seed));
    return _fid > 0;
}

// Lines stack upward from the bottom as the console's log does, starting
// again at the bottom whenever they leave the window, so that every glyph is
// rasterized.
static void _frame(bool draw) {
    float y = HEIGHT;
    for (const std::string& s : _lines) {
        float h = font_get_height(_fid, s.c_str(), WIDTH);
        y -= h;
        if (y < 0) y = HEIGHT - h;
        if (draw) font_draw(_fid, s.c_str(), 0, y, WIDTH, -1);
    }
}

static void BM_Console_LayoutAndDraw(benchmark::State& state) {
    for (auto _ : state) {
        _frame(true);
        glFinish();
    }
    state.counters["glyphs/frame"] = LINES * BYTES;
}
BENCHMARK(BM_Console_LayoutAndDraw)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Console_LayoutAndDraw)->MeasureProcessCPUTime()->Unit(benchmark::kMicrosecond);

static void BM_Console_LayoutOnly(benchmark::State& state) {
    for (auto _ : state) {
        _frame(false);
        FontWrap wrap;
        for (const std::string& s : _lines) _font_wrap_calc(_fid, s.c_str(), WIDTH, wrap);
        benchmark::DoNotOptimize(wrap);
    }
}
BENCHMARK(BM_Console_LayoutOnly)->Unit(benchmark::kMicrosecond);

// Reference: the advances of the same bytes summed, nothing else.
static void BM_Reference_SumAdvances(benchmark::State& state) {
    const FontInfo& f = _font->data[_fid];
    for (auto _ : state) {
        float total = 0;
        for (const std::string& s : _lines)
            for (unsigned char c : s) total += f.shapes[c].w * f.scale;
        benchmark::DoNotOptimize(total);
    }
}
BENCHMARK(BM_Reference_SumAdvances)->Unit(benchmark::kMicrosecond);

// Reference: the frame's triangles, built once, straight to GL.
static void BM_Reference_RawGlTriangles(benchmark::State& state) {
    const FontInfo& f = _font->data[_fid];
    std::vector<std::vector<GLfloat>> verts, coords;
    // The same places as font_draw's, baseline shift included.
    float shift = (float)((f.height - f.base) * 0.333 * f.scale);
    float y = HEIGHT;
    for (const std::string& s : _lines) {
        y -= 24;
        if (y < 0) y = HEIGHT - 24;
        std::vector<GLfloat> v, c;
        float x = 0;
        for (unsigned char ch : s) {
            const GfxRect& R = f.rects[ch];
            const GfxRect& S = f.shapes[ch];
            float dx = x + S.x, dy = y + S.y + shift, s0 = R.x / f.rect.w, t0 = R.y / f.rect.h;
            float s1 = (R.x + R.w) / f.rect.w, t1 = (R.y + R.h) / f.rect.h;
            x += S.w;
            if (R.w == 0) continue;
            v.insert(v.end(), {dx, dy, dx + R.w, dy, dx, dy + R.h, dx, dy + R.h, dx + R.w, dy, dx + R.w, dy + R.h});
            c.insert(c.end(), {s0, t0, s1, t0, s0, t1, s0, t1, s1, t0, s1, t1});
        }
        verts.push_back(v);
        coords.push_back(c);
    }
    GLuint tex = (GLuint)gfx_tex_get_id(f.tex);
    for (auto _ : state) {
        for (size_t i = 0; i < verts.size(); i++) {
            glBindTexture(GL_TEXTURE_2D, tex);
            glVertexPointer(2, GL_FLOAT, 0, verts[i].data());
            glTexCoordPointer(2, GL_FLOAT, 0, coords[i].data());
            glDrawArrays(GL_TRIANGLES, 0, (GLsizei)(verts[i].size() / 2));
        }
        glFinish();
    }
}
BENCHMARK(BM_Reference_RawGlTriangles)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Reference_RawGlTriangles)->MeasureProcessCPUTime()->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv) {
    // The software rasterizer frees and grows back a large block every frame.
    // With glibc's default trimming the heap goes back to the kernel and is
    // faulted in again each time, which costs more than the text itself and
    // changes with the order the benchmarks run in; a fixed threshold keeps
    // the heap, for the code under test and the references alike.
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
    benchmark::Initialize(&argc, argv);
    bool ok = false;
    bench_quiet(LOG, [&] { ok = _setup(); });
    if (!ok) {
        fprintf(stderr, "bench_font: no GL context (is DISPLAY set?) or no console font\n");
        return 1;
    }
    printf("GL: %s / %s\n", glGetString(GL_VERSION), glGetString(GL_RENDERER));
    benchmark::RunSpecifiedBenchmarks();
    bench_quiet(LOG, [] {
        font_deinit();
        gfx_deinit();
        driver_deinit();
    });
    return 0;
}
