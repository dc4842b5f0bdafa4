// The mod runtime without a window: the mod API object, script loading and
// reload, restart, the Lua back end with its output routing and error
// reports, and the fourteen engine functions.
#include <algorithm>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <regex>
#include <string>
#include <fcntl.h>
#include <functional>
#include <vector>

#include <SDL.h>
#include <gtest/gtest.h>

extern "C" {
#include <lauxlib.h>
#include <lua.h>
}

#include "../bench/bench_quiet.h"
#include "capture.h"
#include "fake_clock.h"
#include "game.h"
#include "gprint.h"
#include "mods.h"
#include "mods_lua.h"
#include "qel_driver.h"
#include "qel_font.h"
#include "qel_gfx.h"
#include "qel_mixer.h"
#include "tempdir.h"

namespace {

// A game without a window: the driver state only, the mod's files in a
// temporary directory, documents under its own APPDATA.
class ModsTest : public ::testing::Test {
protected:
    TempDir dir;
    Game game;
    std::vector<std::string> args{"borlix2"};
    std::vector<char*> argv;

    void SetUp() override {
        setenv("APPDATA", dir.file("appdata").c_str(), 1);
        make_dir(dir.file("appdata"));
        make_dir(dir.file("mod"));
        driver_init(0);
        driver_set_gamename("QelGame");
        driver_set_size(1280, 720);
        gfx_init();  // no GL context: its GL calls do nothing
        font_init();
        mixer_init();
        GAME_THIS = &game;
        write_file(dir.file("mod/main.lua"), "");
        main_script(dir.file("mod/main.lua"));
    }

    void TearDown() override {
        mods_destroy(game);
        GAME_THIS = nullptr;
        mixer_deinit();
        font_deinit();
        gfx_deinit();
        driver_deinit();
        fake_clock_remove();
    }

    void main_script(const std::string& path) { snprintf(game.data.mods.fname, sizeof game.data.mods.fname, "%s", path.c_str()); }

    // A full restart, as at start-up: parameters, a new state, the load, _init.
    std::string restart() {
        argv.clear();
        for (std::string& a : args) argv.push_back(&a[0]);
        game._argc = (int)argv.size();
        game._argv = argv.data();
        return capture_stdout([&] { mods_restart(game, 1); });
    }

    ModsAPI& api() { return *game.data.mods.api; }
    ModsLua& lua() { return *static_cast<ModsLua*>(game.data.mods.mod); }

    // Runs Lua text as a console line would, returning what was printed.
    std::string run(const std::string& code) {
        return capture_stdout([&] { game.data.mods.mod->script(code.c_str(), "console"); });
    }

    // The value of a global after running `code`, as text.
    std::string eval(const std::string& expr) {
        run("__r = tostring(" + expr + ")");
        lua_State* L = lua().L;
        lua_getglobal(L, "__r");
        std::string r = lua_tostring(L, -1) ? lua_tostring(L, -1) : "<nil>";
        lua_pop(L, 1);
        return r;
    }

    std::vector<std::string> log_oldest_first() { return {api().log.rbegin(), api().log.rend()}; }
};

}  // namespace

TEST_F(ModsTest, LogEntrySplitsCleansAndKeepsTheNewest255) {
    restart();
    api().log.clear();
    std::string out = capture_stdout([&] {
        api().log_entry("a\tb");
        api().log_entry("one\r\ntwo\n");
        api().log_entry("   ");
        api().log_entry("");
        api().log_entry("x\r\r  \ry");
    });
    EXPECT_EQ(log_oldest_first(), (std::vector<std::string>{"a    b", "one", "two", "x", "y"}));
    // One echo per kept line, each a whole log line of its own.
    std::regex echo(R"(\[\]\[\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\]\[mods_api\.cpp:log_entry:\d+\] ModsAPI: ([^\n]*)\n)");
    std::vector<std::string> echoed;
    for (std::sregex_iterator it(out.begin(), out.end(), echo), end; it != end; ++it) echoed.push_back((*it)[1]);
    EXPECT_EQ(echoed, log_oldest_first()) << out;
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 5);

    capture_stdout([&] {
        for (int i = 0; i < 300; i++) api().log_printf("line %d", i);
    });
    ASSERT_EQ(api().log.size(), 255u);
    EXPECT_EQ(api().log.front(), "line 299");
    EXPECT_EQ(api().log.back(), "line 45");
}

TEST_F(ModsTest, GprintLine) {
    std::string out = capture_stdout([] { _gprint("a/b/c.cpp", 7, "f", 0, "%s", "x"); });
    EXPECT_TRUE(std::regex_match(out, std::regex(R"(\[\]\[\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\]\[c\.cpp:f:7\] x\n)"))) << out;
    out = capture_stdout([] { _gprint("c.cpp", 1, "f", 0, "y\n"); });
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1);
    std::string big(70000, 'q');
    out = capture_stdout([&] { _gprint("c.cpp", 1, "f", 0, "%s", big.c_str()); });
    EXPECT_NE(out.find(big + "\n"), std::string::npos);
}

// A wide character the C locale cannot encode fails the formatting: the
// printer, the log and the Lua writer then write nothing at all.
TEST_F(ModsTest, FormattingErrorsWriteNothing) {
    restart();
    size_t entries = api().log.size();
    int r = -1;
    std::string out = capture_stdout([&] {
        _gprint("c.cpp", 1, "f", 0, "a %ls b", L"\x100");
        api().log_printf("a %ls b", L"\x100");
        r = lua_fprintf(stdout, "a %ls b", L"\x100");
    });
    EXPECT_EQ(out, "");
    EXPECT_EQ(r, 0);
    EXPECT_EQ(api().log.size(), entries);
    // The same writers with a text that formats.
    out = capture_stdout([&] { r = lua_fprintf(stdout, "%d-%s", 4, "x"); });
    EXPECT_EQ(r, 3);
    EXPECT_EQ(api().log.front(), "4-x");
}

TEST_F(ModsTest, ParametersActOnTheDriver) {
    restart();
    api().params_set("caption", var(5));
    EXPECT_STREQ(driver_get_caption(), "5");
    EXPECT_EQ(api().params_get("caption").__type__(), VAR_NUMBER);
    EXPECT_EQ(api().params_get("never").__type__(), VAR_NONE);
    EXPECT_TRUE(api().params.__has__(var("never")));

    api().file_save("s.txt", "first");
    EXPECT_EQ(read_file(dir.file("appdata/QelGame/s.txt")), "first");
    api().params_set("appid", var("Other"));
    api().file_save("s.txt", "second");
    EXPECT_EQ(read_file(dir.file("appdata/Other/s.txt")), "second");
    EXPECT_EQ(api().file_load("s.txt"), "second");
    // Not among the documents: the mod's data files, then nothing.
    write_file(dir.file("mod/d.txt"), std::string("d\0ta", 4));
    api().params_set("altdir", var(dir.file("mod")));
    EXPECT_EQ(api().file_load("d.txt"), std::string("d\0ta", 4));
    EXPECT_EQ(api().file_load("missing.txt"), "");
}

