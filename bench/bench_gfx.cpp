// Graphics benchmarks, run by hand under an X server (DISPLAY) on the real
// GL context:
// - a frame of 10,000 gfx_img_blit calls against the reference, a raw loop of
//   the same quads on the same textures (bind, pointers, glDrawArrays), with
//   and without a clip pushed: the difference is what the registry and the
//   clip cut cost;
// - the load of a 2048 x 2048 PNG split into decode, prepare and upload,
//   against the reference stbi_load_from_memory alone.
#include <benchmark/benchmark.h>

#include <GL/gl.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <stb_image.h>
#include <stb_image_write.h>

#include "bench_quiet.h"
#include "gl_window.h"
#include "qel_driver-tex_load.h"
#include "qel_driver.h"
#include "qel_gfx.h"
#include "tempdir.h"

int _QEL_GL_TEXTURE_MAG_FILTER() { return GL_LINEAR; }

static const int QUADS = 10000, IMAGES = 16;
static TempDir _dir;  // the pictures

// Where the log lines of the code under test go (see bench_quiet.h).
static const char* const LOG = "/tmp/qel_bench_gfx.log";

static std::vector<int> _imgs;
static std::vector<float> _pos;  // x, y per quad

// A picture with enough detail that PNG cannot shrink it to nothing.
static std::vector<unsigned char> _picture(int w, int h) {
    std::vector<unsigned char> px((size_t)w * h * 4);
    unsigned seed = 7;
    for (size_t i = 0; i < px.size(); i += 4) {
        seed = seed * 1103515245 + 12345;
        size_t x = (i / 4) % w, y = (i / 4) / w;
        px[i] = (unsigned char)(x * 255 / w);
        px[i + 1] = (unsigned char)(y * 255 / h);
        px[i + 2] = (unsigned char)((seed >> 16) & 63);
        px[i + 3] = (unsigned char)(128 + ((seed >> 24) & 127));
    }
    return px;
}

static bool _setup() {
    std::string why;
    if (!gl_window_open(1024, 768, &why)) return false;
    driver_set_altdir(_dir.path().c_str());
    gfx_init();
    gfx_set_size(1024, 768);
    gfx_set_scale(1);
    gfx_ortho();
    std::vector<unsigned char> small = _picture(32, 32);
    for (int i = 0; i < IMAGES; i++) {
        std::string name = "img" + std::to_string(i);
        stbi_write_png(_dir.file(name + ".png").c_str(), 32, 32, 4, small.data(), 32 * 4);
        _imgs.push_back(gfx_img_load(name.c_str()));
    }
    srand(1);
    for (int i = 0; i < QUADS; i++) {
        _pos.push_back((float)(rand() % 1000));
        _pos.push_back((float)(rand() % 740));
    }
    std::vector<unsigned char> big = _picture(2048, 2048);
    stbi_write_png(_dir.file("big.png").c_str(), 2048, 2048, 4, big.data(), 2048 * 4);
    return true;
}

