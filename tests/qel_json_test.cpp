// JSON text into values and back: what the reader builds and reports, what
// it keeps after a failure, the writer's exact text, and round trips of
// random trees.
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "capture.h"
#include "json/JSON_parser.h"
#include "qel_json.h"
#include "qel_var.h"
#include "tempdir.h"

namespace {

struct Decoded {
    int rc;
    var v;
    std::string err;
};

Decoded decode(const std::string& text, var start = var()) {
    Decoded d{0, start, ""};
    d.err = capture_stderr([&] { d.rc = json_decode(d.v, text.data(), (int)text.size()); });
    return d;
}

std::string encode(var v) { return json_encode(v); }

// Two trees with the same shape and the same scalars (containers compare by
// identity through ==, so this walks them).
bool same_tree(const var& a, const var& b) {
    if (a.__type__() != b.__type__()) return false;
    switch (a.__type__()) {
        case VAR_LIST: {
            const auto& x = static_cast<_var_list*>(a.value)->value;
            const auto& y = static_cast<_var_list*>(b.value)->value;
            if (x.size() != y.size()) return false;
            for (size_t i = 0; i < x.size(); i++)
                if (!same_tree(x[i], y[i])) return false;
            return true;
        }
        case VAR_DICT: {
            const auto& x = static_cast<_var_dict*>(a.value)->value;
            const auto& y = static_cast<_var_dict*>(b.value)->value;
            if (x.size() != y.size()) return false;
            for (auto i = x.begin(), j = y.begin(); i != x.end(); ++i, ++j)
                if (i->first != j->first || !same_tree(i->second, j->second)) return false;
            return true;
        }
        default: return a == b;
    }
}

std::string nested(int n) { return std::string(n, '[') + std::string(n, ']'); }

var list_of(std::initializer_list<var> items) {
    var l = var_list();
    for (const var& v : items) list_append(l, v);
    return l;
}

}  // namespace

TEST(JsonDecode, ValuesAndTheirTypes) {
    Decoded d = decode("{\"n\":null,\"t\":true,\"f\":false,\"i\":-7,\"x\":1.5e3,\"s\":\"hi\",\"l\":[1,[]],\"d\":{}}");
    ASSERT_EQ(d.rc, 0);
    EXPECT_EQ(d.err, "");
    var& v = d.v;
    ASSERT_EQ(v.__type__(), VAR_DICT);
    EXPECT_EQ(v["n"].__type__(), VAR_NONE);
    EXPECT_TRUE(v["t"] == var(true));
    EXPECT_TRUE(v["f"] == var(false));
    EXPECT_TRUE(v["i"] == var(-7));
    EXPECT_TRUE(v["x"] == var(1500));
    EXPECT_TRUE(v["s"] == "hi");
    EXPECT_EQ(v["l"].__type__(), VAR_LIST);
    EXPECT_EQ(v["l"][1].__type__(), VAR_LIST);
    EXPECT_EQ(v["d"].__type__(), VAR_DICT);
    EXPECT_EQ(v.__len__(), 8);
}

// Integers beyond 32 bits keep their exact value; longer ones the nearest
// double, as a fraction or exponent would.
TEST(JsonDecode, NumbersKeepTheirValue) {
    struct {
        const char* text;
        double value;
    } cases[] = {
        {"[2147483648]", 2147483648.0},
        {"[-2147483649]", -2147483649.0},
        {"[3000000000]", 3e9},
        {"[9007199254740993]", 9007199254740992.0},
        {"[123456789012345678901234567890]", 1.2345678901234568e29},
        {"[0.1]", 0.1},
        {"[-0]", 0.0},
        {"[0e1]", 0.0},
        {"[1e400]", INFINITY},
    };
    for (auto& c : cases) {
        Decoded d = decode(c.text);
        ASSERT_EQ(d.rc, 0) << c.text;
        EXPECT_EQ(d.v[0].__num__(), c.value) << c.text;
    }
}

