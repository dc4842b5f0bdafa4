// The audio half of the driver: the mixing arithmetic and the limiter, the
// sources and their decoders on files made here, and the callback driven
// directly on a paused device of SDL's dummy driver.
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include "alloc_count.h"
#include "audio_fixtures.h"
#include "capture.h"
#include "qel_driver-audio.h"
#include "qel_driver.h"
#include "qel_md5.h"
#include "tempdir.h"
#include "time_limit.h"

namespace {

int count(const std::string& text, const std::string& needle) {
    int n = 0;
    for (size_t p = 0; (p = text.find(needle, p)) != std::string::npos; p += needle.size()) n++;
    return n;
}

// What SDL's conversion makes of the float x in a full buffer of the device
// format (its vector path rounds, its scalar path truncates).
int16_t s16(float x) {
    std::vector<float> f(2048, x);
    SDL_AudioCVT cvt;
    SDL_BuildAudioCVT(&cvt, AUDIO_F32LSB, 2, 44100, AUDIO_S16LSB, 2, 44100);
    cvt.buf = (Uint8*)f.data();
    cvt.len = (int)(f.size() * sizeof(float));
    SDL_ConvertAudio(&cvt);
    return ((const int16_t*)f.data())[0];
}

bool has_line(const std::string& log, const std::string& line) { return log.find("] " + line) != std::string::npos; }

std::string md5_hex(const void* data, size_t size) {
    md5_state_t st;
    md5_init(&st);
    md5_append(&st, (const md5_byte_t*)data, (int)size);
    md5_byte_t d[16];
    md5_finish(&st, d);
    char hex[33];
    for (int i = 0; i < 16; i++) snprintf(hex + 2 * i, 3, "%02x", d[i]);
    return hex;
}

// Interleaved stereo S16 with a different sine on each channel.
std::vector<int16_t> pcm_two_tones(int frames, int rate, double left_hz, double right_hz, double amp) {
    std::vector<int16_t> l = pcm_sine(frames, 1, rate, left_hz, amp), r = pcm_sine(frames, 1, rate, right_hz, amp);
    std::vector<int16_t> v;
    for (int i = 0; i < frames; i++) {
        v.push_back(l[(size_t)i]);
        v.push_back(r[(size_t)i]);
    }
    return v;
}

// A click track: a Gaussian pulse at each of `times` (seconds), a quarter of
// a millisecond wide, so that nothing in it lies above the Nyquist frequency
// of 8 kHz, and centred between samples at most rates. A second channel
// carries the pulses upside down.
std::vector<int16_t> pcm_clicks(const std::vector<double>& times, double seconds, int channels, int rate) {
    const double sigma = 0.00025 * rate;
    std::vector<double> v((size_t)(seconds * rate));
    for (double t : times) {
        double c = t * rate;
        for (long i = std::lround(c - 8 * sigma); i <= std::lround(c + 8 * sigma); i++)
            v[(size_t)i] += 0.8 * std::exp(-(i - c) * (i - c) / (2 * sigma * sigma));
    }
    std::vector<int16_t> pcm;
    for (double x : v)
        for (int k = 0; k < channels; k++) pcm.push_back((int16_t)std::lround((k ? -x : x) * 32767));
    return pcm;
}

// Where the click nearest to frame `at` of x (frames at 44100 Hz), within
// `reach` frames of it, lies: the peak of x's correlation with the pulse,
// refined by a parabola through the peak and its neighbours.
double click_position(const std::vector<float>& x, double at, int reach = 400) {
    const int width = 45;
    std::vector<double> pulse(2 * width + 1);
    const double sigma = 0.00025 * 44100;
    for (int j = -width; j <= width; j++) pulse[(size_t)(j + width)] = std::exp(-j * j / (2 * sigma * sigma));
    auto corr = [&](long c) {
        double sum = 0;
        for (int j = -width; j <= width; j++) {
            long i = c + j;
            if (i >= 0 && i < (long)x.size()) sum += x[(size_t)i] * pulse[(size_t)(j + width)];
        }
        return sum;
    };
    long c0 = std::lround(at), best = c0;
    for (long c = c0 - reach; c <= c0 + reach; c++)
        if (corr(c) > corr(best)) best = c;
    double l = corr(best - 1), m = corr(best), r = corr(best + 1);
    double d = l - 2 * m + r;
    return (double)best + (d < 0 ? 0.5 * (l - r) / d : 0.0);
}

// An open device of the dummy driver, paused so that only the test runs the
// callback.
class AudioDevice : public ::testing::Test {
  protected:
    TempDir dir;
    std::string log;

    void SetUp() override {
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        log = capture_stdout([] { driver_init(DRIVER_AUDIO); });
        ASSERT_NE(_sdl_audio_data, nullptr) << log;
        SDL_PauseAudio(1);
    }
    void TearDown() override {
        capture_stdout([] { driver_deinit(); });
    }

    // One run of the callback on a device buffer of `bytes` bytes, as the
    // device's signed 16-bit values.
    std::vector<int16_t> callback(int bytes = 4096) {
        std::vector<int16_t> out((size_t)bytes / 2, 12345);
        log += capture_stdout([&] {
            SDL_LockAudio();
            _driver_audio_callback(nullptr, (Uint8*)out.data(), bytes);
            SDL_UnlockAudio();
        });
        return out;
    }

    // Writes a file into the temp directory and returns its path.
    std::string file(const std::string& name, const std::string& bytes) {
        write_file(dir.file(name), bytes);
        return dir.file(name);
    }
    int sample(const std::string& path) {
        int n = 0;
        log += capture_stdout([&] { n = driver_audio_sample_load(path.c_str()); });
        return n;
    }
    int stream(const std::string& path) {
        int n = 0;
        log += capture_stdout([&] { n = driver_audio_stream_load(path.c_str(), false); });
        return n;
    }
    // A stereo float WAV at 44100 Hz: the work format, loaded unchanged.
    int float_sample(const std::vector<float>& v, const std::string& name = "f.wav") {
        return sample(file(name, wav_file(WAV_FLOAT, 32, 2, 44100, wav_data_f32(v))));
    }
    std::string quiet(const std::function<void()>& fn) {
        std::string out = capture_stdout(fn);
        log += out;
        return out;
    }
    std::vector<AudioPlaying>& playing() { return _sdl_audio_data->playing; }
    AudioSource* source(int n) { return _sdl_audio_data->sources[(size_t)n]; }
};

}  // namespace

TEST(AudioMix, VolumeCases) {
    struct Case {
        float a, b;     // volume of the previous buffer, volume asked for
        float in;       // every scratch value
        float base;     // every value already in the mix
    };
    const int len = 2048;
    for (Case c : {Case{1, 1, 0.3f, 0.2f}, Case{0.5f, 0.5f, 0.3f, 0.2f}, Case{0, 0, 0.7f, 0.1f},
                   Case{1, 0, 1.0f, 0}, Case{0, 1, 0.5f, 0.25f}, Case{0.25f, 0.75f, -1.0f, 0}}) {
        SCOPED_TRACE(testing::Message() << "a=" << c.a << " b=" << c.b);
        std::vector<float> mix(len, c.base), tmp(len, c.in);
        AudioPlaying p{};
        p._vol = c.a;
        p.vol = c.b;
        _driver_audio_mix(mix.data(), len, &p, tmp.data());
        EXPECT_EQ(p._vol, c.b);
        for (int k = 0; k < len; k++) {
            if (c.a == c.b) {
                // Exactly the float sum: no ramp arithmetic at all.
                float want = c.a == 1 ? c.base + c.in : c.base + c.in * c.a;
                ASSERT_EQ(mix[k], want) << k;
            } else {
                float gain = c.a + (c.b - c.a) * k / len;
                ASSERT_NEAR(mix[k], c.base + c.in * gain, 1e-4) << k;
            }
        }
        if (c.a == 1 && c.b == 0) {
            EXPECT_EQ(mix[0], 1.0f);
            EXPECT_NEAR(mix[1024], 0.5f, 1e-5);
            EXPECT_NEAR(mix[len - 1], 1.0f / len, 1e-5);
        }
    }
}

