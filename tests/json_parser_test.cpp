// The push parser on its own: the events a text produces, where and why a
// text is rejected, depth limits, comments, numbers, escapes, the token
// buffer's growth through the configured allocator, and reset.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "json/JSON_parser.h"

namespace {

struct Options {
    int depth = 16;
    int comments = 1;
    int manual = 0;
};

// What feeding a text gave: the events written as a line, the index of the
// rejected byte (-1 when every byte went in) with the error code, and, when
// every byte went in, whether the text was complete.
struct Outcome {
    std::string events;
    int failed_at = -1;
    int error = 0;
    bool done = false;
};

struct Recorder {
    std::string events;
    int refuse_at = -1;  // the event number the callback refuses
    int count = 0;
};

void add(std::string& s, const std::string& e) {
    if (!s.empty()) s += ' ';
    s += e;
}

int record(void* ctx, int type, const JSON_value* v) {
    Recorder* r = static_cast<Recorder*>(ctx);
    char num[64];
    switch (type) {
        case JSON_T_ARRAY_BEGIN: add(r->events, "["); break;
        case JSON_T_ARRAY_END: add(r->events, "]"); break;
        case JSON_T_OBJECT_BEGIN: add(r->events, "{"); break;
        case JSON_T_OBJECT_END: add(r->events, "}"); break;
        case JSON_T_INTEGER:
            snprintf(num, sizeof num, "i:%ld", v->vu.integer_value);
            add(r->events, num);
            break;
        case JSON_T_FLOAT:
            snprintf(num, sizeof num, "f:%.17g", v->vu.float_value);
            add(r->events, num);
            break;
        case JSON_T_NULL: add(r->events, "null"); break;
        case JSON_T_TRUE: add(r->events, "true"); break;
        case JSON_T_FALSE: add(r->events, "false"); break;
        case JSON_T_STRING:
            EXPECT_EQ(v->vu.str.value[v->vu.str.length], 0) << "strings end with a NUL";
            add(r->events, "s:" + std::string(v->vu.str.value, v->vu.str.length));
            break;
        case JSON_T_KEY: add(r->events, "k:" + std::string(v->vu.str.value, v->vu.str.length)); break;
        default: add(r->events, "?"); break;
    }
    return r->count++ != r->refuse_at;
}

// With floats handled manually a FLOAT carries its text.
int record_manual(void* ctx, int type, const JSON_value* v) {
    if (type != JSON_T_FLOAT) return record(ctx, type, v);
    Recorder* r = static_cast<Recorder*>(ctx);
    add(r->events, "F:" + std::string(v->vu.str.value, v->vu.str.length) + "|");
    r->count++;
    return 1;
}

JSON_config config_for(const Options& o, Recorder* rec) {
    JSON_config c;
    init_JSON_config(&c);
    c.callback = o.manual ? record_manual : record;
    c.callback_ctx = rec;
    c.depth = o.depth;
    c.allow_comments = o.comments;
    c.handle_floats_manually = o.manual;
    return c;
}

// Feeds a text in pieces of `chunk` bytes through JSON_parser_chars, or
// byte by byte through JSON_parser_char when chunk is 0.
Outcome feed(JSON_parser jc, Recorder& rec, const std::string& text, size_t chunk = 0) {
    Outcome r;
    for (size_t i = 0; i < text.size();) {
        size_t piece = chunk ? std::min(chunk, text.size() - i) : 1;
        size_t fed = chunk ? JSON_parser_chars(jc, text.data() + i, piece)
                           : (size_t)JSON_parser_char(jc, (unsigned char)text[i]);
        if (fed < piece) {
            r.failed_at = (int)(i + fed);
            r.error = JSON_parser_get_last_error(jc);
            r.events = rec.events;
            return r;
        }
        i += piece;
    }
    r.done = JSON_parser_done(jc) == 1;
    r.error = JSON_parser_get_last_error(jc);
    r.events = rec.events;
    return r;
}

Outcome parse_in(size_t chunk, const std::string& text, Options o, int refuse_at) {
    Recorder rec;
    rec.refuse_at = refuse_at;
    JSON_config c = config_for(o, &rec);
    JSON_parser jc = new_JSON_parser(&c);
    EXPECT_NE(jc, nullptr);
    Outcome r = feed(jc, rec, text, chunk);
    delete_JSON_parser(jc);
    return r;
}

// A text byte by byte; fed in runs, whole and in pieces that cut escapes,
// numbers and comments apart, it must give exactly the same.
Outcome parse(const std::string& text, Options o = Options(), int refuse_at = -1) {
    Outcome r = parse_in(0, text, o, refuse_at);
    for (size_t chunk : {text.size() + 1, (size_t)1, (size_t)3, (size_t)7}) {
        Outcome b = parse_in(chunk, text, o, refuse_at);
        EXPECT_EQ(b.events, r.events) << text << " in runs of " << chunk;
        EXPECT_EQ(b.failed_at, r.failed_at) << text << " in runs of " << chunk;
        EXPECT_EQ(b.error, r.error) << text << " in runs of " << chunk;
        EXPECT_EQ(b.done, r.done) << text << " in runs of " << chunk;
    }
    return r;
}

std::string nested(int n, const std::string& open = "[", const std::string& close = "]") {
    std::string s;
    for (int i = 0; i < n; i++) s += open;
    for (int i = 0; i < n; i++) s += close;
    return s;
}

// An allocator that counts, remembers sizes and can be told to fail.
struct Heap {
    static std::vector<size_t> sizes;
    static int fail_after;  // allocations that still succeed; -1: all
    static int live;
    static void* alloc(size_t n) {
        if (fail_after == 0) return nullptr;
        if (fail_after > 0) fail_after--;
        sizes.push_back(n);
        live++;
        return malloc(n);
    }
    static void release(void* p) {
        if (p) live--;
        free(p);
    }
    static void clear() {
        sizes.clear();
        fail_after = -1;
        live = 0;
    }
};
std::vector<size_t> Heap::sizes;
int Heap::fail_after = -1;
int Heap::live = 0;

}  // namespace

