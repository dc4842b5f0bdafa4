// qel_var: the handle, the payload classes, and the list and string functions.
#include "qel_var.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <clocale>
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <locale.h>

// ---------------------------------------------------------------------------
// Error reporting

static void _var_error(const char* file, int line, const char* msg) {
    fprintf(stderr, "%s:%d: %s\n", file, line, msg);
    var_get_errstr() = msg;
}

static void _var_type_error(const char* file, int line, const var_object* o, const char* op) {
    char buf[256];
    snprintf(buf, sizeof buf, "TypeError: '%s' object does not support '%s'", var_typename(o->__type__()), op);
    _var_error(file, line, buf);
}

std::string& var_get_errstr() {
    static std::string var_errstr;
    return var_errstr;
}

var& _var_none_tmp() {
    static var tmp;
    tmp.__destroy__();
    return tmp;
}

const char* var_typename(int type) {
    switch (type) {
        case VAR_NONE: return "none";
        case VAR_NUMBER: return "number";
        case VAR_STRING: return "string";
        case VAR_LIST: return "list";
        case VAR_DICT: return "dict";
        case VAR_BOOL: return "bool";
        default: return "invalid";
    }
}

var_cnumber var_max(var_cnumber a, var_cnumber b) { return a > b ? a : b; }
var_cnumber var_min(var_cnumber a, var_cnumber b) { return b > a ? a : b; }

// Truncation toward zero into the signed 32-bit range; NaN and values outside
// it give INT_MIN, as list indexes and the int conversion expect.
static int _var_to_int(var_cnumber v) {
    if (!(v > -2147483649.0 && v < 2147483648.0)) return INT_MIN;
    return (int)v;
}

// ---------------------------------------------------------------------------
// The payload base

int var_object::__type__() const { return -1; }
void var_object::__init__(var_cnumber) {}
void var_object::__init__(std::string) {}
void var_object::__init__(bool) {}
var_object* var_object::__copy__() const { return new var_object(); }
var& var_object::__get__(const var&) {
    _var_type_error(__FILE__, __LINE__, this, "__get__");
    return _var_none_tmp();
}
void var_object::__set__(const var&, const var&) { _var_type_error(__FILE__, __LINE__, this, "__set__"); }
bool var_object::__has__(const var&) const {
    _var_type_error(__FILE__, __LINE__, this, "__has__");
    return false;
}
void var_object::__del__(const var&) { _var_type_error(__FILE__, __LINE__, this, "__del__"); }
int var_object::__len__() const {
    _var_type_error(__FILE__, __LINE__, this, "__len__");
    return 0;
}
var var_object::__slice__(int, int) const {
    _var_type_error(__FILE__, __LINE__, this, "__slice__");
    return var();
}
var_object* var_object::__iter__() { return new var_object(); }
bool var_object::__next__(var&) { return false; }
bool var_object::__pair__(var&, var&) { return false; }
std::string var_object::__str__() const { return ""; }
var_cnumber var_object::__num__() const { return 0.0; }
bool var_object::__bool__() const { return false; }
bool var_object::__lt__(const var&) const { return false; }
bool var_object::__eq__(const var&) const { return false; }
var var_object::__add__(const var&) const {
    _var_type_error(__FILE__, __LINE__, this, "__add__");
    return var();
}
var var_object::__mul__(const var&) const {
    _var_type_error(__FILE__, __LINE__, this, "__mul__");
    return var();
}
var var_object::__sub__(const var&) const {
    _var_type_error(__FILE__, __LINE__, this, "__sub__");
    return var();
}
var var_object::__div__(const var&) const {
    _var_type_error(__FILE__, __LINE__, this, "__div__");
    return var();
}

// ---------------------------------------------------------------------------
// The handle

var::var(int v) : value(nullptr) { __init__((var_cnumber)v); }
var::var(float v) : value(nullptr) { __init__((var_cnumber)v); }
var::var(double v) : value(nullptr) { __init__((var_cnumber)v); }
var::var(bool v) : value(nullptr) { __init__(v); }
var::var(const char* v) : value(nullptr) { __init__(std::string(v ? v : "")); }
var::var(std::string v) : value(nullptr) { __init__(std::move(v)); }
var::var(var_object* v) : value(nullptr) { __init__(v); }

