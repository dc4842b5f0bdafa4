// The value type: handles, scalars, containers, comparisons, the error line,
// and the list and string functions.
#include <algorithm>
#include <cfloat>
#include <climits>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "capture.h"
#include "qel_var.h"

static_assert(sizeof(var) == sizeof(void*), "a handle is one pointer");

namespace {

// The error lines a statement prints, and checks of their shape: the source
// path and line come from the build, the message is fixed.
std::string errors_of(const std::function<void()>& fn) { return capture_stderr(fn); }

void expect_error(const std::string& err, const std::string& msg) {
    std::regex shape("^[^\n]*qel_var\\.cpp:[0-9]+: " + std::regex_replace(msg, std::regex(R"([\[\]().*+?^$|\\{}])"), R"(\$&)") + "\n$");
    EXPECT_TRUE(std::regex_match(err, shape)) << "stderr was: " << err << "wanted message: " << msg;
    EXPECT_EQ(var_get_errstr(), msg);
}

std::vector<std::string> texts(var l) {
    std::vector<std::string> r;
    for (int i = 0; i < l.__len__(); i++) r.push_back(l[i].__str__());
    return r;
}

var list_of(std::initializer_list<var> items) {
    var l = var_list();
    for (const var& v : items) list_append(l, v);
    return l;
}

// The text "%f" gives in the C locale, trimmed as the number text trims it.
std::string printf_text(double v) {
    char buf[512];
    snprintf(buf, sizeof buf, "%f", v);
    std::string s = buf;
    while (s.size() > 2 && s.back() == '0' && s[s.size() - 2] != '.') s.pop_back();
    return s;
}

}  // namespace

TEST(VarHandle, EmptyHandleIsNone) {
    var e;
    EXPECT_EQ(e.__type__(), VAR_NONE);
    EXPECT_EQ(e.__str__(), "");
    EXPECT_EQ(e.__num__(), 0.0);
    EXPECT_FALSE(e.__bool__());
    int len = 1;
    expect_error(errors_of([&] { len = e.__len__(); }), "TypeError: 'none' object does not support '__len__'");
    EXPECT_EQ(len, 0);
    var* got = nullptr;
    expect_error(errors_of([&] { got = &e["k"]; }), "TypeError: 'none' object does not support '__get__'");
    *got = var(5);  // writes only the scratch value
    EXPECT_EQ(e.value, nullptr);
    EXPECT_EQ(_var_none_tmp().__type__(), VAR_NONE);
}

TEST(VarHandle, VariadicMakers) {
    var a(1), b("x");
    EXPECT_EQ(var(VAR_NUMBER, 2, &a, &b).__type__(), VAR_NONE);
    var d = var_dict(var(1), var("a"));
    ASSERT_EQ(d.__len__(), 1);
    EXPECT_TRUE(d.__has__(var("1")));
    EXPECT_EQ(d["1"], "a");
    var d2 = var_dict(var("k"), var(1), var("k"), var(2));
    EXPECT_EQ(d2.__len__(), 1);
    EXPECT_EQ(d2["k"].__num__(), 2.0);
    var l = var_list(var(7));
    EXPECT_EQ(l.__len__(), 1);
    EXPECT_EQ(l[0].__num__(), 7.0);
    EXPECT_EQ(var((const char*)nullptr), "");
    EXPECT_TRUE(var("") == (const char*)nullptr);
}

TEST(VarHandle, TypeNamesAndIntConversion) {
    const char* names[] = {"invalid", "none", "number", "string", "list", "dict", "bool", "invalid"};
    for (int t = -1; t <= 6; t++) EXPECT_STREQ(var_typename(t), names[t + 1]);
    struct {
        double in;
        int out;
    } cases[] = {{2.9, 2}, {-2.9, -2}, {NAN, INT_MIN}, {3e9, INT_MIN}, {-3e9, INT_MIN}, {2147483647.0, 2147483647},
                 {-2147483648.0, INT_MIN}, {INFINITY, INT_MIN}};
    for (auto& c : cases) EXPECT_EQ((int)var(c.in), c.out) << c.in;
    EXPECT_EQ((int)var("12abc"), 12);
    EXPECT_EQ((float)var(0.5), 0.5f);
    EXPECT_EQ((std::string)var(true), "True");
}