TEST(JsonParser, ContainersAndValuesAsEvents) {
    struct {
        const char* text;
        const char* events;
    } cases[] = {
        {"[]", "[ ]"},
        {"{}", "{ }"},
        {" \t\r\n[ ] \n", "[ ]"},
        {"[1,-2,3.5,true,false,null,\"s\"]", "[ i:1 i:-2 f:3.5 true false null s:s ]"},
        {"{\"a\":{\"b\":[{}]},\"c\":1}", "{ k:a { k:b [ { } ] } k:c i:1 }"},
        {"[[],[[]],{}]", "[ [ ] [ [ ] ] { } ]"},
        {"{ \"k\" : \"v\" , \"k2\" : [ 1 , 2 ] }", "{ k:k s:v k:k2 [ i:1 i:2 ] }"},
        {"[true /**/ ]", "[ true ]"},
    };
    for (auto& c : cases) {
        Outcome r = parse(c.text);
        EXPECT_EQ(r.failed_at, -1) << c.text;
        EXPECT_TRUE(r.done) << c.text;
        EXPECT_EQ(r.events, c.events) << c.text;
    }
}

// Every error code, and the index of the byte that got it. The events show
// that begin and end are reported before the mode stack is checked.
TEST(JsonParser, EveryErrorCodeAtItsByte) {
    struct {
        const char* text;
        int at;
        int error;
        const char* events;
        Options o;
    } cases[] = {
        {"[1 2]", 3, JSON_E_INVALID_CHAR, "[", {}},
        {"[\"a\tb\"]", 3, JSON_E_INVALID_CHAR, "[", {}},
        {"[\"a\nb\"]", 3, JSON_E_INVALID_CHAR, "[", {}},
        {"[\"\x01\"]", 2, JSON_E_INVALID_CHAR, "[", {}},
        {"\"a\"", 0, JSON_E_INVALID_CHAR, "", {}},
        {"1", 0, JSON_E_INVALID_CHAR, "", {}},
        {"[1] [2]", 4, JSON_E_INVALID_CHAR, "[ i:1 ]", {}},
        {"[1]1", 3, JSON_E_INVALID_CHAR, "[ i:1 ]", {}},
        {"{\"a\":}", 5, JSON_E_INVALID_CHAR, "{ k:a", {}},
        {"[1,]", 3, JSON_E_INVALID_CHAR, "[ i:1", {}},
        {"[trUe]", 3, JSON_E_INVALID_KEYWORD, "[", {}},
        {"[nul]", 4, JSON_E_INVALID_KEYWORD, "[", {}},
        {"[fals]", 5, JSON_E_INVALID_KEYWORD, "[", {}},
        {"[\"\\x\"]", 3, JSON_E_INVALID_ESCAPE_SEQUENCE, "[", {}},
        {"[\"\\\t\"]", 3, JSON_E_INVALID_ESCAPE_SEQUENCE, "[", {}},
        {"[\"\\u12g4\"]", 6, JSON_E_INVALID_UNICODE_SEQUENCE, "[", {}},
        {"[\"\\uDC00\"]", 7, JSON_E_INVALID_UNICODE_SEQUENCE, "[", {}},
        {"[\"\\uD800a\"]", 8, JSON_E_INVALID_UNICODE_SEQUENCE, "[", {}},
        {"[\"\\uD800\"]", 8, JSON_E_INVALID_UNICODE_SEQUENCE, "[", {}},
        {"[\"\\uD800\\n\"]", 9, JSON_E_INVALID_UNICODE_SEQUENCE, "[", {}},
        {"[\"\\uD800\\u0041\"]", 13, JSON_E_INVALID_UNICODE_SEQUENCE, "[", {}},
        {"[01]", 2, JSON_E_INVALID_NUMBER, "[", {}},
        {"[-]", 2, JSON_E_INVALID_NUMBER, "[", {}},
        {"[-a]", 2, JSON_E_INVALID_NUMBER, "[", {}},
        {"[1e]", 3, JSON_E_INVALID_NUMBER, "[", {}},
        {"[1e+]", 4, JSON_E_INVALID_NUMBER, "[", {}},
        {"[0x1]", 2, JSON_E_INVALID_NUMBER, "[", {}},
        {"[1e5.]", 4, JSON_E_INVALID_NUMBER, "[", {}},
        {"[[[", 2, JSON_E_NESTING_DEPTH_REACHED, "[ [ [", {2, 1, 0}},
        {"[{\"a\":{", 6, JSON_E_NESTING_DEPTH_REACHED, "[ { k:a {", {2, 1, 0}},
        {"[}", 1, JSON_E_UNBALANCED_COLLECTION, "[", {}},
        {"[1}", 2, JSON_E_UNBALANCED_COLLECTION, "[ i:1 }", {}},
        {"[{}}", 3, JSON_E_UNBALANCED_COLLECTION, "[ { } }", {}},
        {"{\"a\":1]", 6, JSON_E_UNBALANCED_COLLECTION, "{ k:a i:1 ]", {}},
        {"]", 0, JSON_E_UNBALANCED_COLLECTION, "", {}},
        {"}", 0, JSON_E_UNBALANCED_COLLECTION, "", {}},
        {"[,1]", 1, JSON_E_UNBALANCED_COLLECTION, "[", {}},
        {"{1:2}", 1, JSON_E_EXPECTED_KEY, "{", {}},
        {"{\"a\":1,}", 7, JSON_E_EXPECTED_KEY, "{ k:a i:1", {}},
        {"{\"a\" 1}", 5, JSON_E_EXPECTED_COLON, "{ k:a", {}},
        {"{\"a\",1}", 4, JSON_E_EXPECTED_COLON, "{ k:a", {}},
    };
    for (auto& c : cases) {
        Outcome r = parse(c.text, c.o);
        EXPECT_EQ(r.failed_at, c.at) << c.text;
        EXPECT_EQ(r.error, c.error) << c.text;
        EXPECT_EQ(r.events, c.events) << c.text;
    }
    // The last code: the allocator fails while the buffer grows.
    Heap::clear();
    JSON_config c;
    init_JSON_config(&c);
    c.malloc = Heap::alloc;
    c.free = Heap::release;
    JSON_parser jc = new_JSON_parser(&c);
    ASSERT_NE(jc, nullptr);
    Heap::fail_after = 0;
    std::string text = "[\"" + std::string(4000, 'x');
    int at = -1;
    for (size_t i = 0; i < text.size() && at < 0; i++)
        if (!JSON_parser_char(jc, (unsigned char)text[i])) at = (int)i;
    EXPECT_EQ(at, 2 + 3499);  // the 3500th string byte: it and a NUL no longer fit
    EXPECT_EQ(JSON_parser_get_last_error(jc), JSON_E_OUT_OF_MEMORY);
    delete_JSON_parser(jc);
    EXPECT_EQ(Heap::live, 0);
}