TEST(AudioSources, MemoryReadsStopAtTheEnd) {
    std::vector<float> data(10);
    for (int i = 0; i < 10; i++) data[i] = (float)(i + 1);
    AudioSourceMemory m(10, data.data());
    data[0] = 99;  // the source keeps its own copy
    EXPECT_EQ(m.get_length(), 10);
    EXPECT_TRUE(m.load());
    struct Case {
        int start, length, copied;
    };
    for (Case c : {Case{0, 4, 4}, Case{6, 4, 4}, Case{8, 4, 2}, Case{9, 2048, 1}, Case{10, 4, 0}, Case{12, 4, 0},
                   Case{-1, 4, 0}, Case{0, 0, 0}}) {
        SCOPED_TRACE(testing::Message() << "start " << c.start << " length " << c.length);
        std::vector<float> r(16, -7.0f);
        m.get_samples(c.start, c.length, r.data(), false);
        for (int i = 0; i < 16; i++) EXPECT_EQ(r[i], i < c.copied ? (float)(c.start + i + 1) : -7.0f) << i;
    }
    // The base source is silence of no length.
    AudioSource base;
    std::vector<float> r(4, -7.0f);
    base.get_samples(0, 3, r.data(), false);
    EXPECT_EQ(r, (std::vector<float>{0, 0, 0, -7.0f}));
    EXPECT_EQ(base.get_length(), 0);
}

TEST_F(AudioDevice, LimiterSequence) {
    // Each step: the buffer's values (repeated), the gain expected at its
    // first and last value, and the stored peak after it.
    struct Step {
        float value;
        float gain_first, gain_last;
        float peak;
    };
    const int len = 2048;
    const Step steps[] = {
        {0.5f, 1, 1, 1},                        // quiet: untouched
        {2.0f, 0.5f, 0.5f, 2},                  // loud after quiet: scaled at once
        {1.0f, 0.5f, 1.0f - 0.5f / len, 1},     // quieter: recovers over the buffer
        {1.0f, 1, 1, 1},                        // then untouched again
        {4.0f, 0.25f, 0.25f, 4},
        {8.0f, 0.125f, 0.125f, 8},              // louder still: scaled by its own peak
        {0.25f, 0.125f, 1.0f - 0.875f / len, 1},
    };
    _sdl_audio_data->peak = 1.0f;
    for (const Step& s : steps) {
        SCOPED_TRACE(testing::Message() << "value " << s.value);
        std::vector<float> buf(len);
        for (int i = 0; i < len; i++) buf[i] = i % 2 ? -s.value : s.value;
        _driver_audio_normalize(buf.data(), len);
        EXPECT_NEAR(std::fabs(buf[0]), s.value * s.gain_first, 1e-4);
        EXPECT_NEAR(std::fabs(buf[len - 1]), s.value * s.gain_last, 1e-4);
        for (float x : buf) ASSERT_LE(std::fabs(x), 1.0f + 1e-6f);
        EXPECT_EQ(_sdl_audio_data->peak, s.peak);
    }
}

TEST_F(AudioDevice, CallbackGivesTheMixInSignedSixteenBits) {
    std::vector<float> v;
    for (int i = 0; i < 4096; i++) v.push_back(i % 2 ? -0.25f : 0.5f);
    int s = float_sample(v);
    ASSERT_EQ(s, 1) << log;
    struct Case {
        std::vector<float> vols;
        int16_t left, right;
    };
    // Over 1 in the sum, the limiter scales the buffer to a peak of 1.
    for (const Case& c : {Case{{1}, s16(0.5f), s16(-0.25f)}, Case{{0.5f}, s16(0.25f), s16(-0.125f)},
                          Case{{1, 1}, 32767, s16(-0.5f)}, Case{{1, 1, 1}, 32767, s16(-0.5f)}, Case{{0}, 0, 0}}) {
        SCOPED_TRACE(testing::Message() << c.vols.size() << " plays at " << c.vols[0]);
        for (float vol : c.vols) driver_audio_sample_play(s, vol, 0.3f);
        std::vector<int16_t> out = callback();
        // A new play starts at its own volume: no ramp in the first buffer.
        for (size_t i = 0; i < out.size(); i += 2) {
            ASSERT_EQ(out[i], c.left) << i;
            ASSERT_EQ(out[i + 1], c.right) << i;
        }
        EXPECT_EQ(playing().size(), c.vols.size());
        EXPECT_EQ(playing()[0].pan, 0.3f);
        playing().clear();
        _sdl_audio_data->peak = 1.0f;
    }
}

TEST_F(AudioDevice, PlaysAreRemovedAtTheEndAndStreamsLoop) {
    std::vector<float> v(5000, 0.25f);
    int s = float_sample(v);
    int st = stream(file("loop.wav", wav_file(WAV_FLOAT, 32, 2, 44100, wav_data_f32(v))));
    ASSERT_EQ(s, 1) << log;
    ASSERT_EQ(st, 2) << log;
    driver_audio_sample_play(s, 1, 0);
    callback();
    ASSERT_EQ(playing().size(), 1u);
    EXPECT_EQ(playing()[0].cur, 2048);
    callback();
    EXPECT_EQ(playing()[0].cur, 4096);
    // The last 904 values, then silence rather than what the buffer held.
    std::vector<int16_t> out = callback();
    EXPECT_TRUE(playing().empty());
    const int16_t quarter = s16(0.25f);
    for (size_t i = 0; i < out.size(); i++) ASSERT_EQ(out[i], i < 904 ? quarter : 0) << i;


    // A looping play goes on from the source's first value in the same
    // buffer, as many passes as the buffer holds; one of no length (a WAV
    // without frames) stays silent. The values of 97 steps show where each
    // pass is.
    quiet([&] { driver_audio_stream_play(st, 1, 0); });
    for (int i = 0; i < 3; i++) EXPECT_EQ(callback(), std::vector<int16_t>(2048, quarter)) << i;
    ASSERT_EQ(playing().size(), 1u);
    EXPECT_EQ(playing()[0].cur, 6144 - 5000);
    EXPECT_EQ(playing()[0].loop, 1);
    quiet([&] { driver_audio_stream_stop(st); });
    std::vector<int16_t> steps;
    for (int k = 0; k < 97; k++) steps.push_back(s16((k + 1) / 128.0f));
    for (int len : {5000, 2048, 1000, 600, 2, 0}) {
        SCOPED_TRACE(len);
        std::vector<float> ramp;
        for (int i = 0; i < len; i++) ramp.push_back((i % 97 + 1) / 128.0f);
        std::string name = "ramp" + std::to_string(len) + ".wav";
        int r = stream(file(name, wav_file(WAV_FLOAT, 32, 2, 44100, wav_data_f32(ramp))));
        ASSERT_GT(r, 0) << log;
        ASSERT_EQ(source(r)->get_length(), len);
        quiet([&] { driver_audio_stream_play(r, 1, 0); });
        for (int b = 0; b < 4; b++) {
            out = callback();
            for (int i = 0; i < 2048; i++) {
                int16_t want = len ? steps[(size_t)((b * 2048 + i) % len % 97)] : 0;
                ASSERT_EQ(out[(size_t)i], want) << "buffer " << b << " value " << i;
            }
        }
        ASSERT_EQ(playing().size(), 1u);
        EXPECT_EQ(playing()[0].cur, len ? 4 * 2048 % len : 0);
        quiet([&] { driver_audio_stream_stop(r); });
    }
}

TEST_F(AudioDevice, ShortConversionLeavesTheRestSilent) {
    // A device that asks for one channel gets half the bytes from the
    // conversion; the other half of its buffer stays zero.
    std::vector<float> v;
    for (int i = 0; i < 4096; i++) v.push_back(i % 2 ? -0.25f : 0.75f);
    int s = float_sample(v);
    driver_audio_sample_play(s, 1, 0);
    SDL_AudioSpec have = _sdl_audio_data->have;
    _sdl_audio_data->have.channels = 1;
    std::vector<int16_t> out = callback();
    _sdl_audio_data->have = have;
    for (size_t i = 0; i < out.size(); i++) ASSERT_NEAR(out[i], i < 1024 ? 8192 : 0, i < 1024 ? 1 : 0) << i;
}