TEST_F(ModsTest, RestartAppliesCommandLineThenDefaults) {
    args = {"borlix2", "-a", "-b", "v", "-caption", "Hello", "-speed", "9", "-mod", dir.file("mod/main.lua")};
    restart();
    EXPECT_EQ(api().params_get("a"), "-b");
    EXPECT_EQ(api().params_get("b"), "v");
    EXPECT_STREQ(driver_get_caption(), "Hello");
    EXPECT_EQ(api().params_get("speed").__num__(), 1.0);
    EXPECT_EQ(api().params_get("mod"), dir.file("mod/main.lua").c_str());
    struct {
        const char* key;
        const char* text;
    } defaults[] = {{"vinfo", "test-Desktop-Win32-linux"}, {"version", "test"}, {"ticks", "1"}, {"view_x", "0"},
                    {"view_y", "0"}, {"view_w", "1280"}, {"view_h", "720"}, {"view_scale", "1"},
                    {"default_w", "1280"}, {"default_h", "720"}};
    for (auto& d : defaults) EXPECT_EQ(api().params_get(d.key).__str__(), d.text) << d.key;
}

TEST_F(ModsTest, StartOrderIsApiThenMainThenInit) {
    write_file(dir.file("mod/api.lua"), "order = 'api'");
    write_file(dir.file("mod/main.lua"), "order = order .. ',main'\nfunction _init() order = order .. ',init' end");
    args = {"borlix2", "-altdir", dir.file("mod")};
    std::string out = restart();
    EXPECT_EQ(eval("order"), "api,main,init");
    EXPECT_NE(out.find("mods_reload: " + dir.file("mod/main.lua")), std::string::npos) << out;
    EXPECT_NE(out.find("ModsAPI::require: " + dir.file("mod/main.lua")), std::string::npos) << out;
}

TEST_F(ModsTest, NameFunctions) {
    struct {
        const char *in, *base, *dir;
    } cases[] = {{"a/b/c.lua", "c.lua", "a/b"}, {"c", "c", ""}, {"dir/", "", "dir"}, {"a\\b\\c", "c", "a/b"},
                 {"../x.lua", "x.lua", ".."}, {"/x", "x", ""}, {"a..b", "a_b", ""}};
    for (auto& c : cases) {
        EXPECT_EQ(get_basename(c.in), c.base) << c.in;
        EXPECT_EQ(get_dirname(c.in), c.dir) << c.in;
    }
    struct {
        const char *in, *out;
    } clean[] = {{"my file.lua", "my_file"}, {".hidden", "_"}, {"", "_"}, {"abcdefghijklmnopqrst", "abcdefghijklmnop"},
                 {"a-b+c", "a_b_c"}};
    for (auto& c : clean) EXPECT_EQ(_name_clean(c.in), c.out) << c.in;
}

TEST_F(ModsTest, RequireResolvesByBaseNameOncePerLoad) {
    make_dir(dir.file("mod/sub"));
    make_dir(dir.file("other"));
    write_file(dir.file("mod/main.lua"),
               "runs = ''\nrequire('util')\nrequire('sub/util.lua')\nrequire('../elsewhere/util')\nrequire('self')\n"
               "require('ping')\nrequire('conf.cfg')\n");
    write_file(dir.file("mod/conf.cfg"), "runs = runs .. 'cfg;'");
    write_file(dir.file("mod/util.lua"), "runs = runs .. 'util;'");
    write_file(dir.file("mod/sub/util.lua"), "runs = runs .. 'sub-util;'");
    write_file(dir.file("mod/self.lua"), "runs = runs .. 'self;' require('self')");
    write_file(dir.file("mod/ping.lua"), "runs = runs .. 'ping;' require('pong')");
    write_file(dir.file("mod/pong.lua"), "runs = runs .. 'pong;' require('ping')");
    restart();
    EXPECT_EQ(eval("runs"), "util;self;ping;pong;cfg;");
    std::vector<std::string> names;
    for (const ModScript& s : api().scripts) names.push_back(s.name);
    EXPECT_EQ(names,
              (std::vector<std::string>{"main.lua", "util.lua", "self.lua", "ping.lua", "pong.lua", "conf.cfg"}));
    EXPECT_EQ(api().scripts[1].fname, dir.file("mod") + "/util.lua");
    EXPECT_EQ(api().scripts[1]._fname, "util");
    EXPECT_STREQ(_driver->altdir, dir.file("mod").c_str());
}

TEST_F(ModsTest, RequireDirectoryFollowsAltdir) {
    make_dir(dir.file("alt"));
    write_file(dir.file("alt/x.lua"), "where = 'alt'");
    write_file(dir.file("mod/x.lua"), "where = 'mod'");
    // Present: the altdir's file.
    write_file(dir.file("mod/main.lua"), "qel_params_set('altdir', '" + dir.file("alt") + "') require('x')");
    restart();
    EXPECT_EQ(eval("where"), "alt");
    // Entered as none by a read: the empty directory, so "/x.lua", then the data files.
    write_file(dir.file("mod/main.lua"), "local _ = qel_params_get('altdir') require('x')");
    restart();
    EXPECT_EQ(eval("where"), "nil");
    EXPECT_STREQ(_driver->altdir, "");
    // Set to the empty text: the same empty directory.
    write_file(dir.file("mod/main.lua"), "qel_params_set('altdir', '') require('x')");
    restart();
    EXPECT_EQ(eval("where"), "nil");
    EXPECT_STREQ(_driver->altdir, "");
    // Absent: the main script's directory.
    write_file(dir.file("mod/main.lua"), "require('x')");
    restart();
    EXPECT_EQ(eval("where"), "mod");
}

TEST_F(ModsTest, MissingScriptsRecordTheError) {
    write_file(dir.file("mod/main.lua"), "ok1, e1 = pcall(require, 'nothere')\nok2 = pcall(qel_params_get, 'k')");
    restart();
    EXPECT_EQ(eval("ok1"), "false");
    EXPECT_EQ(eval("e1"), "file missing");
    EXPECT_EQ(eval("ok2"), "true");
    EXPECT_EQ(log_oldest_first(), (std::vector<std::string>{"ModsAPI::require(\"nothere\") file missing"}));

    // A missing main script stays recorded until the next engine call of any kind.
    main_script(dir.file("mod/gone.lua"));
    restart();
    EXPECT_TRUE(api().scripts.empty());
    EXPECT_EQ(api().api_error(), 1);
    run("okA, eA = pcall(qel_params_set, 'k', 1)\nokB = pcall(qel_params_get, 'k')");
    EXPECT_EQ(eval("okA"), "false");
    EXPECT_EQ(eval("eA"), "file missing");
    EXPECT_EQ(eval("okB"), "true");
    EXPECT_EQ(api().params_get("k").__num__(), 1.0);  // the operation ran before the raise
}

