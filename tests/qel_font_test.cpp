// The font module's CPU side, without a GL context: the BMFont reader, the
// registry with its lookup and log lines, the file watcher with an injected
// clock, and layout, measuring and hit-testing with fonts written by the test.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "capture.h"
#include "fake_clock.h"
#include "headless.h"
#include "qel_driver.h"
#include "qel_font.h"
#include "qel_gfx.h"
#include "tempdir.h"

// BMFont text: a common line, then one char line per code of `codes` with
// advance `adv`, glyphs 8 x 16 placed in a row.
static std::string _fnt(int line_height, const std::string& codes, float adv = 10, int base = 16) {
    std::ostringstream s;
    s << "info face=\"Test\" size=" << line_height << "\n";
    s << "common lineHeight=" << line_height << " base=" << base << " scaleW=256 scaleH=256 pages=1\n";
    s << "page id=0 file=\"x.png\"\nchars count=" << codes.size() << "\n";
    int x = 0;
    for (unsigned char c : codes) {
        s << "char id=" << (int)c << " x=" << x << " y=0 width=8 height=16 xoffset=1 yoffset=2 xadvance=" << adv
          << " page=0 chnl=15\n";
        x += 9;
    }
    return s.str();
}

// Printable ASCII, every glyph 10 wide, lines 20 high.
static const std::string _ascii = [] {
    std::string s;
    for (int c = 32; c < 127; c++) s += (char)c;
    return s;
}();

static bool _same_rect(const GfxRect& a, const GfxRect& b) {
    return a.x == b.x && a.y == b.y && a.w == b.w && a.h == b.h;
}

// Every field the reader may write, compared.
static void _expect_same_font(const FontInfo& a, const FontInfo& b) {
    EXPECT_EQ(a.n, b.n);
    EXPECT_EQ(a.tex, b.tex);
    for (int c = 0; c < 256; c++) {
        EXPECT_TRUE(_same_rect(a.rects[c], b.rects[c])) << "rects " << c;
        EXPECT_TRUE(_same_rect(a.shapes[c], b.shapes[c])) << "shapes " << c;
    }
    EXPECT_EQ(a.height, b.height);
    EXPECT_EQ(a.base, b.base);
    EXPECT_EQ(a._size, b._size);
    EXPECT_EQ(a.size, b.size);
    EXPECT_EQ(a.scale, b.scale);
    EXPECT_TRUE(_same_rect(a.rect, b.rect));
    EXPECT_STREQ(a.fnt_fname, b.fnt_fname);
    EXPECT_EQ(a.fnt_mtime, b.fnt_mtime);
}

// A working directory with ./data and an alternative directory, the driver
// state (no window), the graphics layer with the fake loader, and the fonts.
class Font : public ::testing::Test {
protected:
    WorkDir dir;
    void SetUp() override {
        headless_open(dir.file("alt"), fake_tex_load);
        fake_tex_side = 256;
        fake_clock_install(1000000);
        font_init();
    }
    void TearDown() override {
        font_deinit();
        fake_clock_remove();
        headless_close();
    }
    // font_load with its log lines: the font module's lines of stderr.
    int load(const char* name, int size, std::string* log = nullptr) {
        int n = 0;
        std::string err;
        capture_stdout([&] { err = capture_stderr([&] { n = font_load(name, size); }); });
        if (log) {
            std::istringstream in(err);
            std::string line;
            log->clear();
            while (std::getline(in, line))
                if (line.find(" font ") != std::string::npos) *log += line + "\n";
        }
        return n;
    }
    // The ASCII test font "t": advance 10, line height 20, at its own size.
    int ascii() {
        write_file("data/t.fnt", _fnt(20, _ascii));
        return load("t", 0);
    }
    static FontInfo& info(int n) { return _font->data[n]; }
    void quiet(const std::function<void()>& fn) {
        capture_stdout([&] { capture_stderr(fn); });
    }
};