TEST(VarHandle, EqualityAcrossTypes) {
    var one(1), t(true), s1("1"), l1 = var_list(), l2 = var_list();
    EXPECT_FALSE(one == t);
    EXPECT_FALSE(s1 == one);
    EXPECT_FALSE(l1 == l2);
    var l1b = l1;
    EXPECT_TRUE(l1 == l1b);
    EXPECT_TRUE(var("ab") == "ab");
    EXPECT_FALSE(var("ab") == "a");
    EXPECT_TRUE(var(std::string("a\0b", 3)) == std::string("a\0b", 3));
    EXPECT_FALSE(var(std::string("a\0b", 3)) == "a");
    EXPECT_TRUE(var() == var());
    EXPECT_TRUE(var(NAN) != var(NAN));
    EXPECT_TRUE(var(true) == true);
    EXPECT_FALSE(var(1) == true);
    EXPECT_TRUE(var(1) == 1);
    EXPECT_TRUE(var(1.5) == 1.5);
    var it(var("x").__iter__());
    EXPECT_FALSE(it == it);
}

TEST(VarHandle, OrderAcrossTypes) {
    struct {
        var a, b;
        bool lt;
    } cases[] = {
        {var(5), var(""), true},          // a number is below every string
        {var(true), var(5), false},       // a bool is below nothing
        {var(-5), var(), true},           // a number against none compares with 0
        {var(5), var(), false},
        {var(), var(5), false},           // none is below nothing
        {var("10"), var(9), true},        // a string compares with a number by text
        {var("b"), var("ab"), false},
        {var("a"), var("ab"), true},      // a proper prefix first
        {var("\xe9"), var("z"), false},   // unsigned bytes
        {var_list(), var_dict(), true},
        {var_list(), var(true), true},
        {var_dict(), var(true), true},
        {var(1), var_list(), true},
        {var("z"), var(true), true},
    };
    for (auto& c : cases) EXPECT_EQ(c.a < c.b, c.lt) << c.a.__str__() << " < " << c.b.__str__();
}

TEST(VarHandle, AssignmentKeepsEqualPayloadAndSurvivesSelfReference) {
    var a("same"), b("same");
    var_object* mine = a.value;
    a = b;
    EXPECT_EQ(a.value, mine);
    var n(NAN);
    var_object* np = n.value;
    n = n;
    EXPECT_EQ(n.value, np);
    var it(var_list().__iter__());
    var_object* ip = it.value;
    it = it;
    EXPECT_EQ(it.value, ip);
    // The list is held only by h; assigning its element must not free it first.
    var h = var_list(var("inner"));
    h = h[0];
    EXPECT_EQ(h, "inner");
}

TEST(VarHandle, MaxMinSecondOnTiesAndNaN) {
    EXPECT_TRUE(std::signbit(var_max(0.0, -0.0)));
    EXPECT_TRUE(std::isnan(var_min(1.0, NAN)));
    EXPECT_EQ(var_min(NAN, 1.0), 1.0);
    EXPECT_EQ(var_max(NAN, 1.0), 1.0);
    EXPECT_TRUE(std::isnan(var_max(1.0, NAN)));
    EXPECT_EQ(var_max(2, 1), 2);
    EXPECT_EQ(var_min(2, 1), 1);
}

TEST(VarHandle, SelfContainingListIsKeptAlive) {
    var l = var_list();
    list_append(l, l);
    var_object* p = l.value;
    l.__destroy__();
    EXPECT_EQ(p->refs, 1);  // held by its own element; freed never (by design)
    static_cast<_var_list*>(p)->value[0].__destroy__();  // break the cycle so the leak check stays quiet
}