TEST_F(ModsTest, WatcherReloadsQuietChangedScripts) {
    fake_clock_install(1000000);
    time_t& now = fake_now;
    write_file(dir.file("mod/main.lua"), "loads = (loads or 0) + 1 require('b')");
    write_file(dir.file("mod/b.lua"), "");
    set_mtime(dir.file("mod/main.lua"), now - 100);
    set_mtime(dir.file("mod/b.lua"), now - 100);
    restart();
    run("inits = 0 function _init() inits = inits + 1 end");
    auto tick = [&](time_t t) {
        now = t;
        return capture_stdout([&] { mods_reload_auto(game); });
    };
    EXPECT_EQ(tick(now + 1), "");
    set_mtime(dir.file("mod/b.lua"), now);  // saved just now: too fresh
    EXPECT_EQ(tick(now + 1), "");
    EXPECT_EQ(tick(now), "");  // same second: not even looked at
    std::string out = tick(now + 1);  // two seconds after the save
    EXPECT_NE(out.find("reload...\n"), std::string::npos) << out;
    EXPECT_EQ(eval("loads"), "2");
    EXPECT_EQ(eval("inits"), "0");
    EXPECT_EQ(tick(now + 5), "");  // the new records carry the new time
    EXPECT_EQ(api().scripts.size(), 2u);
}

// Whole seconds do not tell apart two saves within one second: the time to
// the nanosecond and the size do.
TEST_F(ModsTest, WatcherReloadsScriptsSavedAgainWithinOneSecond) {
    fake_clock_install(1000000);
    time_t& now = fake_now;
    const std::string main = dir.file("mod/main.lua");
    const time_t saved = now - 100;  // the second of every save
    write_file(main, "version = 1");
    set_mtime(main, saved, 100000000);
    restart();
    auto tick = [&](time_t t) {
        now = t;
        return capture_stdout([&] { mods_reload_auto(game); });
    };
    struct {
        const char* text;
        long nsec;
        const char* version;
    } saves[] = {
        {"version = 2", 600000000, "2"},      // the same second, later: the same size
        {"version = 3 --", 600000000, "3"},  // the same time: a second write step
    };
    for (const auto& v : saves) {
        write_file(main, v.text);
        set_mtime(main, saved, v.nsec);
        std::string out = tick(now + 1);
        EXPECT_NE(out.find("reload...\n"), std::string::npos) << v.text << "\n" << out;
        EXPECT_EQ(eval("version"), v.version);
        EXPECT_EQ(tick(now + 1), "") << v.text;
    }
}

// A script that require did not find is looked for by the watcher: once its
// file appears and has stood unchanged for 2 seconds, the mod reloads and
// runs it. A missing main script is not watched: the mod has run _init()
// without it, and a restart starts it.
TEST_F(ModsTest, WatcherReloadsWhenAMissingScriptAppears) {
    fake_clock_install(1000000);
    time_t& now = fake_now;
    write_file(dir.file("mod/main.lua"), "loads = (loads or 0) + 1 pcall(require, 'late')");
    set_mtime(dir.file("mod/main.lua"), now - 100);
    restart();
    auto tick = [&](time_t t) {
        now = t;
        return capture_stdout([&] { mods_reload_auto(game); });
    };
    EXPECT_EQ(tick(now + 1), "");
    write_file(dir.file("mod/late.lua"), "late = true");
    set_mtime(dir.file("mod/late.lua"), now, 500000000);
    EXPECT_EQ(tick(now + 2), "") << "1.5 seconds after it appeared";
    std::string out = tick(now + 1);
    EXPECT_NE(out.find("reload...\n"), std::string::npos) << out;
    EXPECT_EQ(eval("late"), "true");
    EXPECT_EQ(eval("loads"), "2");
    EXPECT_EQ(tick(now + 5), "") << "watched as a loaded script from then on";

    main_script(dir.file("mod/gone.lua"));
    restart();
    write_file(dir.file("mod/gone.lua"), "gone = true");
    set_mtime(dir.file("mod/gone.lua"), now - 100);
    EXPECT_EQ(tick(now + 5), "");
    EXPECT_EQ(eval("gone"), "nil");
}

TEST_F(ModsTest, LuaTextOfValuesRoundTrips) {
    restart();
    var d = var_dict();
    d["plain"] = var("keydown");
    d["close"] = var("a]=]b");
    d["cr"] = var("a\rb\r\n");
    d["lead"] = var("\nfirst");
    d["tail"] = var("x]=");
    d["quote"] = var("say \"hi\" \\ there");
    d["n"] = var(0.5);
    d["big"] = var(1e20);
    d["nan"] = var(NAN);
    d["inf"] = var(INFINITY);
    d["ninf"] = var(-INFINITY);
    d["t"] = var(true);
    d["none"] = var();
    d["sub"] = var_dict(var("k"), var(3));
    EXPECT_EQ(lua().dict2lua(var_dict(var("x"), var(3), var("type"), var("keydown"))), "{type=[=[keydown]=],x=3}");
    EXPECT_EQ(lua().dict2lua(var_dict()), "{}");
    run("t = " + lua().dict2lua(d));
    struct {
        const char *expr, *want;
    } cases[] = {{"t.plain", "keydown"},
                 {"t.close", "a?b"},
                 {"t.cr == 'a\\rb\\r\\n'", "true"},
                 {"t.lead == '\\nfirst'", "true"},
                 {"t.tail", "x]="},
                 {"t.quote", "say \"hi\" \\ there"},
                 {"t.n", "0.5"},
                 {"t.big == 1e20", "true"},
                 {"t.nan ~= t.nan", "true"},
                 {"t.inf", "inf"},
                 {"t.ninf", "-inf"},
                 {"t.t", "True"},
                 {"t.none", "nil"},
                 {"t.sub.k", "3"}};
    for (auto& c : cases) EXPECT_EQ(eval(c.expr), c.want) << c.expr;
}

TEST_F(ModsTest, GeneratedTextIgnoresTheLocale) {
    std::string loc = dir.file("locale");
    make_dir(loc);
    if (system(("localedef -i de_DE -f UTF-8 " + loc + "/de_DE.UTF-8 >/dev/null 2>&1").c_str()) != 0)
        GTEST_SKIP() << "localedef cannot build de_DE here";
    setenv("LOCPATH", loc.c_str(), 1);
    write_file(dir.file("mod/main.lua"), "function _loop(t) seen = t end function _event(e) ex = e.x end");
    restart();
    ASSERT_TRUE(setlocale(LC_ALL, "de_DE.UTF-8"));
    capture_stdout([&] {
        lua().loop(0.5f);
        lua().event(var_dict(var("x"), var(2.25)));
    });
    setlocale(LC_ALL, "C");
    unsetenv("LOCPATH");
    EXPECT_EQ(eval("seen"), "0.5");
    EXPECT_EQ(eval("ex"), "2.25");
    EXPECT_TRUE(lua().is_ok());
}

TEST_F(ModsTest, CompatibilityFunctionsAreGone) {
    restart();
    for (const char* name : {"unpack", "loadstring", "module", "table.maxn", "math.log10", "package.loaders",
                             "package.seeall", "setfenv", "getfenv", "math.mod", "string.gfind", "table.getn"})
        EXPECT_EQ(eval(name), "nil") << name;
    EXPECT_EQ(eval("type(table.unpack)"), "function");
    EXPECT_EQ(eval("type(math.pow)"), "function");
    EXPECT_EQ(eval("type(require)"), "function");
}