// A text that ends too early fails at done with UNBALANCED_COLLECTION.
TEST(JsonParser, UnfinishedTextsFailAtTheEnd) {
    for (const char* text : {"[", "[1", "[\"ab", "{\"a\"", "{\"a\":", "[tru", "[1.", "[1e", "[/* x", "/*", "[/"}) {
        Outcome r = parse(text);
        EXPECT_EQ(r.failed_at, -1) << text;
        EXPECT_FALSE(r.done) << text;
        EXPECT_EQ(r.error, JSON_E_UNBALANCED_COLLECTION) << text;
    }
    for (const char* text : {"", "  \n", "/* only */", "/**/ /***/"}) {
        Outcome r = parse(text);
        EXPECT_TRUE(r.done) << text;
        EXPECT_EQ(r.events, "") << text;
    }
}

// Refusals, disallowed comments and stray commas fail without a code of
// their own: the code stays what it was.
TEST(JsonParser, RefusalsKeepTheErrorCode) {
    Outcome r = parse("[1,2]", Options(), 1);  // refuses the integer 1
    EXPECT_EQ(r.failed_at, 2);
    EXPECT_EQ(r.error, JSON_E_NONE);
    EXPECT_EQ(r.events, "[ i:1");
    r = parse("[1]", Options(), 0);  // refuses the begin event
    EXPECT_EQ(r.failed_at, 0);
    EXPECT_EQ(r.error, JSON_E_NONE);
    r = parse("[/**/1]", {16, 0, 0});
    EXPECT_EQ(r.failed_at, 1);
    EXPECT_EQ(r.error, JSON_E_NONE);
    r = parse("[1],", Options());
    EXPECT_EQ(r.failed_at, 3);
    EXPECT_EQ(r.error, JSON_E_NONE);
    // Without a callback the parser only validates.
    JSON_config c;
    init_JSON_config(&c);
    c.depth = 4;
    JSON_parser jc = new_JSON_parser(&c);
    Recorder none;
    EXPECT_TRUE(feed(jc, none, "[{\"a\":[1.5e3,\"\\u00e9\"]}]").done);
    delete_JSON_parser(jc);
}