// Payloads free without recursion, so no depth of nesting overflows the
// stack (a million levels did); a sub-tree still held elsewhere stays whole.
TEST(VarHandle, DeepValuesAreFreed) {
    const int depth = 1000000;
    // Lists and dicts by turns, each holding the next as its one element
    // (a list's [0], a dict's "k").
    auto only = [](const var& c) -> var& {
        if (c.__type__() == VAR_LIST) return static_cast<_var_list*>(c.value)->value[0];
        return static_cast<_var_dict*>(c.value)->value.begin()->second;
    };
    auto put = [&](var& into, const var& v) -> var& {
        if (into.__type__() == VAR_LIST)
            list_append(into, v);
        else
            into["k"] = v;
        return only(into);
    };
    var root = var_list();
    var kept;
    var* inner = &root;
    for (int i = 1; i < depth; i++) {
        inner = &put(*inner, i % 2 ? var_dict() : var_list());
        if (i == depth / 2) kept = *inner;
    }
    put(*inner, var("bottom"));
    root.__destroy__();
    EXPECT_EQ(kept.value->refs, 1);
    int levels = 0;
    const var* walk = &kept;
    for (; walk->__type__() == VAR_LIST || walk->__type__() == VAR_DICT; walk = &only(*walk)) levels++;
    EXPECT_EQ(levels, depth - depth / 2);
    EXPECT_TRUE(*walk == "bottom");
}

TEST(VarScalar, NumberText) {
    struct {
        double v;
        const char* text;
    } cases[] = {
        {3, "3"},
        {-0.0, "0"},
        {0.5, "0.5"},
        {1.25, "1.25"},
        {1.0 / 3, "0.333333"},
        {0.1 + 0.2, "0.3"},
        {2.0000001, "2.0"},
        {1e-7, "0.0"},
        {-1e-7, "-0.0"},
        {2147483647, "2147483647"},
        {-2147483648.0, "-2147483648"},
        {2147483648.0, "2147483648.0"},
        {1e20, "100000000000000000000.0"},
        {INFINITY, "inf"},
        {-INFINITY, "-inf"},
        {NAN, "nan"},
        {-NAN, "-nan"},
    };
    for (auto& c : cases) {
        EXPECT_EQ(var(c.v).__str__(), c.text) << c.v;
        if (strchr(c.text, '.') || !isdigit((unsigned char)c.text[c.text[0] == '-'])) {
            EXPECT_EQ(printf_text(c.v), c.text) << c.v;  // the text is glibc's own
        }
    }
}

TEST(VarScalar, LongNumberTextPrintsInFull) {
    for (double v : {1e56, -1e55, 1e300, DBL_MAX, -DBL_MAX, 123456789012345678901234567890.0}) {
        std::string s = _var_number_to_str(v);
        EXPECT_EQ(s, printf_text(v));
        EXPECT_GT(s.size(), 30u);
    }
    EXPECT_EQ(_var_number_to_str(DBL_MAX).size(), 311u);  // 309 digits, point, one zero
}

TEST(VarScalar, NumberTextMatchesPrintfOnRandomValues) {
    std::mt19937_64 rng(42);
    std::uniform_real_distribution<double> mant(-1.0, 1.0);
    std::uniform_int_distribution<int> ex(-12, 40);
    for (int i = 0; i < 20000; i++) {
        double v = mant(rng) * std::pow(10.0, ex(rng));
        ASSERT_EQ(_var_number_to_str(v), printf_text(v)) << v;
    }
}

