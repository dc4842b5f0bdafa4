// Frames of a mod that draws N sprites per frame through qel_image_draw, on
// the real GL context under an X server (DISPLAY), run by hand:
//   build/bench/bench_sprites                 frames per second and CPU per frame
//   build/bench/bench_sprites --callgrind N F F frames of N sprites, for
//                                             bench/sprites_callgrind.sh
// The sprites are 8 x 8 pixels of one picture in the 1280 x 720 window (the
// view is the window, scale 1): small enough that the frame's cost is the
// work per sprite, not the filling of pixels.
// A frame is what Game::paint does without the pacing sleep: clear, the
// mod's picture (its _paint queueing N image commands, then the queue
// played), the console's window view, the buffer swap. Against it in the
// same run:
// - the script's part alone: the queue emptied and _paint run, nothing played;
// - the same N sprites blitted straight from C++ with gfx_img_blit in the
//   same view, with the same clear and swap, so the difference is what the
//   Lua call and the queue add to each sprite;
// - the reference, the rasteriser's limit: a raw batched loop of our own,
//   the N quads written into client arrays and sent with one glDrawArrays,
//   one texture, in the same projection, with the same clear and swap.
// Times are wall-clock per frame (so frames per second is their inverse);
// CPU is the whole process's, the software GL's threads included.
#include <benchmark/benchmark.h>
#include <valgrind/callgrind.h>

#include <GL/gl.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <stb_image_write.h>

#include "game.h"
#include "gl_window.h"
#include "mods.h"
#include "mods_lua.h"
#include "qel_driver.h"
#include "qel_font.h"
#include "qel_gfx.h"
#include "qel_mixer.h"
#include "tempdir.h"

