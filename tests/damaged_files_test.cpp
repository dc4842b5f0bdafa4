// Damaged real files: pictures, fonts and sounds from our own fixtures and
// from files that Debian ships, each cut short at 64 points and with single
// bytes changed at 64 seeded places (support/damage.h), then loaded and drawn
// or played as a game does: pictures through the image registry and a blit,
// fonts through font_load and font_draw (both on a real GL context under the
// X server), sounds through the mixer's sample and stream loads and the
// mixing callback of the dummy audio device. Every version must give a log
// line or a correct result; a crash, a hang or a sanitizer report fails.
//
// A Debian source is skipped only when its file is not installed; the
// packages are listed in tools/packages.sh.
#include <gtest/gtest.h>

#include <GL/gl.h>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include <stb_image.h>

#include "audio_fixtures.h"
#include "capture.h"
#include "child.h"
#include "damage.h"
#include "font_fixtures.h"
#include "gl_window.h"
#include "image_fixtures.h"
#include "qel_driver-audio.h"
#include "qel_driver.h"
#include "qel_font.h"
#include "qel_gfx.h"
#include "qel_mixer.h"
#include "tempdir.h"

namespace {

// A source: a file of ours made by code, or a file Debian ships (`debian`),
// possibly turned into another format by a common tool.
struct Source {
    const char* name;
    const char* ext;     // of the files the versions are written to
    const char* debian;  // the Debian file it starts from, or null
    // The source's bytes; tmp is scratch space for tools.
    std::string (*make)(const Source& s, const TempDir& tmp);
};

std::ostream& operator<<(std::ostream& o, const Source& s) { return o << s.name; }
std::string source_name(const ::testing::TestParamInfo<Source>& info) { return info.param.name; }

std::string debian_bytes(const Source& s, const TempDir&) { return read_file(s.debian); }

// The same bytes for the same source on every run: the seed comes from its name.
unsigned source_seed(const Source& s) {
    unsigned h = 2166136261u;
    for (const char* p = s.name; *p; p++) h = (h ^ (unsigned char)*p) * 16777619u;
    return h;
}

// Runs fn with both streams captured: the driver logs on stdout, the
// loaders on stderr.
std::string logged(const std::function<void()>& fn) {
    std::string err;
    std::string out = capture_stdout([&] { err = capture_stderr(fn); });
    return out + err;
}

bool has(const std::string& log, const std::string& needle) { return log.find(needle) != std::string::npos; }

// Runs a tool (ours or Debian's) with its output in a file of tmp; false when
// it fails.
bool run_tool(const std::vector<std::string>& argv, const TempDir& tmp) {
    Child c = child_start(argv, {}, tmp.file("tool.log"));
    return child_wait(c, 60000) == 0;
}

// ---------------------------------------------------------------------------
// Pictures

// A picture with every alpha level and a size that is no power of two.
std::vector<unsigned char> fixture_gradient(int w, int h) {
    std::vector<unsigned char> px((size_t)w * h * 4);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            unsigned char* p = &px[((size_t)y * w + x) * 4];
            p[0] = (unsigned char)(x * 255 / w);
            p[1] = (unsigned char)(y * 255 / h);
            p[2] = (unsigned char)(128 + x - y);
            p[3] = (unsigned char)((x + y) * 255 / (w + h));
        }
    return px;
}

std::string fixture_picture(const char* format, const TempDir& tmp) {
    std::string path = tmp.file(std::string("fixture.") + format);
    if (!fixture_image(path, format, 37, 23, fixture_gradient(37, 23))) return "";
    return read_file(path);
}

// Debian's icon turned into a JPEG by ImageMagick (libjpeg): no small Debian
// package ships JPEG icons, and this is how a user would make one.
std::string debian_jpeg(const Source& s, const TempDir& tmp, bool progressive) {
    std::string out = tmp.file("icon.jpg");
    std::vector<std::string> argv = {"/usr/bin/convert", s.debian, "-background", "#3060a0", "-alpha", "remove",
                                     "-quality", "85"};
    if (progressive) argv.insert(argv.end(), {"-interlace", "JPEG"});
    argv.push_back(out);
    return run_tool(argv, tmp) ? read_file(out) : "";
}

