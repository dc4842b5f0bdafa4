// The driver's state, window size arithmetic, the fixed-step counter, the
// directories and whole-file access (in temporary directories), and the URL
// opener. Nothing here opens a window.
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <iostream>
#include <random>
#include <sstream>
#include <string>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include "capture.h"
#include "qel_driver-sdl2.h"
#include "qel_driver.h"
#include "tempdir.h"
#include "time_limit.h"

// A driver state record without SDL, and the environment restored after.
class DriverState : public ::testing::Test {
  protected:
    void SetUp() override {
        driver_init(0);
        for (const char* v : {"APPDATA", "XDG_DATA_HOME", "HOME"}) {
            const char* s = getenv(v);
            saved_env.push_back({v, s ? s : "", s != nullptr});
        }
    }
    void TearDown() override {
        driver_deinit();
        for (const Saved& s : saved_env) {
            if (s.set)
                setenv(s.name, s.value.c_str(), 1);
            else
                unsetenv(s.name);
        }
    }
    struct Saved {
        const char* name;
        std::string value;
        bool set;
    };
    std::vector<Saved> saved_env;
};

TEST_F(DriverState, StartValuesAndTextFields) {
    EXPECT_EQ(driver_get_aspect(), 1.0f);
    EXPECT_EQ(driver_get_scale(), 1.0f);
    EXPECT_EQ(driver_get_orient(), 0.0f);
    EXPECT_STREQ(driver_get_caption(), "");
    int w = -1, h = -1;
    driver_get_size(&w, &h);
    EXPECT_EQ(w, 0);
    EXPECT_EQ(h, 0);

    driver_set_altdir("mods/a-long-directory-name");
    driver_set_altdir("ab");
    EXPECT_STREQ(_driver->altdir, "ab");
    for (size_t i = 2; i < sizeof _driver->altdir; i++) ASSERT_EQ(_driver->altdir[i], 0) << i;
    driver_set_altdir(nullptr);
    EXPECT_STREQ(_driver->altdir, "");

    // The longest text that fits is kept whole; one byte more is refused.
    std::string fits(255, 'c');
    driver_set_caption(fits.c_str());
    EXPECT_EQ(std::string(driver_get_caption()), fits);
    std::string err = capture_stderr([] { driver_set_caption(std::string(256, 'd').c_str()); });
    EXPECT_STREQ(driver_get_caption(), "");
    EXPECT_EQ(err, "driver: caption of 256 bytes does not fit, refused\n");
    err = capture_stderr([] { driver_set_altdir(std::string(600, 'e').c_str()); });
    EXPECT_STREQ(_driver->altdir, "");
    EXPECT_NE(err.find("does not fit"), std::string::npos);
}

TEST(DriverLifecycle, DeinitDropsTheState) {
    driver_init(0);
    EXPECT_NE(_driver, nullptr);
    driver_deinit();
    EXPECT_EQ(_driver, nullptr);
    // The accessors stay harmless without a driver.
    EXPECT_STREQ(driver_get_caption(), "");
    driver_set_caption("x");
    EXPECT_EQ(driver_timer_tick(), 0);
}

TEST(WindowSize, TargetAndBackup) {
    struct Case {
        int dw, dh, ww, hh, full, tw, th, bw, bh;
    } cases[] = {
        {1920, 1080, 0, 0, 0, 1536, 864, 1536, 864},
        {1920, 1080, 0, 0, 1, 1920, 1080, 1536, 864},
        {1600, 900, 0, 0, 0, 1280, 720, 1280, 720},
        {1600, 900, 0, 0, 1, 1600, 900, 1280, 720},
        {1366, 768, 0, 0, 0, 1092, 614, 1092, 614},  // truncated, not rounded
        {1920, 1080, 800, 600, 0, 800, 600, 1536, 864},
        {1920, 1080, 800, 600, 1, 800, 600, 1536, 864},
        {1920, 1080, 800, 0, 0, 1536, 864, 1536, 864},  // one zero selects the default
        {1920, 1080, 0, 600, 1, 1920, 1080, 1536, 864},
    };
    for (const Case& c : cases) {
        int tw, th, bw, bh;
        _driver_video_sizes(c.dw, c.dh, c.ww, c.hh, c.full, &tw, &th, &bw, &bh);
        EXPECT_EQ(tw, c.tw) << c.dw << "x" << c.dh << " " << c.ww << "x" << c.hh << " full " << c.full;
        EXPECT_EQ(th, c.th);
        EXPECT_EQ(bw, c.bw);
        EXPECT_EQ(bh, c.bh);
    }
}

