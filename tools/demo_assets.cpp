// demo_assets: draws the demo mod's pictures and its click sound by code.
//
//   demo_assets <data directory>
//
// writes demo_ball.png (a shaded ball with soft edges), demo_tile.png (a
// two-tone floor tile) and demo_click.wav (a short falling blip, 16-bit mono
// 22050 Hz). The outputs are committed; run this only to change them.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include <stb_image_write.h>

static bool write_ball(const std::string& path) {
    const int n = 32;
    std::vector<uint8_t> px(n * n * 4);
    for (int y = 0; y < n; y++)
        for (int x = 0; x < n; x++) {
            float dx = (x + 0.5f - n / 2.0f) / (n / 2.0f), dy = (y + 0.5f - n / 2.0f) / (n / 2.0f);
            float d = std::sqrt(dx * dx + dy * dy);
            float a = d < 0.9f ? 1.0f : (d < 1.0f ? (1.0f - d) / 0.1f : 0.0f);
            // Light from the top left.
            float l = 0.55f + 0.45f * std::fmax(0.0f, 1.0f - std::sqrt((dx + 0.35f) * (dx + 0.35f) + (dy + 0.35f) * (dy + 0.35f)));
            uint8_t* p = &px[(y * n + x) * 4];
            p[0] = (uint8_t)(255 * l);
            p[1] = (uint8_t)(120 * l);
            p[2] = (uint8_t)(40 * l);
            p[3] = (uint8_t)(255 * a);
        }
    return stbi_write_png(path.c_str(), n, n, 4, px.data(), n * 4) != 0;
}

static bool write_tile(const std::string& path) {
    const int n = 16;
    std::vector<uint8_t> px(n * n * 4);
    for (int y = 0; y < n; y++)
        for (int x = 0; x < n; x++) {
            bool dark = (x < n / 2) != (y < n / 2);
            uint8_t* p = &px[(y * n + x) * 4];
            p[0] = dark ? 30 : 45;
            p[1] = dark ? 40 : 60;
            p[2] = dark ? 70 : 95;
            p[3] = 255;
        }
    return stbi_write_png(path.c_str(), n, n, 4, px.data(), n * 4) != 0;
}

static void put16(FILE* f, uint16_t v) { fputc(v & 0xFF, f), fputc(v >> 8, f); }
static void put32(FILE* f, uint32_t v) { put16(f, v & 0xFFFF), put16(f, v >> 16); }

static bool write_click(const std::string& path) {
    const int rate = 22050, frames = rate / 8;
    FILE* f = fopen(path.c_str(), "wb");
    if (!f) return false;
    fwrite("RIFF", 1, 4, f);
    put32(f, 36 + frames * 2);
    fwrite("WAVEfmt ", 1, 8, f);
    put32(f, 16);
    put16(f, 1);  // PCM
    put16(f, 1);  // mono
    put32(f, rate);
    put32(f, rate * 2);
    put16(f, 2);
    put16(f, 16);
    fwrite("data", 1, 4, f);
    put32(f, frames * 2);
    double phase = 0;
    for (int i = 0; i < frames; i++) {
        double t = (double)i / frames;
        phase += 2 * M_PI * (880.0 - 500.0 * t) / rate;
        double v = std::sin(phase) * (1.0 - t) * (1.0 - t) * 0.6;
        put16(f, (uint16_t)(int16_t)(v * 32767));
    }
    return fclose(f) == 0;
}

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: demo_assets <data directory>\n");
        return 2;
    }
    std::string dir = argv[1];
    bool ok = write_ball(dir + "/demo_ball.png") && write_tile(dir + "/demo_tile.png") &&
              write_click(dir + "/demo_click.wav");
    if (!ok) fprintf(stderr, "demo_assets: cannot write into %s\n", dir.c_str());
    return ok ? 0 : 1;
}
