// qel_json: the reader over the push parser and the compact writer.
#include "qel_json.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <unordered_set>
#include <utility>

#include "json/JSON_parser.h"

// ---------------------------------------------------------------------------
// Reading

void json_ctx::begin(var v) {
    if (stack.empty()) {
        top = v;
        cur = &top;
    } else {
        cur = push(std::move(v));
    }
    stack.push_back(cur);
}

void json_ctx::end() {
    if (stack.empty()) return;
    stack.pop_back();
    cur = stack.empty() ? nullptr : stack.back();
}

var* json_ctx::push(var v) {
    if (!cur) return nullptr;
    switch (cur->__type__()) {
        case VAR_LIST: {
            std::vector<var>& l = static_cast<_var_list*>(cur->value)->value;
            l.emplace_back(std::move(v));
            return &l.back();
        }
        case VAR_DICT: {
            // A repeated key replaces the earlier value.
            var& e = static_cast<_var_dict*>(cur->value)->value[key];
            std::swap(e.value, v.value);
            return &e;
        }
        default: return nullptr;
    }
}

void json_ctx::set_key(const char* k) { key = k; }
void json_ctx::set_key(const char* k, size_t n) { key.assign(k, n); }

static int _json_callback(void* ctx, int type, const JSON_value* value) {
    json_ctx* c = static_cast<json_ctx*>(ctx);
    switch (type) {
        case JSON_T_ARRAY_BEGIN: c->begin(var_list()); break;
        case JSON_T_OBJECT_BEGIN: c->begin(var_dict()); break;
        case JSON_T_ARRAY_END:
        case JSON_T_OBJECT_END: c->end(); break;
        case JSON_T_INTEGER: c->push(var((double)value->vu.integer_value)); break;
        case JSON_T_FLOAT: c->push(var(value->vu.float_value)); break;
        case JSON_T_NULL: c->push(var()); break;
        case JSON_T_TRUE: c->push(var(true)); break;
        case JSON_T_FALSE: c->push(var(false)); break;
        case JSON_T_STRING: c->push(var(std::string(value->vu.str.value, value->vu.str.length))); break;
        case JSON_T_KEY: c->set_key(value->vu.str.value, value->vu.str.length); break;
    }
    return 1;
}

int json_decode(var& r, const char* data, int len) {
    json_ctx ctx(r);
    JSON_config config;
    init_JSON_config(&config);
    config.callback = _json_callback;
    config.callback_ctx = &ctx;
    config.depth = 16;
    config.allow_comments = 1;
    JSON_parser jc = new_JSON_parser(&config);
    if (!jc) {
        fprintf(stderr, "json_decode: out of memory\n");
        return 1;
    }
    // A NUL byte ends the text.
    size_t n = data && len > 0 ? (size_t)len : 0;
    if (const void* nul = n ? memchr(data, 0, n) : nullptr) n = (size_t)((const char*)nul - data);
    bool failed = false;
    size_t fed = JSON_parser_chars(jc, data, n);
    if (fed < n) {
        fprintf(stderr, "JSON_parser_char: syntax error, byte %d\n", (int)fed);
        failed = true;
    }
    if (!failed && !JSON_parser_done(jc)) {
        fprintf(stderr, "JSON_parser_end: syntax error\n");
        failed = true;
    }
    delete_JSON_parser(jc);
    return failed ? 1 : 0;
}

// ---------------------------------------------------------------------------
// Writing

// The writer keeps its own stack of the containers being written instead of
// recursing, so any depth writes in bounded stack. A container met again
// while it is open is a cycle, which has no JSON form: it is written as null.
// One shared by two parents without a cycle is written in full each time.

namespace {

// Open containers up to this depth are found by scanning the stack, which at
// the depths of ordinary documents is cheaper than hashing; deeper ones also
// go into a set, so that a deep value is written in linear time.
const size_t _JSON_SCAN_DEPTH = 16;

struct _JsonFrame {
    const var_object* o;
    bool list;                                        // else a dict
    size_t n;                                         // elements written so far
    std::map<std::string, var>::const_iterator next;  // a dict's next entry
};

struct _JsonOut {
    std::string text;
    std::vector<_JsonFrame> stack;               // the open containers, outermost first
    std::unordered_set<const var_object*> deep;  // those beyond _JSON_SCAN_DEPTH