// The writers' number text: the number text byte for byte wherever it reads
// back as the value, else a shortest text that does (as few significant
// digits as "%.*g" needs to read back).
TEST(VarScalar, ExactNumberTextOnRandomValues) {
    auto significant = [](const std::string& t) {
        std::string m = t.substr(0, t.find('e'));
        m.erase(std::remove(m.begin(), m.end(), '.'), m.end());
        m.erase(std::remove(m.begin(), m.end(), '-'), m.end());
        m.erase(0, m.find_first_not_of('0'));
        m.erase(m.find_last_not_of('0') + 1);
        return m.size();
    };
    std::mt19937_64 rng(7);
    std::uniform_real_distribution<double> mant(-1.0, 1.0);
    std::uniform_int_distribution<int> ex(-12, 20);
    for (int i = 0; i < 200000; i++) {
        double v;
        switch (i % 4) {
            case 0: v = mant(rng) * std::pow(10.0, ex(rng)); break;
            case 1: v = (double)(int64_t)(rng() % 20000001 - 10000000) / std::pow(10.0, (int)(rng() % 9)); break;
            case 2: v = (double)(int64_t)(rng() % 4000001 - 2000000) / 64.0; break;
            default: {
                uint64_t bits = rng();
                memcpy(&v, &bits, sizeof v);
                if (!std::isfinite(v)) continue;
            }
        }
        std::string t = var_number_exact_str(v);
        std::string plain = var(v).__str__();
        if (strtod(plain.c_str(), nullptr) == v) {
            ASSERT_EQ(t, plain) << v;
            continue;
        }
        ASSERT_EQ(strtod(t.c_str(), nullptr), v) << t;
        char buf[64];
        int p = 17;  // always enough; fewer while they still read back
        while (p > 1 && (snprintf(buf, sizeof buf, "%.*g", p - 1, v), strtod(buf, nullptr) == v)) p--;
        snprintf(buf, sizeof buf, "%.*g", p, v);
        ASSERT_EQ(significant(t), significant(buf)) << t << " " << buf;
    }
}

TEST(VarScalar, TextAndNumbersIgnoreTheLocale) {
    char dir[] = "/tmp/qel_locale_XXXXXX";
    ASSERT_TRUE(mkdtemp(dir));
    std::string cmd = std::string("localedef -i de_DE -f UTF-8 ") + dir + "/de_DE.UTF-8 >/dev/null 2>&1";
    if (system(cmd.c_str()) != 0) GTEST_SKIP() << "localedef cannot build de_DE here";
    setenv("LOCPATH", dir, 1);
    ASSERT_TRUE(setlocale(LC_ALL, "de_DE.UTF-8"));
    char probe[16];
    snprintf(probe, sizeof probe, "%.1f", 0.5);
    EXPECT_STREQ(probe, "0,5");  // the locale really uses a comma
    EXPECT_EQ(var(0.5).__str__(), "0.5");
    EXPECT_EQ(var("2.5").__num__(), 2.5);
    EXPECT_EQ(var("2,5").__num__(), 2.0);
    setlocale(LC_ALL, "C");
    unsetenv("LOCPATH");
    system((std::string("rm -rf ") + dir).c_str());
}

TEST(VarScalar, StringNumbersAndTruth) {
    struct {
        const char* s;
        double n;
    } cases[] = {{"12abc", 12}, {"abc", 0}, {"  -3.5e1x", -35}, {"0x10", 16}, {"", 0}, {"+.5", 0.5}, {"1e400", INFINITY}};
    for (auto& c : cases) EXPECT_EQ(var(c.s).__num__(), c.n) << c.s;
    EXPECT_EQ(var(std::string("7\0" "9", 3)).__num__(), 7.0);
    EXPECT_FALSE(var("").__bool__());
    EXPECT_TRUE(var("0").__bool__());
    EXPECT_TRUE(var(NAN).__bool__());
    EXPECT_FALSE(var(0.0).__bool__());
    var t(true);
    EXPECT_EQ(t.__str__(), "True");
    EXPECT_EQ(var(false).__str__(), "False");
    EXPECT_EQ(t.__num__(), 1.0);
    EXPECT_FALSE(t == var(1));
    EXPECT_FALSE(t < var(5));
    var nb;
    nb.__init__(true);
    EXPECT_EQ(nb.__type__(), VAR_BOOL);
}

