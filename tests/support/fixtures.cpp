// Test helper: temporary files and pictures.
#include "fixtures.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include <stb_image_write.h>

std::string fixture_dir() {
    std::string t = (std::filesystem::temp_directory_path() / "qel_test_XXXXXX").string();
    if (!mkdtemp(&t[0])) return "";
    return t;
}

void fixture_dir_remove(const std::string& dir) {
    std::error_code ec;
    if (!dir.empty()) std::filesystem::remove_all(dir, ec);
}

void fixture_write(const std::string& path, const std::string& bytes) {
    FILE* f = fopen(path.c_str(), "wb");
    if (!f) return;
    fwrite(bytes.data(), 1, bytes.size(), f);
    fclose(f);
}

std::string fixture_read(const std::string& path) {
    std::string out;
    FILE* f = fopen(path.c_str(), "rb");
    if (!f) return out;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
    fclose(f);
    return out;
}

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