TEST_F(Font, ReaderTakesCommonAndCharLines) {
    FontInfo f;
    f.size = 24;
    _font_parse(f,
                "info face=\"x y\" size=32 lineHeight=99\n"
                "common lineHeight=32 base=26 scaleW=256 scaleH=128 pages=1\n"
                "page id=0 file=\"f.png\"\n"
                "chars count=4\n"
                "char id=65 x=1 y=2 width=3 height=4 xoffset=-1 yoffset=5 xadvance=7.5 page=0\n"
                "char  id=66 x=1\n"                     // two spaces: an empty word
                "char id=67 x=9=3 y=1.9 xadvance=2.25 width=12abc height=q\n"
                "char id=0 x=5 y=5 width=5 height=5 xadvance=5\n"
                "kerning first=65 second=66 amount=-1\n"
                "chars id=68 x=1\n"
                " char id=69 x=1\n"                     // first word empty
                "char id=70 xadvance=11\r\n"            // CRLF
                "char x=3\n");                          // no id: code 0
    EXPECT_EQ(f.height, 32);
    EXPECT_EQ(f._size, 32);
    EXPECT_EQ(f.base, 26);
    EXPECT_TRUE(_same_rect(f.rect, GfxRect(0, 0, 256, 128)));
    EXPECT_FLOAT_EQ(f.scale, 0.75f);
    EXPECT_TRUE(_same_rect(f.rects['A'], GfxRect(1, 2, 3, 4)));
    EXPECT_TRUE(_same_rect(f.shapes['A'], GfxRect(-1, 5, 7.5f, 4)));
    EXPECT_TRUE(_same_rect(f.rects['B'], GfxRect(1, 0, 0, 0)));
    EXPECT_TRUE(_same_rect(f.shapes['B'], GfxRect(0, 0, 0, 0)));
    // a=b=c keeps b; ints are truncated, the advance is not; text reads as 0.
    EXPECT_TRUE(_same_rect(f.rects['C'], GfxRect(9, 1, 12, 0)));
    EXPECT_TRUE(_same_rect(f.shapes['C'], GfxRect(0, 0, 2.25f, 0)));
    EXPECT_TRUE(_same_rect(f.rects[0], GfxRect()));
    EXPECT_TRUE(_same_rect(f.shapes[0], GfxRect()));
    EXPECT_TRUE(_same_rect(f.rects['D'], GfxRect()));
    EXPECT_TRUE(_same_rect(f.rects['E'], GfxRect()));
    EXPECT_EQ(f.shapes['F'].w, 11);
}

TEST_F(Font, CodesOutsideTheTablesAreIgnored) {
    const std::string good = _fnt(20, "ab");
    FontInfo a, b;
    a.n = b.n = 7;
    a.tex = b.tex = 9;
    snprintf(a.fnt_fname, sizeof a.fnt_fname, "x");
    snprintf(b.fnt_fname, sizeof b.fnt_fname, "x");
    _font_parse(a, good);
    _font_parse(b, good +
                       "char id=-1 x=1 y=2 width=3 height=4 xoffset=5 yoffset=6 xadvance=7\n"
                       "char id=256 x=1 y=2 width=3 height=4 xoffset=5 yoffset=6 xadvance=7\n"
                       "char id=511 x=1 y=2 width=3 height=4 xoffset=5 yoffset=6 xadvance=7\n"
                       "char id=100000 x=1 y=2 width=3 height=4 xadvance=7\n"
                       "char id=-2147483648 x=1 xadvance=7\n"
                       "char id=1e10 x=1 xadvance=7\n"
                       "char id=nan x=1 xadvance=7\n"
                       "char id=inf x=1 xadvance=7\n"
                       "char id=-inf x=1 xadvance=7\n");
    _expect_same_font(a, b);
    // The ends of the range are codes like any other.
    _font_parse(b, "char id=1 xadvance=3\nchar id=255 xadvance=4\nchar id=255.9 x=2\n");
    EXPECT_EQ(b.shapes[1].w, 3);
    EXPECT_EQ(b.rects[255].x, 2);
    EXPECT_EQ(b.shapes[255].w, 0);  // the later line wins, whole
}

