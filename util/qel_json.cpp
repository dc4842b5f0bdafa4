// qel_json: the reader over the push parser and the compact writer.
#include "qel_json.h"

#include <cmath>
#include <cstdio>
#include <cstring>
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

namespace {

struct _JsonOut {
    std::string text;
    // The containers being written, outermost first: one met again among
    // them is a cycle, which has no JSON form.
    std::vector<const var_object*> open;

    bool is_open(const var_object* o) const {
        for (const var_object* p : open)
            if (p == o) return true;
        return false;
    }
};

}  // namespace

static void _json_encode(const var& v, _JsonOut* out);

static void _json_encode_number(var_cnumber n, _JsonOut* out) {
    if (std::isfinite(n))
        out->text += _var_number_to_str(n);
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

static void _json_encode_list(const _var_list* l, _JsonOut* out) {
    out->text += '[';
    bool first = true;
    for (const var& e : l->value) {
        if (!first) out->text += ',';
        first = false;
        _json_encode(e, out);
    }
    out->text += ']';
}

static void _json_encode_dict(const _var_dict* d, _JsonOut* out) {
    out->text += '{';
    bool first = true;
    for (const auto& e : d->value) {
        if (!first) out->text += ',';
        first = false;
        _json_encode_string(e.first, out);
        out->text += ':';
        _json_encode(e.second, out);
    }
    out->text += '}';
}

static void _json_encode_bool(bool b, _JsonOut* out) { out->text += b ? "true" : "false"; }

static void _json_encode(const var& v, _JsonOut* out) {
    int type = v.__type__();
    if ((type == VAR_LIST || type == VAR_DICT) && out->is_open(v.value)) type = VAR_NONE;
    switch (type) {
        case VAR_NUMBER: _json_encode_number(v.__num__(), out); break;
        case VAR_STRING: _json_encode_string(static_cast<const _var_string*>(v.value)->value, out); break;
        case VAR_LIST:
            out->open.push_back(v.value);
            _json_encode_list(static_cast<const _var_list*>(v.value), out);
            out->open.pop_back();
            break;
        case VAR_DICT:
            out->open.push_back(v.value);
            _json_encode_dict(static_cast<const _var_dict*>(v.value), out);
            out->open.pop_back();
            break;
        case VAR_BOOL: _json_encode_bool(v.__bool__(), out); break;
        default: out->text += "null"; break;
    }
}

std::string json_encode(var& v) {
    _JsonOut out;
    _json_encode(v, &out);
    return out.text;
}