#define ICONS "/usr/share/icons/hicolor/"
const Source _pictures[] = {
    {"fixture_png", ".png", nullptr, [](const Source&, const TempDir& t) { return fixture_picture("png", t); }},
    {"fixture_tga", ".tga", nullptr, [](const Source&, const TempDir& t) { return fixture_picture("tga", t); }},
    {"fixture_jpg", ".jpg", nullptr, [](const Source&, const TempDir& t) { return fixture_picture("jpg", t); }},
    {"icon_22", ".png", ICONS "22x22/apps/display-im6.q16.png", debian_bytes},
    {"icon_48", ".png", ICONS "48x48/apps/display-im6.q16.png", debian_bytes},
    {"icon_256", ".png", ICONS "256x256/apps/display-im6.q16.png", debian_bytes},
    {"icon_48_jpg", ".jpg", ICONS "48x48/apps/display-im6.q16.png",
     [](const Source& s, const TempDir& t) { return debian_jpeg(s, t, false); }},
    {"icon_256_progressive_jpg", ".jpg", ICONS "256x256/apps/display-im6.q16.png",
     [](const Source& s, const TempDir& t) { return debian_jpeg(s, t, true); }},
};

const int W = 320, H = 320;

// The window and the registries on it, in a working directory of their own.
class DamagedGl : public ::testing::TestWithParam<Source> {
  protected:
    WorkDir dir;
    TempDir tmp;
    void SetUp() override {
        std::string why;
        ASSERT_TRUE(gl_window_gfx_open(W, H, &why)) << why;
        font_init();
    }
    void TearDown() override {
        font_deinit();
        gl_window_gfx_close();
    }
    static void clear() {
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT);
    }
};

// A Debian source whose file is not installed is skipped; any other source
// that cannot be made fails.
bool absent(const Source& s) { return s.debian && !path_exists(s.debian); }
const char* const _absent_why = " is not installed (its package is in tools/packages.sh)";

class DamagedPicture : public DamagedGl {};

// The window's top-left w x h pixels, rows from the top.
std::vector<unsigned char> read_window(int w, int h) {
    std::vector<unsigned char> px((size_t)w * h * 4), rows(px.size());
    gfx_flush();
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, H - h, w, h, GL_RGBA, GL_UNSIGNED_BYTE, px.data());
    for (int y = 0; y < h; y++)
        std::copy(px.begin() + (ptrdiff_t)(h - 1 - y) * w * 4, px.begin() + (ptrdiff_t)(h - y) * w * 4,
                  rows.begin() + (ptrdiff_t)y * w * 4);
    return rows;
}

// Each version through the image registry, then blitted at 1:1 in the
// top-left corner over black: either the loader says it could not use the
// file and nothing is drawn, or the window shows, premultiplied, what
// stb_image makes of the same bytes.
TEST_P(DamagedPicture, LogsOrDrawsWhatTheBytesHold) {
    if (absent(GetParam())) GTEST_SKIP() << GetParam().debian << _absent_why;
    std::string original = GetParam().make(GetParam(), tmp);
    ASSERT_FALSE(original.empty()) << "could not make " << GetParam().name;
    std::vector<Damaged> versions = damaged_versions(original, source_seed(GetParam()));
    versions.insert(versions.begin(), Damaged{"whole", original});
    int decoded = 0;
    for (size_t k = 0; k < versions.size(); k++) {
        const Damaged& d = versions[k];
        std::string name = "v" + std::to_string(k), file = name + GetParam().ext;
        write_file("data/" + file, d.bytes);
        clear();
        int img = 0;
        std::string log = logged([&] { img = gfx_img_load(name.c_str()); });
        ASSERT_GT(img, 0) << d.what;
        gfx_img_blit(img, 0, 0, 0, 0);

        int w = 0, h = 0, bpp = 0;
        unsigned char* want =
            stbi_load_from_memory((const stbi_uc*)d.bytes.data(), (int)d.bytes.size(), &w, &h, &bpp, 4);
        if (!want || has(log, "stbi_load failed")) {
            EXPECT_TRUE(has(log, "stbi_load failed ./data/" + file + " - ")) << d.what << "\n" << log;
            EXPECT_EQ(gfx_img_get_width(img), 0) << d.what;
            EXPECT_EQ(gfx_img_get_height(img), 0) << d.what;
            std::vector<unsigned char> px = read_window(16, 16);
            for (size_t i = 0; i < px.size(); i += 4) ASSERT_EQ(px[i] | px[i + 1] | px[i + 2], 0) << d.what;
        } else {
            decoded++;
            EXPECT_EQ(gfx_img_get_width(img), w) << d.what;
            EXPECT_EQ(gfx_img_get_height(img), h) << d.what;
            int rw = std::min(w, W), rh = std::min(h, H), wrong = 0;
            std::vector<unsigned char> px = read_window(rw, rh);
            for (int y = 0; y < rh; y++)
                for (int x = 0; x < rw; x++) {
                    const unsigned char* g = &px[((size_t)y * rw + x) * 4];
                    const unsigned char* p = &want[((size_t)y * w + x) * 4];
                    for (int c = 0; c < 3; c++)
                        if (std::abs(g[c] - ((p[c] * p[3]) >> 8)) > 1) wrong++;
                }
            EXPECT_EQ(wrong, 0) << d.what;
        }
        stbi_image_free(want);
        // The versions are many: give each texture back once it is checked.
        _gfx_tex_gl_free(_gfx_get_img(img)->tid);
    }
    // The whole file and its longer cuts decode.
    EXPECT_GT(decoded, 1);
    printf("%s: %zu versions, %d drawn as decoded, %zu refused with a log line\n", GetParam().name,
           versions.size(), decoded, versions.size() - decoded);
}

