// The real executable runs small mods under the X server of the test run;
// what the mods print reaches the standard output as mod log echoes.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

#include <sys/stat.h>

#include <gtest/gtest.h>

#include "child.h"
#include "image_fixtures.h"
#include "mod_run.h"
#include "tempdir.h"
#include "time_limit.h"

namespace {

class ModsE2E : public ModRunTest {
protected:
    void SetUp() override {
        if (!getenv("DISPLAY")) GTEST_SKIP() << "needs the X server of the test run (DISPLAY)";
    }
};

// The wall clock, and a file's modification time, in seconds to the nanosecond.
double clock_now() {
    timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    return (double)ts.tv_sec + ts.tv_nsec / 1e9;
}

double file_time(const std::string& path) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) return 0;
    return (double)st.st_mtim.tv_sec + st.st_mtim.tv_nsec / 1e9;
}

void append_file(const std::string& path, const std::string& bytes) {
    FILE* f = fopen(path.c_str(), "ab");
    ASSERT_NE(f, nullptr) << path;
    fwrite(bytes.data(), 1, bytes.size(), f);
    fclose(f);
}

}  // namespace

TEST_F(ModsE2E, RunsApiThenMainThenEntryPointsAndExits) {
    write_file(dir.file("api.lua"),
               "print('api') function _init() end function _loop() end function _paint() end function _event() end");
    start("print('main')\n"
          "frames = 0\n"
          "function _init() print('init') end\n"
          "function _loop(t) frames = frames + 1 if frames == 1 then print('loop', t < 1) end end\n"
          "function _paint() if frames == 1 then print('paint') print('a', 'b') qel_ext_call('exit') end end\n",
          {"-altdir", dir.path()});
    EXPECT_EQ(child_wait(child, 20000), 0) << out();
    EXPECT_EQ(echoes(), (std::vector<std::string>{"api", "main", "init", "loop", "true", "paint", "a", "b"})) << out();
}

TEST_F(ModsE2E, ErrorInLoopStopsTheEntryPoints) {
    ASSERT_TRUE(fixture_image(dir.file("red.png"), "png", 8, 8, fixture_solid(8, 8, 255, 0, 0, 255)));
    set_mtime(dir.file("red.png"), time(nullptr) - 100);
    start("frames = 0\n"
          "function _loop(t) frames = frames + 1 if frames == 3 then error('loop broke') end end\n"
          "function _paint() qel_image_draw('red', 0, 0, 8, 8) print('paint ' .. frames) end\n");
    ASSERT_TRUE(wait_for("Lua error: 2", 20000)) << out();
    ASSERT_TRUE(frame_passes(dir.file("red.png"))) << out();
    std::vector<std::string> e = echoes();
    std::vector<std::string> want{"paint 1", "paint 2", "borlix2: "};
    ASSERT_GE(e.size(), 5u) << out();
    EXPECT_EQ(std::vector<std::string>(e.begin(), e.begin() + 3), want) << out();
    EXPECT_NE(e[3].find("loop broke"), std::string::npos) << e[3];
    EXPECT_EQ(e[4], "stack traceback:");
    for (size_t i = 3; i < e.size(); i++) EXPECT_NE(e[i].rfind("paint ", 0), 0u) << "the mod went on: " << e[i];
    std::string o = out();
    EXPECT_EQ(o.find("Lua error: 2"), o.rfind("Lua error: 2"));
    EXPECT_NE(o.find("[mods_lua.cpp:loop:"), std::string::npos) << o;
    EXPECT_TRUE(child_running(child));
}

TEST_F(ModsE2E, MissingFilesRaiseFileMissing) {
    start("ok, err = pcall(require, 'x')\n"
          "print(ok, err)\n"
          "function _loop() qel_ext_call('exit') end\n");
    EXPECT_EQ(child_wait(child, 20000), 0) << out();
    EXPECT_EQ(echoes(), (std::vector<std::string>{"ModsAPI::require(\"x\") file missing", "false", "file missing"}))
        << out();

    // A missing main script: the record waits for the next engine call.
    TempDir alt;
    write_file(alt.file("api.lua"),
               "function _init() local ok, e = pcall(qel_params_get, 'k') print(e) qel_ext_call('exit') end\n"
               "function _loop() end function _paint() end function _event() end");
    std::vector<std::string> argv{QEL_BINARY_DIR "/borlix2", "-mod", dir.file("gone.lua"), "-altdir", alt.path()};
    child = child_start(argv, {"SDL_VIDEODRIVER=x11", "SDL_AUDIODRIVER=dummy", "APPDATA=" + dir.file("appdata")},
                        dir.file("out.txt"));
    EXPECT_EQ(child_wait(child, 20000), 0) << out();
    std::vector<std::string> e = echoes();
    ASSERT_FALSE(e.empty()) << out();
    EXPECT_EQ(e.back(), "file missing") << out();
}