var::var(int type, int total, ...) : value(nullptr) {
    va_list ap;
    va_start(ap, total);
    if (type == VAR_LIST) {
        _var_list* l = new _var_list();
        l->value.reserve(total > 0 ? total : 0);
        for (int i = 0; i < total; i++) l->value.push_back(*va_arg(ap, var*));
        __init__(l);
    } else if (type == VAR_DICT) {
        _var_dict* d = new _var_dict();
        for (int i = 0; i + 1 < total; i += 2) {
            var* k = va_arg(ap, var*);
            var* v = va_arg(ap, var*);
            d->value[k->__str__()] = *v;
        }
        __init__(d);
    }
    va_end(ap);
}

void var::__init__(var_cnumber v) {
    _var_number* n = new _var_number();
    n->__init__(v);
    __init__(n);
}

void var::__init__(bool v) {
    _var_bool* b = new _var_bool();
    b->__init__(v ? 1.0 : 0.0);
    __init__(b);
}

void var::__init__(std::string v) {
    _var_string* s = new _var_string();
    s->__init__(std::move(v));
    __init__(s);
}

// Takes the new reference before releasing the old one, so a handle may adopt
// a payload that only its current payload keeps alive.
void var::__init__(var_object* v) {
    if (v == value) return;
    if (v) v->refs++;
    var_object* old = value;
    value = v;
    if (old && --old->refs == 0) _var_free(old);
}

// A container releases its elements in its destructor, so freeing a nested
// value goes one call deeper per level, and a list nested a million deep
// would overflow the stack. Past _VAR_FREE_DEPTH levels a payload waits in a
// list instead, which the outermost call works off: any depth frees in
// bounded stack and linear time, while an ordinary value never waits. The
// count and the list are per thread: each thread frees the values it holds.
static const int _VAR_FREE_DEPTH = 64;
static thread_local int _var_free_depth;
static thread_local std::vector<var_object*>* _var_free_waiting;

void _var_free(var_object* o) {
    if (_var_free_depth == _VAR_FREE_DEPTH) {
        if (!_var_free_waiting) _var_free_waiting = new std::vector<var_object*>();
        _var_free_waiting->push_back(o);
        return;
    }
    _var_free_depth++;
    delete o;
    if (_var_free_depth == 1 && _var_free_waiting) {
        while (!_var_free_waiting->empty()) {
            var_object* next = _var_free_waiting->back();
            _var_free_waiting->pop_back();
            delete next;
        }
        delete _var_free_waiting;
        _var_free_waiting = nullptr;
    }
    _var_free_depth--;
}

void var::operator=(const var& v) {
    if (v.value == value || __eq__(v)) return;
    __init__(v.value);
}

var::operator int() const { return _var_to_int(__num__()); }

// An empty handle runs the operations of a none payload. None has no state,
// so one shared object, never counted, serves every empty handle.
static var_object* _none_payload() {
    static _var_none none;
    return &none;
}

static inline var_object* _payload(const var* h) { return h->value ? h->value : _none_payload(); }

int var::__type__() const { return value ? value->__type__() : VAR_NONE; }
var var::__copy__() const {
    if (value) return var(value->__copy__());
    return var(new _var_none());
}
var& var::__get__(const var& k) { return _payload(this)->__get__(k); }
void var::__set__(const var& k, const var& v) { _payload(this)->__set__(k, v); }
bool var::__has__(const var& v) const { return _payload(this)->__has__(v); }
void var::__del__(const var& k) { _payload(this)->__del__(k); }
int var::__len__() const { return _payload(this)->__len__(); }
var var::__slice__(int a, int b) const { return _payload(this)->__slice__(a, b); }
var_object* var::__iter__() { return _payload(this)->__iter__(); }
bool var::__next__(var& v) { return _payload(this)->__next__(v); }
bool var::__pair__(var& k, var& v) { return _payload(this)->__pair__(k, v); }
std::string var::__str__() const { return _payload(this)->__str__(); }
var_cnumber var::__num__() const { return _payload(this)->__num__(); }
bool var::__bool__() const { return _payload(this)->__bool__(); }
bool var::__lt__(const var& v) const { return _payload(this)->__lt__(v); }
bool var::__eq__(const var& v) const { return _payload(this)->__eq__(v); }
var var::__add__(const var& v) const { return _payload(this)->__add__(v); }
var var::__mul__(const var& v) const { return _payload(this)->__mul__(v); }
var var::__sub__(const var& v) const { return _payload(this)->__sub__(v); }
var var::__div__(const var& v) const { return _payload(this)->__div__(v); }