INSTANTIATE_TEST_SUITE_P(Sources, DamagedPicture, ::testing::ValuesIn(_pictures), source_name);

// ---------------------------------------------------------------------------
// Fonts

// A font as BMFont text and its glyph picture.
struct FontFiles {
    std::string fnt, png;
};

// A Debian TrueType font baked by our console font tool.
FontFiles baked_font(const char* ttf, const TempDir& tmp) {
    make_dir(tmp.file("baked"));
    if (!run_tool({QEL_BINARY_DIR "/console_font", ttf, tmp.file("baked")}, tmp)) return {};
    return {read_file(tmp.file("baked/console.fnt")), read_file(tmp.file("baked/console.png"))};
}

FontFiles fixture_font(const TempDir& tmp) {
    std::string png = tmp.file("fixture_font.png");
    int w = fixture_font_width(8), h = fixture_font_height(16);
    if (!fixture_image(png, "png", w, h, fixture_solid(w, h, 255, 255, 255, 255))) return {};
    return {fixture_font_text(16, 8), read_file(png)};
}

// The font's two files packed into one string for the source table: the
// text, a zero byte, the picture (BMFont text holds no zero byte).
std::string pack(const FontFiles& f) { return f.fnt.empty() ? "" : f.fnt + '\0' + f.png; }

#define FONTS "/usr/share/fonts/truetype/dejavu/"
const Source _fonts[] = {
    {"fixture", ".fnt", nullptr, [](const Source&, const TempDir& t) { return pack(fixture_font(t)); }},
    {"dejavu_sans", ".fnt", FONTS "DejaVuSans.ttf",
     [](const Source& s, const TempDir& t) { return pack(baked_font(s.debian, t)); }},
};

class DamagedFont : public DamagedGl {};