TEST_F(Font, ScaleFollowsTheRequestedSize) {
    struct {
        const char* common;
        float size, scale, height;
    } cases[] = {
        {"common lineHeight=32", 24, 0.75f, 32},
        {"common lineHeight=32", 0, 1, 32},
        {"common lineHeight=20", 40, 2, 20},
        {"common lineHeight=0", 24, 1, 0},  // nothing to scale to
        {"common base=3", 24, 1, 0},
        {"common lineHeight=x", 24, 1, 0},
        {"info lineHeight=32", 24, 1, 0},   // no common line: the scale of the load
    };
    for (const auto& c : cases) {
        FontInfo f;
        f.size = c.size;
        f.scale = 1;
        _font_parse(f, c.common);
        EXPECT_FLOAT_EQ(f.scale, c.scale) << c.common << " at " << c.size;
        EXPECT_EQ(f.height, c.height) << c.common;
        EXPECT_TRUE(std::isfinite(f.scale));
    }
}

TEST_F(Font, LoadLogsOnceAndSharesThePictureAcrossSizes) {
    write_file("data/console.fnt", _fnt(32, "ab"));
    write_file("data/console.png", "x");
    std::string log;
    int big = load("console", 24, &log);
    EXPECT_EQ(big, 1);
    EXPECT_EQ(log, "trying load font console\ndoing load font console (1)\n");
    const FontInfo& f = info(big);
    EXPECT_EQ(f.n, 1);
    EXPECT_GT(f.tex, 0);
    EXPECT_EQ(f.size, 24);
    EXPECT_FLOAT_EQ(f.scale, 0.75f);
    EXPECT_STREQ(f.fnt_fname, "./data/console.fnt");
    EXPECT_EQ(f.shapes['a'].w, 10);

    EXPECT_EQ(load("console", 24, &log), big);
    EXPECT_EQ(log, "");
    int own = load("console", 0, &log);
    EXPECT_EQ(own, 2);
    EXPECT_EQ(log, "trying load font console\ndoing load font console (2)\n");
    EXPECT_FLOAT_EQ(info(own).scale, 1);
    EXPECT_EQ(info(own).tex, info(big).tex);

    EXPECT_EQ(load("nope", 24, &log), 0);
    EXPECT_EQ(log, "trying load font nope\nunable to find font nope\n");
    EXPECT_EQ(load("nope", 24, &log), 0);
    EXPECT_EQ(log, "");
    EXPECT_EQ(_font->data.size(), 3u);

    // A font without a picture measures normally.
    write_file("data/bare.fnt", _fnt(20, "ab"));
    int bare = load("bare", 0);
    EXPECT_EQ(info(bare).tex, 0);
    EXPECT_EQ(font_get_width(bare, "ab"), 21);
}

TEST_F(Font, LookupTriesTheNameThenFntThenTxtAlternativeFirst) {
    struct {
        std::vector<std::string> files;
        const char* name;
        const char* found;
    } cases[] = {
        {{"data/f", "data/f.fnt", "data/f.txt"}, "f", "./data/f"},
        {{"data/f.fnt", "data/f.txt"}, "f", "./data/f.fnt"},
        {{"data/f.txt"}, "f", "./data/f.txt"},
        {{"data/f.fnt", "alt/f.fnt"}, "f", "alt/f.fnt"},
        {{"data/f.fnt", "alt/f.txt"}, "f", "./data/f.fnt"},  // suffix before directory
        {{"data/sub/f.fnt", "data/f.fnt"}, "sub/f", "./data/sub/f.fnt"},
        {{"data/f.fnt"}, "sub/f", nullptr},
        {{}, "f", nullptr},
    };
    mkdir("data/sub", 0700);
    for (const auto& c : cases) {
        for (const auto& f : c.files) write_file(f, "x");
        const char* r = _font_find(c.name);
        std::string got = r ? driver_data_fname(r) : "(none)";
        std::string want = c.found ? c.found : "(none)";
        if (want.rfind("alt/", 0) == 0) want = dir.file(want);
        EXPECT_EQ(got, want) << c.name << " with " << c.files.size() << " files";
        for (const auto& f : c.files) remove(f.c_str());
    }
}