// The most containers open at once, with and without comments between the
// brackets: the limit is accepted, one more is reported and then rejected.
TEST(JsonParser, DepthLimits) {
    struct {
        int depth;
        int allowed;
    } limits[] = {{0, 1}, {1, 1}, {2, 2}, {16, 16}, {127, 127}, {128, 128}, {300, 300}};
    for (int comments = 0; comments <= 1; comments++) {
        std::string open = comments ? "[/* c */" : "[";
        for (auto& l : limits) {
            Options o{l.depth, comments, 0};
            Outcome ok = parse(nested(l.allowed, open), o);
            EXPECT_TRUE(ok.done) << l.depth << " comments " << comments;
            std::string deeper(l.allowed + 1, '[');
            Outcome r = parse(deeper, o);
            EXPECT_EQ(r.failed_at, l.allowed) << l.depth;
            EXPECT_EQ(r.error, JSON_E_NESTING_DEPTH_REACHED) << l.depth;
            EXPECT_EQ(std::count(r.events.begin(), r.events.end(), '['), l.allowed + 1) << l.depth;
        }
        // No limit: the stack grows past its built-in 128 entries.
        Outcome deep = parse(nested(5000, open), {-1, comments, 0});
        EXPECT_TRUE(deep.done);
        EXPECT_EQ(std::count(deep.events.begin(), deep.events.end(), ']'), 5000);
    }
    // A null configuration is a validator with depth 1.
    JSON_parser jc = new_JSON_parser(nullptr);
    Recorder none;
    EXPECT_EQ(feed(jc, none, "[1,{}]").failed_at, 3);
    EXPECT_EQ(JSON_parser_get_last_error(jc), JSON_E_NESTING_DEPTH_REACHED);
    delete_JSON_parser(jc);
}