// Each damaged version of the text with the whole picture, then the whole
// text with each damaged version of the picture, loaded at 24 points and
// drawn: a text without its "common" line or its glyphs says so in one line
// naming the file, a picture that does not decode is reported by the
// texture loader, and drawing is silent.
TEST_P(DamagedFont, LogsOrLoadsAndDrawsSilently) {
    if (absent(GetParam())) GTEST_SKIP() << GetParam().debian << _absent_why;
    std::string packed = GetParam().make(GetParam(), tmp);
    ASSERT_FALSE(packed.empty()) << "could not make " << GetParam().name;
    size_t zero = packed.find('\0');
    ASSERT_NE(zero, std::string::npos);
    FontFiles whole{packed.substr(0, zero), packed.substr(zero + 1)};
    unsigned seed = source_seed(GetParam());
    std::vector<FontFiles> versions = {whole};
    std::vector<std::string> what = {"whole"};
    for (const Damaged& d : damaged_versions(whole.fnt, seed)) {
        versions.push_back({d.bytes, whole.png});
        what.push_back("text " + d.what);
    }
    for (const Damaged& d : damaged_versions(whole.png, seed + 1)) {
        versions.push_back({whole.fnt, d.bytes});
        what.push_back("picture " + d.what);
    }
    const char* text = "The quick brown fox\njumps over the lazy dog. 0123456789 ~!@#$%^&*()";
    int texts_logged = 0, pictures_logged = 0;
    for (size_t k = 0; k < versions.size(); k++) {
        std::string name = "f" + std::to_string(k);
        write_file("data/" + name + ".fnt", versions[k].fnt);
        write_file("data/" + name + ".png", versions[k].png);
        int n = 0;
        std::string log = logged([&] { n = font_load(name.c_str(), 24); });
        ASSERT_GT(n, 0) << what[k];

        FontInfo ref;
        FontParsed parsed = _font_parse(ref, versions[k].fnt);
        bool damaged = !parsed.common || !parsed.glyphs;
        EXPECT_EQ(has(log, "damaged font ./data/" + name + ".fnt: "), damaged) << what[k] << "\n" << log;
        texts_logged += damaged;
        int w = 0, h = 0, bpp = 0;
        unsigned char* px = stbi_load_from_memory((const stbi_uc*)versions[k].png.data(),
                                                  (int)versions[k].png.size(), &w, &h, &bpp, 4);
        bool decodes = px != nullptr;
        stbi_image_free(px);
        if (!decodes) {
            EXPECT_TRUE(has(log, "stbi_load failed ./data/" + name + ".png - ")) << what[k];
            pictures_logged++;
        }

        clear();
        std::string drawing = logged([&] {
            font_draw(n, text, 4, 4, 0, -1);
            font_draw(n, text, 4, 100, 200, 0);
            font_get_width(n, text);
            font_get_height(n, text, 200);
        });
        EXPECT_EQ(drawing, "") << what[k];
        if (k == 0) {
            // The whole font shows its text.
            std::vector<unsigned char> px = read_window(W, 60);
            int ink = 0;
            for (size_t i = 0; i < px.size(); i += 4) ink += px[i] > 128;
            EXPECT_GT(ink, 200);
        }
        _gfx_tex_gl_free(_font->data[n].tex);
    }
    printf("%s: %zu versions, %d texts said damaged and %d pictures refused, each with a log line\n", GetParam().name,
           versions.size(), texts_logged, pictures_logged);
}

INSTANTIATE_TEST_SUITE_P(Sources, DamagedFont, ::testing::ValuesIn(_fonts), source_name);

// ---------------------------------------------------------------------------
// Sounds

std::string fixture_ogg(const TempDir& tmp) {
    std::string path = tmp.file("fixture.ogg");
    return ogg_encode(path, pcm_sine(6615, 2, 22050, 440, 0.5), 2, 22050) ? read_file(path) : "";
}

#define SOUNDS "/usr/share/sounds/"
const Source _sounds[] = {
    {"fixture_s16_stereo", ".wav", nullptr,
     [](const Source&, const TempDir&) {
         return wav_file(WAV_PCM, 16, 2, 44100, wav_data_s16(pcm_sine(2205, 2, 44100, 440, 0.5)));
     }},
    {"fixture_u8_mono", ".wav", nullptr,
     [](const Source&, const TempDir&) {
         std::vector<uint8_t> v;
         for (int16_t x : pcm_sine(800, 1, 8000, 300, 0.5)) v.push_back((uint8_t)(128 + x / 256));
         return wav_file(WAV_PCM, 8, 1, 8000, wav_data_u8(v));
     }},
    {"fixture_f32_mono", ".wav", nullptr,
     [](const Source&, const TempDir&) {
         std::vector<float> v;
         for (int16_t x : pcm_sine(2400, 1, 48000, 440, 0.5)) v.push_back(x / 32768.0f);
         return wav_file(WAV_FLOAT, 32, 1, 48000, wav_data_f32(v));
     }},
    {"fixture_ogg", ".ogg", nullptr, [](const Source&, const TempDir& t) { return fixture_ogg(t); }},
    {"percussion_wav", ".wav", SOUNDS "sound-icons/percussion-10.wav", debian_bytes},
    {"cembalo_wav", ".wav", SOUNDS "sound-icons/cembalo-10.wav", debian_bytes},
    {"calling_ogg_8000_mono", ".ogg", SOUNDS "freedesktop/stereo/phone-outgoing-calling.oga", debian_bytes},
    {"information_ogg", ".ogg", SOUNDS "freedesktop/stereo/dialog-information.oga", debian_bytes},
    {"rear_left_ogg_48000_mono", ".ogg", SOUNDS "freedesktop/stereo/audio-channel-rear-left.oga", debian_bytes},
};

