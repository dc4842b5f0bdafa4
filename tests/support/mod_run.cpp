// Test helper: the real executable run on a test's mod.
#include "mod_run.h"

#include <chrono>
#include <thread>

ModRunTest::ModRunTest() { make_dir(dir.file("appdata")); }

void ModRunTest::TearDown() {
    if (child.pid > 0) child_wait(child, 0);
}

void ModRunTest::start(const std::string& main, const std::vector<std::string>& extra) {
    std::vector<std::string> argv{QEL_BINARY_DIR "/borlix2"};
    if (!main.empty()) {
        write_file(dir.file("main.lua"), main);
        argv.push_back("-mod");
        argv.push_back(dir.file("main.lua"));
    }
    argv.insert(argv.end(), extra.begin(), extra.end());
    child = child_start(argv,
                        {"SDL_VIDEODRIVER=x11", "SDL_AUDIODRIVER=dummy", "APPDATA=" + dir.file("appdata"),
                         "DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent"},
                        dir.file("out.txt"));
    ASSERT_GT(child.pid, 0);
}

std::string ModRunTest::out() { return path_exists(dir.file("out.txt")) ? read_file(dir.file("out.txt")) : ""; }

bool ModRunTest::wait_for(const std::string& needle, int timeout_ms) {
    for (int waited = 0; waited <= timeout_ms; waited += 20) {
        if (out().find(needle) != std::string::npos) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

std::vector<std::string> ModRunTest::echoes() {
    std::vector<std::string> r;
    std::string o = out();
    const std::string tag = "ModsAPI: ";
    for (size_t p = 0; (p = o.find(tag, p)) != std::string::npos;) {
        size_t e = o.find('\n', p);
        r.push_back(o.substr(p + tag.size(), e - p - tag.size()));
        p = e;
    }
    return r;
}