TEST(JsonDecode, StringsKeepEveryByte) {
    Decoded d = decode("[\"caf\xc3\xa9\",\"\\u00e9\",\"\\ud83d\\ude00\",\"a\\u0000b\",\"\\/\\t\"]");
    ASSERT_EQ(d.rc, 0);
    EXPECT_EQ(d.v[0].__str__(), "caf\xc3\xa9");
    EXPECT_EQ(d.v[1].__str__(), "\xc3\xa9");
    EXPECT_EQ(d.v[2].__str__(), "\xf0\x9f\x98\x80");
    EXPECT_EQ(d.v[3].__str__(), std::string("a\0b", 3));
    EXPECT_EQ(d.v[4].__str__(), "/\t");
    Decoded k = decode("{\"k\\u0000ey\":1}");
    EXPECT_EQ(static_cast<_var_dict*>(k.v.value)->value.count(std::string("k\0ey", 4)), 1u);
}

// The return code, the line on stderr, and what r holds afterwards.
TEST(JsonDecode, FailuresAndWhatTheResultKeeps) {
    struct {
        std::string text;
        int rc;
        const char* err;
        std::string kept;  // r written back as JSON; r starts as the string "old"
    } cases[] = {
        {"", 0, "", "\"old\""},
        {" \n\t ", 0, "", "\"old\""},
        {"/* nothing */ ", 0, "", "\"old\""},
        {"1", 1, "JSON_parser_char: syntax error, byte 0\n", "\"old\""},
        {"\"a\"", 1, "JSON_parser_char: syntax error, byte 0\n", "\"old\""},
        {"true", 1, "JSON_parser_char: syntax error, byte 0\n", "\"old\""},
        {"  x", 1, "JSON_parser_char: syntax error, byte 2\n", "\"old\""},
        {"[1] [2]", 1, "JSON_parser_char: syntax error, byte 4\n", "[1]"},
        {"{\"a\":1},", 1, "JSON_parser_char: syntax error, byte 7\n", "{\"a\":1}"},
        {"[1] /* c */ \n", 0, "", "[1]"},
        {"[1,2,{\"a\":[3,x", 1, "JSON_parser_char: syntax error, byte 13\n", "[1,2,{\"a\":[3]}]"},
        {"[1,2", 1, "JSON_parser_end: syntax error\n", "[1]"},
        {"{\"a\":1,\"a\":2}", 0, "", "{\"a\":2}"},
        {"{\"b\":[1,{\"c\":", 1, "JSON_parser_end: syntax error\n", "{\"b\":[1,{}]}"},
        {"[\"ab", 1, "JSON_parser_end: syntax error\n", "[]"},
        {"[1]/* open", 1, "JSON_parser_end: syntax error\n", "[1]"},
        // A NUL byte ends the text.
        {std::string("[1]\0[", 5), 0, "", "[1]"},
        {std::string("[1\0]", 4), 1, "JSON_parser_end: syntax error\n", "[]"},
        {nested(16), 0, "", nested(16)},
        {std::string(17, '['), 1, "JSON_parser_char: syntax error, byte 16\n", nested(17)},
    };
    for (auto& c : cases) {
        Decoded d = decode(c.text, var("old"));
        EXPECT_EQ(d.rc, c.rc) << c.text;
        EXPECT_EQ(d.err, c.err) << c.text;
        EXPECT_EQ(encode(d.v), c.kept) << c.text;
    }
    // A length of 0 or less reads nothing.
    var r("old");
    EXPECT_EQ(json_decode(r, "[1]", 0), 0);
    EXPECT_EQ(json_decode(r, "[1]", -5), 0);
    EXPECT_EQ(json_decode(r, nullptr, 3), 0);
    EXPECT_TRUE(r == "old");
}

