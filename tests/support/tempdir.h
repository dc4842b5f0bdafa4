// Test helper: a fresh directory under /tmp, removed with everything in it
// when the object goes (also as the working directory, laid out as the
// engine's); and whole-file helpers for fixtures.
#ifndef QEL_TEST_TEMPDIR_H
#define QEL_TEST_TEMPDIR_H

#include <cstdio>
#include <ctime>
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

// A TempDir made the working directory, holding an empty data/ (the engine's
// ./data) and an empty alt/ (for a test's alternative directory); the old
// working directory comes back when the object goes.
class WorkDir : public TempDir {
  public:
    WorkDir();
    ~WorkDir();

  private:
    std::string _cwd;
};

void write_file(const std::string& path, const std::string& bytes);
// Sets the file's access and modification times to t seconds and nsec
// nanoseconds.
void set_mtime(const std::string& path, time_t t, long nsec = 0);
std::string read_file(const std::string& path);
// Everything left to read from an open stream.
std::string read_stream(FILE* f);
bool path_exists(const std::string& path);
void make_dir(const std::string& path);
// The names in a directory, "." and ".." left out, sorted.
std::string list_dir(const std::string& path);

#endif