TEST(VarScalar, Arithmetic) {
    EXPECT_EQ(var("a").__add__(var(1)), "a1");
    EXPECT_EQ(var("a").__add__(var()), "a");
    EXPECT_EQ(var("a").__add__(var(false)), "aFalse");
    EXPECT_EQ(var(1).__add__(var("2")).__num__(), 3.0);
    EXPECT_EQ(var(6).__sub__(var(true)).__num__(), 5.0);
    EXPECT_EQ(var(3).__mul__(var("2")).__num__(), 6.0);
    EXPECT_EQ(var(1).__div__(var(0)).__num__(), INFINITY);
    EXPECT_EQ(var(1).__add__(var_list()).__num__(), 1.0);
    var r(5);
    expect_error(errors_of([&] { r = var().__add__(var(1)); }), "TypeError: 'none' object does not support '__add__'");
    EXPECT_EQ(r.__type__(), VAR_NONE);
    expect_error(errors_of([&] { r = var(true).__add__(var(1)); }), "TypeError: 'bool' object does not support '__add__'");
    expect_error(errors_of([&] { r = var("a").__mul__(var(2)); }), "TypeError: 'string' object does not support '__mul__'");
    expect_error(errors_of([&] { r = var(1).__slice__(0, 1); }), "TypeError: 'number' object does not support '__slice__'");
    expect_error(errors_of([&] { var(1).__set__(var(0), var(0)); }), "TypeError: 'number' object does not support '__set__'");
    expect_error(errors_of([&] { var(true).__del__(var(0)); }), "TypeError: 'bool' object does not support '__del__'");
    bool has = true;
    expect_error(errors_of([&] { has = var(1).__has__(var(1)); }), "TypeError: 'number' object does not support '__has__'");
    EXPECT_FALSE(has);
}

TEST(VarScalar, StringSlicesAndHas) {
    var s("abcdef");
    struct {
        int a, b;
        const char* out;
    } cases[] = {{1, 3, "bc"}, {-2, 100, "ef"}, {4, 2, "ef"}, {6, 6, ""}, {-100, 0, ""},
                 {7, 9, ""}, {100, -1, ""}, {0, -1, "abcde"}, {INT_MIN, INT_MAX, "abcdef"}};
    for (auto& c : cases) EXPECT_EQ(s.__slice__(c.a, c.b), c.out) << c.a << "," << c.b;
    EXPECT_EQ(s.__len__(), 6);
    EXPECT_TRUE(s.__has__(var()));
    EXPECT_TRUE(var("a5b").__has__(var(5)));
    EXPECT_FALSE(var("a5b").__has__(var("c")));
}

TEST(VarScalar, StringIteration) {
    var s(std::string("\x41\xe9"));
    std::vector<double> seen;
    {
        var it(s.__iter__());
        var v;
        while (it.__next__(v)) seen.push_back(v.__num__());
        EXPECT_FALSE(it.__next__(v));
    }
    EXPECT_EQ(seen, (std::vector<double>{65, -23}));
    var it(s.__iter__());
    var k, v;
    ASSERT_TRUE(it.__pair__(k, v));
    EXPECT_EQ(k.__num__(), 0);
    EXPECT_EQ(v.__num__(), 65);
    ASSERT_TRUE(it.__pair__(k, v));
    EXPECT_EQ(k.__num__(), 1);
    EXPECT_EQ(v.__num__(), -23);
    EXPECT_FALSE(it.__pair__(k, v));
    // Empty strings, numbers and none yield nothing, silently.
    std::string err = errors_of([] {
        for (var src : {var(""), var(3), var()}) {
            var i(src.__iter__());
            var x;
            EXPECT_FALSE(i.__next__(x));
            EXPECT_EQ(x.__type__(), VAR_NONE);
        }
    });
    EXPECT_EQ(err, "");
    // __pair__ numbers its pairs by earlier __pair__ calls only.
    var xyz("xyz");  // an iterator holds no reference: keep the string alive
    var it2(xyz.__iter__());
    var x;
    it2.__next__(x);
    it2.__pair__(k, v);
    EXPECT_EQ(k.__num__(), 0);
    EXPECT_EQ(v, var((int)'y'));
}