var& var::operator[](int k) { return __get__(var(k)); }
var& var::operator[](std::string k) {
    // Dict lookups are the hot path (parameters, events): skip the key payload.
    if (value && value->__type__() == VAR_DICT) return static_cast<_var_dict*>(value)->value[k];
    return __get__(var(std::move(k)));
}
var& var::operator[](const char* k) { return (*this)[std::string(k ? k : "")]; }

bool var::operator==(const char* v) const {
    return __type__() == VAR_STRING && static_cast<_var_string*>(value)->value == (v ? v : "");
}
bool var::operator==(const std::string& v) const {
    return __type__() == VAR_STRING && static_cast<_var_string*>(value)->value == v;
}

// ---------------------------------------------------------------------------
// Makers

var var_list() { return var(VAR_LIST, 0); }
var var_list(var v) { return var(VAR_LIST, 1, &v); }
var var_dict() { return var(VAR_DICT, 0); }
var var_dict(var k, var v) { return var(VAR_DICT, 2, &k, &v); }
var var_dict(var k1, var v1, var k2, var v2) { return var(VAR_DICT, 4, &k1, &v1, &k2, &v2); }
std::string var_str(const var& v) { return v.__str__(); }

// ---------------------------------------------------------------------------
// Scalars

var_object* _var_none::__copy__() const { return new _var_none(); }
bool _var_none::__eq__(const var& v) const { return v.__type__() == VAR_NONE; }

// Integral values in the 32-bit range print as integers; everything else as
// "%f" in the C locale with trailing zeros cut down to one digit after the
// point. std::to_chars gives that text exactly and whatever its length,
// independent of the process's locale (a mod can call os.setlocale).
std::string _var_number_to_str(var_cnumber value) {
    char buf[512];
    int i = _var_to_int(value);
    if (value == (var_cnumber)i) {
        char* end = std::to_chars(buf, buf + sizeof buf, i).ptr;
        return std::string(buf, end);
    }
    std::to_chars_result r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, 6);
    int n = (int)(r.ptr - buf);
    while (n - 1 > 1 && buf[n - 1] == '0' && buf[n - 2] != '.') n--;
    return std::string(buf, n);
}

std::string var_number_exact_str(var_cnumber value, const std::string& text) {
    if (!std::isfinite(value)) return text;
    double back = 0;
    const char* end = text.data() + text.size();
    std::from_chars_result r = std::from_chars(text.data(), end, back);
    if (r.ec == std::errc() && r.ptr == end && back == value) return text;
    char buf[64];
    return std::string(buf, std::to_chars(buf, buf + sizeof buf, value).ptr);
}

// The digits after the point that a shortest text ("12.5", "1.5e-06") has
// when written without an exponent.
static int _var_fraction_digits(const char* s, const char* end) {
    const char* e = std::find(s, end, 'e');
    const char* point = std::find(s, e, '.');
    int n = point == e ? 0 : (int)(e - point - 1);
    if (e != end) {
        int exp = 0;
        for (const char* p = e + 2; p < end; p++) exp = exp * 10 + (*p - '0');
        n += e[1] == '-' ? exp : -exp;
    }
    return n;
}

// Same result as checking the number text, but cheaper for the numbers of
// measured data: no text with six digits after the point can read back as
// a value whose shortest text needs more, so that one is written at once.
std::string var_number_exact_str(var_cnumber value) {
    int i = _var_to_int(value);
    if (value == (var_cnumber)i || !std::isfinite(value)) return _var_number_to_str(value);
    char buf[64];
    char* end = std::to_chars(buf, buf + sizeof buf, value).ptr;
    if (_var_fraction_digits(buf, end) > 6) return std::string(buf, end);
    return var_number_exact_str(value, _var_number_to_str(value));
}