TEST_F(ModsTest, LuaOutputGoesToTheLog) {
    restart();
    api().log.clear();
    std::string out = run(
        "early = io.stdout\n"
        "print('a', 'b')\nprint('')\nprint('tab\\there')\n"
        "io.write('w1', 'w2', 3)\nio.stdout:write('o1')\nio.stderr:write('e1')\nearly:write('late')\n"
        "r = io.write('x') == io.output()");
    EXPECT_EQ(log_oldest_first(),
              (std::vector<std::string>{"a", "b", "tab    here", "w1", "w2", "3", "o1", "e1", "late", "x"}));
    EXPECT_EQ(eval("r"), "true");
    EXPECT_EQ(out.find("a\tb"), std::string::npos);  // nothing reached the process's stream itself
}

TEST_F(ModsTest, FilesOpenedByTheModAreReallyWritten) {
    restart();
    std::string path = dir.file("out.txt");
    run("local f = io.open('" + path + "', 'w') ok = f:write('hello ', 42) == f f:close()");
    EXPECT_EQ(read_file(path), "hello 42");
    EXPECT_EQ(eval("ok"), "true");
    run("io.output('" + path + "') io.write('via output') io.close() io.output(io.stdout)");
    EXPECT_EQ(read_file(path), "via output");
    EXPECT_EQ(eval("io.open('" + path + "'):read('*a')"), "via output");
}

TEST_F(ModsTest, ErrorsAreReportedAndStopTheEntryPoints) {
    write_file(dir.file("mod/main.lua"),
               "loops = 0 paints = 0\n"
               "function _loop(t) loops = loops + 1 if loops == 2 then error('boom') end end\n"
               "function _paint() paints = paints + 1 qel_image_draw('img', 1, 2, 3, 4) error('paint fails') end");
    restart();
    api().log.clear();
    std::string out = capture_stdout([&] {
        lua().loop(0);
        lua().loop(0);
        lua().loop(0);
    });
    EXPECT_FALSE(lua().is_ok());
    EXPECT_NE(out.find("Lua error: 2\n"), std::string::npos) << out;
    std::vector<std::string> log = log_oldest_first();
    ASSERT_GE(log.size(), 3u);
    EXPECT_EQ(log[0], "borlix2: ");
    EXPECT_NE(log[1].find("boom"), std::string::npos);
    EXPECT_EQ(log[2], "stack traceback:");
    EXPECT_EQ(eval("loops"), "2");  // the third call did not run (eval revives it)

    // A stopped mod keeps its last queue; a script run revives it.
    restart();
    capture_stdout([&] { mods_paint(game); });
    EXPECT_FALSE(lua().is_ok());
    ASSERT_EQ(api().batch.queue.size(), 1u);
    capture_stdout([&] { mods_paint(game); });
    EXPECT_EQ(eval("paints"), "1");
    EXPECT_EQ(api().batch.queue.size(), 1u);
    EXPECT_TRUE(lua().is_ok());
}

TEST_F(ModsTest, ErrorObjectsAndSyntaxErrors) {
    write_file(dir.file("mod/bad.lua"), "x = = 1");
    // An error object without a text still leaves a line, nil included.
    write_file(dir.file("mod/main.lua"), "function _loop() error(nil) end function _paint() error() end");
    restart();
    std::function<void()> entries[] = {[&] { lua().loop(0); }, [&] { lua().paint(); }};
    for (auto& entry : entries) {
        api().log.clear();
        std::string out = capture_stdout(entry);
        EXPECT_EQ(log_oldest_first(), (std::vector<std::string>{"borlix2: ", "(no error message)"}));
        EXPECT_NE(out.find("Lua error: 2"), std::string::npos);
        EXPECT_FALSE(lua().is_ok());
        run("");
    }

    api().log.clear();
    std::string out = run("error({})");
    EXPECT_EQ(log_oldest_first(), (std::vector<std::string>{"borlix2: ", "(no error message)"}));
    EXPECT_TRUE(lua().is_ok());
    api().log.clear();
    out = run("after = 0 require('bad') after = 1");
    EXPECT_NE(out.find("Lua error: 3"), std::string::npos) << out;
    EXPECT_EQ(eval("after"), "1");
    ASSERT_EQ(api().log.size(), 2u);
    EXPECT_NE(api().log[0].find("bad.lua"), std::string::npos) << api().log[0];
    api().log.clear();
    run("error(setmetatable({}, {__tostring = function() return 'custom' end}))");
    EXPECT_EQ(log_oldest_first(), (std::vector<std::string>{"borlix2: ", "custom"}));
    // A chunk ends at its first NUL byte.
    game.data.mods.mod->script("cut = 1\0cut = 2", "console");
    EXPECT_EQ(eval("cut"), "1");
}

TEST_F(ModsTest, EventsReachTheScriptAsTables) {
    write_file(dir.file("mod/main.lua"), "function _event(e) last = e.type .. ':' .. e.x .. ':' .. e.text end");
    restart();
    Event e(EVT_MOUSEDOWN);
    e.x = 640;
    e.y = 360;
    e.b = 1;
    capture_stdout([&] { mods_event_handle(game, e); });
    EXPECT_EQ(eval("last"), "mousedown:640:");
    capture_stdout([&] { lua().event(var(3)); });  // not a dict: nothing runs
    EXPECT_EQ(eval("last"), "mousedown:640:");
}

TEST_F(ModsTest, EventDictionaries) {
    struct {
        int type;
        const char* name;
    } names[] = {{EVT_NONE, "?"},          {EVT_QUIT, "quit"},        {EVT_SUSPEND, "suspend"},
                 {EVT_RESUME, "resume"},   {EVT_RESIZE, "resize"},    {EVT_RESET, "reset"},
                 {EVT_KEYDOWN, "keydown"}, {EVT_KEYUP, "keyup"},      {EVT_DOWN, "down"},
                 {EVT_MOTION, "motion"},   {EVT_UP, "up"},            {EVT_MOUSEDOWN, "mousedown"},
                 {EVT_MOUSEMOTION, "mousemotion"}, {EVT_MOUSEUP, "mouseup"}, {EVT_WHEEL, "wheel"},
                 {EVT_TOUCHDOWN, "touchdown"}, {EVT_TOUCHMOTION, "touchmotion"}, {EVT_TOUCHUP, "touchup"},
                 {EVT_ACCEL, "?"},         {EVT_ORIENT, "?"},         {EVT_JOYMOTION, "joymotion"},
                 {EVT_JOYDOWN, "joydown"}, {EVT_JOYUP, "joyup"},      {EVT_FOCUS, "?"},
                 {EVT_LOGIN, "?"},         {-1, "?"},                 {EVT_MAX, "?"}};
    for (auto& n : names) EXPECT_STREQ(mods_event_name(n.type), n.name) << n.type;

    restart();
    // Key names come from SDL's keymap, which its video start-up fills.
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_VIDEO), 0);
    Event k(EVT_KEYDOWN);
    k.v = KEY_f;
    k._v = 'f';
    k.b = EVT_MOD_CTRL;
    EXPECT_EQ(lua().dict2lua(mods_event_dict(k)),
              "{button=2,device=0,dx=0,dy=0,h=0,key=102,name=[=[F]=],text=[=[]=],type=[=[keydown]=],w=0,x=0,y=0}");
    Event t(EVT_KEYDOWN);
    t.c = (char)0xC3;
    EXPECT_EQ(mods_event_dict(t)["text"], "\xC3");
    EXPECT_EQ(mods_event_dict(t)["name"], "");
    Event r(EVT_RESIZE);
    r.w = 1024;
    r.h = 768;
    EXPECT_EQ(lua().dict2lua(mods_event_dict(r)),
              "{button=0,device=0,dx=0,dy=0,h=768,text=[=[]=],type=[=[resize]=],w=1024,x=0,y=0}");
    Event j(EVT_JOYDOWN);
    j.b = 3;
    j.device = 1;
    EXPECT_EQ(lua().dict2lua(mods_event_dict(j)),
              "{button=3,device=1,dx=0,dy=0,h=0,text=[=[]=],type=[=[joydown]=],w=0,x=0,y=0}");
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

