// Test helper: a fresh directory under /tmp, removed with everything in it
// when the object goes; and whole-file helpers for fixtures.
#ifndef QEL_TEST_TEMPDIR_H
#define QEL_TEST_TEMPDIR_H

#include <string>

class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return _path; }
    // path() + "/" + name
    std::string file(const std::string& name) const;

  private:
    std::string _path;
};

void write_file(const std::string& path, const std::string& bytes);
std::string read_file(const std::string& path);
bool path_exists(const std::string& path);
void make_dir(const std::string& path);
// The names in a directory, "." and ".." left out, sorted.
std::string list_dir(const std::string& path);

#endif