var_object* _var_number::__copy__() const {
    _var_number* n = new _var_number();
    n->value = value;
    return n;
}
std::string _var_number::__str__() const { return _var_number_to_str(value); }
bool _var_number::__lt__(const var& v) const { return v.__type__() > VAR_NUMBER || value < v.__num__(); }
bool _var_number::__eq__(const var& v) const { return v.__type__() == VAR_NUMBER && value == v.__num__(); }
var _var_number::__add__(const var& v) const { return var(value + v.__num__()); }
var _var_number::__mul__(const var& v) const { return var(v.__num__() * value); }
var _var_number::__sub__(const var& v) const { return var(value - v.__num__()); }
var _var_number::__div__(const var& v) const { return var(value / v.__num__()); }

var_object* _var_string::__copy__() const {
    _var_string* s = new _var_string();
    s->value = value;
    return s;
}
bool _var_string::__has__(const var& v) const { return value.find(v.__str__()) != std::string::npos; }

var _var_string::__slice__(int a, int b) const {
    int l = (int)value.size();
    if (a < 0) a += l;
    a = (int)var_max(0, a);
    if (b < 0) b += l;
    b = (int)var_min(b, l);
    if (a >= l) return var("");
    return var(value.substr(a, b < a ? std::string::npos : (size_t)(b - a)));
}

var_object* _var_string::__iter__() { return new _var_string_iter(value.data(), value.data() + value.size()); }

// atof in the C locale, whatever locale the process is in.
var_cnumber _var_string::__num__() const {
    static locale_t c_locale = newlocale(LC_ALL_MASK, "C", (locale_t)0);
    return strtod_l(value.c_str(), nullptr, c_locale);
}

bool _var_string::__lt__(const var& v) const { return v.__type__() > VAR_STRING || value < v.__str__(); }
bool _var_string::__eq__(const var& v) const {
    return v.__type__() == VAR_STRING && value == static_cast<const _var_string*>(v.value)->value;
}
var _var_string::__add__(const var& v) const { return var(value + v.__str__()); }

var_object* _var_bool::__copy__() const {
    _var_bool* b = new _var_bool();
    b->value = value;
    return b;
}
bool _var_bool::__eq__(const var& v) const { return v.__type__() == VAR_BOOL && value == v.__bool__(); }

bool _var_string_iter::__next__(var& v) {
    if (string_it == string_end) return false;
    v = var((int)(signed char)*string_it++);
    return true;
}

bool _var_string_iter::__pair__(var& k, var& v) {
    if (string_it == string_end) return false;
    k = var(n++);
    v = var((int)(signed char)*string_it++);
    return true;
}

// ---------------------------------------------------------------------------
// Lists

// A key as a list index: truncated, negative counted from the end once;
// -1 when it then lies outside the list.
static int _list_index(const _var_list* l, const var& k) {
    int n = (int)l->value.size();
    int i = _var_to_int(k.__num__());
    if (i < 0) i += n;
    return (i >= 0 && i < n) ? i : -1;
}

var_object* _var_list::__copy__() const {
    _var_list* l = new _var_list();
    l->value = value;
    return l;
}

var& _var_list::__get__(const var& k) {
    int i = _list_index(this, k);
    if (i < 0) {
        _var_error(__FILE__, __LINE__, "IndexError: list index out of range");
        return _var_none_tmp();
    }
    return value[i];
}

void _var_list::__set__(const var& k, const var& v) {
    int i = _list_index(this, k);
    if (i < 0) {
        _var_error(__FILE__, __LINE__, "IndexError: list assignment index out of range");
        return;
    }
    value[i] = v;
}

var _var_list::__slice__(int a, int b) const {
    int l = (int)value.size();
    if (a < 0) a += l;
    a = (int)var_max(0, a);
    if (b < 0) b += l;
    b = (int)var_min(b, l);
    _var_list* r = new _var_list();
    if (a < b) r->value.assign(value.begin() + a, value.begin() + b);
    return var(r);
}

var_object* _var_list::__iter__() { return new _var_list_iter(value.data(), value.data() + value.size()); }

std::string _var_list::__str__() const {
    char buf[64];
    snprintf(buf, sizeof buf, "<list instance at %p>", (const void*)this);
    return buf;
}