TEST(JsonEncode, CompactTextInKeyOrder) {
    var d = var_dict();
    d["b"] = var(1);
    d["a"] = list_of({var(), var(true), var(false), var(0.5), var("x/y")});
    d["B"] = var_dict();
    d["\xc3\xa9"] = var(-3);
    d["10"] = var_list();
    d["9"] = var(2147483647);
    EXPECT_EQ(encode(d), "{\"10\":[],\"9\":2147483647,\"B\":{},\"a\":[null,true,false,0.5,\"x/y\"],\"b\":1,\"\xc3\xa9\":-3}");
    struct {
        var v;
        const char* text;
    } cases[] = {
        {var(), "null"},
        {var_list(), "[]"},
        {var_dict(), "{}"},
        {var(-0.0), "0"},
        {var(3e9), "3000000000.0"},
        {var(NAN), "null"},
        {var(INFINITY), "null"},
        {var(-INFINITY), "null"},
        {list_of({var(NAN), var(1)}), "[null,1]"},
        {var(var("ab").__iter__()), "null"},
    };
    for (auto& c : cases) EXPECT_EQ(encode(c.v), c.text);
}

// A number is written as its text form wherever that reads back as the
// same double, else as the shortest text that does: decoding the text gives
// the value back.
TEST(JsonEncode, NumbersKeepTheirValue) {
    struct {
        double v;
        const char* text;
    } cases[] = {
        {2.5, "2.5"},
        {10, "10"},
        {0.1, "0.1"},
        {-3, "-3"},
        {1.25, "1.25"},
        {-0.5, "-0.5"},
        {2147483648.0, "2147483648.0"},
        {1e20, "100000000000000000000.0"},
        {1e-7, "1e-07"},
        {-1e-7, "-1e-07"},
        {3.141592653589793, "3.141592653589793"},
        {0.30000000000000004, "0.30000000000000004"},
        {1.0 / 3, "0.3333333333333333"},
        {2.0000001, "2.0000001"},
        {0.0000015, "1.5e-06"},
        {123456.7890123, "123456.7890123"},
        {3000000000.1234565, "3000000000.1234565"},
        {5e-324, "5e-324"},
    };
    for (auto& c : cases) {
        std::string t = encode(list_of({var(c.v)}));
        EXPECT_EQ(t, std::string("[") + c.text + "]") << c.text;
        Decoded d = decode(t);
        ASSERT_EQ(d.rc, 0) << t << d.err;
        EXPECT_EQ(d.v[0].__num__(), c.v) << t;
    }
    EXPECT_EQ(encode(var(1e300)), _var_number_to_str(1e300));  // 301 digits, point, zero
    // A decode-encode round trip keeps the data.
    const char* text = "[1e-07,3.141592653589793,0.30000000000000004,2.5,10,0.1,-3]";
    Decoded d = decode(text);
    ASSERT_EQ(d.rc, 0);
    EXPECT_EQ(d.v[0].__num__(), 1e-7);
    EXPECT_EQ(d.v[1].__num__(), 3.141592653589793);
    EXPECT_EQ(d.v[2].__num__(), 0.30000000000000004);
    EXPECT_EQ(encode(d.v), text);
}

// Nesting of any depth is written without recursion (a depth that overflowed
// the stack of a recursive writer); cycles still write null, and a deep
// sub-tree shared by two parents is written in full both times.
TEST(JsonEncode, DeepValues) {
    const int depth = 100000;
    var root = var_list();
    var* inner = &root;
    for (int i = 1; i < depth; i++) {
        list_append(*inner, var_list());
        inner = &(*inner)[0];
    }
    EXPECT_EQ(encode(root), nested(depth));
    var both = list_of({root, root});
    EXPECT_EQ(encode(both), "[" + nested(depth) + "," + nested(depth) + "]");
    // The innermost list holds the outermost, then one in the middle.
    var middle = root;
    for (int i = 0; i < depth / 2; i++) middle = var(middle[0]);
    for (const var& back : {root, middle}) {
        list_append(*inner, back);
        EXPECT_EQ(encode(root), std::string(depth, '[') + "null" + std::string(depth, ']'));
        static_cast<_var_list*>(inner->value)->value.clear();
    }

    var dict = var_dict();
    var* d = &dict;
    for (int i = 1; i < depth; i++) {
        (*d)["k"] = var_dict();
        (*d)["n"] = var(i);
        d = &(*d)["k"];
    }
    std::string want;
    for (int i = 1; i < depth; i++) want += "{\"k\":";
    want += "{}";
    for (int i = depth - 1; i >= 1; i--) want += ",\"n\":" + std::to_string(i) + "}";
    EXPECT_EQ(encode(dict), want);
}