// Finalisers run while a state closes, at a restart and at shut-down; they
// must reach a live ModsAPI (checked by the sanitizer build).
TEST_F(ModsTest, FinalisersDuringRestartAndShutdown) {
    write_file(dir.file("mod/other.lua"), "print('other ran')");
    write_file(dir.file("mod/main.lua"),
               "keep = setmetatable({}, {__gc = function() print('bye') qel_params_set('caption', 'gc') "
               "require('other') io.write('w') end})");
    restart();
    ModsAPI* old = game.data.mods.api;
    std::string out = restart();
    EXPECT_NE(out.find("ModsAPI: bye"), std::string::npos) << out;
    EXPECT_EQ(out.find("other ran"), std::string::npos);
    EXPECT_STREQ(driver_get_caption(), "gc");
    EXPECT_NE(game.data.mods.api, nullptr);
    (void)old;
    out = capture_stdout([&] { mods_destroy(game); });
    EXPECT_NE(out.find("ModsAPI: bye"), std::string::npos) << out;
    EXPECT_EQ(_lua_modsapi, nullptr);
    // Output with no ModsAPI is dropped.
    EXPECT_EQ(lua_fwrite("zz", 1, 2, stdout), 2);
}

TEST_F(ModsTest, BackEndWithoutAStateDoesNothing) {
    restart();
    ModsLua idle(api());
    std::string out = capture_stdout([&] {
        idle.init();
        idle.loop(0.1f);
        idle.paint();
        idle.event(var_dict());
        idle.script("x = 1", "console");
    });
    EXPECT_EQ(out, "");
    EXPECT_TRUE(idle.is_ok());
}

// The engine functions: counts, defaults, present nil, texts.
TEST_F(ModsTest, EngineFunctionArguments) {
    restart();
    struct {
        const char* call;
        const char* error;  // nullptr: succeeds
    } calls[] = {
        {"require()", "incorrect number of arguments"},
        {"require('a', 'b')", "incorrect number of arguments"},
        {"require(nil)", "null string"},
        {"require({})", "null string"},
        {"qel_params_set('k')", "incorrect number of arguments"},
        {"qel_params_set('k', {})", "null string"},
        {"qel_params_set('k', print)", "null string"},
        {"qel_params_set(true, 1)", "null string"},
        {"qel_params_get()", "incorrect number of arguments"},
        {"qel_file_load()", "incorrect number of arguments"},
        {"qel_file_load({})", "null string"},
        {"qel_file_save('a')", "incorrect number of arguments"},
        {"qel_file_save('a', nil)", "null string"},
        {"qel_view_set(1, 2, 3)", "incorrect number of arguments"},
        {"qel_view_set(1, 2, 3, 4, 5, 6)", "incorrect number of arguments"},
        {"qel_image_init('a','b',1,2,3,4,5,6,7,8,9)", "incorrect number of arguments"},
        {"qel_image_init('a','b',1,2,3,4,5,6,7,8,9,10)", nullptr},
        {"qel_image_init('a',{},1,2,3,4,5,6,7,8,9,10)", "null string"},
        {"qel_image_draw('a', 1, 2, 3)", "incorrect number of arguments"},
        {"qel_image_draw('a', 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12)", "incorrect number of arguments"},
        {"qel_image_draw(nil, 1, 2, 3, 4)", "null string"},
        {"qel_sample_play()", "incorrect number of arguments"},
        {"qel_sample_play('s', 1, 0, 0)", "incorrect number of arguments"},
        {"qel_stream_play('s', 1, 0)", nullptr},
        {"qel_stream_stop('s', 1)", "incorrect number of arguments"},
        {"qel_font_draw('f', 24, 'text', 0)", "incorrect number of arguments"},
        {"qel_font_draw('f', 24, 'text', 0, 0, 0, 0, 0, 0, 0, 'x', 'y')", nullptr},
        {"qel_font_draw('f', 24, nil, 0, 0)", "null string"},
        {"qel_font_size('f', 24)", "incorrect number of arguments"},
        {"qel_font_size('f', 24, 'x', 1, 2)", "incorrect number of arguments"},
        {"qel_ext_call()", "incorrect number of arguments"},
        {"qel_ext_call('a', 'b', 'c')", "incorrect number of arguments"},
        {"qel_ext_call('nothing')", nullptr},
        // Every function: one argument too many, and a text that is not one.
        {"qel_params_set('k', 1, 2)", "incorrect number of arguments"},
        {"qel_params_set({}, 1)", "null string"},
        {"qel_params_get('a', 'b')", "incorrect number of arguments"},
        {"qel_params_get({})", "null string"},
        {"qel_params_get(nil)", "null string"},
        {"qel_file_load('a', 'b')", "incorrect number of arguments"},
        {"qel_file_load(true)", "null string"},
        {"qel_file_save('a', 'b', 'c')", "incorrect number of arguments"},
        {"qel_file_save({}, 'b')", "null string"},
        {"qel_file_save('a', {})", "null string"},
        {"qel_image_init('a','b',1,2,3,4,5,6,7,8,9,10,11)", "incorrect number of arguments"},
        {"qel_image_init(false,'b',1,2,3,4,5,6,7,8,9,10)", "null string"},
        {"qel_image_draw({}, 1, 2, 3, 4)", "null string"},
        {"qel_sample_play({})", "null string"},
        {"qel_stream_play()", "incorrect number of arguments"},
        {"qel_stream_play('s', 1, 0, 0)", "incorrect number of arguments"},
        {"qel_stream_play(print)", "null string"},
        {"qel_stream_stop()", "incorrect number of arguments"},
        {"qel_stream_stop({})", "null string"},
        {"qel_font_draw('f', 24, 'text', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0)", "incorrect number of arguments"},
        {"qel_font_draw({}, 24, 'text', 0, 0)", "null string"},
        {"qel_font_size('f', 24, {})", "null string"},
        {"qel_font_size(nil, 24, 'x')", "null string"},
        {"qel_ext_call({})", "null string"},
        {"qel_ext_call('a', {})", "null string"},
        {"qel_ext_call('a', nil)", "null string"},
        // Number arguments of any type read as 0 and never raise.
        {"qel_view_set('a', {}, nil, true)", nullptr},
        {"qel_image_draw('a', {}, print, true, nil, 'x')", nullptr},
        {"qel_sample_play('s', {}, true)", nullptr},
        {"qel_font_size('f', {}, 'x', true)", nullptr},
        {"qel_font_draw('f', nil, 12, {}, {}, nil, {}, true, 'x', {})", nullptr},
    };
    for (auto& c : calls) {
        run(std::string("ok, err = pcall(function() return ") + c.call + " end)");
        if (c.error) {
            EXPECT_EQ(eval("ok"), "false") << c.call;
            EXPECT_EQ(eval("err"), c.error) << c.call;  // raised without a position
        } else {
            EXPECT_EQ(eval("ok"), "true") << c.call << ": " << eval("err");
        }
    }
    EXPECT_EQ(eval("qel_ext_call('nothing')"), "");
    EXPECT_EQ(eval("select('#', qel_ext_call('nothing'))"), "1");
}

