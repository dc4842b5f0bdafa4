// Fuzz target: the push parser under random configurations. The first four
// bytes choose the depth limit, comments, manual floats, whether there is a
// callback, an event the callback refuses, an allocation that fails and a
// piece size; the rest is the text. After a rejected byte the parser is reset
// and fed the remaining bytes as a new text.
//
// Checked: every string and key ends with a NUL; begin and end events nest
// and never pass the limit by more than the one rejected opening; an
// accepted text closes every container; manual floats carry number text; the
// allocator gets back all it gave; and feeding in runs (JSON_parser_chars,
// in pieces and whole) gives exactly the events, rejections and error codes
// of feeding byte by byte.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "json/JSON_parser.h"

namespace {

struct Check {
    int depth = -1;  // the limit in effect, -1 for none
    int open = 0;    // containers begun and not ended
    int refuse_at = -1;
    int events = 0;
    std::string log;  // every event and every rejection, for the comparison
};

int _live = 0;
int _allocs_left = -1;

void* _alloc(size_t n) {
    if (_allocs_left == 0) return nullptr;
    if (_allocs_left > 0) _allocs_left--;
    _live++;
    return malloc(n);
}

void _release(void* p) {
    if (p) _live--;
    free(p);
}

int _callback(void* ctx, int type, const JSON_value* v) {
    Check* c = static_cast<Check*>(ctx);
    char buf[64];
    snprintf(buf, sizeof buf, " %d", type);
    c->log += buf;
    switch (type) {
        case JSON_T_ARRAY_BEGIN:
        case JSON_T_OBJECT_BEGIN:
            if (v) abort();
            c->open++;
            if (c->depth >= 0 && c->open > c->depth + 1) abort();
            break;
        case JSON_T_ARRAY_END:
        case JSON_T_OBJECT_END:
            if (v) abort();
            c->open--;
            break;
        case JSON_T_STRING:
        case JSON_T_KEY:
            if (!v || v->vu.str.value[v->vu.str.length] != 0) abort();
            c->log.append(v->vu.str.value, v->vu.str.length);
            break;
        case JSON_T_NULL:
        case JSON_T_TRUE:
        case JSON_T_FALSE:
            if (v) abort();
            break;
        case JSON_T_INTEGER:
            snprintf(buf, sizeof buf, ":%ld", v->vu.integer_value);
            c->log += buf;
            break;
        case JSON_T_FLOAT:
            snprintf(buf, sizeof buf, ":%.17g", v->vu.float_value);
            c->log += buf;
            break;
        default: abort();
    }
    return c->events++ != c->refuse_at;
}

int _manual_callback(void* ctx, int type, const JSON_value* v) {
    if (type != JSON_T_FLOAT) return _callback(ctx, type, v);
    Check* c = static_cast<Check*>(ctx);
    const char* s = v->vu.str.value;
    if (v->vu.str.length == 0 || s[v->vu.str.length] != 0) abort();
    if (!(*s == '-' || (*s >= '0' && *s <= '9'))) abort();
    c->log += " F:";
    c->log.append(s, v->vu.str.length);
    return c->events++ != c->refuse_at;
}

// Feeds text in pieces of `chunk` bytes (0: byte by byte); the log of what
// happened.
std::string _run(const uint8_t* head, const uint8_t* text, size_t n, size_t chunk) {
    int depth = head[0] >= 240 ? 120 + head[0] % 16 : head[0] % 40 - 2;
    int flags = head[1];
    JSON_config config;
    init_JSON_config(&config);
    config.depth = depth;
    config.allow_comments = flags & 1;
    config.handle_floats_manually = flags & 2;
    Check check;
    check.depth = depth == 0 ? 1 : depth < 0 ? -1 : depth;
    if (!(flags & 4)) {
        config.callback = config.handle_floats_manually ? _manual_callback : _callback;
        config.callback_ctx = &check;
    }
    if (flags & 8) check.refuse_at = head[2];
    if (flags & 16) {
        config.malloc = _alloc;
        config.free = _release;
        _allocs_left = flags & 32 ? head[3] % 8 : -1;
    }
    _live = 0;
    JSON_parser jc = new_JSON_parser(&config);
    if (!jc) return "no parser";
    size_t i = 0;
    while (i < n) {
        bool rejected = false;
        while (i < n && !rejected) {
            size_t piece = chunk ? (n - i < chunk ? n - i : chunk) : 1;
            size_t fed = chunk ? JSON_parser_chars(jc, (const char*)text + i, piece)
                               : (size_t)JSON_parser_char(jc, text[i]);
            rejected = fed < piece;
            i += fed;
        }
        int error = JSON_parser_get_last_error(jc);
        if (error < JSON_E_NONE || error > JSON_E_OUT_OF_MEMORY) abort();
        char buf[64];
        if (rejected) {
            snprintf(buf, sizeof buf, " rejected %zu error %d", i, error);
            i++;
        } else {
            int done = JSON_parser_done(jc);
            if (done && config.callback && check.open != 0) abort();
            snprintf(buf, sizeof buf, " done %d error %d", done, JSON_parser_get_last_error(jc));
        }
        check.log += buf;
        if (!JSON_parser_reset(jc)) {
            check.log += " reset failed";
            break;
        }
        if (JSON_parser_get_last_error(jc) != JSON_E_NONE) abort();
        check.open = 0;
    }
    delete_JSON_parser(jc);
    if ((flags & 16) && _live != 0) abort();
    return check.log;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4) return 0;
    const uint8_t* text = data + 4;
    size_t n = size - 4;
    std::string by_byte = _run(data, text, n, 0);
    if (_run(data, text, n, 1 + (data[3] >> 3)) != by_byte) abort();
    if (_run(data, text, n, n + 1) != by_byte) abort();
    return 0;
}
