// Fuzz target: any bytes through json_decode. A text that decodes into a
// container must survive the way back: its encoding decodes again into the
// same tree (numbers keep their value; one that is not finite comes back as
// null), and encoding that gives the same text.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "qel_json.h"
#include "qel_var.h"

// The same tree, where a number that is not finite came back as null.
static bool _same_tree(const var& a, const var& b) {
    int t = a.__type__();
    if (t == VAR_NUMBER && !std::isfinite(a.__num__())) return b.__type__() == VAR_NONE;
    if (t != b.__type__()) return false;
    if (t == VAR_LIST) {
        const std::vector<var>& x = static_cast<_var_list*>(a.value)->value;
        const std::vector<var>& y = static_cast<_var_list*>(b.value)->value;
        if (x.size() != y.size()) return false;
        for (size_t i = 0; i < x.size(); i++)
            if (!_same_tree(x[i], y[i])) return false;
        return true;
    }
    if (t == VAR_DICT) {
        const auto& x = static_cast<_var_dict*>(a.value)->value;
        const auto& y = static_cast<_var_dict*>(b.value)->value;
        if (x.size() != y.size()) return false;
        for (auto i = x.begin(), j = y.begin(); i != x.end(); ++i, ++j)
            if (i->first != j->first || !_same_tree(i->second, j->second)) return false;
        return true;
    }
    return a == b;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1 << 20)) return 0;
    var r;
    if (json_decode(r, (const char*)data, (int)size) != 0) return 0;
    if (r.__type__() != VAR_LIST && r.__type__() != VAR_DICT) {
        if (r.__type__() != VAR_NONE) abort();  // only an empty text leaves r alone
        return 0;
    }
    std::string t1 = json_encode(r);
    var r2;
    if (json_decode(r2, t1.data(), (int)t1.size()) != 0) abort();
    if (!_same_tree(r, r2)) abort();
    if (json_encode(r2) != t1) abort();
    return 0;
}