TEST(JsonParser, Numbers) {
    struct {
        const char* text;
        const char* events;
    } ok[] = {
        {"[0,-0,10,-12]", "[ i:0 i:0 i:10 i:-12 ]"},
        {"[1.,1.5,-0.25,1.e5]", "[ f:1 f:1.5 f:-0.25 f:100000 ]"},
        {"[1e5,1E-2,2e+3,0.0e1]", "[ f:100000 f:0.01 f:2000 f:0 ]"},
        // A zero takes an exponent like any other integer.
        {"[0e1,-0e5,0E+2]", "[ f:0 f:-0 f:0 ]"},
        // Beyond 32 bits integers stay exact.
        {"[3000000000,-4294967297]", "[ i:3000000000 i:-4294967297 ]"},
        {"[9223372036854775807,-9223372036854775808]", "[ i:9223372036854775807 i:-9223372036854775808 ]"},
        // Beyond JSON_int_t: the nearest double, as a float.
        {"[9223372036854775808,123456789012345678901234567890]",
         "[ f:9.2233720368547758e+18 f:1.2345678901234568e+29 ]"},
        {"[1e400,-1e400,1e-400,4.9e-324]", "[ f:inf f:-inf f:0 f:4.9406564584124654e-324 ]"},
        {"[0.1,0.30000000000000004,1.7976931348623157e308]",
         "[ f:0.10000000000000001 f:0.30000000000000004 f:1.7976931348623157e+308 ]"},
        {"{\"a\":12  ,\"b\":5\n}", "{ k:a i:12 k:b i:5 }"},
    };
    for (auto& c : ok) {
        Outcome r = parse(c.text);
        EXPECT_TRUE(r.done) << c.text;
        EXPECT_EQ(r.events, c.events) << c.text;
    }
    for (const char* bad : {"[+1]", "[.5]", "[1..5]", "[00]", "[-01]", "[1e5e5]", "[- 1]", "[1.5.]", "[0.e]"}) {
        Outcome r = parse(bad);
        EXPECT_FALSE(r.failed_at == -1 && r.done) << bad;
    }
    // Handled manually, fractions and exponents arrive as their text,
    // trailing whitespace included; integers stay integers.
    Outcome m = parse("[1.5  ,2e3,\n-0.0\n]", {16, 1, 1});
    EXPECT_TRUE(m.done);
    EXPECT_EQ(m.events, "[ F:1.5  | F:2e3| F:-0.0\n| ]");
    m = parse("[7, 99999999999999999999]", {16, 1, 1});
    EXPECT_EQ(m.events, "[ i:7 F:99999999999999999999| ]");
}