TEST_F(ModsTest, EngineFunctionValues) {
    restart();
    api().batch.clear();
    run("qel_image_draw('a', 1, 2, 3, 4)\n"
        "qel_image_draw('b', '5', 'x', 3, 4, 1, 2, 0.5, nil, 0.25, 7.9, 9)\n"
        "qel_view_set(0, 0, 320, 240)\n"
        "qel_font_draw('f', 24.9, 99, 1, 2)\n"
        "qel_font_draw('f', 24, 'a', 1, 2, 100, 1.9, 0x00FF00, 0.5, 3)\n"
        "qel_font_draw('f', 24, 'a', 1, 2, 100, -0.5)\n");
    const std::vector<GCommand>& q = api().batch.queue;
    ASSERT_EQ(q.size(), 6u);
    EXPECT_EQ(q[0].type, GCMD_IMAGE);
    EXPECT_EQ(q[0].name, "a");
    EXPECT_EQ(q[0].color, 0xFFFFFF);
    EXPECT_EQ(q[0].alpha, 1.0f);
    EXPECT_EQ(q[0].cx, 0);
    EXPECT_EQ(q[0].mode, 0);
    EXPECT_EQ(q[0].depth, 0);
    EXPECT_EQ(q[1].x, 5);
    EXPECT_EQ(q[1].y, 0);       // a text that does not convert reads as 0
    EXPECT_EQ(q[1].color, 0);   // present nil is 0, not the default
    EXPECT_EQ(q[1].alpha, 0.25f);
    EXPECT_EQ(q[1].angle, 0.5f);
    EXPECT_EQ(q[1].mode, 7);
    EXPECT_EQ(q[1].depth, 9);
    EXPECT_EQ(q[2].type, GCMD_VIEW);
    EXPECT_EQ(q[2].depth, 1.0f);
    EXPECT_EQ(q[2].w, 320);
    EXPECT_EQ(q[3].type, GCMD_TEXT);
    EXPECT_EQ(q[3].text, "99");  // a number is a text
    EXPECT_EQ(q[3].points, 24);
    EXPECT_EQ(q[3].color, 0xFFFFFF);
    EXPECT_EQ(q[3].align, 0);
    EXPECT_EQ(q[4].align, 1);
    EXPECT_EQ(q[4].color, 0x00FF00);
    EXPECT_EQ(q[4].mode, 3);
    EXPECT_EQ(q[4].w, 100);
    EXPECT_EQ(q[5].align, 0);

    run("qel_params_set(5, 'x') qel_params_set('b', true) qel_params_set('s', '12')");
    EXPECT_EQ(api().params_get("5"), "x");
    EXPECT_EQ(api().params_get("b").__type__(), VAR_BOOL);
    EXPECT_EQ(api().params_get("s").__type__(), VAR_STRING);
    EXPECT_EQ(eval("qel_params_get('never')"), "nil");
    EXPECT_EQ(eval("type(qel_params_get('s'))"), "string");
    EXPECT_EQ(eval("qel_params_get('b')"), "true");

    run("qel_file_save('bin.dat', 'a\\0b') data = qel_file_load('bin.dat')");
    EXPECT_EQ(read_file(dir.file("appdata/QelGame/bin.dat")), std::string("a\0b", 3));
    EXPECT_EQ(eval("#data"), "3");

    run("w, h = qel_font_size('f', 24, 'text', 200)");
    EXPECT_EQ(eval("w"), "200");
    EXPECT_EQ(eval("h"), "0");
    EXPECT_EQ(eval("select('#', qel_font_size('f', 24, 'x'))"), "2");

    EXPECT_EQ(game._quit, 0);
    EXPECT_EQ(eval("qel_ext_call('exit')"), "");
    EXPECT_EQ(game._quit, 1);
}

TEST_F(ModsTest, FontSizePackingIsClamped) {
    restart();
    EXPECT_EQ(api().font_size("f", 24, "x", 200.7f), 200 * 65536);
    EXPECT_EQ(api().font_size("f", 24, "x", 40000.0f), 32767 * 65536);
    // A NaN width measures the text: the missing font's width is ceil(0 + 0.01).
    EXPECT_EQ(api().font_size("f", 24, "x", NAN), 1 * 65536);
    run("w, h = qel_font_size('f', 24, 'x', 1e9)");
    EXPECT_EQ(eval("w"), "32767");
    EXPECT_EQ(eval("h"), "0");
}

// An optional argument that is present but nil reads as 0, not as its default.
TEST_F(ModsTest, PresentNilIsZeroNotTheDefault) {
    restart();
    api().batch.clear();
    run("qel_view_set(0, 0, 320, 240, nil)\n"
        "qel_font_draw('f', 24, 'a', 1, 2, nil, nil, nil, nil)\n"
        "qel_image_draw('a', 1, 2, 3, 4, nil, nil, nil, 0x123456, nil)\n");
    const std::vector<GCommand>& q = api().batch.queue;
    ASSERT_EQ(q.size(), 3u);
    EXPECT_EQ(q[0].depth, 0);
    EXPECT_EQ(q[1].w, 0);
    EXPECT_EQ(q[1].color, 0);
    EXPECT_EQ(q[1].alpha, 0);
    EXPECT_EQ(q[2].color, 0x123456);
    EXPECT_EQ(q[2].alpha, 0);
}

// Texts from the mod reach printf-style functions only as arguments.
TEST_F(ModsTest, ModTextIsNeverAFormat) {
    restart();
    api().log.clear();
    std::string out = run("print('%s%n%d') pcall(require, '%n%s') error('%s%n')");
    std::vector<std::string> log = log_oldest_first();
    ASSERT_GE(log.size(), 4u) << out;
    EXPECT_EQ(log[0], "%s%n%d");
    EXPECT_EQ(log[1], "ModsAPI::require(\"%n%s\") file missing");
    EXPECT_EQ(log[2], "borlix2: ");
    EXPECT_NE(log[3].find("%s%n"), std::string::npos) << log[3];
    EXPECT_NE(out.find("ModsAPI: %s%n%d\n"), std::string::npos) << out;
}