TEST(WindowSize, ResizeQuotientsWithZeroGuard) {
    struct Case {
        int sw, sh, rw;  // window size, drawable width
        float aspect, scale;  // from a previous aspect 3 and scale 5
    } cases[] = {
        {1024, 768, 1024, 1, 1},
        {1024, 768, 2048, 1, 2},
        {720, 1280, 720, 0, 1},   // integer quotient
        {2000, 1000, 2000, 2, 1},
        {0, 768, 0, 0, 5},        // no width: scale kept
        {1024, 0, 1024, 3, 1},    // no height: aspect kept
        {0, 0, 0, 3, 5},
    };
    for (const Case& c : cases) {
        float aspect = 3, scale = 5;
        _driver_video_quotients(c.sw, c.sh, c.rw, &aspect, &scale);
        EXPECT_EQ(aspect, c.aspect) << c.sw << "x" << c.sh;
        EXPECT_EQ(scale, c.scale) << c.sw << "x" << c.sh;
    }
}

TEST_F(DriverState, FixedStepCounter) {
    EXPECT_EQ(_driver_timer_tick_at(4000), 0);  // no rate set yet
    driver_timer_set(60);
    EXPECT_EQ(_driver_timer_tick_at(5000), 0);  // the start: nothing due
    EXPECT_EQ(_driver_timer_tick_at(5110), 7);  // steps at 0/60 .. 6/60 s
    EXPECT_EQ(_driver_timer_tick_at(5110), 0);
    EXPECT_EQ(_driver_timer_tick_at(5117), 1);  // 7/60 s = 116.7 ms
}

TEST_F(DriverState, DataDirectoryFollowsTheGameName) {
    EXPECT_STREQ(_driver_get_datadir(), "../data");
    EXPECT_STREQ(driver_data_fname("a.png"), "../data/a.png");
    EXPECT_STREQ(driver_doc_fname("save.json"), "./save.json");
    driver_set_gamename("G");
    EXPECT_STREQ(_driver_get_datadir(), "./data");
    EXPECT_STREQ(driver_data_fname("sub/a.png"), "./data/sub/a.png");
}

TEST_F(DriverState, AlternativeDirectoryIsSearchedFirst) {
    TempDir tmp;
    make_dir(tmp.file("demo"));
    driver_set_gamename("G");
    driver_set_altdir(tmp.file("demo").c_str());
    // Neither exists: the data directory's path all the same.
    EXPECT_STREQ(driver_data_fname("font.fnt"), "./data/font.fnt");
    write_file(tmp.file("demo/font.fnt"), "x");
    EXPECT_EQ(std::string(driver_data_fname("font.fnt")), tmp.file("demo/font.fnt"));
    EXPECT_TRUE(driver_data_exists("font.fnt"));
    EXPECT_EQ(driver_data_load("font.fnt"), "x");
    // A directory of that name is not a file.
    make_dir(tmp.file("demo/dir.png"));
    EXPECT_STREQ(driver_data_fname("dir.png"), "./data/dir.png");
}

