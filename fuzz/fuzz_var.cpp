// Random operation sequences on a small pool of values: every operation of the
// value type must stay memory-safe whatever it is applied to.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <set>
#include <string>

#include "fuzz_bytes.h"
#include "qel_var.h"

namespace {

// A short text from a small alphabet, NUL included.
std::string text(Bytes& r) {
    size_t len = r.next() % 6;
    std::string s;
    for (size_t i = 0; i < len; i++) s += "a1,.-\0 x"[r.next() % 8];
    return s;
}

const int POOL = 6;

// Whether `target`'s payload is reachable from `from`. Storing b into a when a
// is reachable from b would build a cycle, which is kept alive by design and
// would hide real leaks from the leak check, so the driver skips those steps.
bool reaches(const var& from, const var& target, std::set<const var_object*>& seen) {
    if (!from.value || !seen.insert(from.value).second) return false;
    if (from.value == target.value) return true;
    if (from.__type__() == VAR_LIST) {
        for (const var& e : static_cast<_var_list*>(from.value)->value)
            if (reaches(e, target, seen)) return true;
    } else if (from.__type__() == VAR_DICT) {
        for (const auto& e : static_cast<_var_dict*>(from.value)->value)
            if (reaches(e.second, target, seen)) return true;
    }
    return false;
}

int length(const var& v) {
    int t = v.__type__();
    return (t == VAR_LIST || t == VAR_STRING || t == VAR_DICT) ? v.__len__() : 0;
}

bool would_cycle(const var& container, const var& item) {
    std::set<const var_object*> seen;
    return container.value && reaches(item, container, seen);
}

// The size of v written out in full, counting each string's bytes and each
// element, up to `cap`. A list that holds another list twice is written with
// both copies, so a few steps of appending a list to itself make a value whose
// text, comparison and copy take exponential time; the driver keeps the
// operations that walk whole values to values of a bounded size.
size_t weight(const var& v, size_t cap) {
    int t = v.__type__();
    if (t == VAR_STRING) return (size_t)v.__len__() + 1;
    size_t w = 1;
    if (t == VAR_LIST) {
        for (const var& e : static_cast<_var_list*>(v.value)->value)
            if ((w += weight(e, cap - w)) >= cap) return cap;
    } else if (t == VAR_DICT) {
        for (const auto& e : static_cast<_var_dict*>(v.value)->value)
            if ((w += e.first.size() + weight(e.second, cap - w)) >= cap) return cap;
    }
    return w;
}

var make(Bytes& r) {
    switch (r.next() % 7) {
        case 0: return var();
        case 1: return var(r.signed8() / 4.0);
        case 2: return var(text(r));
        case 3: return var(r.next() & 1 ? true : false);
        case 4: return var_list();
        case 5: return var_dict();
        default: return var(r.next() & 1 ? 0.0 / 0.0 : 1e300 * 1e300);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Bytes r{data, size};
    var pool[POOL];
    for (int i = 0; i < POOL; i++) pool[i] = make(r);
    for (int steps = 0; steps < 200 && r.n; steps++) {
        var& a = pool[r.next() % POOL];
        var& b = pool[r.next() % POOL];
        int op = r.next() % 20;
        bool stores = op == 0 || op == 1 || op == 3 || op == 7 || op == 15;
        if (stores && would_cycle(a, b)) continue;
        // Concatenation and extension can double a value every step.
        bool grows = op == 7 || op == 8 || op == 12;
        if (grows && length(a) + length(b) > 512) continue;
        bool walks = op == 6 || op == 9 || (op >= 10 && op <= 13) || op == 17 || op == 18;
        if (walks && weight(a, 1 << 14) + weight(b, 1 << 14) >= 1 << 14) continue;
        switch (op) {
            case 0: list_append(a, b); break;
            case 1: list_insert(a, r.signed8(), b); break;
            case 2: a.__del__(var(r.signed8())); break;
            case 3: a.__set__(var(r.signed8()), b); break;
            case 4: { var c = a[var(r.signed8())]; b = c; } break;
            case 5: b = a.__slice__(r.signed8(), r.signed8()); break;
            case 6: list_sort(a); break;
            case 7: list_extend(a, b); break;
            case 8: b = a.__add__(b); break;
            case 9: b = a.__copy__(); break;
            case 10: {
                var it(a.__iter__());
                var k, v;
                while (it.__pair__(k, v)) k.__str__();
            } break;
            case 11: b = str_split(a.__str__(), b.__str__()); break;
            case 12: b = var(str_replace(a.__str__(), b.__str__(), text(r))); break;
            case 13: b = str_join(text(r), a); break;
            case 14: a = make(r); break;
            case 15: a[text(r)] = b; break;
            case 16: list_reverse(a); break;
            case 17: (void)(a < b); (void)(a == b); (void)a.__has__(b); (void)(int)a; break;
            case 18: b = a.__mul__(b); b = a.__sub__(b); b = a.__div__(b); break;
            default: a = b; break;
        }
    }
    return 0;
}