// The short escapes for five bytes, \u%04x in lower case for every other
// byte below 0x20 (NUL included), everything else as it is.
TEST(JsonEncode, StringEscapes) {
    std::string all;
    for (int b = 0; b < 256; b++) all += (char)b;
    std::string want = "\"";
    const char* hex = "0123456789abcdef";
    for (int b = 0; b < 256; b++) {
        switch (b) {
            case '"': want += "\\\""; break;
            case '\\': want += "\\\\"; break;
            case 0x08: want += "\\b"; break;
            case 0x09: want += "\\t"; break;
            case 0x0A: want += "\\n"; break;
            case 0x0C: want += "\\f"; break;
            case 0x0D: want += "\\r"; break;
            default:
                if (b < 0x20)
                    want += std::string("\\u00") + hex[b >> 4] + hex[b & 15];
                else
                    want += (char)b;
        }
    }
    want += "\"";
    EXPECT_EQ(encode(var(all)), want);
    EXPECT_EQ(encode(var("\x1b")), "\"\\u001b\"");
    EXPECT_EQ(encode(var(std::string("a\0b", 3))), "\"a\\u0000b\"");
    // The writer's escapes read back to the same bytes.
    Decoded d = decode("[" + want + "]");
    ASSERT_EQ(d.rc, 0);
    EXPECT_EQ(d.v[0].__str__(), all);
}

// A container met again inside itself is written as null there; one shared
// by two parents without a cycle is written in full both times.
TEST(JsonEncode, CyclesWriteNull) {
    var l = list_of({var(1)});
    list_append(l, l);
    EXPECT_EQ(encode(l), "[1,null]");
    var d = var_dict();
    var inner = var_dict();
    d["in"] = inner;
    inner["back"] = d;
    inner["self"] = inner;
    EXPECT_EQ(encode(d), "{\"in\":{\"back\":null,\"self\":null}}");
    var shared = list_of({var(2)});
    EXPECT_EQ(encode(list_of({shared, shared})), "[[2],[2]]");
    // The cycles keep their containers alive: break them.
    static_cast<_var_list*>(l.value)->value.clear();
    static_cast<_var_dict*>(inner.value)->value.clear();
}