TEST_F(ModsE2E, EditedScriptReloadsInTheSameState) {
    start("loads = (loads or 0) + 1\n"
          "print('load ' .. loads)\n"
          "function _init() print('init') end\n");
    ASSERT_TRUE(wait_for("ModsAPI: init", 20000)) << out();
    // Saved in a later second than the load, so its time is newer.
    std::this_thread::sleep_for(std::chrono::milliseconds(1100));
    time_t saved = time(nullptr);
    write_file(dir.file("main.lua"),
               "loads = (loads or 0) + 1\nprint('load ' .. loads)\n"
               "function _init() print('init again') end\n"
               "function _loop() qel_ext_call('exit') end\n");
    ASSERT_TRUE(wait_for("ModsAPI: load 2", 20000)) << out();
    // Not before the file had been quiet for 2 seconds of the watcher's clock.
    EXPECT_GE(time(nullptr), saved + 2);
    EXPECT_EQ(child_wait(child, 20000), 0) << out();
    std::string o = out();
    EXPECT_NE(o.find("reload..."), std::string::npos) << o;
    EXPECT_EQ(o.find("init again"), std::string::npos) << o;
}

// The script saved again within the second of the version the engine loaded,
// at the same size: the engine ends up running the new version. The file
// times are set, so the two saves share a second whenever the test runs.
TEST_F(ModsE2E, ScriptSavedAgainInTheSecondOfTheLoadedOneReloads) {
    const char* text = "version = %d\n"
                       "print('loaded version ' .. version)\n"
                       "function _loop() if version == 2 then qel_ext_call('exit') end end\n";
    char v[256];
    const std::string main = dir.file("main.lua");
    const time_t saved = time(nullptr) - 10;  // long quiet
    snprintf(v, sizeof v, text, 1);
    write_file(main, v);
    set_mtime(main, saved, 100000000);
    start("", {"-mod", main});  // on the file as written, times included
    ASSERT_TRUE(wait_for("ModsAPI: loaded version 1")) << out();
    snprintf(v, sizeof v, text, 2);
    write_file(main, v);
    set_mtime(main, saved, 600000000);
    EXPECT_EQ(child_wait(child, 20000), 0) << "still running the first version\n" << out();
    EXPECT_EQ(echoes(), (std::vector<std::string>{"loaded version 1", "loaded version 2"})) << out();
}

