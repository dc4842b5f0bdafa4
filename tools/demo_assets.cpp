// demo_assets: draws the demo mod's pictures and its click sound by code.
//
//   demo_assets <data directory>
//
// writes demo_ball.png (a shaded ball with a dark rim), demo_tile.png (a
// backdrop tile with grid lines), demo_ground.png (grass over earth, 16 x 32) and
// demo_click.wav (a short falling blip, 16-bit mono 22050 Hz). The pictures
// are drawn at the demo's logical resolution, one texel to a logical pixel,
// for nearest-neighbour magnification. The outputs are committed; run this
// only to change them (cmake --build build --target demo_assets).
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include <stb_image_write.h>

typedef std::vector<uint8_t> Pixels;

static void put(Pixels& px, int n, int x, int y, int r, int g, int b, int a) {
    uint8_t* p = &px[(y * n + x) * 4];
    p[0] = (uint8_t)r, p[1] = (uint8_t)g, p[2] = (uint8_t)b, p[3] = (uint8_t)a;
}

static bool save(const std::string& path, int n, const Pixels& px) {
    return stbi_write_png(path.c_str(), n, n, 4, px.data(), n * 4) != 0;
}

// 16 x 16: orange, lit from the top left, with a one-texel dark rim and a
// small highlight; the corners are transparent.
static bool write_ball(const std::string& path) {
    const int n = 16;
    Pixels px(n * n * 4, 0);
    for (int y = 0; y < n; y++)
        for (int x = 0; x < n; x++) {
            float dx = x + 0.5f - n / 2.0f, dy = y + 0.5f - n / 2.0f;
            float d = std::sqrt(dx * dx + dy * dy);
            if (d > 7.3f) continue;
            if (d > 6.3f) {
                put(px, n, x, y, 110, 40, 14, 255);
                continue;
            }
            // Light falls off with the distance from a point up and left.
            float lx = dx + 2.5f, ly = dy + 2.5f;
            float l = 1.05f - std::sqrt(lx * lx + ly * ly) / 11.0f;
            l = l < 0.5f ? 0.5f : (l > 1.0f ? 1.0f : l);
            if (x >= 4 && x <= 5 && y >= 4 && y <= 5)
                put(px, n, x, y, 255, 245, 215, 255);
            else
                put(px, n, x, y, (int)(255 * l), (int)(150 * l), (int)(55 * l), 255);
        }
    return save(path, n, px);
}

// 16 x 16: deep blue with lighter grid lines along the top and left edges,
// so a floor of tiles shows a grid of 16-pixel cells.
static bool write_tile(const std::string& path) {
    const int n = 16;
    Pixels px(n * n * 4);
    for (int y = 0; y < n; y++)
        for (int x = 0; x < n; x++) {
            bool line = x == 0 || y == 0;
            bool dot = x == 8 && y == 8;
            if (line)
                put(px, n, x, y, 46, 60, 104, 255);
            else if (dot)
                put(px, n, x, y, 40, 52, 90, 255);
            else
                put(px, n, x, y, 28, 36, 66, 255);
        }
    return save(path, n, px);
}

// 16 x 32: three rows of grass (the top one lighter) over earth with a few
// darker stones, the earth darkening with depth.
static bool write_ground(const std::string& path) {
    const int w = 16, h = 32;
    Pixels px(w * h * 4);
    static const int stones[][2] = {{3, 6}, {4, 6}, {11, 9}, {7, 13}, {8, 13}, {14, 15},
                                    {1, 19}, {10, 22}, {11, 22}, {5, 26}, {13, 28}};
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            uint8_t* p = &px[(y * w + x) * 4];
            int r = 112, g = 78, b = 48;
            if (y == 0)
                r = 140, g = 210, b = 100;
            else if (y < 3 || (y == 3 && x % 5 == 1))
                r = 80, g = 160, b = 70;
            else if (y > 16)
                r = 96, g = 66, b = 40;
            p[0] = (uint8_t)r, p[1] = (uint8_t)g, p[2] = (uint8_t)b, p[3] = 255;
        }
    for (auto& s : stones) {
        uint8_t* p = &px[(s[1] * w + s[0]) * 4];
        p[0] = 70, p[1] = 48, p[2] = 30;
    }
    return stbi_write_png(path.c_str(), w, h, 4, px.data(), w * 4) != 0;
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
              write_ground(dir + "/demo_ground.png") && write_click(dir + "/demo_click.wav");
    if (!ok) fprintf(stderr, "demo_assets: cannot write into %s\n", dir.c_str());
    return ok ? 0 : 1;
}