    bool is_open(const var_object* o) const {
        size_t n = stack.size() < _JSON_SCAN_DEPTH ? stack.size() : _JSON_SCAN_DEPTH;
        for (size_t i = 0; i < n; i++)
            if (stack[i].o == o) return true;
        return stack.size() > _JSON_SCAN_DEPTH && deep.count(o);
    }
    void open(const _JsonFrame& f) {
        if (stack.size() >= _JSON_SCAN_DEPTH) deep.insert(f.o);
        stack.push_back(f);
    }
    void close() {
        if (stack.size() > _JSON_SCAN_DEPTH) deep.erase(stack.back().o);
        stack.pop_back();
    }
};

}  // namespace

static void _json_encode_number(var_cnumber n, _JsonOut* out) {
    if (std::isfinite(n))
        out->text += var_number_exact_str(n);
    else
        out->text += "null";
}

static void _json_encode_string(const std::string& s, _JsonOut* out) {
    static const char hex[] = "0123456789abcdef";
    std::string& t = out->text;
    t += '"';
    size_t plain = 0;  // start of the bytes not yet copied
    for (size_t i = 0; i < s.size(); i++) {
        unsigned char c = (unsigned char)s[i];
        if (c >= 0x20 && c != '"' && c != '\\') continue;
        t.append(s, plain, i - plain);
        plain = i + 1;
        switch (c) {
            case '"': t += "\\\""; break;
            case '\\': t += "\\\\"; break;
            case '\b': t += "\\b"; break;
            case '\t': t += "\\t"; break;
            case '\n': t += "\\n"; break;
            case '\f': t += "\\f"; break;
            case '\r': t += "\\r"; break;
            default: {
                char u[6] = {'\\', 'u', '0', '0', hex[c >> 4], hex[c & 15]};
                t.append(u, 6);
            }
        }
    }
    t.append(s, plain, std::string::npos);
    t += '"';
}

static void _json_encode_bool(bool b, _JsonOut* out) { out->text += b ? "true" : "false"; }

// Writes a scalar whole; of a container only its opening bracket, leaving it
// open on the stack for json_encode's loop.
static void _json_encode(const var& v, _JsonOut* out) {
    int type = v.__type__();
    if ((type == VAR_LIST || type == VAR_DICT) && out->is_open(v.value)) type = VAR_NONE;
    switch (type) {
        case VAR_NUMBER: _json_encode_number(v.__num__(), out); break;
        case VAR_STRING: _json_encode_string(static_cast<const _var_string*>(v.value)->value, out); break;
        case VAR_LIST:
            out->text += '[';
            out->open({v.value, true, 0, {}});
            break;
        case VAR_DICT:
            out->text += '{';
            out->open({v.value, false, 0, static_cast<const _var_dict*>(v.value)->value.begin()});
            break;
        case VAR_BOOL: _json_encode_bool(v.__bool__(), out); break;
        default: out->text += "null"; break;
    }
}

// Writes the elements of the innermost open container up to the next one
// that is a container itself (left open for the next call), or to its end.
static void _json_encode_next(_JsonOut* out) {
    _JsonFrame& f = out->stack.back();
    size_t depth = out->stack.size();
    std::string& t = out->text;
    if (f.list) {
        const std::vector<var>& l = static_cast<const _var_list*>(f.o)->value;
        while (f.n < l.size()) {
            if (f.n) t += ',';
            _json_encode(l[f.n++], out);
            if (out->stack.size() != depth) return;  // f may have moved
        }
        t += ']';
    } else {
        const std::map<std::string, var>& d = static_cast<const _var_dict*>(f.o)->value;
        while (f.next != d.end()) {
            if (f.n++) t += ',';
            _json_encode_string(f.next->first, out);
            t += ':';
            _json_encode((f.next++)->second, out);
            if (out->stack.size() != depth) return;
        }
        t += '}';
    }
    out->close();
}

std::string json_encode(var& v) {
    _JsonOut out;
    _json_encode(v, &out);
    while (!out.stack.empty()) _json_encode_next(&out);
    return out.text;
}