TEST_F(Font, DirectoryPartReadsTheFileThatWasFound) {
    mkdir("data/sub", 0700);
    write_file("data/sub/f.fnt", _fnt(30, "a", 7));
    write_file("data/f.fnt", _fnt(10, "a", 3));
    int n = load("sub/f", 0);
    ASSERT_GT(n, 0);
    EXPECT_STREQ(info(n).fnt_fname, "./data/sub/f.fnt");
    EXPECT_EQ(info(n).height, 30);
    EXPECT_EQ(info(n).shapes['a'].w, 7);

    // And so does the watcher.
    fake_now = 1500000;
    set_mtime("data/sub/f.fnt", fake_now - 10);
    set_mtime("data/f.fnt", fake_now - 10);
    quiet([&] { font_reload(n); });
    write_file("data/sub/f.fnt", _fnt(30, "a", 8));
    set_mtime("data/sub/f.fnt", fake_now - 3);
    quiet([] { font_reload_auto(); });
    EXPECT_EQ(info(n).shapes['a'].w, 8);
}

TEST_F(Font, LongNamesNeitherOverflowNorAlias) {
    // A 254-byte name: its keys at two sizes are longer than 256 bytes and
    // alike up to their last bytes.
    std::string sub = "data/" + std::string(250, 'd');
    mkdir(sub.c_str(), 0700);
    write_file(sub + "/xyz.fnt", _fnt(20, "a"));
    std::string name = std::string(250, 'd') + "/xyz";
    int a = load(name.c_str(), 24), b = load(name.c_str(), 12);
    ASSERT_GT(a, 0);
    ASSERT_GT(b, 0);
    EXPECT_NE(a, b);
    EXPECT_FLOAT_EQ(info(a).scale, 1.2f);
    EXPECT_FLOAT_EQ(info(b).scale, 0.6f);

    // Names whose paths fit no buffer are simply not found.
    for (size_t len : {505u, 508u, 511u, 600u, 5000u}) {
        std::string huge(len, 'n');
        std::string log;
        EXPECT_EQ(load(huge.c_str(), 24, &log), 0) << len;
        EXPECT_NE(log.find("unable to find font"), std::string::npos);
    }
}

TEST_F(Font, EmptyOrVanishedFileKeepsWhatTheEntryHad) {
    write_file("data/empty.fnt", "");
    int e = load("empty", 24);
    ASSERT_GT(e, 0);
    EXPECT_EQ(info(e).height, 0);
    EXPECT_FLOAT_EQ(info(e).scale, 1);
    EXPECT_EQ(font_get_height(e, "abc", 0), 0);
    EXPECT_EQ(font_get_width(e, "abc"), 1);

    int t = ascii();
    FontInfo before = info(t);
    write_file("data/t.fnt", "");
    quiet([&] { font_reload(t); });
    remove("data/t.fnt");
    quiet([&] { font_reload(t); });
    before.fnt_mtime = FileStamp();  // the vanished file's stamp
    _expect_same_font(info(t), before);
}

// A font file that lacks its "common" line or every glyph (empty, cut short)
// says so in one line naming the file, at every read; a whole font, however
// odd its numbers, loads without one and stays drawable.
TEST_F(Font, DamagedFileLogsOneLineNamingIt) {
    const std::string whole = _fnt(20, "ab");
    const size_t common_end = whole.find("\n", whole.find("common")) + 1;
    struct Case {
        std::string text;
        const char* why;  // null: no line
    } cases[] = {
        {"", "no \"common\" line and no glyphs"},
        {whole.substr(0, 12), "no \"common\" line and no glyphs"},
        {whole.substr(0, common_end), "no glyphs"},
        {whole.substr(0, whole.find("char id=97")), "no glyphs"},
        {"char id=65 xadvance=3\n", "no \"common\" line"},
        {"commonlineHeight=20\nchar id=65 xadvance=3\n", "no \"common\" line"},
        {"common lineHeight=20\nchar id=0 xadvance=3\nchar id=300 xadvance=3\n", "no glyphs"},
        {whole, nullptr},
        {whole.substr(0, whole.find("char id=98")), nullptr},
        {"common lineHeight=99999999999999 base=-1e300 scaleW=1e40 scaleH=nan\n"
         "char id=65 x=1e30 y=-1e30 width=1e300 height=inf xoffset=-1e300 yoffset=nan xadvance=1e300\n",
         nullptr},
    };
    int k = 0;
    for (const Case& c : cases) {
        std::string name = "d" + std::to_string(k++), path = "./data/" + name + ".fnt";
        write_file(path, c.text);
        std::string log;
        int n = load(name.c_str(), 24, &log);
        ASSERT_GT(n, 0) << name;
        std::string want = "trying load font " + name + "\ndoing load font " + name + " (" + std::to_string(n) + ")\n";
        if (c.why) want += "damaged font " + path + ": " + c.why + "\n";
        EXPECT_EQ(log, want) << c.text;
        // Drawing and measuring are silent, and the font's numbers bounded.
        std::string err = capture_stderr([&] {
            font_draw(n, "AAab", 0, 0, 0, -1);
            font_draw(n, "AAab AA", 0, 0, 30, 1);
        });
        EXPECT_EQ(err, "") << name;
        EXPECT_TRUE(std::isfinite(font_get_height(n, "A A A", 5))) << name;
        // Every read of a damaged file says so again.
        err = capture_stderr([&] { font_reload(n); });
        EXPECT_EQ(err, c.why ? "damaged font " + path + ": " + c.why + "\n" : "") << name;
    }
}

