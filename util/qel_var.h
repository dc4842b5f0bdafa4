// qel_var: the dynamic value of the engine.
//
// A `var` is one pointer to a reference-counted payload (`var_object`); the
// payload's class is the value's type. Copying a handle shares the payload, so
// lists and dicts behave by reference, while numbers, strings and bools are
// never changed in place: every operation yielding a new scalar gives the
// handle a new payload. The operations follow a scripting language's object
// protocol under double-underscore names. Misuse never throws: it prints one
// line on stderr, keeps the message as the last error and yields a neutral
// value. Everything here is for the main thread only.
#ifndef QEL_VAR_H
#define QEL_VAR_H

#include <map>
#include <string>
#include <vector>

typedef double var_cnumber;

enum { VAR_NONE = 0, VAR_NUMBER = 1, VAR_STRING = 2, VAR_LIST = 3, VAR_DICT = 4, VAR_BOOL = 5 };

class var;
class var_object;

// Frees a payload whose last handle let it go (see qel_var.cpp).
void _var_free(var_object* o);

// The payload interface. The base behaviour is what a type that does not
// override an operation does: element, length, slice and arithmetic operations
// report a TypeError naming the receiver's type.
class var_object {
public:
    int refs = 0;

    virtual ~var_object() {}
    virtual int __type__() const;
    virtual void __init__(var_cnumber v);
    virtual void __init__(std::string v);
    virtual void __init__(bool v);
    virtual var_object* __copy__() const;
    virtual var& __get__(const var& k);
    virtual void __set__(const var& k, const var& v);
    virtual bool __has__(const var& v) const;
    virtual void __del__(const var& k);
    virtual int __len__() const;
    virtual var __slice__(int a, int b) const;
    virtual var_object* __iter__();
    virtual bool __next__(var& v);
    virtual bool __pair__(var& k, var& v);
    virtual std::string __str__() const;
    virtual var_cnumber __num__() const;
    virtual bool __bool__() const;
    virtual bool __lt__(const var& v) const;
    virtual bool __eq__(const var& v) const;
    virtual var __add__(const var& v) const;
    virtual var __mul__(const var& v) const;
    virtual var __sub__(const var& v) const;
    virtual var __div__(const var& v) const;
};

// The handle. A null `value` is none and behaves as a none payload without
// allocating one.
class var {
public:
    var_object* value;

    var() : value(nullptr) {}
    var(const var& v) : value(v.value) {
        if (value) value->refs++;
    }
    var(var&& v) noexcept : value(v.value) { v.value = nullptr; }
    var(int v);
    var(float v);
    var(double v);
    var(bool v);
    var(const char* v);  // null reads as the empty text
    var(std::string v);
    var(var_object* v);
    // A list or dict built from `total` pointers to var (a dict reads them as
    // key, value pairs); any other type gives none.
    var(int type, int total, ...);
    ~var() { __destroy__(); }

    void __init__(var_cnumber v);
    void __init__(bool v);
    void __init__(std::string v);
    void __init__(var_object* v);
    // The handle is emptied before the payload goes: destroying a payload
    // may destroy the container that holds this very handle.
    void __destroy__() {
        var_object* v = value;
        value = nullptr;
        if (v && --v->refs == 0) _var_free(v);
    }

    // Keeps its own payload when it equals v; otherwise shares v's.
    void operator=(const var& v);

    operator double() const { return __num__(); }
    operator float() const { return (float)__num__(); }
    operator int() const;
    operator std::string() const { return __str__(); }
    operator bool() const { return __bool__(); }

    int __type__() const;
    var __copy__() const;
    var& __get__(const var& k);
    void __set__(const var& k, const var& v);
    bool __has__(const var& v) const;
    void __del__(const var& k);
    int __len__() const;
    var __slice__(int a, int b) const;
    var_object* __iter__();  // the caller adopts the iterator into a handle
    bool __next__(var& v);
    bool __pair__(var& k, var& v);
    std::string __str__() const;
    var_cnumber __num__() const;
    bool __bool__() const;
    bool __lt__(const var& v) const;
    bool __eq__(const var& v) const;
    var __add__(const var& v) const;
    var __mul__(const var& v) const;
    var __sub__(const var& v) const;
    var __div__(const var& v) const;

    var& operator[](const var& k) { return __get__(k); }
    var& operator[](int k);
    var& operator[](std::string k);
    var& operator[](const char* k);

    bool operator==(const var& v) const { return __eq__(v); }
    bool operator==(const char* v) const;
    bool operator==(const std::string& v) const;
    // Numbers and bools compare type-sensitively, as a var of that value would.
    bool operator==(int v) const { return __eq__(var(v)); }
    bool operator==(double v) const { return __eq__(var(v)); }
    bool operator==(bool v) const { return __eq__(var(v)); }
    bool operator!=(const var& v) const { return !__eq__(v); }
    bool operator<(const var& v) const { return __lt__(v); }
};

// Scalar payloads.
class _var_none : public var_object {
public:
    int __type__() const override { return VAR_NONE; }
    var_object* __copy__() const override;
    std::string __str__() const override { return ""; }
    bool __eq__(const var& v) const override;
};

class _var_number : public var_object {
public:
    var_cnumber value = 0.0;

    int __type__() const override { return VAR_NUMBER; }
    void __init__(var_cnumber v) override { value = v; }
    var_object* __copy__() const override;
    std::string __str__() const override;
    var_cnumber __num__() const override { return value; }
    bool __bool__() const override { return value != 0; }
    bool __lt__(const var& v) const override;
    bool __eq__(const var& v) const override;
    var __add__(const var& v) const override;
    var __mul__(const var& v) const override;
    var __sub__(const var& v) const override;
    var __div__(const var& v) const override;
};