// The dummy audio device, paused so that the test runs the mixing callback
// itself, and the mixer's registry.
class DamagedSound : public ::testing::TestWithParam<Source> {
  protected:
    WorkDir dir;
    TempDir tmp;
    void SetUp() override {
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        logged([] {
            driver_init(DRIVER_AUDIO);
            driver_set_gamename("G");
            mixer_init();
        });
        ASSERT_NE(_sdl_audio_data, nullptr);
        SDL_PauseAudio(1);
    }
    void TearDown() override {
        logged([] {
            mixer_deinit();
            driver_deinit();
        });
    }
    // Runs the mixing callback as the device would, up to `buffers` times
    // and no longer than source v has a play.
    static void mix(int v, int buffers) {
        std::vector<Uint8> out(4096);
        for (int i = 0; i < buffers; i++) {
            bool playing = false;
            for (const AudioPlaying& p : _sdl_audio_data->playing) playing = playing || p.src == v;
            if (!playing) return;
            _driver_audio_callback(nullptr, out.data(), (int)out.size());
        }
    }
    // Whether every value source v yields, up to 2^21 of them, is a number:
    // one NaN or infinity in the mix would turn the limiter's whole buffer
    // into noise.
    static bool finite(int v) {
        AudioSource* src = _sdl_audio_data->sources[(size_t)v];
        int len = std::min(src->get_length(), 1 << 21);
        std::vector<float> buf(2048);
        for (int pos = 0; pos < len; pos += 2048) {
            std::fill(buf.begin(), buf.end(), 0.0f);
            src->get_samples(pos, 2048, buf.data(), false);
            for (float x : buf)
                if (!std::isfinite(x)) return false;
        }
        return true;
    }
};

// Each version as a sample (decoded whole, played once to its end) and as a
// stream (played, mixed for a few buffers, stopped): a file that does not
// load says so in the driver's log, and what loads yields only numbers.
TEST_P(DamagedSound, LogsOrPlaysNumbers) {
    if (absent(GetParam())) GTEST_SKIP() << GetParam().debian << _absent_why;
    std::string original = GetParam().make(GetParam(), tmp);
    ASSERT_FALSE(original.empty()) << "could not make " << GetParam().name;
    const Source& s = GetParam();
    std::vector<Damaged> versions = damaged_versions(original, source_seed(s));
    versions.insert(versions.begin(), Damaged{"whole", original});
    int played = 0, streams_refused = 0;
    for (size_t k = 0; k < versions.size(); k++) {
        const Damaged& d = versions[k];
        std::string name = "s" + std::to_string(k) + s.ext, path = "./data/" + name;
        write_file(path, d.bytes);

        int v = 0;
        std::string log = logged([&] { v = mixer_sample_load(name.c_str()); });
        if (!v) {
            EXPECT_TRUE(has(log, "_mixer: error in _sample_load_")) << d.what << "\n" << log;
            EXPECT_TRUE(has(log, path)) << d.what;
        } else {
            played++;
            EXPECT_TRUE(finite(v)) << d.what;
            // Played to its end, unless a damaged header made it long.
            int buffers = _sdl_audio_data->sources[(size_t)v]->get_length() / 2048 + 2;
            logged([&] {
                mixer_sample_play(v, 1, 0);
                mix(v, std::min(buffers, 1024));
            });
            if (buffers <= 1024) {
                for (const AudioPlaying& p : _sdl_audio_data->playing) EXPECT_NE(p.src, v) << d.what << " still plays";
            }
        }

        int st = 0;
        log = logged([&] { st = mixer_stream_load(name.c_str()); });
        if (!st) {
            EXPECT_TRUE(has(log, "_mixer: error in _sample_load_wav")) << d.what << "\n" << log;
            streams_refused++;
            continue;
        }
        AudioSource* src = _sdl_audio_data->sources[(size_t)st];
        log = logged([&] {
            mixer_stream_play(st, 1);
            mix(st, 8);
            mixer_stream_stop(st);
        });
        if (!strcmp(s.ext, ".ogg")) {
            log += logged([&] { src->load(); });
            if (!src->get_length()) {
                EXPECT_TRUE(has(log, "_mixer: error in _stream_load_ogg '" + path)) << d.what;
                streams_refused++;
            }
        }
        EXPECT_TRUE(finite(st)) << d.what;
        logged([&] { src->unload(); });
    }
    EXPECT_GT(played, 1);
    printf("%s: %zu versions, %zu samples and %d streams refused with a log line\n", s.name, versions.size(),
           versions.size() - played, streams_refused);
}

INSTANTIATE_TEST_SUITE_P(Sources, DamagedSound, ::testing::ValuesIn(_sounds), source_name);

}  // namespace
