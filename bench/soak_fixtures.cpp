// soak_fixtures: writes the files of the soak run (bench/soak.sh) into a
// folder: two valid versions and one damaged version of each file that the
// soak rewrites while the engine runs, and the files that stay.
//   soak_fixtures <folder>
//
// Rewritten (the soak copies one of the three over the mod's file):
//   sprite_a.png 16x16, sprite_b.png 32x16, sprite_bad.png: a cut PNG
//   soakfont_a.fnt (glyphs 8 wide), soakfont_b.fnt (12 wide),
//     soakfont_bad.fnt: cut inside its first line, no "common" line, no glyph
//   click_a.wav, click_b.wav, click_bad.wav: cut inside its RIFF header
// Kept: tile.png, soakfont.png (the font's picture, solid white so both
// versions draw), chime.ogg (a sample), music.ogg (the stream, 48 kHz).
#include <cstdio>
#include <string>
#include <vector>

#include "audio_fixtures.h"
#include "font_fixtures.h"
#include "image_fixtures.h"
#include "tempdir.h"

// BMFont text as a generator writes it: an "info" line first, the "page"
// line after "common".
static std::string _soak_font(int advance) {
    std::string body = fixture_font_text(16, advance);
    size_t common_end = body.find('\n') + 1;
    return "info face=\"soak\" size=16 bold=0 italic=0 charset=\"\" unicode=1 stretchH=100 smooth=1 aa=1\n" +
           body.substr(0, common_end) + "page id=0 file=\"soakfont.png\"\n" + body.substr(common_end);
}

static std::string _cut(const std::string& s, size_t n) { return s.substr(0, n < s.size() ? n : s.size()); }

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: soak_fixtures <folder>\n");
        return 2;
    }
    std::string dir = argv[1];
    auto at = [&](const char* name) { return dir + "/" + name; };
    bool ok = true;

    ok &= fixture_image(at("sprite_a.png"), "png", 16, 16, fixture_solid(16, 16, 255, 160, 32, 255));
    ok &= fixture_image(at("sprite_b.png"), "png", 32, 16, fixture_halves(32, 16));
    ok &= fixture_image(at("tile.png"), "png", 8, 8, fixture_solid(8, 8, 40, 200, 120, 255));
    ok &= fixture_image(at("soakfont.png"), "png", 256, 128, fixture_solid(256, 128, 255, 255, 255, 255));
    if (!ok) {
        fprintf(stderr, "soak_fixtures: cannot write the pictures into %s\n", dir.c_str());
        return 1;
    }
    std::string png = read_file(at("sprite_a.png"));
    write_file(at("sprite_bad.png"), _cut(png, png.size() * 2 / 5));

    std::string font_a = _soak_font(8);
    write_file(at("soakfont_a.fnt"), font_a);
    write_file(at("soakfont_b.fnt"), _soak_font(12));
    write_file(at("soakfont_bad.fnt"), _cut(font_a, 30));

    std::string wav_a = wav_file(WAV_PCM, 16, 1, 22050, wav_data_s16(pcm_sine(3300, 1, 22050, 880, 0.3)));
    write_file(at("click_a.wav"), wav_a);
    write_file(at("click_b.wav"), wav_file(WAV_PCM, 16, 2, 44100, wav_data_s16(pcm_sine(4410, 2, 44100, 660, 0.3))));
    write_file(at("click_bad.wav"), _cut(wav_a, 22));

    if (!ogg_encode(at("chime.ogg"), pcm_sine(8820, 1, 44100, 1320, 0.2), 1, 44100) ||
        !ogg_encode(at("music.ogg"), pcm_sine(4 * 48000, 2, 48000, 220, 0.2), 2, 48000)) {
        fprintf(stderr, "soak_fixtures: oggenc failed\n");
        return 1;
    }
    return 0;
}