TEST_F(DriverState, DocumentsDirectoryIsMadeUnderItsBase) {
    TempDir tmp;
    driver_set_gamename("G");
    struct Case {
        const char* appdata;
        const char* xdg;
        const char* home;
        std::string want_dir;
    } cases[] = {
        {"R/deeper", "X", "H", tmp.file("R/deeper/G")},
        {nullptr, "X", "H", tmp.file("X/G")},
        {"", "X", "H", tmp.file("X/G")},  // empty counts as unset
        {nullptr, nullptr, "H", tmp.file("H/.local/share/G")},
    };
    for (const Case& c : cases) {
        auto set = [&](const char* name, const char* v) {
            if (v)
                setenv(name, *v ? tmp.file(v).c_str() : "", 1);
            else
                unsetenv(name);
        };
        set("APPDATA", c.appdata);
        set("XDG_DATA_HOME", c.xdg);
        set("HOME", c.home);
        EXPECT_EQ(std::string(driver_doc_fname("save.json")), c.want_dir + "/save.json");
        struct stat st;
        EXPECT_TRUE(stat(c.want_dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) << c.want_dir;
    }
    setenv("APPDATA", tmp.file("R").c_str(), 1);
    char data[] = "{\"level\":3}";
    driver_doc_save("save.json", data, (int)strlen(data));
    EXPECT_EQ(read_file(tmp.file("R/G/save.json")), data);
    EXPECT_TRUE(driver_doc_exists("save.json"));
    EXPECT_TRUE(driver_cloud_exists("save.json"));
    EXPECT_EQ(driver_cloud_load("save.json"), data);
    EXPECT_EQ(driver_doc_fsize("save.json"), (int)strlen(data));
}

TEST(DriverFiles, EmptyNulAndPartialReads) {
    TempDir tmp;
    std::string empty = tmp.file("empty"), nul = tmp.file("nul"), four = tmp.file("four"),
                forty = tmp.file("forty");
    write_file(empty, "");
    write_file(nul, std::string("a\0b\0\0c", 6));
    write_file(four, "1234");
    write_file(forty, std::string(40, 'z'));

    EXPECT_TRUE(driver_file_exists(empty.c_str()));
    EXPECT_EQ(driver_file_fsize(empty.c_str()), 0);
    EXPECT_EQ(driver_file_load(empty.c_str()), "");
    int len = -1;
    EXPECT_EQ(driver_file_alloc(empty.c_str(), &len), nullptr);
    EXPECT_EQ(len, 0);

    EXPECT_EQ(driver_file_load(nul.c_str()), std::string("a\0b\0\0c", 6));
    void* buf = driver_file_alloc(nul.c_str(), &len);
    ASSERT_NE(buf, nullptr);
    EXPECT_EQ(len, 6);
    free(buf);

    char small[10];
    EXPECT_EQ(driver_file_load(four.c_str(), small, 10), 4);
    EXPECT_EQ(driver_file_load(forty.c_str(), small, 10), 10);
    EXPECT_EQ(std::string(small, 10), std::string(10, 'z'));
    // The stamp keeps the nanoseconds and the size.
    set_mtime(four, 1234567, 890123456);
    FileStamp s = driver_file_stamp(four.c_str());
    EXPECT_EQ(s.sec, 1234567);
    EXPECT_EQ(s.nsec, 890123456);
    EXPECT_EQ(s.size, 4);
    EXPECT_EQ(driver_file_mtime(four.c_str()), 1234567);
}

TEST(DriverFiles, MissingFilesAndDirectoriesAreNotFiles) {
    TempDir tmp;
    make_dir(tmp.file("folder"));
    for (const std::string& p : {tmp.file("missing"), tmp.file("folder")}) {
        const char* path = p.c_str();
        std::string err = capture_stderr([&] {
            EXPECT_FALSE(driver_file_exists(path));
            EXPECT_EQ(driver_file_fsize(path), 0);
            EXPECT_EQ(driver_file_load(path), "");
            int len = -1;
            EXPECT_EQ(driver_file_alloc(path, &len), nullptr);
            EXPECT_EQ(len, 0);
            FileStamp s = driver_file_stamp(path);
            EXPECT_EQ(s.sec, 0);
            EXPECT_EQ(s.nsec, 0);
            EXPECT_EQ(s.size, 0);
            EXPECT_EQ(driver_file_mtime(path), 0);
        });
        EXPECT_EQ(err, "") << "the quiet operations stay quiet: " << p;
        char buf[8];
        err = capture_stderr([&] { EXPECT_EQ(driver_file_load(path, buf, 8), 0); });
        EXPECT_EQ(err, "file not found: " + p + "\n");
    }
}

TEST(DriverFiles, DirnameCutsAtTheLastSeparator) {
    struct Case {
        const char* in;
        const char* out;
    } cases[] = {{"a/b\\c.txt", "a/b"}, {"/x", ""}, {"plain", "plain"}, {"a/b/", "a/b"}, {"a\\b/c\\d", "a\\b/c"}};
    for (const Case& c : cases) {
        char buf[64];
        snprintf(buf, sizeof buf, "%s", c.in);
        EXPECT_STREQ(_driver_dirname(buf), c.out) << c.in;
    }
}

TEST(DriverSave, ReplacesWholeAndKeepsModeAndLinks) {
    TempDir tmp;
    std::string p = tmp.file("f.txt");
    char a[] = "first version";
    driver_file_save(p.c_str(), a, (int)strlen(a));
    EXPECT_EQ(read_file(p), a);
    chmod(p.c_str(), 0640);
    char b[] = "2nd";
    driver_file_save(p.c_str(), b, 3);
    EXPECT_EQ(read_file(p), "2nd");
    struct stat st;
    stat(p.c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    // Saving through a link writes the file it names and keeps the link.
    symlink("f.txt", tmp.file("link").c_str());
    char c[] = "through the link";
    driver_file_save(tmp.file("link").c_str(), c, (int)strlen(c));
    EXPECT_EQ(read_file(p), c);
    lstat(tmp.file("link").c_str(), &st);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(list_dir(tmp.path()), "f.txt link");
}

TEST(DriverSave, FailedWriteKeepsTheOldFile) {
    TempDir tmp;
    std::string p = tmp.file("keep.txt");
    write_file(p, "old contents");
    // A file size limit makes the write fail part-way, even for root.
    struct rlimit old_limit, limit;
    getrlimit(RLIMIT_FSIZE, &old_limit);
    limit = old_limit;
    limit.rlim_cur = 65536;
    void (*old_handler)(int) = signal(SIGXFSZ, SIG_IGN);
    std::string big(1 << 20, 'n');
    std::string err = capture_stderr([&] {
        setrlimit(RLIMIT_FSIZE, &limit);
        driver_file_save(p.c_str(), &big[0], (int)big.size());
        setrlimit(RLIMIT_FSIZE, &old_limit);
    });
    signal(SIGXFSZ, old_handler);
    EXPECT_EQ(read_file(p), "old contents");
    EXPECT_EQ(list_dir(tmp.path()), "keep.txt") << "no temporary file is left behind";
    EXPECT_EQ(err, "file not saved: " + p + " (File too large)\n");
}

TEST(DriverSave, UnwritablePlacesReportOneLine) {
    TempDir tmp;
    make_dir(tmp.file("dir"));
    write_file(tmp.file("dir/inside"), "x");
    char data[] = "data";
    write_file(tmp.file("plain"), "a file");
    // Each fails for root too.
    struct Case {
        std::string path;
        const char* why;
        int err;
    } cases[] = {
        {tmp.file("dir"), "Is a directory", EISDIR},
        {tmp.file("nowhere/f.txt"), "No such file or directory", ENOENT},
        {tmp.file("plain/f.txt"), "Not a directory", ENOTDIR},
        {tmp.file(std::string(256, 'n')), "File name too long", ENAMETOOLONG},
        {"", "no path", ENOENT},
    };
    for (const Case& c : cases) {
        int r = 0;
        std::string err = capture_stderr([&] { r = driver_file_save(c.path.c_str(), data, 4); });
        EXPECT_EQ(err, "file not saved: " + c.path + " (" + c.why + ")\n");
        EXPECT_EQ(r, c.err) << c.path;
    }
    EXPECT_EQ(driver_file_save(tmp.file("saved").c_str(), data, 4), 0);
    unlink(tmp.file("saved").c_str());
    EXPECT_EQ(list_dir(tmp.path()), "dir plain");
    EXPECT_EQ(list_dir(tmp.file("dir")), "inside");
}

TEST(DriverFiles, FilesOf2GiBAreRefused) {
    TempDir tmp;
    std::string p = tmp.file("huge");
    write_file(p, "");
    ASSERT_EQ(truncate(p.c_str(), 2147483648LL), 0);  // sparse: no disk used
    std::string err = capture_stderr([&] {
        EXPECT_TRUE(driver_file_exists(p.c_str()));
        EXPECT_EQ(driver_file_fsize(p.c_str()), 0);
        int len = -1;
        EXPECT_EQ(driver_file_alloc(p.c_str(), &len), nullptr);
        EXPECT_EQ(len, 0);
        EXPECT_EQ(driver_file_load(p.c_str()), "");
        char buf[16];
        EXPECT_EQ(driver_file_load(p.c_str(), buf, 16), 0);
    });
    EXPECT_NE(err.find("file too large, refused: " + p + "\n"), std::string::npos) << err;
    // One byte less still reads.
    ASSERT_EQ(truncate(p.c_str(), 2147483647LL), 0);
    EXPECT_EQ(driver_file_fsize(p.c_str()), 2147483647);
}

// Reads up to buf.size() bytes of the file into buf; how many it read, or -1
// when it cannot be opened.
static long _read_into(const std::string& path, std::vector<char>& buf) {
    int fd = open(path.c_str(), O_RDONLY);
    if (fd < 0) return -1;
    size_t got = 0;
    for (ssize_t n; got < buf.size() && (n = read(fd, buf.data() + got, buf.size() - got)) > 0;) got += (size_t)n;
    close(fd);
    return (long)got;
}

// A process killed at chosen moments while it saves 1 MiB in a loop, two
// texts in turn: after every kill the file holds one of them whole. The child
// reports its start and each finished save through a pipe; each kill comes
// after 0 to 2 such reports and a random part of a save's time (measured
// first), so kills land before, inside and between saves however slowly the
// child is scheduled. Its first save writes the text the file does not hold,
// so a kill after a report finds the text changed. The file is read back into
// one buffer kept for the whole test: a new 1 MiB string at every kill would
// grow the heap (the sanitizer holds freed blocks back), and every fork
// copies the page tables of all of it.
TEST(DriverSave, KilledWhileSavingLeavesAWholeText) {
    TempDir tmp;
    std::string path = tmp.file("save.dat");
    const int size = 1 << 20;
    std::string texts[2] = {std::string(size, 'a'), std::string(size, 'b')};
    std::vector<long> times;
    for (int i = 0; i < 5; i++) {
        auto start = std::chrono::steady_clock::now();
        ASSERT_EQ(driver_file_save(path.c_str(), &texts[0][0], size), 0);
        times.push_back(std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start)
                            .count());
    }
    std::sort(times.begin(), times.end());
    long save_us = times[2];
    std::mt19937 rng(19);
    std::uniform_int_distribution<int> saves(0, 2);
    // At most 20 ms, so that a slow disk cannot stretch the test past a minute.
    std::uniform_int_distribution<long> delay(0, std::min(save_us * 3 / 2, 20000L));
    int kills = 0, inside = 0, changed = 0;
    int before = 0;  // which text the file holds
    // One byte more than a text, so that a longer file shows.
    std::vector<char> now(size + 1);
    // 500 kills, and up to 500 more while either count is short of its floor
    // (runs idle and under load reach about 300 and 220 of 500).
    for (; kills < 500 || ((inside <= 10 || changed <= 10) && kills < 1000); kills++) {
        int reports[2];
        ASSERT_EQ(pipe(reports), 0);
        int first = 1 - before;
        pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            prctl(PR_SET_PDEATHSIG, SIGKILL);
            close(reports[0]);
            if (write(reports[1], "r", 1) != 1) _exit(1);
            for (int k = first;; k++)
                if (driver_file_save(path.c_str(), &texts[k % 2][0], size) != 0 || write(reports[1], "s", 1) != 1)
                    _exit(1);
        }
        close(reports[1]);
        // The child's start, then the saves to wait for; a read that ends
        // early means the child ended.
        int want = 1 + saves(rng), got = 0;
        char c;
        while (got < want && read(reports[0], &c, 1) == 1) got++;
        usleep((useconds_t)delay(rng));
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        close(reports[0]);
        ASSERT_EQ(got, want) << "the saving process ended by itself before kill " << kills;
        long n = _read_into(path, now);
        int holds = -1;
        for (int t = 0; t < 2; t++)
            if (n == size && memcmp(now.data(), texts[t].data(), size) == 0) holds = t;
        ASSERT_NE(holds, -1) << "after kill " << kills << ": " << n << " bytes, neither text";
        changed += holds != before;
        before = holds;
        // A kill between the temporary's creation and the rename leaves it behind.
        std::string names = list_dir(tmp.path());
        if (names != "save.dat") {
            inside++;
            std::istringstream left(names);
            for (std::string n; left >> n;)
                if (n != "save.dat") unlink(tmp.file(n).c_str());
        }
    }
    std::cout << kills << " kills: " << inside << " inside a save, " << changed
              << " changed the text (a save takes " << save_us << " us)\n";
    // The kills must have hit the saves, or the test shows nothing.
    EXPECT_GT(inside, 10);
    EXPECT_GT(changed, 10);
}

