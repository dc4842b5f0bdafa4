// Test helper: pictures made by code and written with stb_image_write.
#ifndef QEL_TEST_IMAGE_FIXTURES_H
#define QEL_TEST_IMAGE_FIXTURES_H

#include <string>
#include <vector>

// A w x h RGBA picture; format is "png", "tga" or "jpg". False on failure.
bool fixture_image(const std::string& path, const char* format, int w, int h,
                   const std::vector<unsigned char>& rgba);
// w x h pixels of one RGBA colour.
std::vector<unsigned char> fixture_solid(int w, int h, unsigned r, unsigned g, unsigned b,
                                         unsigned a);
// w x h opaque pixels, the left half red and the right half blue, so that a
// mirrored or cut picture shows.
std::vector<unsigned char> fixture_halves(int w, int h);

#endif