// Another file renamed into the script's place with the script's time and
// size, as `touch -r main.lua new && mv new main.lua` leaves it: the engine
// ends up running the new text.
TEST_F(ModsE2E, ScriptReplacedByAFileOfTheSameTimeAndSizeReloads) {
    const char* text = "version = %d\n"
                       "print('loaded version ' .. version)\n"
                       "function _loop() if version == 2 then qel_ext_call('exit') end end\n";
    char v[256];
    const std::string main = dir.file("main.lua"), next = dir.file("next.lua");
    snprintf(v, sizeof v, text, 1);
    write_file(main, v);
    set_mtime(main, time(nullptr) - 10, 100000000);
    start("", {"-mod", main});
    ASSERT_TRUE(wait_for("ModsAPI: loaded version 1")) << out();
    snprintf(v, sizeof v, text, 2);
    write_file(next, v);
    struct stat st;
    ASSERT_EQ(stat(main.c_str(), &st), 0);
    set_mtime(next, st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
    ASSERT_EQ(rename(next.c_str(), main.c_str()), 0);
    EXPECT_EQ(child_wait(child, 20000), 0) << "still running the first version\n" << out();
    EXPECT_EQ(echoes(), (std::vector<std::string>{"loaded version 1", "loaded version 2"})) << out();
}

// A script written in two steps 1.5 s apart, the first ending inside a
// string: the engine waits until the file has stood unchanged for 2 s, so it
// never runs the first half alone, and it reloads no sooner than 2 s after
// the last write. The first half is written late in a wall-clock second,
// where a rest counted in whole seconds would be shortest. A round in which
// this test was held up so long that the halves lay 2 s apart proves
// nothing; the next version is then written.
TEST_F(ModsE2E, ScriptWrittenInTwoHalvesLoadsOnlyWhenWhole) {
    const std::string main = dir.file("main.lua");
    write_file(main, "print('loaded version 1')\n");
    set_mtime(main, time(nullptr) - 10);
    start("", {"-mod", main});
    ASSERT_TRUE(wait_for("ModsAPI: loaded version 1")) << out();
    int version = 2;
    std::string round;  // what the program wrote during the round that counts
    for (; version <= 6; version++) {
        size_t from = out().size();
        timespec ts;
        clock_gettime(CLOCK_REALTIME, &ts);
        std::this_thread::sleep_for(std::chrono::nanoseconds((1750000000L - ts.tv_nsec) % 1000000000L));
        write_file(main, "print('loaded version " + std::to_string(version) + "')\nnote = 'unfinished");
        double first = file_time(main);
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        append_file(main, " business'\n");
        double last = file_time(main);
        const std::string loaded = "ModsAPI: loaded version " + std::to_string(version);
        double seen = 0;
        for (int waited = 0; waited <= time_limit_ms(20000) && !seen; waited += 20) {
            if (out().find(loaded) != std::string::npos) seen = clock_now();
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        ASSERT_NE(seen, 0) << out();
        if (last - first >= 1.9) continue;  // held up: the first half may rightly have run alone
        EXPECT_GE(seen, last + 2) << "reloaded " << seen - last << " s after the last write";
        round = out().substr(from);
        break;
    }
    ASSERT_LE(version, 6) << "every round was held up between its two writes";
    EXPECT_EQ(round.find("unfinished string"), std::string::npos) << round;
    EXPECT_EQ(round.find("Lua error"), std::string::npos) << round;
}

// A script that require did not find is watched: once it appears and has
// stood unchanged for 2 s, the mod reloads and runs it.
TEST_F(ModsE2E, MissingRequiredScriptRunsOnceItAppears) {
    start("pcall(require, 'late')\n"
          "print('main ran')\n");
    ASSERT_TRUE(wait_for("ModsAPI: main ran")) << out();
    write_file(dir.file("late.lua"), "print('late ran')\nfunction _loop() qel_ext_call('exit') end\n");
    EXPECT_EQ(child_wait(child, 20000), 0) << "late.lua never ran\n" << out();
    // The mod reloads: main.lua runs again and requires it.
    EXPECT_EQ(echoes(), (std::vector<std::string>{"ModsAPI::require(\"late\") file missing", "main ran", "late ran",
                                                  "main ran"}))
        << out();
}

// At shut-down the state closes while its ModsAPI still exists: a finaliser
// that prints, sets a parameter, requires a script and queues a picture runs
// cleanly (the sanitizer tree runs this executable too).
TEST_F(ModsE2E, FinalisersRunCleanlyAtExit) {
    write_file(dir.file("other.lua"), "print('other ran')");
    start("keep = setmetatable({}, {__gc = function()\n"
          "  print('bye') qel_params_set('caption', 'gone') require('other')\n"
          "  qel_image_draw('x', 0, 0, 1, 1) io.write('last write')\n"
          "end})\n"
          "function _loop() qel_ext_call('exit') end\n");
    EXPECT_EQ(child_wait(child, 20000), 0) << out();
    std::vector<std::string> e = echoes();
    ASSERT_GE(e.size(), 2u) << out();
    EXPECT_EQ(std::vector<std::string>(e.end() - 2, e.end()), (std::vector<std::string>{"bye", "last write"})) << out();
}

// Misbehaving scripts under the real executable: each is reported in the mod
// log, and the mod runs on to its exit, collecting garbage in every callback
// and with a finaliser that fails while the state closes.
TEST_F(ModsE2E, MisbehavingScriptsAreReportedAndTheModRunsOn) {
    write_file(dir.file("nil.lua"), "error(nil)");
    write_file(dir.file("gc.lua"), "setmetatable({}, {__gc = function() error() end}) collectgarbage()");
    write_file(dir.file("deep.lua"), "local function down(n) return down(n + 1) + 1 end down(1)");
    write_file(dir.file("a.lua"), "require('b') print('a ran')");
    write_file(dir.file("b.lua"), "require('a') print('b ran')");
    start("require('nil') require('gc') require('deep') require('a')\n"
          "qel_file_save('a\\0b', 'x') qel_file_save(string.rep('n', 4000), 'x')\n"
          "keep = setmetatable({}, {__gc = function() collectgarbage() error({}) end})\n"
          "frames = 0\n"
          "function _loop() collectgarbage() frames = frames + 1 end\n"
          "function _event() collectgarbage('step') end\n"
          "function _paint()\n"
          "  setmetatable({}, {__gc = function() collectgarbage() end}) collectgarbage()\n"
          "  if frames == 10 then print('frame 10') qel_ext_call('exit') end\n"
          "end\n");
    EXPECT_EQ(child_wait(child, 20000), 0) << out();
    const std::string want[] = {"(no error message)", "error in __gc metamethod (no message)", "stack overflow",
                                "b ran", "a ran",
                                "ModsAPI::file_save(\"a\\0b\") file not saved: the name holds a NUL byte",
                                "ModsAPI::file_save(\"" + std::string(256, 'n') +
                                    "...\") file not saved: File name too long",
                                "frame 10"};
    std::vector<std::string> e = echoes();
    auto at = e.begin();
    for (const std::string& w : want) {
        at = std::find_if(at, e.end(), [&](const std::string& line) { return line.find(w) != std::string::npos; });
        ASSERT_NE(at, e.end()) << "no line with \"" << w << "\" in its place:\n" << out();
    }
    std::string o = out();
    EXPECT_NE(o.find("Lua error: 5\n"), std::string::npos) << o;
}