// Frame times that are not finite still reach _loop as numbers.
TEST_F(ModsTest, LoopTextOfEveryFrameTime) {
    write_file(dir.file("mod/main.lua"), "function _loop(t) seen = t end");
    restart();
    struct {
        float t;
        const char* check;
    } cases[] = {{0.0f, "seen == 0"},
                 {1.0f / 60, "seen == 0.016667"},
                 {NAN, "seen ~= seen"},
                 {INFINITY, "seen == math.huge"},
                 {-INFINITY, "seen == -math.huge"}};
    for (auto& c : cases) {
        run("seen = 'not called'");
        capture_stdout([&] { lua().loop(c.t); });
        EXPECT_TRUE(lua().is_ok()) << c.t;
        EXPECT_EQ(eval(c.check), "true") << c.t << ": " << eval("seen");
    }
}

// debug.debug prompts and answers through the mod log, reading its commands
// from the standard input.
TEST_F(ModsTest, DebugConsoleWritesToTheLog) {
    restart();
    api().log.clear();
    std::string cmds = dir.file("cmds.txt");
    write_file(cmds, "print('inside')\nerror({})\nerror('bad', 0)\ncont\nprint('after')\n");
    int saved = dup(0);
    int fd = open(cmds.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    dup2(fd, 0);
    close(fd);
    clearerr(stdin);
    run("debug.debug()");
    dup2(saved, 0);
    close(saved);
    clearerr(stdin);
    EXPECT_EQ(log_oldest_first(), (std::vector<std::string>{"lua_debug> ", "inside", "lua_debug> ",
                                                            "(error object is not a string)", "lua_debug> ",
                                                            "bad", "lua_debug> "}));
}

// The panic message of an error outside any protected call reaches the log
// before the library aborts the process.
TEST_F(ModsTest, PanicMessageGoesToTheLog) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    restart();
    auto panic_with = [&](bool table) {
        dup2(2, 1);  // the death test reads the standard error stream
        setvbuf(stdout, nullptr, _IONBF, 0);
        lua_State* L = lua().L;
        if (table)
            lua_newtable(L);
        else
            lua_pushstring(L, "boom");
        lua_error(L);
    };
    EXPECT_DEATH(panic_with(false), "ModsAPI: PANIC: unprotected error in call to Lua API \\(boom\\)");
    EXPECT_DEATH(panic_with(true),
                 "ModsAPI: PANIC: unprotected error in call to Lua API \\(\\(error object is not a string\\)\\)");
}

// A __gc finaliser that raises while the collection after an error report
// runs it, outside any chunk: reported, not fatal. The collector is stopped
// so that nothing but that collection runs the finaliser.
TEST_F(ModsTest, FailingFinaliserAfterAReportIsReported) {
    write_file(dir.file("mod/main.lua"),
               "function _loop()\n"
               "  collectgarbage('stop')\n"
               "  setmetatable({}, {__gc = function() error('gc fails') end})\n"
               "  error('loop fails')\n"
               "end");
    restart();
    api().log.clear();
    std::string out = capture_stdout([&] { lua().loop(0); });
    EXPECT_NE(out.find("Lua error: 2"), std::string::npos) << out;
    EXPECT_FALSE(lua().is_ok());
    std::vector<std::string> log = log_oldest_first();
    ASSERT_GE(log.size(), 2u) << out;
    EXPECT_EQ(log[log.size() - 2], "borlix2: ");
    EXPECT_NE(log.back().find("error in __gc metamethod"), std::string::npos) << log.back();
    EXPECT_NE(log.back().find("gc fails"), std::string::npos) << log.back();
}

// A Lua allocator that refuses every block of `limit` bytes or more.
struct RefuseBig {
    lua_Alloc f;
    void* ud;
    size_t limit;
};

void* refuse_big(void* ud, void* p, size_t osize, size_t nsize) {
    RefuseBig* r = (RefuseBig*)ud;
    if (nsize >= r->limit) return nullptr;
    return r->f(r->ud, p, osize, nsize);
}

// A result that cannot be pushed raises the Lua error in the script; under
// the sanitizer nothing that the engine function held is lost.
TEST_F(ModsTest, ResultsThatCannotBePushedRaise) {
    restart();
    run("big = string.rep('x', 100000) qel_file_save('big.txt', big) qel_params_set('big', big)");
    lua_State* L = lua().L;
    RefuseBig refuse;
    refuse.f = lua_getallocf(L, &refuse.ud);
    refuse.limit = 100000;
    lua_setallocf(L, refuse_big, &refuse);
    run("ok1, e1 = pcall(qel_file_load, 'big.txt') ok2, e2 = pcall(qel_params_get, 'big')");
    lua_setallocf(L, refuse.f, refuse.ud);
    struct {
        const char *expr, *want;
    } cases[] = {{"ok1", "false"}, {"e1", "not enough memory"}, {"ok2", "false"}, {"e2", "not enough memory"},
                 {"#qel_file_load('big.txt')", "100000"}, {"qel_params_get('big') == big", "true"}};
    for (auto& c : cases) EXPECT_EQ(eval(c.expr), c.want) << c.expr;
}

// Finalisers of the old state run while it closes; whatever they set, the new
// run starts with no alternative directory, so "api.lua" comes from the data
// directory.
TEST_F(ModsTest, RestartStartsWithoutTheOldAltdir) {
    make_dir(dir.file("old"));
    write_file(dir.file("old/api.lua"), "from_old = true");
    write_file(dir.file("mod/main.lua"), "keep = setmetatable({}, {__gc = function() qel_params_set('altdir', '" +
                                             dir.file("old") + "') require('x') end})");
    restart();
    restart();
    EXPECT_EQ(eval("from_old"), "nil");
    EXPECT_EQ(eval("type(_paint)"), "function");  // the data directory's api.lua ran
}

// "api.lua" that fails is reported into the log, but it is no entry point:
// no "Lua error" line, and the mod stays healthy.
TEST_F(ModsTest, FailingApiScriptIsOnlyReported) {
    write_file(dir.file("mod/api.lua"), "function _init() end error('api broke')");
    args = {"borlix2", "-altdir", dir.file("mod")};
    std::string out = restart();
    EXPECT_NE(out.find("ModsAPI: borlix2: \n"), std::string::npos) << out;
    EXPECT_NE(out.find("api broke"), std::string::npos) << out;
    EXPECT_EQ(out.find("Lua error"), std::string::npos) << out;
    EXPECT_TRUE(lua().is_ok());
}

