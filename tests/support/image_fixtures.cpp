// Test helper: pictures made by code.
#include "image_fixtures.h"

#include <stb_image_write.h>

bool fixture_image(const std::string& path, const char* format, int w, int h,
                   const std::vector<unsigned char>& rgba) {
    std::string f = format;
    if (f == "png") return stbi_write_png(path.c_str(), w, h, 4, rgba.data(), w * 4) != 0;
    if (f == "tga") return stbi_write_tga(path.c_str(), w, h, 4, rgba.data()) != 0;
    if (f == "jpg") return stbi_write_jpg(path.c_str(), w, h, 4, rgba.data(), 100) != 0;
    return false;
}

std::vector<unsigned char> fixture_solid(int w, int h, unsigned r, unsigned g, unsigned b,
                                         unsigned a) {
    std::vector<unsigned char> px((size_t)w * h * 4);
    for (size_t i = 0; i < px.size(); i += 4) {
        px[i] = (unsigned char)r;
        px[i + 1] = (unsigned char)g;
        px[i + 2] = (unsigned char)b;
        px[i + 3] = (unsigned char)a;
    }
    return px;
}

std::vector<unsigned char> fixture_halves(int w, int h) {
    std::vector<unsigned char> px = fixture_solid(w, h, 255, 0, 0, 255);
    for (int y = 0; y < h; y++)
        for (int x = w / 2; x < w; x++) {
            unsigned char* p = &px[((size_t)y * w + x) * 4];
            p[0] = 0;
            p[2] = 255;
        }
    return px;
}