class _var_string : public var_object {
public:
    std::string value;

    int __type__() const override { return VAR_STRING; }
    void __init__(std::string v) override { value = std::move(v); }
    var_object* __copy__() const override;
    bool __has__(const var& v) const override;
    int __len__() const override { return (int)value.size(); }
    var __slice__(int a, int b) const override;
    var_object* __iter__() override;
    std::string __str__() const override { return value; }
    var_cnumber __num__() const override;
    bool __bool__() const override { return !value.empty(); }
    bool __lt__(const var& v) const override;
    bool __eq__(const var& v) const override;
    var __add__(const var& v) const override;
};

class _var_bool : public var_object {
public:
    bool value = false;

    int __type__() const override { return VAR_BOOL; }
    void __init__(var_cnumber v) override { value = v != 0; }
    var_object* __copy__() const override;
    std::string __str__() const override { return value ? "True" : "False"; }
    var_cnumber __num__() const override { return value ? 1.0 : 0.0; }
    bool __bool__() const override { return value; }
    bool __eq__(const var& v) const override;
};

// Walks a string's bytes; holds no reference, so the string must stay held.
class _var_string_iter : public var_object {
public:
    int n = 0;
    const char* string_it;
    const char* string_end;

    _var_string_iter(const char* begin, const char* end) : string_it(begin), string_end(end) {}
    bool __next__(var& v) override;
    bool __pair__(var& k, var& v) override;
};

// Container payloads.
class _var_list : public var_object {
public:
    std::vector<var> value;

    int __type__() const override { return VAR_LIST; }
    var_object* __copy__() const override;
    var& __get__(const var& k) override;
    void __set__(const var& k, const var& v) override;
    bool __has__(const var& v) const override { return _find(v) != -1; }
    void __del__(const var& k) override { _pop(k); }
    int __len__() const override { return (int)value.size(); }
    var __slice__(int a, int b) const override;
    var_object* __iter__() override;
    std::string __str__() const override;
    var_cnumber __num__() const override { return 0.0; }
    bool __bool__() const override { return !value.empty(); }
    bool __lt__(const var& v) const override;
    bool __eq__(const var& v) const override { return v.value == this; }
    var __add__(const var& v) const override;

    int _find(const var& v) const;
    void _pop(const var& k);
    void _append(const var& v) { value.push_back(v); }
    void _insert(int k, const var& v);
    void _extend(const var& v);
    void _sort();
    void _reverse();
};

class _var_dict : public var_object {
public:
    std::map<std::string, var> value;

    int __type__() const override { return VAR_DICT; }
    var_object* __copy__() const override;
    var& __get__(const var& k) override { return value[k.__str__()]; }
    void __set__(const var& k, const var& v) override { value[k.__str__()] = v; }
    bool __has__(const var& v) const override { return value.count(v.__str__()) != 0; }
    void __del__(const var& k) override;
    int __len__() const override { return (int)value.size(); }
    var_object* __iter__() override;
    std::string __str__() const override;
    bool __bool__() const override { return !value.empty(); }
    bool __lt__(const var& v) const override;
    bool __eq__(const var& v) const override { return v.value == this; }
};

// Walk a container by raw position: while in use the container must stay held,
// a list must keep its length and the dict entry under the position must stay.
class _var_list_iter : public var_object {
public:
    int n = 0;
    const var* list_it;
    const var* list_end;

    _var_list_iter(const var* begin, const var* end) : list_it(begin), list_end(end) {}
    bool __next__(var& v) override;
    bool __pair__(var& k, var& v) override;
};

class _var_dict_iter : public var_object {
public:
    std::map<std::string, var>::const_iterator dict_it, dict_end;

    _var_dict_iter(std::map<std::string, var>::const_iterator begin,
                   std::map<std::string, var>::const_iterator end)
        : dict_it(begin), dict_end(end) {}
    bool __next__(var& v) override;
    bool __pair__(var& k, var& v) override;
};

// Makers and helpers.
var var_list();
var var_list(var v);
var var_dict();
var var_dict(var k, var v);
var var_dict(var k1, var v1, var k2, var v2);
std::string var_str(const var& v);
const char* var_typename(int type);
// The value type's own pair, in doubles for list and string positions; the
// graphics layer's float pair is mymax and mymin (qel_util).
var_cnumber var_max(var_cnumber a, var_cnumber b);  // a when a > b, else b
var_cnumber var_min(var_cnumber a, var_cnumber b);  // a when b > a, else b
std::string& var_get_errstr();
var& _var_none_tmp();
std::string _var_number_to_str(var_cnumber value);
// The number text of the writers that must keep the value (JSON and database
// parameters), independent of the locale: `text` when it reads back as exactly
// `value` (or the value is not finite), else the shortest text that does
// ("1e-07", "3.141592653589793"). The second form starts from the number text.
std::string var_number_exact_str(var_cnumber value, const std::string& text);
std::string var_number_exact_str(var_cnumber value);

// List functions: each reports "UnsupportedError" when its target is not a list.
void list_append(var& e, const var& v);
void list_insert(var& e, int k, const var& v);
void list_extend(var& e, const var& v);
int list_find(const var& e, const var& v);
void list_sort(var& e);
void list_reverse(var& e);

// String functions over byte strings.
int str_find(std::string value, std::string v);
var str_join(std::string value, var& v);
std::string str_replace(std::string value, const std::string& k, const std::string& v);
var str_split(std::string value, const std::string& delim);
std::string str_strip(std::string value);
std::string str_lower(std::string value);

#endif