static void BM_Frame_ImgBlit(benchmark::State& state) {
    bool clipped = state.range(0) != 0;
    for (auto _ : state) {
        if (clipped) gfx_clip(0, 0, 1024, 768);
        for (int i = 0; i < QUADS; i++)
            gfx_img_blit(_imgs[i % IMAGES], _pos[2 * i], _pos[2 * i + 1], 24, 24);
        if (clipped) gfx_unclip();
        glFinish();
    }
    state.counters["quads/s"] = benchmark::Counter((double)QUADS * state.iterations(), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_Frame_ImgBlit)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// Reference: the same quads straight to GL, coordinates computed inline.
static void BM_Frame_RawQuads(benchmark::State& state) {
    std::vector<GLuint> names;
    std::vector<float> tc;
    for (int img : _imgs) {
        names.push_back((GLuint)gfx_img_get_tex(img));
        const GfxTexture* t = _gfx_get_tex(_gfx_get_img(img)->tid);
        tc.push_back(32 / t->rect.w);
        tc.push_back(32 / t->rect.h);
    }
    for (auto _ : state) {
        for (int i = 0; i < QUADS; i++) {
            float x = _pos[2 * i], y = _pos[2 * i + 1], s = tc[2 * (i % IMAGES)],
                  t = tc[2 * (i % IMAGES) + 1];
            GLfloat v[8] = {x, y, x, y + 24, x + 24, y, x + 24, y + 24};
            GLfloat c[8] = {0, 0, 0, t, s, 0, s, t};
            glBindTexture(GL_TEXTURE_2D, names[i % IMAGES]);
            glVertexPointer(2, GL_FLOAT, 0, v);
            glTexCoordPointer(2, GL_FLOAT, 0, c);
            glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
        }
        glFinish();
    }
    state.counters["quads/s"] = benchmark::Counter((double)QUADS * state.iterations(), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_Frame_RawQuads)->Unit(benchmark::kMillisecond);

// Reference: decoding the file's bytes alone.
static void BM_Png2048_StbiLoadFromMemory(benchmark::State& state) {
    int len = 0;
    void* data = driver_file_alloc(_dir.file("big.png").c_str(), &len);
    for (auto _ : state) {
        int w, h, bpp;
        unsigned char* px = stbi_load_from_memory((const stbi_uc*)data, len, &w, &h, &bpp, 4);
        benchmark::DoNotOptimize(px);
        stbi_image_free(px);
    }
    free(data);
}
BENCHMARK(BM_Png2048_StbiLoadFromMemory)->Unit(benchmark::kMillisecond);

// Decode: the whole file read and decoded (_stbi_load).
static void BM_Png2048_Decode(benchmark::State& state) {
    std::string path = _dir.file("big.png");
    for (auto _ : state) {
        int w, h, bpp;
        unsigned char* px = _stbi_load(path.c_str(), &w, &h, &bpp, 4);
        benchmark::DoNotOptimize(px);
        stbi_image_free(px);
    }
}
BENCHMARK(BM_Png2048_Decode)->Unit(benchmark::kMillisecond);

// Prepare: premultiply in place (2048 fills its texture), and for a
// 2000 x 2000 picture the copy into a 2048 x 2048 zeroed buffer as well.
static void BM_Png2048_Prepare(benchmark::State& state) {
    int side = (int)state.range(0);
    std::vector<unsigned char> src = _picture(side, side), px;
    for (auto _ : state) {
        state.PauseTiming();
        px = src;
        state.ResumeTiming();
        int w, h, tw, th;
        unsigned char* buf = _driver_tex_prepare(px.data(), side, side, false, &w, &h, &tw, &th);
        benchmark::DoNotOptimize(buf);
        if (buf != px.data()) free(buf);
    }
}
BENCHMARK(BM_Png2048_Prepare)->Arg(2048)->Arg(2000)->Unit(benchmark::kMillisecond);

// Upload: a new texture with the loader's parameters, mipmaps generated.
static void BM_Png2048_Upload(benchmark::State& state) {
    std::vector<unsigned char> px = _picture(2048, 2048);
    for (auto _ : state) {
        GLuint tex = 0;
        glGenTextures(1, &tex);
        glBindTexture(GL_TEXTURE_2D, tex);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, _qel_gl_texture_min_filter());
        if (_qel_gl_generate_mipmap()) glTexParameteri(GL_TEXTURE_2D, GL_GENERATE_MIPMAP, 1);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 2048, 2048, 0, GL_RGBA, GL_UNSIGNED_BYTE, px.data());
        glFinish();
        glDeleteTextures(1, &tex);
    }
}
BENCHMARK(BM_Png2048_Upload)->Unit(benchmark::kMillisecond);

// The whole of _driver_tex_load.
static void BM_Png2048_TexLoad(benchmark::State& state) {
    std::string path = _dir.file("big.png");
    bench_quiet(LOG, [&] {
        for (auto _ : state) {
            int w, h, tw, th;
            GLuint tex = (GLuint)_driver_tex_load(path.c_str(), &w, &h, &tw, &th);
            glFinish();
            glDeleteTextures(1, &tex);
        }
    });
}
BENCHMARK(BM_Png2048_TexLoad)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    bool ok = false;
    bench_quiet(LOG, [&] { ok = _setup(); });
    if (!ok) {
        fprintf(stderr, "bench_gfx: no GL context (is DISPLAY set?)\n");
        return 1;
    }
    printf("GL: %s / %s\n", glGetString(GL_VERSION), glGetString(GL_RENDERER));
    benchmark::RunSpecifiedBenchmarks();
    bench_quiet(LOG, [] {
        gfx_deinit();
        driver_deinit();
    });
    return 0;
}