TEST_F(Font, WatcherReadsQuietChangedFilesKeepingOldGlyphs) {
    fake_now = 2000000;
    write_file("data/w.fnt", _fnt(20, "ab"));
    set_mtime("data/w.fnt", fake_now - 100);
    int big = load("w", 40), own = load("w", 0);
    ASSERT_GT(big, 0);
    quiet([] { font_reload_auto(); });

    // 'a' gets another advance, 'b' is gone from the file, 'c' is new.
    write_file("data/w.fnt", "common lineHeight=20\nchar id=97 xadvance=15\nchar id=99 xadvance=4\r\n");
    set_mtime("data/w.fnt", fake_now + 10);
    struct {
        time_t now;
        float a;  // advance of 'a' at the font's own size afterwards
    } steps[] = {
        {fake_now + 10, 10},  // too fresh
        {fake_now + 11, 10},
        {fake_now + 12, 15},  // quiet for two seconds
    };
    for (const auto& s : steps) {
        fake_now = s.now;
        quiet([] { font_reload_auto(); });
        EXPECT_EQ(info(own).shapes['a'].w, s.a) << "at +" << s.now - 2000000;
    }
    EXPECT_EQ(info(own).shapes['b'].w, 10);
    EXPECT_EQ(info(own).shapes['c'].w, 4);
    EXPECT_EQ(info(big).shapes['a'].w, 15);  // every size
    EXPECT_FLOAT_EQ(info(big).scale, 2);
    EXPECT_EQ(info(own).fnt_mtime.sec, fake_now - 2);

    // Within one second the files are not looked at again.
    fake_now += 5;
    write_file("data/w.fnt", "char id=97 xadvance=20\n");
    set_mtime("data/w.fnt", fake_now - 3);
    quiet([] { font_reload_auto(); });
    EXPECT_EQ(info(own).shapes['a'].w, 20);
    write_file("data/w.fnt", "char id=97 xadvance=21\n");
    set_mtime("data/w.fnt", fake_now - 2);
    quiet([] { font_reload_auto(); });
    EXPECT_EQ(info(own).shapes['a'].w, 20);
    fake_now += 1;
    quiet([] { font_reload_auto(); });
    EXPECT_EQ(info(own).shapes['a'].w, 21);
}

// Layout with advances of 10 and lines of 20.
class FontText : public Font {
protected:
    int f = 0;
    void SetUp() override {
        Font::SetUp();
        f = ascii();
        ASSERT_GT(f, 0);
    }
    std::string lines(const char* s, float ww) {
        FontWrap w;
        _font_wrap_calc(f, s, ww, w);
        std::string r;
        for (int i = 0; i < w.total; i++)
            r += "(" + std::to_string(w.lines[i][0]) + "," + std::to_string(w.lines[i][1]) + "," +
                 std::to_string(w.lines[i][2]) + ")";
        return r;
    }
};

