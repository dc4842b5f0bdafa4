// Test helper: temporary directories and whole-file fixtures.
#include "tempdir.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <ftw.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

TempDir::TempDir() {
    char tmpl[] = "/tmp/qeltest.XXXXXX";
    if (!mkdtemp(tmpl)) throw std::runtime_error("mkdtemp failed");
    _path = tmpl;
}

static int _remove_entry(const char* p, const struct stat*, int, struct FTW*) { return remove(p); }

TempDir::~TempDir() { nftw(_path.c_str(), _remove_entry, 16, FTW_DEPTH | FTW_PHYS); }

std::string TempDir::file(const std::string& name) const { return _path + "/" + name; }

WorkDir::WorkDir() {
    char buf[4096];
    if (!getcwd(buf, sizeof buf)) throw std::runtime_error("getcwd failed");
    _cwd = buf;
    make_dir(file("data"));
    make_dir(file("alt"));
    if (chdir(path().c_str()) != 0) throw std::runtime_error("cannot enter " + path());
}

WorkDir::~WorkDir() {
    if (chdir(_cwd.c_str())) {}
}

void write_file(const std::string& path, const std::string& bytes) {
    FILE* f = fopen(path.c_str(), "wb");
    if (!f) throw std::runtime_error("cannot write " + path);
    fwrite(bytes.data(), 1, bytes.size(), f);
    fclose(f);
}

void set_mtime(const std::string& path, time_t t, long nsec) {
    struct timespec ts[2] = {{t, nsec}, {t, nsec}};
    if (utimensat(AT_FDCWD, path.c_str(), ts, 0) != 0) throw std::runtime_error("cannot set the time of " + path);
}

std::string read_stream(FILE* f) {
    std::string out;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
    return out;
}

std::string read_file(const std::string& path) {
    FILE* f = fopen(path.c_str(), "rb");
    if (!f) return "";
    std::string out = read_stream(f);
    fclose(f);
    return out;
}

bool path_exists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

void make_dir(const std::string& path) { mkdir(path.c_str(), 0777); }

std::string list_dir(const std::string& path) {
    std::vector<std::string> names;
    if (DIR* d = opendir(path.c_str())) {
        while (dirent* e = readdir(d)) {
            std::string n = e->d_name;
            if (n != "." && n != "..") names.push_back(n);
        }
        closedir(d);
    }
    std::sort(names.begin(), names.end());
    std::string out;
    for (const std::string& n : names) out += (out.empty() ? "" : " ") + n;
    return out;
}