TEST(VarList, Indexing) {
    var l = list_of({var("a"), var("b"), var("c")});
    EXPECT_EQ(l[-1], "c");
    EXPECT_EQ(l[var(1.9)], "b");
    EXPECT_EQ(l[var("2")], "c");
    EXPECT_EQ(l[var("x")], "a");
    EXPECT_EQ(l[var()], "a");
    EXPECT_EQ(l[var(false)], "a");
    for (int bad : {3, -4}) expect_error(errors_of([&] { l[bad]; }), "IndexError: list index out of range");
    expect_error(errors_of([&] { l[var(NAN)]; }), "IndexError: list index out of range");
    expect_error(errors_of([&] { l.__set__(var(3), var("z")); }), "IndexError: list assignment index out of range");
    EXPECT_EQ(l.__len__(), 3);
    l.__set__(var(-1), var("z"));
    EXPECT_EQ(l[2], "z");
    l[0] = var("w");
    EXPECT_EQ(texts(l), (std::vector<std::string>{"w", "b", "z"}));
    l.__del__(var(-1));
    EXPECT_EQ(texts(l), (std::vector<std::string>{"w", "b"}));
    expect_error(errors_of([&] { l.__del__(var(2)); }), "IndexError: list assignment index out of range");
    EXPECT_TRUE(l.__has__(var("b")));
    EXPECT_FALSE(l.__has__(var("q")));
    EXPECT_TRUE(l.__bool__());
    EXPECT_FALSE(var_list().__bool__());
    EXPECT_EQ(l.__num__(), 0.0);
}

TEST(VarList, InsertRule) {
    struct {
        std::vector<std::string> start;
        int k;
        std::vector<std::string> out;
    } cases[] = {
        {{}, 0, {"v"}},
        {{}, 7, {"v"}},
        {{"a", "b"}, 5, {"a", "v", "b"}},
        {{"a", "b"}, 2, {"a", "v", "b"}},
        {{"a", "b"}, -1, {"a", "v", "b"}},
        {{"a", "b"}, -5, {"v", "a", "b"}},
        {{"a", "b"}, 0, {"v", "a", "b"}},
        {{"a", "b"}, INT_MIN, {"v", "a", "b"}},
    };
    for (auto& c : cases) {
        var l = var_list();
        for (auto& s : c.start) list_append(l, var(s));
        list_insert(l, c.k, var("v"));
        EXPECT_EQ(texts(l), c.out) << c.k;
    }
    // Inserting one of the list's own elements while it grows.
    var l = var_list();
    for (int i = 0; i < 4; i++) list_append(l, var(i));
    static_cast<_var_list*>(l.value)->value.shrink_to_fit();
    list_insert(l, 0, l[3]);
    EXPECT_EQ(texts(l), (std::vector<std::string>{"3", "0", "1", "2", "3"}));
}

TEST(VarList, SlicesAndConcatenation) {
    var l = list_of({var(0), var(1), var(2), var(3), var(4)});
    struct {
        int a, b;
        std::vector<std::string> out;
    } cases[] = {{1, 3, {"1", "2"}}, {-2, 100, {"3", "4"}}, {0, 0, {}}, {5, 5, {}}, {3, 1, {}}, {9, 12, {}},
                 {-100, 2, {"0", "1"}}, {INT_MIN, INT_MIN, {}}};
    for (auto& c : cases) {
        var s = l.__slice__(c.a, c.b);
        EXPECT_EQ(s.__type__(), VAR_LIST);
        EXPECT_EQ(texts(s), c.out) << c.a << "," << c.b;
    }
    var twice = l.__add__(l);
    EXPECT_EQ(twice.__len__(), 10);
    EXPECT_EQ(twice[5], var(0));
    var r(1);
    expect_error(errors_of([&] { r = l.__add__(var(1)); }), "TypeError: can only concatenate list to list");
    EXPECT_EQ(r.__type__(), VAR_NONE);
    expect_error(errors_of([&] { r = l.__mul__(var(2)); }), "TypeError: 'list' object does not support '__mul__'");
}

TEST(VarList, CopySharesElements) {
    var inner = var_list();
    var l = var_list(inner);
    var c = l.__copy__();
    EXPECT_FALSE(l == c);
    EXPECT_EQ(c[0].value, inner.value);
    list_append(c[0], var("seen"));
    EXPECT_EQ(l[0].__len__(), 1);
    EXPECT_EQ(var().__copy__().__type__(), VAR_NONE);
    EXPECT_NE(var().__copy__().value, nullptr);
    var s("t");
    EXPECT_NE(s.__copy__().value, s.value);
    EXPECT_EQ(s.__copy__(), "t");
}