TEST(JsonParser, StringsAndEscapes) {
    struct {
        const char* text;
        std::string value;
    } cases[] = {
        {"[\"\\\"\\\\\\/\\b\\f\\n\\r\\t\"]", "\"\\/\b\f\n\r\t"},
        {"[\"\\u0041\\u00e9\\u00E9\"]", "A\xC3\xA9\xC3\xA9"},
        {"[\"\\u20AC\\u07ff\\uffff\"]", "\xE2\x82\xAC\xDF\xBF\xEF\xBF\xBF"},
        {"[\"\\uD83D\\uDE00\\udbff\\udfff\"]", "\xF0\x9F\x98\x80\xF4\x8F\xBF\xBF"},
        {"[\"a\\u0000b\"]", std::string("a\0b", 3)},
        {"[\"\x80\xff\xc3\xa9 /*x*/ \x7f\"]", "\x80\xff\xc3\xa9 /*x*/ \x7f"},
        {"[\"\"]", ""},
    };
    for (auto& c : cases) {
        Outcome r = parse(c.text);
        EXPECT_TRUE(r.done) << c.text;
        EXPECT_EQ(r.events, "[ s:" + c.value + " ]") << c.text;
    }
    Outcome k = parse("{\"\\u00e9\\n\":1}");
    EXPECT_EQ(k.events, "{ k:\xC3\xA9\n i:1 }");
    // The form feed byte is rejected everywhere, between tokens too.
    for (const char* text : {"[\f]", "\f[]", "[1\f]", "[\"\f\"]"}) EXPECT_NE(parse(text).failed_at, -1) << text;
}

// Comments go between tokens, also right after a number, but not after the
// exponent digits or a trailing point, and never inside a literal.
TEST(JsonParser, Comments) {
    const char* ok[] = {"/* a */[/* b */1/* c */,/**/2/***/]/* d */", "{/**/\"a\"/**/:/**/true/**/}",
                        "[1.5/**/]", "[0/**/]", "[\"/**/\"]", "[/* [ \" */]", "[null/* ** / */]"};
    for (const char* text : ok) EXPECT_TRUE(parse(text).done) << text;
    EXPECT_EQ(parse("[1/**/,2]").events, "[ i:1 i:2 ]");
    struct {
        const char* text;
        int at;
        int error;
    } bad[] = {
        {"[1e5/**/]", 4, JSON_E_INVALID_NUMBER},
        {"[1./**/]", 3, JSON_E_INVALID_CHAR},
        {"[tru/**/e]", 4, JSON_E_INVALID_KEYWORD},
        {"[tru/**/]", 4, JSON_E_INVALID_KEYWORD},
        {"[fals/**/]", 5, JSON_E_INVALID_KEYWORD},
        {"[nul/**/]", 4, JSON_E_INVALID_KEYWORD},
        {"[/x]", 2, JSON_E_INVALID_CHAR},
        {"[1/**/2]", 6, JSON_E_INVALID_CHAR},
        {"[/*\x01*/]", 3, JSON_E_INVALID_CHAR},
    };
    for (auto& c : bad) {
        Outcome r = parse(c.text);
        EXPECT_EQ(r.failed_at, c.at) << c.text;
        EXPECT_EQ(r.error, c.error) << c.text;
    }
}

// The buffer holds 3500 bytes; a token needs its bytes and a NUL, so the
// first string that grows it is 3499 bytes long. It doubles each time, through
// the configured allocator, and the whole string arrives.
TEST(JsonParser, TokenBufferGrowsAcrossLongStrings) {
    struct {
        size_t length;
        std::vector<size_t> grown;
    } cases[] = {{3498, {}}, {3499, {7000}}, {20000, {7000, 14000, 28000}}};
    for (size_t chunk : {(size_t)0, (size_t)-1})
    for (auto& c : cases) {
        Heap::clear();
        Recorder rec;
        JSON_config cfg = config_for(Options(), &rec);
        cfg.malloc = Heap::alloc;
        cfg.free = Heap::release;
        JSON_parser jc = new_JSON_parser(&cfg);
        ASSERT_NE(jc, nullptr);
        ASSERT_EQ(Heap::sizes.size(), 1u);  // the record itself
        std::string s;
        for (size_t i = 0; i < c.length; i++) s += (char)('a' + i % 26);
        Outcome r = feed(jc, rec, "[\"" + s + "\"]", chunk);
        EXPECT_TRUE(r.done);
        EXPECT_EQ(r.events, "[ s:" + s + " ]");
        EXPECT_EQ(std::vector<size_t>(Heap::sizes.begin() + 1, Heap::sizes.end()), c.grown) << c.length << " " << chunk;
        // A reset keeps the grown buffer: the same text again allocates nothing.
        size_t before = Heap::sizes.size();
        ASSERT_EQ(JSON_parser_reset(jc), 1);
        rec.events.clear();
        EXPECT_TRUE(feed(jc, rec, "[\"" + s + "\"]", chunk).done);
        EXPECT_EQ(Heap::sizes.size(), before);
        delete_JSON_parser(jc);
        EXPECT_EQ(Heap::live, 0) << c.length;
    }
    // Creating a parser fails cleanly when the allocator does.
    Heap::clear();
    Heap::fail_after = 0;
    JSON_config cfg;
    init_JSON_config(&cfg);
    cfg.malloc = Heap::alloc;
    cfg.free = Heap::release;
    EXPECT_EQ(new_JSON_parser(&cfg), nullptr);
    // So does a stack that must grow without a limit.
    Heap::clear();
    cfg.depth = -1;
    JSON_parser jc = new_JSON_parser(&cfg);
    Heap::fail_after = 0;
    Recorder none;
    Outcome r = feed(jc, none, std::string(200, '['));
    EXPECT_EQ(r.failed_at, 127);
    EXPECT_EQ(r.error, JSON_E_OUT_OF_MEMORY);
    delete_JSON_parser(jc);
    EXPECT_EQ(Heap::live, 0);
}

