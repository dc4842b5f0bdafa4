// Test helper: temporary directories and files, and pictures written with
// stb_image_write.
#ifndef QEL_TEST_FIXTURES_H
#define QEL_TEST_FIXTURES_H

#include <string>
#include <vector>

// A new empty directory under the system's temporary directory.
std::string fixture_dir();
// Removes a directory made by fixture_dir with everything in it.
void fixture_dir_remove(const std::string& dir);
void fixture_write(const std::string& path, const std::string& bytes);
std::string fixture_read(const std::string& path);

// A w x h RGBA picture; format is "png", "tga" or "jpg". False on failure.
bool fixture_image(const std::string& path, const char* format, int w, int h,
                   const std::vector<unsigned char>& rgba);
// w x h pixels of one RGBA colour.
std::vector<unsigned char> fixture_solid(int w, int h, unsigned r, unsigned g, unsigned b,
                                         unsigned a);

#endif