// A path that only fits when cut must not find the file that the cut names.
TEST_F(DriverState, OverlongPathsAreRefusedNotCut) {
    TempDir tmp;
    driver_set_gamename("G");
    driver_set_altdir(tmp.path().c_str());
    std::string comp(100, 's');
    std::string name;
    while (name.size() < 520) name += comp + "/";
    name += "file.png";
    std::string full = tmp.path() + "/" + name;
    std::string cut = full.substr(0, 511);
    while (cut.back() == '/') cut.pop_back();
    for (size_t i = tmp.path().size() + 1; i < cut.size(); i++)
        if (cut[i] == '/') make_dir(cut.substr(0, i));
    write_file(cut, "the wrong file");

    std::string err = capture_stderr([&] {
        EXPECT_STREQ(driver_data_fname(name.c_str()), "");
        EXPECT_FALSE(driver_data_exists(name.c_str()));
        EXPECT_EQ(driver_data_load(name.c_str()), "");
    });
    EXPECT_NE(err.find("path too long, refused: "), std::string::npos);

    setenv("APPDATA", tmp.file("docs").c_str(), 1);
    std::string before = list_dir(tmp.file("docs/G"));
    char data[] = "x";
    int r = 0;
    err = capture_stderr([&] { r = driver_doc_save(name.c_str(), data, 1); });
    EXPECT_EQ(r, ENAMETOOLONG);
    EXPECT_NE(err.find("path too long, refused: "), std::string::npos);
    EXPECT_NE(err.find("file not saved: "), std::string::npos);
    EXPECT_EQ(list_dir(tmp.file("docs/G")), before);

    // A huge name is named in part: each lookup would print it whole.
    std::string huge(100000, 'h');
    err = capture_stderr([&] { EXPECT_STREQ(driver_data_fname(huge.c_str()), ""); });
    EXPECT_LT(err.size(), 4000u);
    EXPECT_NE(err.find("/" + std::string(1024, 'h') + "...\n"), std::string::npos);

    // A game name that does not fit leaves no documents directory to write to.
    capture_stderr([] { driver_set_gamename(std::string(300, 'g').c_str()); });
    EXPECT_STREQ(driver_doc_fname("save.json"), "./save.json");
}