TEST_F(AudioDevice, WavFormatsConvertToStereoFloats) {
    struct Case {
        const char* name;
        int tag, bits, channels, rate;
        std::string data;
        int frames;
        float value;  // of the first frame, on both channels
    };
    const int f = 4410;
    std::vector<uint8_t> u8(f, 192);
    std::vector<int16_t> s16m(f, -16384), s16s(2 * f, 8192);
    std::vector<float> f32m(f, 0.75f), f32s(2 * f, -0.5f);
    const Case cases[] = {
        {"u8_mono_44100", WAV_PCM, 8, 1, 44100, wav_data_u8(u8), f, 0.5f},
        {"s16_mono_44100", WAV_PCM, 16, 1, 44100, wav_data_s16(s16m), f, -0.5f},
        {"s16_stereo_22050", WAV_PCM, 16, 2, 22050, wav_data_s16(s16s), f, 0.25f},
        {"f32_mono_48000", WAV_FLOAT, 32, 1, 48000, wav_data_f32(f32m), f, 0.75f},
        {"f32_stereo_44100", WAV_FLOAT, 32, 2, 44100, wav_data_f32(f32s), f, -0.5f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        int n = sample(file(std::string(c.name) + ".wav", wav_file(c.tag, c.bits, c.channels, c.rate, c.data)));
        ASSERT_GT(n, 0) << log;
        AudioSource* src = source(n);
        long want = 2L * c.frames * 44100 / c.rate;
        EXPECT_NEAR(src->get_length(), want, 64);
        EXPECT_EQ(src->get_length() % 2, 0);
        std::vector<float> r(2048);
        src->get_samples(512, 2048, r.data(), false);
        EXPECT_NEAR(r[0], c.value, 1e-3);
        EXPECT_NEAR(r[1], c.value, 1e-3);
        EXPECT_NEAR(r[2047], c.value, 1e-3);
    }

    // The 22050 Hz mono WAV of 1.5 s: 132300 floats, sounding for 65 buffers.
    int n = sample(file("tone.wav", wav_file(WAV_PCM, 16, 1, 22050, wav_data_s16(pcm_sine(33075, 1, 22050, 441, 0.5)))));
    ASSERT_GT(n, 0);
    EXPECT_EQ(source(n)->get_length(), 132300);
    driver_audio_sample_play(n, 1, 0);
    for (int i = 0; i < 64; i++) callback();
    EXPECT_EQ(playing().size(), 1u);
    callback();
    EXPECT_TRUE(playing().empty());
}

// A damaged float WAV can hold values that are no numbers: they sound as
// silence, and the rest of the buffer as it is.
TEST_F(AudioDevice, WavValuesThatAreNoNumbersSoundAsSilence) {
    std::vector<float> v(2048, 0.25f);
    v[1] = NAN;
    v[2] = INFINITY;
    v[3] = -INFINITY;
    int n = float_sample(v);
    ASSERT_GT(n, 0) << log;
    std::vector<float> r(2048);
    source(n)->get_samples(0, 2048, r.data(), false);
    EXPECT_EQ(r[0], 0.25f);
    EXPECT_EQ(r[1], 0);
    EXPECT_EQ(r[2], 0);
    EXPECT_EQ(r[3], 0);
    EXPECT_EQ(r[4], 0.25f);
    driver_audio_sample_play(n, 1, 0);
    std::vector<int16_t> out = callback();
    EXPECT_EQ(out[1], 0);
    EXPECT_EQ(out[2047], s16(0.25f));
}

TEST_F(AudioDevice, WavFilesThatCannotBeConvertedAreRefused) {
    std::vector<int16_t> nine(9 * 100, 1000);
    struct Case {
        const char* name;
        std::string bytes;
    };
    const Case cases[] = {
        // SDL loads these but has no conversion for them.
        {"nine_channels.wav", wav_file(WAV_PCM, 16, 9, 44100, wav_data_s16(nine))},
        {"absurd_rate.wav", wav_file(WAV_PCM, 16, 1, 2000000000, wav_data_s16(std::vector<int16_t>(100, 5)))},
        // At 1 Hz the conversion multiplies the size past what an int holds.
        {"one_hertz.wav", wav_file(WAV_PCM, 16, 1, 1, wav_data_s16(std::vector<int16_t>(20000, 5)))},
        {"noise.wav", std::string("RIFF\x10\0\0\0WAVEjunkjunkjunk", 24)},
        {"empty.wav", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string path = file(c.name, c.bytes);
        if (&c - cases < 3) {
            // SDL itself reads these files: only the conversion refuses them.
            SDL_AudioSpec spec;
            Uint8* buf = nullptr;
            Uint32 len = 0;
            EXPECT_NE(SDL_LoadWAV(path.c_str(), &spec, &buf, &len), nullptr) << SDL_GetError();
            SDL_FreeWAV(buf);
        }
        std::string out = quiet([&] { EXPECT_EQ(driver_audio_sample_load(path.c_str()), 0); });
        EXPECT_TRUE(has_line(out, "_mixer: error in _sample_load_wav '" + path + "'\n")) << out;
        EXPECT_EQ(count(out, "_mixer"), 1) << out;
        out = quiet([&] { EXPECT_EQ(driver_audio_stream_load(path.c_str(), true), 0); });
        EXPECT_TRUE(has_line(out, "_mixer: error in _sample_load_wav '" + path + "'\n")) << out;
    }
    std::string missing = dir.file("missing.wav");
    std::string out = quiet([&] { EXPECT_EQ(driver_audio_sample_load(missing.c_str()), 0); });
    EXPECT_TRUE(has_line(out, "_mixer: error in _sample_load_wav '" + missing + "'\n")) << out;
    EXPECT_EQ(_sdl_audio_data->sources.size(), 1u);
    EXPECT_EQ(_sdl_audio_data->memused.load(), 0u);
}

TEST_F(AudioDevice, OggSamplesDecodeWholeAtTheirOwnRate) {
    std::string st = dir.file("st.ogg"), mono = dir.file("mono22.ogg"), nine = dir.file("nine.ogg");
    ASSERT_TRUE(ogg_encode(st, pcm_sine(22050, 2, 44100, 441, 0.5), 2, 44100));
    ASSERT_TRUE(ogg_encode(mono, pcm_sine(11025, 1, 22050, 441, 0.5), 1, 22050));
    ASSERT_TRUE(ogg_encode(nine, pcm_sine(4410, 9, 44100, 441, 0.5), 9, 44100));

    int a = sample(st);
    ASSERT_EQ(a, 1) << log;
    EXPECT_TRUE(has_line(log, "_mixer: sample_load 1 (" + st + ")\n")) << log;
    EXPECT_EQ(source(a)->get_length(), 44100);

    // Half a second at 22050 Hz stays half a second, and 441 Hz stays 441 Hz:
    // 100 frames a period at 44100, so 2 sign changes per 100 frames.
    int b = sample(mono);
    ASSERT_EQ(b, 2) << log;
    EXPECT_NEAR(source(b)->get_length(), 44100, 64);
    std::vector<float> r(8820);
    source(b)->get_samples(4410, 8820, r.data(), false);
    EXPECT_NEAR(sign_changes(r.data(), 8820, 2, 0), 88, 3);
    EXPECT_NEAR(sign_changes(r.data(), 8820, 2, 1), 88, 3);

    std::string out = quiet([&] { EXPECT_EQ(driver_audio_sample_load(nine.c_str()), 0); });
    EXPECT_TRUE(has_line(out, "_mixer: error in _sample_load_ogg '" + nine + "' (SDL_BuildAudioCVT)\n")) << out;

    std::string random_bytes;
    for (unsigned x = 12345, i = 0; i < 3000; i++) random_bytes += (char)((x = x * 1103515245 + 12345) >> 16);
    std::string noise = file("noise.ogg", random_bytes);
    std::string empty = file("empty.ogg", "");
    out = quiet([&] { EXPECT_EQ(driver_audio_sample_load(noise.c_str()), 0); });
    EXPECT_TRUE(has_line(out, "_mixer: error in _sample_load_ogg '" + noise + "' (stb_vorbis_decode_memory)\n"))
        << out;
    for (const std::string& p : {empty, dir.file("missing.ogg")}) {
        out = quiet([&] { EXPECT_EQ(driver_audio_sample_load(p.c_str()), 0); });
        EXPECT_TRUE(has_line(out, "_mixer: error in _sample_load_ogg '" + p + "' (driver_file_alloc)\n")) << out;
    }
    // ".ogg" anywhere in the name picks the Vorbis decoder.
    std::string odd = file("x.ogg.wav", wav_file(WAV_PCM, 16, 1, 44100, wav_data_s16({1, 2, 3})));
    out = quiet([&] { EXPECT_EQ(driver_audio_sample_load(odd.c_str()), 0); });
    EXPECT_TRUE(has_line(out, "_mixer: error in _sample_load_ogg '" + odd + "' (stb_vorbis_decode_memory)\n"))
        << out;
    EXPECT_EQ(_sdl_audio_data->sources.size(), 3u);
}

TEST_F(AudioDevice, OggWithDamagedCommentHeaderIsRefused) {
    std::string good = dir.file("good.ogg");
    ASSERT_TRUE(ogg_encode(good, pcm_sine(4410, 2, 44100, 441, 0.5), 2, 44100));
    std::string bytes = read_file(good);
    ASSERT_TRUE(_driver_audio_vorbis_headers_ok(bytes.data(), (int)bytes.size()));
    size_t c = bytes.find("\x03vorbis");
    ASSERT_NE(c, std::string::npos);
    uint32_t vendor = (uint8_t)bytes[c + 7] | (uint8_t)bytes[c + 8] << 8;
    size_t count_at = c + 11 + vendor;
    // Lengths that stb_vorbis would take on trust: it then writes outside
    // its buffers or frees pointers it never set.
    struct Case {
        const char* name;
        size_t at;
        std::string patch;  // replaces bytes at `at`; empty: the file ends at `at`
    };
    const Case cases[] = {
        {"vendor length", c + 7, std::string("\xf0\xff\xff\x7f", 4)},
        {"vendor length -1", c + 7, std::string("\xff\xff\xff\xff", 4)},
        {"comment count", count_at, std::string("\x00\x00\x10\x00", 4)},
        {"comment past the packet", count_at, std::string("\x01\x00\x00\x00\xff\xff\xff\x7f", 8)},
        {"cut in the comments", c + 20, ""},
        {"second page not Ogg", bytes.rfind("OggS", c), "OggX"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        std::string bad = k.patch.empty() ? bytes.substr(0, k.at) : bytes;
        if (!k.patch.empty()) bad.replace(k.at, k.patch.size(), k.patch);
        EXPECT_FALSE(_driver_audio_vorbis_headers_ok(bad.data(), (int)bad.size()));
        std::string path = file(std::string("bad_") + std::to_string(&k - cases) + ".ogg", bad);
        std::string out = quiet([&] { EXPECT_EQ(driver_audio_sample_load(path.c_str()), 0); });
        EXPECT_TRUE(has_line(out, "_mixer: error in _sample_load_ogg '" + path + "' (stb_vorbis_decode_memory)\n"))
            << out;
        int s = stream(path);
        out = quiet([&] { driver_audio_stream_play(s, 1, 0); });
        EXPECT_TRUE(has_line(out, "_mixer: error in _stream_load_ogg '" + path + "' (stb_vorbis_open_memory)\n"))
            << out;
        quiet([&] { driver_audio_stream_stop(s); });
    }
}

// Files that open as far as their setup header and then fail: the decoder
// must give back everything it took (the sanitizer tree finds a leak), and a
// stream at a rate in the millions must not reach SDL's resampler, whose
// sizes overflow there.
TEST_F(AudioDevice, OggWithDamagedSetupOrAbsurdRateIsRefused) {
    std::string good = dir.file("good.ogg");
    ASSERT_TRUE(ogg_encode(good, pcm_sine(4410, 2, 44100, 441, 0.5), 2, 44100));
    std::string bytes = read_file(good);
    size_t id = bytes.find("\x01vorbis"), setup = bytes.find("\x05vorbis");
    ASSERT_NE(id, std::string::npos);
    ASSERT_NE(setup, std::string::npos);
    // A byte of the setup header inverted, or the identification header's
    // rate replaced.
    auto flip = [&](size_t at) { return std::string(1, (char)~bytes[at]); };
    uint32_t absurd = 4281890;
    struct Case {
        const char* name;
        size_t at;
        std::string patch;
    };
    const Case cases[] = {
        {"codebook damaged early", setup + 232, flip(setup + 232)},
        {"codebook damaged later", setup + 935, flip(setup + 935)},
        {"setup damaged further on", setup + 1342, flip(setup + 1342)},
        {"rate in the millions", id + 12, std::string((const char*)&absurd, 4)},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        ASSERT_LT(k.at + k.patch.size(), bytes.size());
        std::string bad = bytes;
        bad.replace(k.at, k.patch.size(), k.patch);
        std::string path = file(std::string("setup_") + std::to_string(&k - cases) + ".ogg", bad);
        quiet([&] { EXPECT_EQ(driver_audio_sample_load(path.c_str()), 0); });
        int s = stream(path);
        std::string out = quiet([&] { driver_audio_stream_play(s, 1, 0); });
        EXPECT_TRUE(has_line(out, "_mixer: error in _stream_load_ogg '" + path + "' (stb_vorbis_open_memory)\n"))
            << out;
        callback();
        quiet([&] { driver_audio_stream_stop(s); });
    }
}

TEST_F(AudioDevice, StereoStreamLoopsFromTheStart) {
    std::string path = dir.file("ten.ogg");
    ASSERT_TRUE(ogg_encode(path, pcm_sine(441000, 2, 44100, 330, 0.5), 2, 44100));
    int s = stream(path);
    ASSERT_EQ(s, 1);
    EXPECT_TRUE(has_line(log, "_mixer: stream_load 1 (" + path + ")\n")) << log;
    // Nothing is read before the first play.
    auto* v = dynamic_cast<AudioSourceVorbis*>(source(s));
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(v->data, nullptr);
    EXPECT_EQ(_sdl_audio_data->memused.load(), 0u);

    std::string out = quiet([&] { driver_audio_stream_play(s, 1, 5.0f); });
    EXPECT_TRUE(has_line(out, "_mixer: stream_play 1\n")) << out;
    EXPECT_TRUE(has_line(out, "_mixer: AudioSourceVorbis.load '" + path + "' ...\n")) << out;
    EXPECT_EQ(v->len, 882000);
    EXPECT_EQ(_sdl_audio_data->memused.load(), (unsigned long)driver_file_fsize(path.c_str()));

    std::vector<int16_t> first = callback(), second = callback();
    for (int i = 2; i < 430; i++) callback();
    EXPECT_EQ(playing()[0].cur, 430 * 2048);
    // The 431st buffer: the last 1360 values, then the first 688 again, the
    // decoder sought back to the beginning; the next pass goes on from there.
    std::vector<int16_t> seam = callback(), next = callback();
    EXPECT_EQ(playing()[0].cur, 688 + 2048);
    bool audio = false;
    for (int i = 1300; i < 1360; i++) audio = audio || seam[i] != 0;
    EXPECT_TRUE(audio);
    for (int i = 1360; i < 2048; i++) ASSERT_EQ(seam[i], first[i - 1360]) << i;
    for (int i = 0; i < 2048; i++) ASSERT_EQ(next[i], i < 1360 ? first[i + 688] : second[i - 1360]) << i;

    // Stop, then play: the file is closed and opened again, from the start.
    callback();
    out = quiet([&] { driver_audio_stream_stop(s); });
    EXPECT_TRUE(has_line(out, "_mixer: stream_stop\n")) << out;
    EXPECT_TRUE(has_line(out, "_mixer: AudioSourceVorbis.unload '" + path + "' ...\n")) << out;
    EXPECT_TRUE(has_line(out, "_mixer->memused: 0.00M\n")) << out;
    EXPECT_TRUE(playing().empty());
    EXPECT_EQ(v->data, nullptr);
    quiet([&] { driver_audio_stream_play(s, 1, 0); });
    EXPECT_EQ(callback(), first);

    // Playing again while playing restarts it, with one play at the new volume.
    callback();
    quiet([&] { driver_audio_stream_play(s, 0.5f, 0); });
    ASSERT_EQ(playing().size(), 1u);
    EXPECT_EQ(playing()[0].cur, 0);
    EXPECT_EQ(playing()[0].vol, 0.5f);
    std::vector<int16_t> half = callback();
    for (size_t i = 0; i < half.size(); i++) ASSERT_NEAR(half[i], first[i] / 2, 1) << i;

    // A volume change ramps over the next buffer.
    driver_audio_stream_volume(s, 0.0f);
    std::vector<int16_t> fade = callback();
    std::vector<int16_t> silent = callback();
    int loud = 0;
    for (int i = 0; i < 1024; i++) loud += std::abs(fade[i]) > 1000;
    EXPECT_GT(loud, 100);
    for (int16_t x : silent) ASSERT_EQ(x, 0);
}

TEST_F(AudioDevice, MonoStreamPlaysOnBothChannelsForItsWholeLength) {
    std::string path = dir.file("mono.ogg");
    ASSERT_TRUE(ogg_encode(path, pcm_sine(44100, 1, 44100, 441, 0.5), 1, 44100));
    int s = stream(path);
    quiet([&] { driver_audio_stream_play(s, 1, 0); });
    EXPECT_EQ(source(s)->get_length(), 88200);
    int buffers = 0, cur = 0;
    do {
        cur = playing()[0].cur;
        std::vector<int16_t> out = callback();
        buffers++;
        int loud = 0;
        for (size_t i = 0; i + 1 < out.size(); i += 2) {
            ASSERT_EQ(out[i], out[i + 1]) << "buffer " << buffers << " frame " << i / 2;
            loud += std::abs(out[i]) > 8000;
        }
        EXPECT_GT(loud, 100) << buffers;
    } while (playing()[0].cur > cur && buffers < 100);
    // 88200 values take 44 buffers of 2048, the last one going on into the
    // next pass.
    EXPECT_EQ(buffers, 44);
    EXPECT_EQ(playing()[0].cur, 44 * 2048 - 88200);
}

TEST_F(AudioDevice, StreamsAtAnotherRateAreResampled) {
    std::string path = dir.file("low.ogg");
    ASSERT_TRUE(ogg_encode(path, pcm_sine(22050, 2, 22050, 441, 0.5), 2, 22050));
    int s = stream(path);
    quiet([&] { driver_audio_stream_play(s, 1, 0); });
    EXPECT_EQ(source(s)->get_length(), 88200);
    std::vector<float> r(8820);
    source(s)->get_samples(0, 8820, r.data(), false);
    source(s)->get_samples(8820, 8820, r.data(), false);
    EXPECT_NEAR(sign_changes(r.data(), 8820, 2, 0), 88, 3);
    EXPECT_NEAR(sign_changes(r.data(), 8820, 2, 1), 88, 3);
    // It keeps going to the end of its length and loops.
    int buffers = 0;
    while (++buffers < 100) {
        int cur = playing()[0].cur;
        callback();
        if (playing()[0].cur < cur) break;
    }
    EXPECT_EQ(buffers, 44);
}

// A longer file cut short keeps its whole pages: as a stream it plays up
// to the last of them.
TEST_F(AudioDevice, StreamCutShortPlaysToItsLastWholePage) {
    std::string whole = dir.file("long.ogg");
    ASSERT_TRUE(ogg_encode(whole, pcm_sine(441000, 2, 44100, 330, 0.5), 2, 44100));
    std::string bytes = read_file(whole);
    int s = stream(file("cut.ogg", bytes.substr(0, bytes.size() * 6 / 10)));
    std::string out = quiet([&] { driver_audio_stream_play(s, 1, 0); });
    EXPECT_EQ(count(out, "error"), 0) << out;
    int len = source(s)->get_length();
    EXPECT_GT(len, 882000 * 4 / 10);
    EXPECT_LT(len, 882000 * 8 / 10);
    std::vector<int16_t> first = callback();
    int loud = 0;
    for (int16_t x : first) loud += std::abs(x) > 1000;
    EXPECT_GT(loud, 100);
}

// A stream at another rate keeps time however it is cut into buffers: every
// click of a click track streamed for several seconds comes out where its
// time puts it at 44100 Hz, within 2 samples.
TEST_F(AudioDevice, ResampledStreamsKeepTime) {
    const double seconds = 6.5;
    std::vector<double> times;
    for (double t = 0.3; t < 5.7; t += 0.4137) times.push_back(t);
    struct Case {
        int rate, channels;
    };
    for (Case c : {Case{8000, 1}, Case{22050, 2}, Case{48000, 2}, Case{96000, 1}}) {
        SCOPED_TRACE(c.rate);
        std::string path = dir.file("clicks" + std::to_string(c.rate) + ".ogg");
        ASSERT_TRUE(ogg_encode(path, pcm_clicks(times, seconds, c.channels, c.rate), c.channels, c.rate));
        int s = stream(path);
        quiet([&] { driver_audio_stream_play(s, 1, 0); });
        // A stereo file's second channel has the clicks upside down; a mono
        // file sounds the same on both.
        std::vector<float> left, right;
        const float flip = c.channels == 2 ? -1.0f : 1.0f;
        for (int i = 0; i < 270; i++) {
            std::vector<int16_t> out = callback();
            for (size_t k = 0; k < out.size(); k += 2) {
                left.push_back(out[k] / 32768.0f);
                right.push_back(flip * out[k + 1] / 32768.0f);
            }
        }
        ASSERT_GT(playing()[0].cur, 0) << "the stream ended inside the test";
        double worst = 0;
        for (double t : times) {
            double want = t * 44100;
            for (const std::vector<float>* x : {&left, &right}) {
                double error = click_position(*x, want) - want;
                EXPECT_LE(std::fabs(error), 2.0) << "the click at " << t << " s";
                worst = std::max(worst, std::fabs(error));
            }
        }
        printf("click track at %d Hz: %zu clicks over %.1f s, largest error %.2f samples\n", c.rate, times.size(),
               times.back(), worst);
        quiet([&] { driver_audio_stream_stop(s); });
    }
}

// A tone on the left, a 441 Hz cosine at half scale that sounds from the
// first frame on and is never 0 for two frames running, and on the right one
// click (as in pcm_clicks) at frame `click`: a mark found again in every pass.
std::vector<int16_t> pcm_tone_and_click(int frames, int rate, int click) {
    const double sigma = 0.00025 * rate;
    std::vector<int16_t> v;
    for (int i = 0; i < frames; i++) {
        double d = i - click - 0.5;
        v.push_back((int16_t)std::lround(0.5 * std::cos(2 * M_PI * 441 * i / rate) * 32767));
        v.push_back((int16_t)std::lround(0.8 * std::exp(-d * d / (2 * sigma * sigma)) * 32767));
    }
    return v;
}

// What SDL's disk driver wrote: the device's S16 stereo output as the audio
// thread gave it, from before the play to past 10 s of it. With no pacing
// the device runs as fast as the callback can fill it.
struct DiskOutput {
    std::vector<int16_t> out;
    size_t start;  // the first frame that is not silent
};

DiskOutput disk_output(const std::string& raw, const std::function<void()>& play) {
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", raw.c_str(), 1);
    setenv("SDL_DISKAUDIODELAY", "0", 1);
    DiskOutput d{{}, 0};
    capture_stdout([&] {
        driver_init(DRIVER_AUDIO);
        if (!_sdl_audio_data) return;
        play();
        // The play sounds from the next buffer on: 10.5 s of sound after
        // what the file holds now, and room for what stdio still holds.
        const int want = driver_file_fsize(raw.c_str()) + 4 * 463050 + 65536;
        for (int waited = 0; waited < time_limit_ms(120000) && driver_file_fsize(raw.c_str()) < want; waited += 5)
            usleep(5000);
        driver_deinit();
    });
    unsetenv("SDL_DISKAUDIOFILE");
    unsetenv("SDL_DISKAUDIODELAY");
    std::string bytes = path_exists(raw) ? read_file(raw) : "";
    d.out.resize(bytes.size() / 2);
    if (!d.out.empty()) memcpy(d.out.data(), bytes.data(), d.out.size() * 2);
    while (2 * d.start + 1 < d.out.size() && !d.out[2 * d.start] && !d.out[2 * d.start + 1]) d.start++;
    return d;
}

// A looping play goes on from the first frame of its source in the same
// buffer, as many passes as the buffer holds: the frame after the last of a
// pass is the first of the next, for streams at any rate (the resampler's
// phase carried across the seam) and for sources in memory. Looped for 10 s,
// the output has no silence anywhere after its start, and the click of each
// pass lies the file's length in output frames after the click of the pass
// before: to the frame at 44100 Hz, within one frame at other rates, where a
// pass need not be a whole number of frames and the error must not grow from
// pass to pass. A play that does not loop ends with silence after its last
// frame.
TEST(AudioDiskDevice, LoopsGoOnFromTheFirstFrameWithoutSilence) {
    TempDir dir;
    struct Case {
        const char* name;
        int frames, rate;
        bool ogg, loop;
        double slack;  // frames a pass may differ from the file's length
    };
    const Case cases[] = {
        {"a 1 s Ogg stream at 44100 Hz", 44100, 44100, true, true, 0.5},
        {"a 0.37 s Ogg stream at 22050 Hz", 8159, 22050, true, true, 1.0},
        {"a 0.1 s Ogg stream at 48000 Hz, passes of no whole number of frames", 4801, 48000, true, true, 1.0},
        {"a WAV stream in memory, shorter than a buffer", 333, 44100, false, true, 0.5},
        {"a WAV sample, not looping", 22050, 44100, false, false, 0.5},
    };
    const int ten_seconds = 441000;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const int n = (int)(&c - cases);
        std::string path = dir.file("s" + std::to_string(n) + (c.ogg ? ".ogg" : ".wav"));
        std::vector<int16_t> pcm = pcm_tone_and_click(c.frames, c.rate, c.frames / 3);
        if (c.ogg)
            ASSERT_TRUE(ogg_encode(path, pcm, 2, c.rate));
        else
            write_file(path, wav_file(WAV_PCM, 16, 2, c.rate, wav_data_s16(pcm)));
        DiskOutput d = disk_output(dir.file("out" + std::to_string(n) + ".raw"), [&] {
            if (c.loop) {
                int s = driver_audio_stream_load(path.c_str(), false);
                driver_audio_stream_play(s, 1, 0);
            } else {
                driver_audio_sample_play(driver_audio_sample_load(path.c_str()), 1, 0);
            }
        });
        ASSERT_GE(d.out.size() / 2, d.start + ten_seconds) << "the output ends early (" << d.out.size() * 2 << " bytes)";
        const double length = (double)c.frames * 44100 / c.rate;
        const size_t end = d.start + ten_seconds, sound_end = c.loop ? end : d.start + (size_t)length;

        // No two frames of silence running while the play sounds.
        size_t run = 0, longest = 0, longest_at = 0;
        for (size_t f = d.start; f < sound_end; f++) {
            run = d.out[2 * f] || d.out[2 * f + 1] ? 0 : run + 1;
            if (run > longest) longest = run, longest_at = f + 1 - run;
        }
        EXPECT_LT(longest, 2u) << longest << " silent frames from output frame " << longest_at - d.start;
        for (size_t f = sound_end; f < end; f++)
            ASSERT_TRUE(!d.out[2 * f] && !d.out[2 * f + 1]) << "sound " << f - sound_end << " frames after the end";

        // The clicks, found where the right channel passes 0.4 (but for one
        // that the end of the 10 s could cut).
        std::vector<float> right;
        for (size_t f = d.start; f < end; f++) right.push_back(d.out[2 * f + 1] / 32768.0f);
        std::vector<double> clicks;
        for (size_t f = 0; f + 100 < right.size(); f++) {
            if (right[f] < 0.4f) continue;
            clicks.push_back(click_position(right, (double)f + 5, 20));
            f += 60;
        }
        ASSERT_FALSE(clicks.empty());
        const double first = (c.frames / 3 + 0.5) * 44100 / c.rate;
        EXPECT_NEAR(clicks[0], first, 1.0);
        const size_t passes = c.loop ? (size_t)((ten_seconds - 100 - first) / length) + 1 : 1;
        EXPECT_EQ(clicks.size(), passes);
        // Each click lies where the passes before it put it, so that no
        // fraction of a frame is lost at a seam either.
        double worst = 0;
        size_t worst_k = 0;
        for (size_t k = 1; k < clicks.size(); k++) {
            double off = clicks[k] - clicks[0] - (double)k * length;
            if (std::fabs(off) > std::fabs(worst)) worst = off, worst_k = k;
        }
        EXPECT_LE(std::fabs(worst), c.slack)
            << "the click of pass " << worst_k << " is " << worst << " frames off; the first pass took "
            << (clicks.size() > 1 ? clicks[1] - clicks[0] : 0) << " frames of " << length;
        printf("%s: %zu passes of %.3f frames, largest difference %.3f frames\n", c.name, clicks.size(), length,
               worst);
    }
}

TEST_F(AudioDevice, BrokenStreamIsTriedOncePerPlay) {
    std::string missing = dir.file("gone.ogg");
    std::string noise = file("noise.ogg", std::string(5000, '\x33'));
    std::string empty = file("empty.ogg", "");
    // Cut inside its only audio page: the decoder opens it, but its length
    // cannot be known, so as a stream it would play nothing.
    std::string whole = dir.file("short.ogg");
    ASSERT_TRUE(ogg_encode(whole, pcm_sine(4410, 2, 44100, 440, 0.5), 2, 44100));
    std::string bytes = read_file(whole);
    std::string cut = file("cut.ogg", bytes.substr(0, bytes.size() * 7 / 8));
    struct Case {
        std::string path, error;
    };
    for (const Case& c : {Case{missing, "(driver_file_alloc)"}, Case{noise, "(stb_vorbis_open_memory)"},
                          Case{empty, "(driver_file_alloc)"}, Case{cut, "(stb_vorbis_open_memory)"}}) {
        SCOPED_TRACE(c.path);
        int s = stream(c.path);
        ASSERT_GT(s, 0) << log;  // a stream gets its index before its file is read
        std::string out = quiet([&] { driver_audio_stream_play(s, 1, 0); });
        std::string err = "_mixer: error in _stream_load_ogg '" + c.path + "' " + c.error + "\n";
        EXPECT_TRUE(has_line(out, err)) << out;
        std::string before = log;
        for (int i = 0; i < 5; i++)
            for (int16_t x : callback()) ASSERT_EQ(x, 0);
        EXPECT_EQ(log, before);  // nothing more on the audio thread
        ASSERT_EQ(playing().size(), 1u);
        out = quiet([&] { driver_audio_stream_play(s, 1, 0); });
        EXPECT_EQ(count(out, "AudioSourceVorbis.load"), 1) << out;
        EXPECT_EQ(count(out, err), 1) << out;
        quiet([&] { driver_audio_stream_stop(s); });
        EXPECT_TRUE(playing().empty());
    }
    // A path longer than the source keeps is never opened under another name.
    std::string longpath = "/tmp/" + std::string(1100, 'a') + ".ogg";
    int s = stream(longpath);
    std::string out = quiet([&] { driver_audio_stream_play(s, 1, 0); });
    EXPECT_TRUE(has_line(out, "_mixer: error in _stream_load_ogg '' (driver_file_alloc)\n")) << out;
}

TEST_F(AudioDevice, HandlesOutsideTheSourcesAreIgnored) {
    int s = float_sample(std::vector<float>(100, 0.5f));
    ASSERT_EQ(s, 1);
    for (int v : {-5, 0, 2, 1000, INT_MAX}) {
        SCOPED_TRACE(v);
        std::string out = quiet([&] {
            driver_audio_sample_play(v, 1, 0);
            driver_audio_stream_play(v, 1, 0);
            driver_audio_stream_volume(v, 0.5f);
            driver_audio_stream_stop(v);
        });
        EXPECT_EQ(out, "");
        EXPECT_TRUE(playing().empty());
    }
    for (int16_t x : callback()) ASSERT_EQ(x, 0);
}

TEST_F(AudioDevice, ShutDownClosesTheDeviceThenFreesTheSources) {
    std::vector<int16_t> pcm = pcm_sine(4410, 2, 44100, 441, 0.5);
    std::string ogg = dir.file("s.ogg");
    ASSERT_TRUE(ogg_encode(ogg, pcm, 2, 44100));
    int a = sample(file("a.wav", wav_file(WAV_PCM, 16, 2, 44100, wav_data_s16(pcm))));
    int b = sample(ogg);
    int c = stream(ogg);
    ASSERT_EQ(a + b + c, 6) << log;
    // 8820 floats each for the samples, the file for the stream.
    std::string out = quiet([&] { driver_audio_stream_play(c, 1, 0); });
    unsigned long total = 2 * 8820 * 4 + (unsigned long)driver_file_fsize(ogg.c_str());
    EXPECT_EQ(_sdl_audio_data->memused.load(), total);
    char line[64];
    snprintf(line, sizeof line, "_mixer->memused: %.2fM\n", total / 1048576.0);
    EXPECT_TRUE(has_line(out, line)) << out;
    driver_audio_sample_play(a, 1, 0);
    callback();

    out = capture_stdout([] { driver_deinit(); });
    EXPECT_EQ(_sdl_audio_data, nullptr);
    size_t begin = out.find("] _mixer: audio_deinit ...\n"), unload = out.find("AudioSourceVorbis.unload"),
           end = out.find("] _mixer: audio_deinit: OK\n");
    ASSERT_NE(begin, std::string::npos) << out;
    ASSERT_NE(end, std::string::npos) << out;
    EXPECT_LT(begin, unload);
    EXPECT_LT(unload, end);
    EXPECT_EQ(count(out, "_mixer->memused: "), 3) << out;
    EXPECT_TRUE(has_line(out, "_mixer->memused: 0.00M\n")) << out;
    // Closed: loads give 0 and the rest does nothing.
    out = capture_stdout([&] {
        EXPECT_EQ(driver_audio_sample_load(ogg.c_str()), 0);
        EXPECT_EQ(driver_audio_stream_load(ogg.c_str(), false), 0);
        driver_audio_sample_play(1, 1, 0);
        driver_audio_stream_play(1, 1, 0);
        driver_audio_stream_stop(1);
        _driver_audio_memused(10);
    });
    EXPECT_EQ(out, "");
}

// The device's output for a fixed scene, phase by phase, against digests of
// what the callback gave while it still built its buffers and its conversion
// anew on every call; the phase across the mono stream's loop against what
// it gives since a pass goes on into the next in the same buffer (every
// other phase sounds the same either way). Recorded with SDL 2.26.5 and
// stb_vorbis 1.22 as Debian ships them: another version of either may round
// differently and then needs new digests.
TEST_F(AudioDevice, OutputOfAFixedSceneIsUnchanged) {
    ASSERT_EQ(_sdl_audio_data->have.format, AUDIO_S16LSB);
    ASSERT_EQ(_sdl_audio_data->have.channels, 2);
    ASSERT_EQ(_sdl_audio_data->have.freq, 44100);
    ASSERT_EQ(_sdl_audio_data->have.samples, 1024);
    // 0.3 s in the work format, a different wave on each channel.
    std::vector<float> v;
    for (int i = 0; i < 13230; i++) {
        v.push_back(0.6f * (float)std::sin(2 * M_PI * 523 * i / 44100));
        v.push_back(0.4f * (float)((i % 200) / 100.0 - 1.0));
    }
    int pure = float_sample(v);
    int low = sample(file("low.wav", wav_file(WAV_PCM, 16, 1, 22050, wav_data_s16(pcm_sine(11025, 1, 22050, 300, 0.7)))));
    ASSERT_TRUE(ogg_encode(dir.file("low.ogg"), pcm_sine(8820, 1, 22050, 700, 0.5), 1, 22050));
    int low_ogg = sample(dir.file("low.ogg"));
    ASSERT_TRUE(ogg_encode(dir.file("music.ogg"), pcm_two_tones(88200, 44100, 330, 441, 0.5), 2, 44100));
    int music = stream(dir.file("music.ogg"));
    ASSERT_TRUE(ogg_encode(dir.file("hum.ogg"), pcm_sine(22050, 1, 44100, 110, 0.6), 1, 44100));
    int hum = stream(dir.file("hum.ogg"));
    ASSERT_EQ(pure * low * low_ogg * music * hum, 120) << log;

    SDL_AudioSpec have = _sdl_audio_data->have;
    struct Phase {
        const char* name;
        std::function<void()> start;
        int buffers, bytes;
        const char* md5;
    };
    const Phase phases[] = {
        {"a sample at 0.7", [&] { driver_audio_sample_play(pure, 0.7f, 0); }, 8, 4096,
         "f186f488741649378221875083431fab"},
        {"samples converted by SDL, a stream at 0.3",
         [&] {
             driver_audio_sample_play(low, 1, 0);
             driver_audio_sample_play(low_ogg, 0.9f, 0);
             quiet([&] { driver_audio_stream_play(music, 0.3f, 0); });
         },
         6, 4096, "33a59020f4f2e53efb4483492b7520fd"},
        {"a volume ramp", [&] { driver_audio_stream_volume(music, 1); }, 4, 4096, "33b4f4d73e7afcc451a473eda74bcde1"},
        {"the limiter",
         [&] {
             for (int i = 0; i < 3; i++) driver_audio_sample_play(pure, 1, 0);
         },
         6, 4096, "7300a72bf2d7db3bdbe03422f9de7371"},
        {"recovery and a mono stream across its loop", [&] { quiet([&] { driver_audio_stream_play(hum, 0.8f, 0); }); },
         30, 4096, "aa68d2c58b0a07d14675c8b1ea45bf7d"},
        // The mono stream stops, so that from here on the output is the
        // same whether a pass ends in silence or goes on into the next.
        {"a fade out",
         [&] {
             quiet([&] { driver_audio_stream_stop(hum); });
             driver_audio_stream_volume(music, 0);
         },
         3, 4096, "ed7ca0f57af6eeb4f8ff5689ac8372c8"},
        {"a device of one channel",
         [&] {
             driver_audio_stream_volume(music, 0.6f);
             _sdl_audio_data->have.channels = 1;
         },
         4, 4096, "fbe2be7357a348e9a9ea71549eb2995d"},
        {"a device at 48000 Hz",
         [&] {
             _sdl_audio_data->have = have;
             _sdl_audio_data->have.freq = 48000;
         },
         4, 4096, "ce3ee7a4db2c913e56e0624a3ec1b36c"},
        {"a device of floats",
         [&] {
             _sdl_audio_data->have = have;
             _sdl_audio_data->have.format = AUDIO_F32LSB;
         },
         4, 4096, "43a71f1700464a5e711e1f3854f7911a"},
        {"a longer buffer", [&] { _sdl_audio_data->have = have; }, 3, 8192, "61dcae0b9f1ac81b9a9a3ba0461194a0"},
        {"a shorter buffer", [] {}, 3, 1000, "d9485a9be10e9bf644d08d7aa78621b9"},
        {"the device's own buffer again", [] {}, 4, 4096, "e8a671da48f8fa5eddc1761c38f42bb7"},
    };
    for (const Phase& ph : phases) {
        ph.start();
        std::vector<int16_t> out;
        for (int i = 0; i < ph.buffers; i++) {
            std::vector<int16_t> b = callback(ph.bytes);
            out.insert(out.end(), b.begin(), b.end());
        }
        EXPECT_EQ(md5_hex(out.data(), out.size() * 2), ph.md5) << ph.name;
    }
    _sdl_audio_data->have = have;
}

// Once the device is open and a stream has opened its file, the callback
// takes nothing from the heap: not for mixing, limiting, resampling or
// converting, nor for plays that start, ramp, end or loop. A device whose
// format changed gets its conversion on the first buffer after the change.
TEST_F(AudioDevice, CallbackAllocatesNothingOnceRunning) {
    if (!alloc_count_available()) GTEST_SKIP() << "a sanitizer owns malloc in this build";
    int pure = float_sample(std::vector<float>(6000, 0.4f));
    int low = sample(file("low.wav", wav_file(WAV_PCM, 16, 1, 22050, wav_data_s16(pcm_sine(4410, 1, 22050, 300, 0.7)))));
    ASSERT_TRUE(ogg_encode(dir.file("music.ogg"), pcm_two_tones(22050, 44100, 330, 441, 0.5), 2, 44100));
    int music = stream(dir.file("music.ogg"));
    ASSERT_TRUE(ogg_encode(dir.file("hum.ogg"), pcm_sine(11025, 1, 44100, 110, 0.6), 1, 44100));
    int hum = stream(dir.file("hum.ogg"));
    ASSERT_TRUE(ogg_encode(dir.file("high.ogg"), pcm_two_tones(24000, 48000, 330, 441, 0.5), 2, 48000));
    int high = stream(dir.file("high.ogg"));
    ASSERT_TRUE(ogg_encode(dir.file("phone.ogg"), pcm_sine(4000, 1, 8000, 300, 0.5), 1, 8000));
    int phone = stream(dir.file("phone.ogg"));
    ASSERT_EQ(pure * low * music * hum * high * phone, 720) << log;

    SDL_AudioSpec have = _sdl_audio_data->have;
    std::vector<int16_t> out(2048);
    struct Case {
        const char* name;
        std::function<void()> start;
        int buffers;
    };
    const Case cases[] = {
        {"samples start, mix and end",
         [&] {
             driver_audio_sample_play(pure, 1, 0);
             driver_audio_sample_play(low, 0.5f, 0);
         },
         6},
        {"streams loop",
         [&] {
             quiet([&] {
                 driver_audio_stream_play(music, 0.7f, 0);
                 driver_audio_stream_play(hum, 1, 0);
             });
         },
         30},
        {"volume ramps and the limiter",
         [&] {
             driver_audio_stream_volume(music, 0.1f);
             for (int i = 0; i < 4; i++) driver_audio_sample_play(pure, 1, 0);
         },
         6},
        {"streams resampled from 48000 and 8000 Hz",
         [&] {
             quiet([&] {
                 driver_audio_stream_play(high, 1, 0);
                 driver_audio_stream_play(phone, 1, 0);
             });
         },
         30},
        {"a device of one channel", [&] { _sdl_audio_data->have.channels = 1; }, 10},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.start();
        SDL_LockAudio();
        if (_sdl_audio_data->have.channels != have.channels) _driver_audio_callback(nullptr, (Uint8*)out.data(), 4096);
        long n = alloc_count([&] {
            for (int i = 0; i < c.buffers; i++) _driver_audio_callback(nullptr, (Uint8*)out.data(), 4096);
        });
        SDL_UnlockAudio();
        EXPECT_EQ(n, 0);
    }
    _sdl_audio_data->have = have;
}

// The resampler on its own: a tone below the cutoff comes out as the same
// tone at 44100 Hz, in phase, on its own channel; one above the lower
// Nyquist frequency is filtered out rather than folded back into the band.
// The input goes in pieces of ragged sizes, as a decoder gives them.
TEST(AudioResample, TonesPassOrStopAcrossPieces) {
    struct Case {
        unsigned rate;
        double hz;
        bool passes;
    };
    for (Case c : {Case{8000, 1000, true}, Case{8000, 3500, true}, Case{22050, 9000, true}, Case{32000, 14000, true},
                   Case{48000, 440, true}, Case{48000, 19500, true}, Case{96000, 7000, true}, Case{96000, 19500, true},
                   Case{48000, 23000, false}, Case{96000, 30000, false}, Case{96000, 40000, false}}) {
        SCOPED_TRACE(testing::Message() << c.hz << " Hz at " << c.rate << " Hz");
        Resampler r;
        resample_init(&r, c.rate, 44100);
        const int frames = 44100;
        std::vector<float> out((size_t)frames * 2);
        long fed = 0;
        unsigned seed = 7;
        for (int done = 0; done < frames;) {
            done += resample_output(&r, out.data() + 2 * done, frames - done);
            int space = 0;
            float* in = resample_input(&r, &space);
            int n = std::min(space, (int)((seed = seed * 1103515245 + 12345) >> 16) % 1500 + 1);
            for (int i = 0; i < n; i++, fed++) {
                double t = (double)fed / c.rate;
                in[2 * i] = (float)(0.5 * std::sin(2 * M_PI * c.hz * t));
                in[2 * i + 1] = (float)(0.5 * std::cos(2 * M_PI * c.hz * t));
            }
            resample_commit(&r, n);
        }
        // Past the filter's start, where the silence before the first frame
        // still reaches in.
        double worst = 0, power = 0;
        for (int j = 1000; j < frames; j++) {
            double t = j / 44100.0;
            double l = out[2 * (size_t)j], rr = out[2 * (size_t)j + 1];
            if (c.passes) {
                worst = std::max(worst, std::fabs(l - 0.5 * std::sin(2 * M_PI * c.hz * t)));
                worst = std::max(worst, std::fabs(rr - 0.5 * std::cos(2 * M_PI * c.hz * t)));
            } else {
                power += l * l + rr * rr;
            }
        }
        // Within 2e-4 of the tone (-68 dB), or at most 1e-4 left of it.
        if (c.passes)
            EXPECT_LT(worst, 2e-4);
        else
            EXPECT_LT(std::sqrt(power / (2.0 * (frames - 1000))), 1e-4);
    }
}

// After the input's end the resampler gives its tail and then silence, as
// much of it as is asked for; a constant comes through unchanged.
TEST(AudioResample, InputEndsInSilence) {
    for (unsigned rate : {8000u, 48000u, 768000u}) {
        SCOPED_TRACE(rate);
        Resampler r;
        resample_init(&r, rate, 44100);
        const int in_frames = 20000;
        int fed = 0, space = 0;
        std::vector<float> out(2 * 200000);
        int done = 0;
        while (done < 200000) {
            done += resample_output(&r, out.data() + 2 * done, 200000 - done);
            float* in = resample_input(&r, &space);
            int n = std::min(space, in_frames - fed);
            std::fill(in, in + 2 * n, 0.5f);
            fed += n;
            resample_commit(&r, n);
        }
        // Output frame j lies at input frame j * rate / 44100.
        long last = (long)in_frames * 44100 / rate, reach = (long)std::ceil(r.half * 44100.0 / rate) + 1;
        for (long j = reach; j < last - reach; j++) ASSERT_NEAR(out[2 * (size_t)j], 0.5f, 1e-4) << j;
        for (long j = last + reach; j < 200000; j++) ASSERT_EQ(out[2 * (size_t)j + 1], 0.0f) << j;
    }
}

TEST(AudioNoDevice, LoadsGiveNothing) {
    setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    TempDir dir;
    write_file(dir.file("a.wav"), wav_file(WAV_PCM, 16, 1, 44100, wav_data_s16({1, 2, 3, 4})));
    std::string out = capture_stdout([&] {
        driver_init(DRIVER_AUDIO);
        EXPECT_EQ(_sdl_audio_data, nullptr);
        EXPECT_EQ(driver_audio_sample_load(dir.file("a.wav").c_str()), 0);
        EXPECT_EQ(driver_audio_stream_load(dir.file("a.ogg").c_str(), false), 0);
        driver_audio_sample_play(1, 1, 0);
        driver_deinit();
    });
    EXPECT_TRUE(has_line(out, "_mixer: error in audio_init\n")) << out;
    EXPECT_EQ(count(out, "_mixer"), 1) << out;
}

// The types of the events that the driver hands out until its queue is empty.
static std::vector<int> _drain_events() {
    std::vector<int> types;
    Event e(EVT_NONE);
    while (driver_event_poll(&e)) types.push_back(e.type);
    return types;
}

// A device that does not open (the disk driver cannot create its file) leaves
// SDL's audio running, and a sound device that it reports afterwards must
// reach no one, as none did with the audio taken down; other events pass. A
// new start whose device opens hears of devices again.
TEST(AudioNoDevice, DeviceEventsAfterAFailedOpenStayHidden) {
    SDL_Event added{}, quit{};
    added.type = SDL_AUDIODEVICEADDED;
    quit.type = SDL_QUIT;
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", "/nonexistent/out.raw", 1);
    std::string out = capture_stdout([] { driver_init(DRIVER_TIMER | DRIVER_AUDIO); });
    EXPECT_EQ(_sdl_audio_data, nullptr);
    EXPECT_TRUE(has_line(out, "_mixer: error in audio_init\n")) << out;
    _drain_events();
    SDL_PushEvent(&added);
    SDL_PushEvent(&quit);
    EXPECT_EQ(_drain_events(), std::vector<int>({EVT_QUIT}));
    capture_stdout([] { driver_deinit(); });

    setenv("SDL_AUDIODRIVER", "dummy", 1);
    capture_stdout([] { driver_init(DRIVER_TIMER | DRIVER_AUDIO); });
    ASSERT_NE(_sdl_audio_data, nullptr);
    _drain_events();
    SDL_PushEvent(&added);
    SDL_PushEvent(&quit);
    EXPECT_EQ(_drain_events(), std::vector<int>({EVT_NONE, EVT_QUIT}));
    capture_stdout([] { driver_deinit(); });
    unsetenv("SDL_DISKAUDIOFILE");
}

TEST(AudioDeviceOpen, LogsWhatTheDeviceGranted) {
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    std::string out = capture_stdout([] { driver_init(DRIVER_AUDIO); });
    ASSERT_NE(_sdl_audio_data, nullptr) << out;
    const SDL_AudioSpec& h = _sdl_audio_data->have;
    char line[96];
    snprintf(line, sizeof line, "_mixer: freq=%d, channels=%d, samples=%d\n", h.freq, h.channels, h.samples);
    EXPECT_TRUE(has_line(out, line)) << out;
    EXPECT_LT(out.find(line), out.find("_mixer: audio_init: OK\n")) << out;
    EXPECT_EQ(_sdl_audio_data->work.format, AUDIO_F32LSB);
    EXPECT_EQ(_sdl_audio_data->_want.format, AUDIO_S16LSB);
    EXPECT_EQ(_sdl_audio_data->_want.samples, 1024);
    EXPECT_EQ(_sdl_audio_data->sources.size(), 1u);
    EXPECT_EQ(_sdl_audio_data->sources[0], nullptr);
    EXPECT_EQ(_sdl_audio_data->peak, 1.0f);
    // A second start keeps the open device.
    _SDL_audioData* a = _sdl_audio_data;
    out = capture_stdout([] { _driver_audio_init(); });
    EXPECT_EQ(_sdl_audio_data, a);
    EXPECT_EQ(out, "");
    capture_stdout([] { driver_deinit(); });
}