// Mods that misbehave: each failure leaves its line in the mod log, and the
// engine goes on (a console line runs and revives the mod). The entry points
// run once each, as in a frame; `status` is the "Lua error" code that the
// failing entry point prints, 0 where nothing fails.
TEST_F(ModsTest, MisbehavingModsAreReportedAndTheEngineGoesOn) {
    // c1 requires c2 ... c300: deeper than Lua lets C calls nest.
    for (int i = 1; i <= 300; i++)
        write_file(dir.file("mod/c" + std::to_string(i) + ".lua"), "require('c" + std::to_string(i + 1) + "')");
    write_file(dir.file("mod/a.lua"), "require('b') print('a ran')");
    write_file(dir.file("mod/b.lua"), "require('a') print('b ran')");
    make_dir(dir.file("appdata/QelGame"));
    write_file(dir.file("appdata/QelGame/plain"), "a file, not a folder");
    struct Case {
        const char* what;
        const char* main;
        const char* want;  // a line of the log, or a part of one
        int status;
    } cases[] = {
        {"table error", "function _event() error({}) end", "(no error message)", 2},
        {"nil error", "function _init() error(nil) end", "(no error message)", 2},
        {"error()", "function _paint() error() end", "(no error message)", 2},
        {"__tostring",
         "function _event() error(setmetatable({}, {__tostring = function() return 'my ' .. 'text' end})) end",
         "my text", 2},
        {"__tostring gives no text",
         "function _loop() error(setmetatable({}, {__tostring = function() return {} end})) end",
         "(error object is not a string)", 2},
        {"__tostring raises", "function _loop() error(setmetatable({}, {__tostring = function(e) error(e) end})) end",
         "C stack overflow", 2},
        {"__tostring collects",
         "function _loop()\n"
         "  error(setmetatable({}, {__tostring = function() collectgarbage() return 'collected' end}))\n"
         "end",
         "collected", 2},
        {"error() in __gc", "function _loop() setmetatable({}, {__gc = function() error() end}) collectgarbage() end",
         "error in __gc metamethod (no message)", 5},
        {"error({}) in __gc",
         "function _paint() setmetatable({}, {__gc = function() error({}) end}) collectgarbage() end",
         "error in __gc metamethod (no message)", 5},
        {"deep recursion", "local function down(n) return down(n + 1) + 1 end function _loop() down(1) end",
         "stack overflow", 2},
        {"deep C recursion",
         "function _loop() local t = setmetatable({}, {__index = function(t, k) return t[k] end}) return t.x end",
         "C stack overflow", 2},
        {"deep require", "require('c1')", "C stack overflow", 3},
        {"require cycle", "require('a') print('main ran')", "b ran", 0},
        {"collectgarbage in callbacks",
         "function _init() collectgarbage() end function _loop() collectgarbage('step') end\n"
         "function _event() collectgarbage('collect') end\n"
         "function _paint()\n"
         "  setmetatable({}, {__gc = function() collectgarbage() end}) collectgarbage() print('painted')\n"
         "end",
         "painted", 0},
        {"NUL in a save name", "function _loop() qel_file_save('a\\0b', 'x') end",
         "ModsAPI::file_save(\"a\\0b\") file not saved: the name holds a NUL byte", 0},
        {"4000-byte save name", "function _loop() qel_file_save(string.rep('n', 4000), 'x') end",
         "file not saved: File name too long", 0},
        {"save name through a file", "function _loop() qel_file_save('plain/x', 'x') end",
         "ModsAPI::file_save(\"plain/x\") file not saved: Not a directory", 0},
        {"save into a missing folder", "function _loop() qel_file_save('nowhere/x', 'x') end",
         "ModsAPI::file_save(\"nowhere/x\") file not saved: No such file or directory", 0},
    };
    for (const Case& c : cases) {
        write_file(dir.file("mod/main.lua"), c.main);
        std::string out;
        capture_stderr([&] {
            out = restart();
            out += capture_stdout([&] {
                lua().loop(0);
                lua().event(var_dict(var("type"), var("keydown")));
                lua().paint();
            });
        });
        std::string log;
        for (const std::string& line : log_oldest_first()) log += line + "\n";
        EXPECT_NE(log.find(c.want), std::string::npos) << c.what << ":\n" << log;
        if (c.status)
            EXPECT_NE(out.find("Lua error: " + std::to_string(c.status) + "\n"), std::string::npos)
                << c.what << ":\n" << out;
        else
            EXPECT_EQ(out.find("Lua error"), std::string::npos) << c.what << ":\n" << out;
        run("print('still running')");
        EXPECT_EQ(api().log.front(), "still running") << c.what;
        EXPECT_TRUE(lua().is_ok()) << c.what;
    }
    EXPECT_EQ(list_dir(dir.file("appdata/QelGame")), "plain");
}

// A 100 MB string as every text argument of every engine function, and the
// queue it leaves played: nothing fails but the missing script, and a name
// that long is refused wherever it would become a path. (The loaders' lines
// on the standard streams name it whole, hence the discarded output.)
TEST_F(ModsTest, HugeStringsReachEveryEngineFunction) {
    write_file(dir.file("mod/main.lua"),
               "big = string.rep('x', 100 * 1024 * 1024)\n"
               "function _paint()\n"
               "  qel_params_set(big, big) qel_params_set('caption', big) got = qel_params_get(big)\n"
               "  qel_file_save('big.dat', big) qel_file_save(big, 'x') loaded = qel_file_load(big)\n"
               "  qel_view_set(big, big, big, big, big)\n"
               "  qel_image_init(big, big, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10)\n"
               "  qel_image_draw(big, 1, 2, 3, 4)\n"
               "  qel_sample_play(big) qel_stream_play(big) qel_stream_stop(big)\n"
               "  qel_font_draw(big, 24, big, 0, 0) qel_font_draw('console', 24, big, 0, 0)\n"
               "  w, h = qel_font_size(big, 24, big) cw, ch = qel_font_size('console', 24, big)\n"
               "  ext = qel_ext_call(big, big)\n"
               "  ok, err = pcall(require, big)\n"
               "  painted = true\n"
               "end");
    bench_quiet("/dev/null", [&] {
        restart();
        mods_paint(game);
    });
    EXPECT_TRUE(lua().is_ok());
    struct {
        const char *expr, *want;
    } cases[] = {{"painted", "true"},        {"#got == #big", "true"}, {"loaded", ""},
                 {"err", "file missing"},    {"cw", "32767"},          {"ext", ""}};
    for (auto& c : cases) EXPECT_EQ(eval(c.expr), c.want) << c.expr;
    EXPECT_EQ(api().batch.queue.size(), 4u);
    EXPECT_STREQ(driver_get_caption(), "");
    EXPECT_EQ(driver_file_fsize(dir.file("appdata/QelGame/big.dat").c_str()), 100 * 1024 * 1024);
    EXPECT_EQ(list_dir(dir.file("appdata/QelGame")), "big.dat");
    std::vector<std::string> log = log_oldest_first();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0], "ModsAPI::file_save(\"" + std::string(256, 'x') + "...\") file not saved: File name too long");
    EXPECT_EQ(log[1], "ModsAPI::require(\"" + std::string(100 * 1024 * 1024, 'x') + "\") file missing");
}