TEST(VarList, IterationAndText) {
    var l = list_of({var("a"), var("b")});
    var it(l.__iter__());
    var k, v;
    ASSERT_TRUE(it.__pair__(k, v));
    EXPECT_EQ(k.__num__(), 0);
    EXPECT_EQ(v, "a");
    ASSERT_TRUE(it.__pair__(k, v));
    EXPECT_EQ(k.__num__(), 1);
    EXPECT_EQ(v, "b");
    EXPECT_FALSE(it.__pair__(k, v));
    EXPECT_FALSE(it.__pair__(k, v));
    char want[64];
    snprintf(want, sizeof want, "<list instance at %p>", (void*)l.value);
    EXPECT_EQ(l.__str__(), want);
}

TEST(VarDict, KeysAreTextInByteOrder) {
    var d = var_dict();
    d[var(10)] = var("ten");
    d["9"] = var("nine");
    d["a"] = var(1);
    d["B"] = var(2);
    d[var(true)] = var(3);
    d[var()] = var(4);
    EXPECT_EQ(d[var(1)].__type__(), VAR_NONE);  // reading creates the entry
    EXPECT_EQ(d.__len__(), 7);
    std::vector<std::string> keys;
    var it(d.__iter__());
    var k;
    while (it.__next__(k)) keys.push_back(k.__str__());
    EXPECT_EQ(keys, (std::vector<std::string>{"", "1", "10", "9", "B", "True", "a"}));
    EXPECT_TRUE(d.__has__(var("10")));
    EXPECT_TRUE(d.__has__(var(1)));
    d.__del__(var(1));
    EXPECT_FALSE(d.__has__(var("1")));
    expect_error(errors_of([&] { d.__del__(var("nope")); }), "dict::__del__:KeyError");
    EXPECT_EQ(d.__len__(), 6);
    var r;
    expect_error(errors_of([&] { r = d.__slice__(0, 1); }), "TypeError: 'dict' object does not support '__slice__'");
    var it2(d.__iter__());
    var v;
    ASSERT_TRUE(it2.__pair__(k, v));
    EXPECT_EQ(k, "");
    EXPECT_EQ(v.__num__(), 4);
    var c = d.__copy__();
    EXPECT_FALSE(c == d);
    EXPECT_EQ(c.__len__(), d.__len__());
    EXPECT_TRUE(d.__bool__());
    EXPECT_FALSE(var_dict().__bool__());
}

TEST(VarFunctions, ListFunctionsAndTargets) {
    var n;
    expect_error(errors_of([&] { list_append(n, var(1)); }), "UnsupportedError");
    EXPECT_EQ(n.__type__(), VAR_NONE);
    int found = 0;
    expect_error(errors_of([&] { found = list_find(var(3), var(3)); }), "UnsupportedError");
    EXPECT_EQ(found, -1);
    var s("x");
    for (auto fn : {+[](var& e) { list_sort(e); }, +[](var& e) { list_reverse(e); },
                    +[](var& e) { list_insert(e, 0, var(1)); }, +[](var& e) { list_extend(e, var_list()); }})
        expect_error(errors_of([&] { fn(s); }), "UnsupportedError");
    var l = list_of({var(1), var("1")});
    EXPECT_EQ(list_find(l, var("1")), 1);
    EXPECT_EQ(list_find(l, var(2)), -1);
    expect_error(errors_of([&] { list_extend(l, var(3)); }), "TypeError: lists may only be extended by lists");
    EXPECT_EQ(l.__len__(), 2);
    list_extend(l, l);
    EXPECT_EQ(texts(l), (std::vector<std::string>{"1", "1", "1", "1"}));
    EXPECT_EQ(list_find(l, var("1")), 1);
    var r = list_of({var(1), var(2), var(3)});
    list_reverse(r);
    EXPECT_EQ(texts(r), (std::vector<std::string>{"3", "2", "1"}));
}