bool _var_list::__lt__(const var& v) const {
    return v.__type__() > VAR_LIST || (uintptr_t)this < (uintptr_t)v.value;
}

var _var_list::__add__(const var& v) const {
    if (v.__type__() != VAR_LIST) {
        _var_error(__FILE__, __LINE__, "TypeError: can only concatenate list to list");
        return var();
    }
    const std::vector<var>& other = static_cast<const _var_list*>(v.value)->value;
    _var_list* r = new _var_list();
    r->value.reserve(value.size() + other.size());
    r->value.insert(r->value.end(), value.begin(), value.end());
    r->value.insert(r->value.end(), other.begin(), other.end());
    return var(r);
}

int _var_list::_find(const var& v) const {
    for (size_t i = 0; i < value.size(); i++)
        if (value[i].__eq__(v)) return (int)i;
    return -1;
}

// Moving elements shifts the handles' pointers; reference counts stay as they
// are, and the var assignment (which compares first) is not involved.
void _var_list::_pop(const var& k) {
    int i = _list_index(this, k);
    if (i < 0) {
        _var_error(__FILE__, __LINE__, "IndexError: list assignment index out of range");
        return;
    }
    var dead;
    dead.value = value[i].value;
    for (size_t j = i; j + 1 < value.size(); j++) value[j].value = value[j + 1].value;
    value.back().value = nullptr;
    value.pop_back();
}

void _var_list::_insert(int k, const var& v) {
    int l = (int)value.size();
    if (k < 0) k += l;
    if (k > l - 1) k = l - 1;
    if (k < 0) k = 0;
    var_object* p = v.value;  // v may be one of our own elements: take it before growing
    if (p) p->refs++;
    value.emplace_back();
    for (size_t j = value.size() - 1; j > (size_t)k; j--) value[j].value = value[j - 1].value;
    value[k].value = p;
}

void _var_list::_extend(const var& v) {
    if (v.__type__() != VAR_LIST) {
        _var_error(__FILE__, __LINE__, "TypeError: lists may only be extended by lists");
        return;
    }
    const std::vector<var>& other = static_cast<const _var_list*>(v.value)->value;
    size_t n = other.size();  // the list may be extending itself
    value.reserve(value.size() + n);
    for (size_t i = 0; i < n; i++) value.push_back(other[i]);
}

// A bottom-up merge sort: the var ordering is not a strict weak order across
// types, so nothing here relies on it being consistent, only on index bounds.
// It is stable: a right element moves first only when it is below the left.
void _var_list::_sort() {
    size_t n = value.size();
    if (n < 2) return;
    std::vector<var_object*> a(n), b(n);
    for (size_t i = 0; i < n; i++) a[i] = value[i].value;
    var lhs, rhs;  // borrowed views for the comparison, never released
    for (size_t width = 1; width < n; width *= 2) {
        for (size_t lo = 0; lo < n; lo += 2 * width) {
            size_t mid = lo + width < n ? lo + width : n;
            size_t hi = lo + 2 * width < n ? lo + 2 * width : n;
            size_t i = lo, j = mid, o = lo;
            while (i < mid && j < hi) {
                lhs.value = a[i];
                rhs.value = a[j];
                b[o++] = rhs.__lt__(lhs) ? a[j++] : a[i++];
            }
            while (i < mid) b[o++] = a[i++];
            while (j < hi) b[o++] = a[j++];
        }
        a.swap(b);
    }
    lhs.value = nullptr;
    rhs.value = nullptr;
    for (size_t i = 0; i < n; i++) value[i].value = a[i];
}

void _var_list::_reverse() {
    for (size_t i = 0, j = value.size(); i + 1 < j; i++, j--) std::swap(value[i].value, value[j - 1].value);
}

bool _var_list_iter::__next__(var& v) {
    if (list_it == list_end) return false;
    v = *list_it++;
    return true;
}

bool _var_list_iter::__pair__(var& k, var& v) {
    if (list_it == list_end) return false;
    k = var(n++);
    v = *list_it++;
    return true;
}

// ---------------------------------------------------------------------------
// Dicts

var_object* _var_dict::__copy__() const {
    _var_dict* d = new _var_dict();
    d->value = value;
    return d;
}