TEST_F(FontText, WrapTable) {
    std::string forty, empties;
    for (int i = 0; i < 40; i++) forty += i ? "\na" : "a";
    for (int i = 0; i < 32; i++) empties += "(0,0,0)";
    struct {
        const char* s;
        float ww;
        std::string want;
    } cases[] = {
        {"ab cd", 35, "(0,2,20)(3,5,20)"},
        {"abcdef", 35, "(0,3,30)(3,6,30)"},
        {"ab\ncd", 0, "(0,2,20)(3,5,20)"},
        {"ab cd", 0, "(0,5,50)"},
        {"ab cd", 50, "(0,5,50)"},  // exactly fits
        {"", 0, "(0,0,0)"},
        {"", 35, "(0,0,0)"},
        {"ab\n", 0, "(0,2,20)(3,3,0)"},
        {"\n\n", 0, "(0,0,0)(1,1,0)(2,2,0)"},
        {" abc", 25, "(0,2,20)(2,4,20)"},  // a space at index 0 is no break
        {"a bc de", 35, "(0,1,10)(2,4,20)(5,7,20)"},
        {"ab  cd", 35, "(0,2,20)(3,6,30)"},
        {"abc defgh", 35, "(0,3,30)(4,7,30)(7,9,20)"},
        {"a", 5, empties},  // a byte wider than the width never fits
        {forty.c_str(), 0, ""},
        {"\x80\xff" "a", 15, "(0,3,10)"},  // codes without glyphs take no room
    };
    for (const auto& c : cases) {
        if (c.s == forty.c_str()) {
            FontWrap w;
            _font_wrap_calc(f, c.s, c.ww, w);
            EXPECT_EQ(w.total, 32);
            EXPECT_EQ(w.lines[31][0], 62);
            EXPECT_EQ(w.lines[31][1], 63);
            continue;
        }
        EXPECT_EQ(lines(c.s, c.ww), c.want) << "'" << c.s << "' in " << c.ww;
    }
    // Wrapping follows the scale.
    int big = load("t", 40);
    FontWrap w;
    _font_wrap_calc(big, "ab cd", 70, w);
    EXPECT_EQ(w.total, 2);
    EXPECT_EQ(w.lines[1][2], 40);
}

TEST_F(FontText, WidthAndHeight) {
    EXPECT_EQ(font_get_width(f, "ab\nabcd"), 41);
    EXPECT_EQ(font_get_width(f, "abcd\nab"), 41);
    EXPECT_EQ(font_get_width(f, ""), 1);
    EXPECT_EQ(font_get_width(f, "a b c d e"), 91);  // no wrapping
    EXPECT_EQ(font_get_width(0, "abc"), 1);
    EXPECT_EQ(font_get_height(f, "ab\ncd", 0), 20);
    EXPECT_EQ(font_get_height(f, nullptr, 35), 20);
    EXPECT_EQ(font_get_height(f, "ab cd", 35), 40);
    EXPECT_EQ(font_get_height(f, "abc", 35), 20);
    std::string forty(79, '\n');
    EXPECT_EQ(font_get_height(f, forty.c_str(), 100), 32 * 20);
    EXPECT_EQ(font_get_height(0, "abc", 100), 0);
    int half = load("t", 10);
    EXPECT_EQ(font_get_width(half, "abcd"), 21);
    EXPECT_EQ(font_get_height(half, "ab cd", 15), 20);
}