// A reset forgets everything of a text given up part-way: an open string,
// an escape, a waiting surrogate, a comment, the mode stack and the error.
TEST(JsonParser, ResetForgetsThePreviousText) {
    Recorder rec;
    JSON_config cfg = config_for(Options(), &rec);
    JSON_parser jc = new_JSON_parser(&cfg);
    EXPECT_EQ(JSON_parser_done(jc), 1);  // a fresh parser: an empty text
    ASSERT_EQ(JSON_parser_reset(jc), 1);
    struct {
        const char* abandoned;
        const char* next;
        const char* events;
    } cases[] = {
        {"[\"\\uD83D", "[\"\\u0041\"]", "[ s:A ]"},
        {"[\"ab\\", "[\"n\"]", "[ s:n ]"},
        {"[/* open", "[1]", "[ i:1 ]"},
        {"[[{\"a\":[", "[2]", "[ i:2 ]"},
        {"[12", "[3]", "[ i:3 ]"},
        {"[tr", "[4]", "[ i:4 ]"},
        {"[\"\\u12", "[\"x\"]", "[ s:x ]"},
        {"[1 2]", "[5]", "[ i:5 ]"},
    };
    for (size_t chunk : {(size_t)0, (size_t)-1})
    for (auto& c : cases) {
        rec.events.clear();
        feed(jc, rec, c.abandoned, chunk);
        ASSERT_EQ(JSON_parser_reset(jc), 1);
        EXPECT_EQ(JSON_parser_get_last_error(jc), JSON_E_NONE) << c.abandoned;
        rec.events.clear();
        Outcome r = feed(jc, rec, c.next, chunk);
        EXPECT_TRUE(r.done) << c.abandoned;
        EXPECT_EQ(r.events, c.events) << c.abandoned;
        ASSERT_EQ(JSON_parser_reset(jc), 1);
    }
    delete_JSON_parser(jc);
    EXPECT_EQ(JSON_parser_reset(nullptr), 0);
    delete_JSON_parser(nullptr);
}

TEST(JsonParser, NegativeCharactersAreInvalid) {
    JSON_parser jc = new_JSON_parser(nullptr);
    EXPECT_EQ(JSON_parser_char(jc, '['), 1);
    EXPECT_EQ(JSON_parser_char(jc, -1), 0);
    EXPECT_EQ(JSON_parser_get_last_error(jc), JSON_E_INVALID_CHAR);
    delete_JSON_parser(jc);
}

TEST(JsonParser, LegalWhiteSpaceStrings) {
    struct {
        const char* s;
        int legal;
    } cases[] = {{nullptr, 0}, {"", 1}, {" \t\r\n", 1}, {" a", 0}, {"\f", 0}, {"\v", 0}, {" \xa0", 0}};
    for (auto& c : cases) EXPECT_EQ(JSON_parser_is_legal_white_space_string(c.s), c.legal) << (c.s ? c.s : "null");
}