void _var_dict::__del__(const var& k) {
    auto it = value.find(k.__str__());
    if (it == value.end()) {
        _var_error(__FILE__, __LINE__, "dict::__del__:KeyError");
        return;
    }
    value.erase(it);
}

var_object* _var_dict::__iter__() { return new _var_dict_iter(value.cbegin(), value.cend()); }

std::string _var_dict::__str__() const {
    char buf[64];
    snprintf(buf, sizeof buf, "<dict instance at %p>", (const void*)this);
    return buf;
}

bool _var_dict::__lt__(const var& v) const {
    return v.__type__() > VAR_DICT || (uintptr_t)this < (uintptr_t)v.value;
}

bool _var_dict_iter::__next__(var& v) {
    if (dict_it == dict_end) return false;
    v = var(dict_it->first);
    ++dict_it;
    return true;
}

bool _var_dict_iter::__pair__(var& k, var& v) {
    if (dict_it == dict_end) return false;
    k = var(dict_it->first);
    v = dict_it->second;
    ++dict_it;
    return true;
}

// ---------------------------------------------------------------------------
// List functions

static _var_list* _list_target(const var& e) {
    if (e.__type__() == VAR_LIST) return static_cast<_var_list*>(e.value);
    _var_error(__FILE__, __LINE__, "UnsupportedError");
    return nullptr;
}

void list_append(var& e, const var& v) {
    if (_var_list* l = _list_target(e)) l->_append(v);
}
void list_insert(var& e, int k, const var& v) {
    if (_var_list* l = _list_target(e)) l->_insert(k, v);
}
void list_extend(var& e, const var& v) {
    if (_var_list* l = _list_target(e)) l->_extend(v);
}
int list_find(const var& e, const var& v) {
    _var_list* l = _list_target(e);
    return l ? l->_find(v) : -1;
}
void list_sort(var& e) {
    if (_var_list* l = _list_target(e)) l->_sort();
}
void list_reverse(var& e) {
    if (_var_list* l = _list_target(e)) l->_reverse();
}

// ---------------------------------------------------------------------------
// String functions

int str_find(std::string value, std::string v) {
    size_t p = value.find(v);
    return p == std::string::npos ? -1 : (int)p;
}

var str_join(std::string value, var& v) {
    if (v.__type__() != VAR_LIST) {
        _var_error(__FILE__, __LINE__, "TypeError");
        return var();
    }
    std::string r;
    int n = v.__len__();
    for (int i = 0; i < n; i++) {
        if (i > 0) r += value;
        r += v[i].__str__();
    }
    return var(r);
}

// Left to right, never searching text just inserted; an empty pattern
// leaves the text as it is. One pass into a new text: replacing in place
// moves the whole rest of the text at every occurrence when k and v differ
// in length.
std::string str_replace(std::string value, const std::string& k, const std::string& v) {
    if (k.empty()) return value;
    size_t p = value.find(k);
    if (p == std::string::npos) return value;
    std::string r;
    r.reserve(value.size());
    size_t from = 0;  // start of the text not yet copied
    for (; p != std::string::npos; p = value.find(k, from)) {
        r.append(value, from, p - from);
        r += v;
        from = p + k.size();
    }
    r.append(value, from, std::string::npos);
    return r;
}

// An empty delimiter gives one piece: the whole text.
var str_split(std::string value, const std::string& delim) {
    var r = var_list();
    _var_list* l = static_cast<_var_list*>(r.value);
    size_t p = 0;
    if (!delim.empty()) {
        size_t n;
        while ((n = value.find(delim, p)) != std::string::npos) {
            l->_append(var(value.substr(p, n - p)));
            p = n + delim.size();
        }
    }
    l->_append(var(value.substr(p)));
    return r;
}

std::string str_strip(std::string value) {
    const char* ws = " \n\t\r";
    size_t a = value.find_first_not_of(ws);
    if (a == std::string::npos) return "";
    size_t b = value.find_last_not_of(ws) + 1;
    return value.substr(a, b - a);
}

std::string str_lower(std::string value) {
    for (char& c : value)
        if (c >= 'A' && c <= 'Z') c = (char)(c - 'A' + 'a');
    return value;
}