TEST_F(FontText, CaretRectangles) {
    struct {
        const char* s;
        int pos;
        float w;
        int align;
        GfxRect want;
    } cases[] = {
        {"abc", 1, 0, -1, {10, 0, 10, 20}},
        {"abc", 3, 0, -1, {30, 0, 0, 20}},  // the terminating zero
        {"abc", 9, 0, -1, {30, 0, 0, 20}},
        {"abc", -5, 0, -1, {0, 0, 10, 20}},
        {"ab\ncd", 3, 0, -1, {0, 20, 10, 20}},
        {"ab\ncd", 2, 0, -1, {20, 0, 0, 20}},  // at the newline: end of its line
        {"ab cd", 2, 35, -1, {20, 0, 10, 20}},   // at the wrapping space
        {"ab cd", 3, 35, -1, {0, 20, 10, 20}},
        {"abcd", 0, 100, 1, {60, 0, 10, 20}},
        {"abcd", 0, 100, 0, {30, 0, 10, 20}},
        {"abcd", 0, 100, -1, {0, 0, 10, 20}},
        {"abcd", 9, 100, 1, {100, 0, 0, 20}},
        {"", 0, 0, -1, {0, 0, 0, 20}},
    };
    for (const auto& c : cases) {
        GfxRect r = font_crect(f, c.s, c.pos, c.w, c.align);
        EXPECT_TRUE(_same_rect(r, c.want)) << "'" << c.s << "' pos " << c.pos << " w " << c.w << " align "
                                           << c.align << ": " << r.x << "," << r.y << "," << r.w << "," << r.h;
    }
}

TEST_F(FontText, NearestCharacter) {
    struct {
        const char* s;
        int x, y;
        float w;
        int align;
        int want;
    } cases[] = {
        {"ab\ncd", 1000, 5, 0, -1, 2},     // right of the first line: its end
        {"ab\ncd", 1000, 25, 0, -1, 5},
        {"ab\ncd", 12, 25, 0, -1, 4},
        {"ab\ncd", 5, 25, 0, -1, 3},       // tie between 0 and 10: the earlier
        {"ab\ncd", -50, -1000, 0, -1, 0},
        {"ab\ncd", 1000, 100000, 0, -1, 5},  // far below
        {"ab\ncd", 1000, 32787, 0, -1, 5},   // |dy| << 16 past 2^31 on the first line only
        {"ab\ncd", 0, -100000, 0, -1, 0},
        // Distances beyond the int range saturate: every index ties.
        {"ab\ncd", INT_MIN, INT_MAX, 0, -1, 0},
        {"ab\ncd", INT_MAX, INT_MIN, 0, -1, 0},
        {"abcd", 61, 10, 100, 1, 0},       // right-aligned line starts at 60
        {"abcd", 58, 10, 100, 1, 0},
        {"abcd", 99, 10, 100, 1, 4},
        {"", 3, 3, 0, -1, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(font_cnear(f, c.s, c.x, c.y, c.w, c.align), c.want)
            << "'" << c.s << "' at " << c.x << "," << c.y << " w " << c.w;

    // 40 lines: a point below the 32nd is nearest to the 32nd.
    std::string forty;
    for (int i = 0; i < 40; i++) forty += i ? "\na" : "a";
    EXPECT_EQ(font_cnear(f, forty.c_str(), 0, 5000, 0, -1), 62);
}

TEST_F(FontText, HugeAndBrokenMetricsStayDefined) {
    // Advances that overflow any int, and NaN ones: widths saturate, nothing
    // traps, and every index handed back lies in the text.
    write_file("data/odd.fnt",
                  "common lineHeight=20 base=10 scaleW=0 scaleH=256\n"
                  "char id=97 xadvance=1e38 width=8 height=8\n"
                  "char id=98 xadvance=nan width=8 height=8\n"
                  "char id=99 xadvance=-1e38 width=8 height=8\n");
    int odd = load("odd", 0);
    ASSERT_GT(odd, 0);
    const char* texts[] = {"aaaa", "abc", "ba ab", "c c c", "aa\nbb\ncc"};
    for (const char* s : texts) {
        for (float ww : {0.0f, 35.0f, 1e30f, -5.0f, NAN, INFINITY}) {
            FontWrap w;
            _font_wrap_calc(odd, s, ww, w);
            EXPECT_GE(w.total, 1);
            EXPECT_LE(w.total, 32);
            int len = (int)strlen(s);
            EXPECT_LE(w.lines[w.total - 1][1], len);
            int n = font_cnear(odd, s, 5, 5, ww, 1);
            EXPECT_GE(n, 0);
            EXPECT_LE(n, len);
            font_crect(odd, s, 2, ww, 0);
            font_get_height(odd, s, ww);
            quiet([&] { font_draw(odd, s, 0, 0, ww, 1); });
        }
        font_get_width(odd, s);
    }
}