// The opener records its arguments, then waits until the test lets it end
// (a file "go"; 30 s at most, so that a call that waits for it returns, to
// find "done" there).
static const char* kOpener =
    "#!/bin/sh\n"
    "printf '%s' \"$#\" > \"$OUT/argc\"\n"
    "printf '%s' \"$1\" > \"$OUT/arg\"\n"
    "echo $$ > \"$OUT/pid\"\n"
    "i=0\n"
    "while [ ! -e \"$OUT/go\" ] && [ $i -lt 3000 ]; do sleep 0.01; i=$((i + 1)); done\n"
    "touch \"$OUT/done\"\n";

TEST(DriverUrl, OneUnchangedArgumentNoShellNoWait) {
    TempDir tmp;
    std::string opener = tmp.file("opener.sh");
    write_file(opener, kOpener);
    chmod(opener.c_str(), 0755);
    setenv("QEL_URL_OPENER", opener.c_str(), 1);
    setenv("OUT", tmp.path().c_str(), 1);
    std::string url = "https://example.invalid/a b?q=\"1\"&r='2';x=$(touch " + tmp.file("pwned") + ")`id`";

    struct sigaction before, after;
    sigaction(SIGCHLD, nullptr, &before);
    std::string out = capture_stdout([&] { driver_open_url(url.c_str()); });
    EXPECT_FALSE(path_exists(tmp.file("done"))) << "the call waited for the opener";
    sigaction(SIGCHLD, nullptr, &after);
    EXPECT_EQ(before.sa_handler, after.sa_handler);
    EXPECT_EQ(after.sa_handler, SIG_DFL);
    EXPECT_EQ(out, "Driver::weblink: " + url + "\nWin32:WebPage\n");

    write_file(tmp.file("go"), "");
    for (int waited = 0; waited <= time_limit_ms(20000) && !path_exists(tmp.file("done")); waited += 10) usleep(10000);
    EXPECT_EQ(read_file(tmp.file("argc")), "1");
    EXPECT_EQ(read_file(tmp.file("arg")), url);
    EXPECT_FALSE(path_exists(tmp.file("pwned")));

    // The finished opener is reaped: no zombie stays behind.
    std::string pid = read_file(tmp.file("pid"));
    pid.erase(pid.find_last_not_of('\n') + 1);
    std::string proc = "/proc/" + pid;
    for (int waited = 0; waited <= time_limit_ms(20000) && path_exists(proc); waited += 10) usleep(10000);
    EXPECT_FALSE(path_exists(proc)) << "opener " << pid << " was not reaped";
    unsetenv("QEL_URL_OPENER");
}

TEST(DriverUrl, MissingOpenerFailsSilently) {
    setenv("QEL_URL_OPENER", "/nonexistent/opener", 1);
    std::string out = capture_stdout([] { driver_open_url("http://x"); });
    EXPECT_EQ(out, "Driver::weblink: http://x\nWin32:WebPage\n");
    unsetenv("QEL_URL_OPENER");
}