namespace {

Game _game;
TempDir _dir;  // the mod and its picture

const int W = 1280, H = 720, SPRITE = 8;

// The sprite positions in the view: the script computes the same.
float _sprite_x(int i) { return (float)((i * 7) % (W - SPRITE)); }
float _sprite_y(int i) { return (float)((i * 13) % (H - SPRITE)); }

const char* kMod =
    "N = 0\n"
    "function _paint()\n"
    "  qel_view_set(0, 0, 1280, 720)\n"
    "  for i = 1, N do\n"
    "    qel_image_draw('sprite', (i * 7) % 1272, (i * 13) % 712, 8, 8)\n"
    "  end\n"
    "end\n";

bool _setup() {
    std::string why;
    if (!gl_window_open(W, H, &why)) return false;
    const std::string& dir = _dir.path();
    std::vector<unsigned char> px(SPRITE * SPRITE * 4);
    for (size_t i = 0; i < px.size(); i += 4) {
        px[i] = (unsigned char)(i * 3), px[i + 1] = 160, px[i + 2] = (unsigned char)(255 - i), px[i + 3] = 255;
    }
    if (!stbi_write_png((dir + "/sprite.png").c_str(), SPRITE, SPRITE, 4, px.data(), SPRITE * 4)) return false;
    FILE* f = fopen((dir + "/main.lua").c_str(), "w");
    if (!f) return false;
    fputs(kMod, f);
    fclose(f);
    driver_set_gamename("Bench");
    gfx_init();
    font_init();
    mixer_init();
    GAME_THIS = &_game;
    snprintf(_game.data.mods.fname, sizeof _game.data.mods.fname, "%s/main.lua", dir.c_str());
    mods_restart(_game, 1);
    return true;
}

void _set_sprites(int n) {
    std::string line = "N = " + std::to_string(n);
    _game.data.mods.mod->script(line.c_str(), "bench");
}

void _frame() {
    gfx_clear();
    mods_paint(_game);
    modsapi_log_paint(_game.data.mods.api);
    gfx_flush();
    driver_video_flip();
}

void _counters(benchmark::State& state) {
    state.counters["fps"] = benchmark::Counter((double)state.iterations(), benchmark::Counter::kIsRate);
    state.counters["sprites/s"] =
        benchmark::Counter((double)state.iterations() * state.range(0), benchmark::Counter::kIsRate);
}

void BM_ModFrame(benchmark::State& state) {
    _set_sprites((int)state.range(0));
    for (auto _ : state) _frame();
    _counters(state);
}

// The script's part: the Lua loop, the calls and the queued commands.
void BM_ModPaintNoPlay(benchmark::State& state) {
    _set_sprites((int)state.range(0));
    ModsAPI* api = _game.data.mods.api;
    for (auto _ : state) {
        api->batch.clear();
        _game.data.mods.mod->paint();
    }
    _counters(state);
}

// Reference: the same sprites from C++, no script and no queue.
void BM_RefDirectBlit(benchmark::State& state) {
    int n = (int)state.range(0);
    int img = gfx_img_load("sprite");
    ModsAPI* api = _game.data.mods.api;
    for (auto _ : state) {
        gfx_clear();
        api->params["view_x"] = var(0);
        api->params["view_y"] = var(0);
        api->params["view_w"] = var(W);
        api->params["view_h"] = var(H);
        _mods_view_init(_game);
        gfx_ortho();
        for (int i = 1; i <= n; i++) gfx_img_blit(img, _sprite_x(i), _sprite_y(i), SPRITE, SPRITE);
        modsapi_log_paint(api);
        gfx_flush();
        driver_video_flip();
    }
    _counters(state);
}

// Reference: the raw batched loop. Each quad is two triangles, corner for
// corner what the image layer makes of the sprite.
void BM_RefRawBatched(benchmark::State& state) {
    int n = (int)state.range(0);
    int img = gfx_img_load("sprite");
    GLuint tex = (GLuint)gfx_img_get_tex(img);
    const GfxRect& size = _gfx_get_tex(_gfx_get_img(img)->tid)->rect;
    float s = SPRITE / size.w, t = SPRITE / size.h;
    std::vector<GLfloat> v((size_t)n * 12), c((size_t)n * 12);
    for (auto _ : state) {
        gfx_clear();
        gfx_set_size(W, H);
        gfx_set_shift(0, 0);
        gfx_set_scale(1);
        gfx_ortho();
        for (int i = 1; i <= n; i++) {
            float x = _sprite_x(i), y = _sprite_y(i), x2 = x + SPRITE, y2 = y + SPRITE;
            const GLfloat qv[12] = {x, y, x, y2, x2, y, x2, y, x, y2, x2, y2};
            const GLfloat qc[12] = {0, 0, 0, t, s, 0, s, 0, 0, t, s, t};
            memcpy(&v[(size_t)(i - 1) * 12], qv, sizeof qv);
            memcpy(&c[(size_t)(i - 1) * 12], qc, sizeof qc);
        }
        glBindTexture(GL_TEXTURE_2D, tex);
        glVertexPointer(2, GL_FLOAT, 0, v.data());
        glTexCoordPointer(2, GL_FLOAT, 0, c.data());
        glDrawArrays(GL_TRIANGLES, 0, n * 6);
        driver_video_flip();
    }
    _counters(state);
}

void _sizes(benchmark::internal::Benchmark* b) {
    b->Arg(1000)->Arg(10000)->Arg(50000)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();
}
BENCHMARK(BM_ModFrame)->Apply(_sizes);
BENCHMARK(BM_ModPaintNoPlay)->Apply(_sizes);
BENCHMARK(BM_RefDirectBlit)->Apply(_sizes);
BENCHMARK(BM_RefRawBatched)->Apply(_sizes);

// F frames of N sprites with callgrind's instrumentation on, after two
// frames that load the picture and warm the caches.
int _callgrind(int n, int frames) {
    _set_sprites(n);
    _frame();
    _frame();
    CALLGRIND_START_INSTRUMENTATION;
    CALLGRIND_ZERO_STATS;
    for (int i = 0; i < frames; i++) _frame();
    CALLGRIND_STOP_INSTRUMENTATION;
    printf("callgrind: %d frames of %d sprites\n", frames, n);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (!_setup()) {
        fprintf(stderr, "bench_sprites: no GL window (is DISPLAY set?)\n");
        return 1;
    }
    int rc = 0;
    if (argc == 4 && strcmp(argv[1], "--callgrind") == 0) {
        rc = _callgrind(atoi(argv[2]), atoi(argv[3]));
    } else {
        benchmark::Initialize(&argc, argv);
        benchmark::RunSpecifiedBenchmarks();
        benchmark::Shutdown();
    }
    mods_destroy(_game);
    GAME_THIS = nullptr;
    mixer_deinit();
    font_deinit();
    gfx_deinit();
    driver_deinit();
    return rc;
}