// The process's locale changes neither reading nor writing: a mod can call
// os.setlocale, and a parser can be made before the switch.
TEST(JsonLocale, NumbersIgnoreTheLocale) {
    TempDir loc;
    if (system(("localedef -i de_DE -f UTF-8 " + loc.path() + "/de_DE.UTF-8 >/dev/null 2>&1").c_str()) != 0)
        GTEST_SKIP() << "localedef cannot build de_DE here";
    setenv("LOCPATH", loc.path().c_str(), 1);
    // A parser made in the C locale, fed in the other one, and one made in
    // the other one, fed in the C locale.
    double got[2] = {0, 0};
    JSON_config c;
    init_JSON_config(&c);
    c.callback = [](void* slot, int type, const JSON_value* v) {
        if (type == JSON_T_FLOAT) *(double*)slot = v->vu.float_value;
        return 1;
    };
    c.callback_ctx = &got[0];
    JSON_parser made_in_c = new_JSON_parser(&c);
    ASSERT_TRUE(setlocale(LC_ALL, "de_DE.UTF-8"));
    EXPECT_EQ(strtod("1.5", nullptr), 1.0);  // the locale really reads a comma
    c.callback_ctx = &got[1];
    JSON_parser made_in_de = new_JSON_parser(&c);
    EXPECT_EQ(JSON_parser_chars(made_in_c, "[2.5]", 5), 5u);
    Decoded d = decode("[1.5,-2.25e1,7,1e-7,0.30000000000000004]");
    EXPECT_EQ(encode(d.v), "[1.5,-22.5,7,1e-07,0.30000000000000004]");
    EXPECT_EQ(d.v[0].__num__(), 1.5);
    EXPECT_EQ(d.v[4].__num__(), 0.30000000000000004);
    setlocale(LC_ALL, "C");
    EXPECT_EQ(JSON_parser_chars(made_in_de, "[0.75]", 6), 6u);
    EXPECT_EQ(got[0], 2.5);
    EXPECT_EQ(got[1], 0.75);
    delete_JSON_parser(made_in_c);
    delete_JSON_parser(made_in_de);
    unsetenv("LOCPATH");
}

namespace {

// Random trees; their numbers include every finite double's bit pattern,
// which the writer must keep exactly.
struct TreeMaker {
    std::mt19937_64 rng;
    explicit TreeMaker(unsigned seed) : rng(seed) {}
    int pick(int n) { return (int)(rng() % (unsigned)n); }

    std::string text() {
        std::string s;
        int n = pick(12);
        for (int i = 0; i < n; i++) {
            switch (pick(4)) {
                case 0: s += (char)pick(256); break;
                case 1: s += "\"\\/\0\x1f\x7f\xc3\xa9"[pick(8)]; break;
                default: s += (char)(' ' + pick(95)); break;
            }
        }
        return s;
    }
    double number() {
        switch (pick(6)) {
            case 0: return (double)(int32_t)rng();
            case 1: return (double)((int64_t)(rng() % 2000000000000ull) - 1000000000000ll) / 1e6;
            case 2: return (double)((int64_t)(rng() >> 2) * (pick(2) ? 1 : -1));
            case 3: return std::ldexp((double)(rng() >> 11), 60 + pick(900));
            case 4: {
                uint64_t bits = rng();
                double d;
                memcpy(&d, &bits, sizeof d);
                return std::isfinite(d) ? d : 0.5;
            }
            default: return pick(3) - 1;
        }
    }
    var tree(int depth) {
        int kind = pick(depth > 0 ? 7 : 5);
        switch (kind) {
            case 0: return var();
            case 1: return var(pick(2) == 1);
            case 2: return var(number());
            case 3:
            case 4: return var(text());
            case 5: {
                var l = var_list();
                for (int i = pick(6); i > 0; i--) list_append(l, tree(depth - 1));
                return l;
            }
            default: {
                var d = var_dict();
                for (int i = pick(6); i > 0; i--) d[text()] = tree(depth - 1);
                return d;
            }
        }
    }
};

}  // namespace

TEST(JsonRoundTrip, RandomTreesSurviveAndEncodingIsStable) {
    TreeMaker make(20240615);
    for (int i = 0; i < 3000; i++) {
        var v = make.pick(2) ? var_list() : var_dict();
        for (int n = make.pick(8); n > 0; n--) {
            if (v.__type__() == VAR_LIST)
                list_append(v, make.tree(6));
            else
                v[make.text()] = make.tree(6);
        }
        std::string t1 = encode(v);
        Decoded d1 = decode(t1);
        ASSERT_EQ(d1.rc, 0) << t1 << d1.err;
        ASSERT_TRUE(same_tree(v, d1.v)) << t1;
        std::string t2 = encode(d1.v);
        ASSERT_EQ(t2, t1);
        Decoded d2 = decode(t2);
        ASSERT_EQ(encode(d2.v), t1);
    }
}
