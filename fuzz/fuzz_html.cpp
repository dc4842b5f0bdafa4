// Fuzz target: html_parse over any bytes ends, reads only the input, and
// gives a list of dicts holding texts and the number 1 of "closed".
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "qel_html.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    var tags = html_parse(std::string((const char*)data, size));
    if (tags.__type__() != VAR_LIST) abort();
    for (int i = 0; i < tags.__len__(); i++) {
        var tag = tags[i];
        if (tag.__type__() != VAR_DICT) abort();
        var it(tag.__iter__());
        var k, v;
        while (it.__pair__(k, v)) {
            bool closed_mark = k == "closed" && v.__type__() == VAR_NUMBER && v.__num__() == 1;
            if (v.__type__() != VAR_STRING && !closed_mark) abort();
        }
    }
    return 0;
}