TEST(VarFunctions, SortOrdersAndStaysInBounds) {
    var l = list_of({var(3), var("b"), var(1), var(true), var("a"), var(2)});
    list_sort(l);
    EXPECT_EQ(texts(l), (std::vector<std::string>{"1", "2", "3", "a", "b", "True"}));
    // Mixed numbers and numeric strings, NaN and none have no consistent order:
    // the sort must still end, keep every element once and stay in the list.
    std::mt19937 rng(7);
    for (int round = 0; round < 200; round++) {
        var m = var_list();
        int n = 1 + rng() % 40;
        for (int i = 0; i < n; i++) {
            switch (rng() % 5) {
                case 0: list_append(m, var((int)(rng() % 20))); break;
                case 1: list_append(m, var(std::to_string(rng() % 20))); break;
                case 2: list_append(m, var(NAN)); break;
                case 3: list_append(m, var()); break;
                default: list_append(m, var(rng() % 2 == 0)); break;
            }
        }
        std::vector<var_object*> before;
        for (const var& v : static_cast<_var_list*>(m.value)->value) before.push_back(v.value);
        list_sort(m);
        std::vector<var_object*> after;
        for (const var& v : static_cast<_var_list*>(m.value)->value) after.push_back(v.value);
        std::sort(before.begin(), before.end());
        std::sort(after.begin(), after.end());
        ASSERT_EQ(before, after);
    }
}

TEST(VarFunctions, SplitJoinReplace) {
    struct {
        const char* text;
        const char* delim;
        std::vector<std::string> out;
    } splits[] = {
        {"a,,b", ",", {"a", "", "b"}}, {"", ",", {""}},      {",a,", ",", {"", "a", ""}},
        {"abc", "bc", {"a", ""}},      {"aaa", "aa", {"", "a"}}, {"abc", "", {"abc"}},
    };
    for (auto& c : splits) EXPECT_EQ(texts(str_split(c.text, c.delim)), c.out) << c.text << " / " << c.delim;
    struct {
        const char *text, *k, *v, *out;
    } repl[] = {{"aaa", "aa", "b", "ba"}, {"abc", "b", "", "ac"}, {"aa", "a", "aa", "aaaa"}, {"abc", "", "x", "abc"}};
    for (auto& c : repl) EXPECT_EQ(str_replace(c.text, c.k, c.v), c.out) << c.text;
    var l = list_of({var(1), var("a"), var(true), var()});
    EXPECT_EQ(str_join(",", l), "1,a,True,");
    var empty = var_list();
    EXPECT_EQ(str_join(",", empty), "");
    var d = var_dict();
    var r(1);
    expect_error(errors_of([&] { r = str_join(",", d); }), "TypeError");
    EXPECT_EQ(r.__type__(), VAR_NONE);
}

// The mod log turns every tab into four spaces and every carriage return
// into a line feed: texts of millions of them, where replacing in place
// would move the rest of the text at each one and never finish.
TEST(VarFunctions, ReplaceInLongTextsOfManyOccurrences) {
    const size_t n = 16000000;
    std::string tabs(n, '\t');
    tabs[n / 2] = 'x';
    std::string spaces = str_replace(tabs, "\t", "    ");
    ASSERT_EQ(spaces.size(), 4 * (n - 1) + 1);
    EXPECT_EQ(spaces.find_first_not_of(' '), 2 * n);
    EXPECT_EQ(spaces.find_last_not_of(' '), 2 * n);
    std::string crlf;
    for (int i = 0; i < 2000000; i++) crlf += "ab\r\n";
    std::string lf = str_replace(crlf, "\r\n", "\n");
    ASSERT_EQ(lf.size(), 3 * 2000000u);
    EXPECT_EQ(lf.substr(0, 6), "ab\nab\n");
    EXPECT_EQ(lf.find('\r'), std::string::npos);
}

TEST(VarFunctions, FindStripLower) {
    EXPECT_EQ(str_find("abc", "c"), 2);
    EXPECT_EQ(str_find("abc", ""), 0);
    EXPECT_EQ(str_find("abc", "d"), -1);
    EXPECT_EQ(str_strip("  a b \r\n"), "a b");
    EXPECT_EQ(str_strip("\va "), "\va");
    EXPECT_EQ(str_strip(" \t\r\n"), "");
    EXPECT_EQ(str_strip(""), "");
    EXPECT_EQ(str_lower("AbC\xc9z"), "abc\xc9z");
}
