// Audio benchmark, run by hand (no X needed): one run of the mixing callback
// on a device buffer of 1024 frames (4096 bytes, 23.2 ms of sound) with N
// playing samples (N = 1, 8, 32, 64, at volume 0.8) plus one playing Ogg
// stream, against the reference: SDL_MixAudioFormat mixing the same number of
// buffers of the same sounds, already in the device format, into one device
// buffer. The "period_%" column is the time per buffer as a share of the
// buffer's 23.2 ms. The callback's figure includes the stream's Vorbis
// decoding; the rows with a stream count of 0 leave it out.
//
//   build/bench/bench_audio
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench_quiet.h"
#include "audio_fixtures.h"
#include "qel_driver-audio.h"
#include "qel_driver-tex_load.h"
#include "qel_driver.h"
#include "tempdir.h"

int _QEL_GL_TEXTURE_MAG_FILTER() { return GL_LINEAR; }

static const int BYTES = 4096;
static const double PERIOD = 1024.0 / 44100.0;
static int _sample = 0, _stream = 0;
static std::vector<int16_t> _sample_s16, _stream_s16;  // a device buffer of each

// Where the log lines of the code under test go (see bench_quiet.h).
static const char* const LOG = "/tmp/qel_bench_audio.log";

static void _setup() {
    if (_sample) return;
    static TempDir dir;
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    std::vector<int16_t> tone = pcm_sine(44100 * 2, 2, 44100, 440, 0.3);
    std::vector<int16_t> music = pcm_sine(44100 * 10, 2, 44100, 330, 0.3);
    write_file(dir.file("tone.wav"), wav_file(WAV_PCM, 16, 2, 44100, wav_data_s16(tone)));
    if (!ogg_encode(dir.file("music.ogg"), music, 2, 44100)) abort();
    bench_quiet(LOG, [&] {
        driver_init(DRIVER_AUDIO);
        if (!_sdl_audio_data) abort();
        SDL_PauseAudio(1);
        _sample = driver_audio_sample_load(dir.file("tone.wav").c_str());
        _stream = driver_audio_stream_load(dir.file("music.ogg").c_str(), false);
    });
    _sample_s16.assign(tone.begin(), tone.begin() + BYTES / 2);
    _stream_s16.assign(music.begin(), music.begin() + BYTES / 2);
}

// The mean time per buffer, in per cent of the buffer's duration.
static void _period_share(benchmark::State& state, std::chrono::steady_clock::time_point t0) {
    double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    state.counters["period_%"] = s / (double)state.iterations() / PERIOD * 100.0;
}

static void BM_Callback(benchmark::State& state) {
    _setup();
    int n = (int)state.range(0);
    bool stream = state.range(1) != 0;
    bench_quiet(LOG, [&] {
        for (int i = 0; i < n; i++) driver_audio_sample_play(_sample, 0.8f, 0);
        if (stream) driver_audio_stream_play(_stream, 0.8f, 0);
    });
    // The samples loop here so that their number stays the same throughout.
    for (AudioPlaying& p : _sdl_audio_data->playing) p.loop = 1;
    std::vector<Uint8> out(BYTES);
    auto t0 = std::chrono::steady_clock::now();
    for (auto _ : state) {
        _driver_audio_callback(nullptr, out.data(), BYTES);
        benchmark::DoNotOptimize(out.data());
    }
    _period_share(state, t0);
    bench_quiet(LOG, [&] {
        if (stream) driver_audio_stream_stop(_stream);
    });
    _sdl_audio_data->playing.clear();
}

static void BM_Reference_SDL_MixAudioFormat(benchmark::State& state) {
    _setup();
    int n = (int)state.range(0);
    bool stream = state.range(1) != 0;
    std::vector<Uint8> out(BYTES);
    const int vol = (int)(0.8f * SDL_MIX_MAXVOLUME);
    auto t0 = std::chrono::steady_clock::now();
    for (auto _ : state) {
        memset(out.data(), 0, BYTES);
        for (int i = 0; i < n; i++)
            SDL_MixAudioFormat(out.data(), (const Uint8*)_sample_s16.data(), AUDIO_S16LSB, BYTES, vol);
        if (stream) SDL_MixAudioFormat(out.data(), (const Uint8*)_stream_s16.data(), AUDIO_S16LSB, BYTES, vol);
        benchmark::DoNotOptimize(out.data());
    }
    _period_share(state, t0);
}

BENCHMARK(BM_Callback)->ArgNames({"samples", "stream"})->ArgsProduct({{1, 8, 32, 64}, {1, 0}});
BENCHMARK(BM_Reference_SDL_MixAudioFormat)->ArgNames({"samples", "stream"})->ArgsProduct({{1, 8, 32, 64}, {1}});

BENCHMARK_MAIN();
