// Test helper: the real executable run on a test's mod.
#include "mod_run.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "time_limit.h"

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
    timeout_ms = time_limit_ms(timeout_ms);
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

bool ModRunTest::frame_passes(const std::string& png, int timeout_ms) {
    // Lines "gfx_tex_reload: <n> <name> <path>" whose path ends with the file's name.
    std::string file = png.substr(png.rfind('/') + 1);
    auto readings = [&] {
        std::string o = out();
        size_t n = 0;
        for (size_t p = o.find("gfx_tex_reload: "); p != std::string::npos; p = o.find("gfx_tex_reload: ", p + 1)) {
            size_t end = o.find('\n', p);
            if (end != std::string::npos && end - p > file.size() &&
                o.compare(end - file.size(), file.size(), file) == 0)
                n++;
        }
        return n;
    };
    size_t before = readings();
    timeout_ms = time_limit_ms(timeout_ms);
    for (size_t k = 1; k <= 2; k++) {
        // Newer than at the last reading and quiet for 2 seconds.
        png_time = std::max(png_time + 1, time(nullptr) - 3);
        set_mtime(png, png_time);
        int waited = 0;
        for (; readings() < before + k; waited += 20) {
            if (waited > timeout_ms) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
    return true;
}
