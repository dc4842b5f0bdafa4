// qel_json: JSON text into a var tree and a var tree into compact JSON text.
//
// Reading drives the push parser byte by byte and builds the tree from its
// events with json_ctx. The text must be one object or one array, at most 16
// containers deep; block comments may stand between tokens. Strings keep
// every byte, \u0000 included.
//
// Writing puts no whitespace anywhere, writes dict keys in ascending byte
// order, escapes control bytes (the short forms for \b \t \n \f \r, \u%04x
// for the others) and writes "/" and bytes from 0x80 up as they are. A number
// is written as its text form where that reads back as its value, else as
// the shortest text that does. A number that is not finite, none, an
// iterator and a container met again inside itself are written as null.
// Any depth of nesting is written.
#ifndef QEL_JSON_H
#define QEL_JSON_H

#include <cstddef>
#include <string>
#include <vector>

#include "qel_var.h"

// Parses len bytes of data into r (a NUL byte ends the text early): 0 on
// success, 1 on failure after one line on stderr. On failure r keeps the
// containers and values read before the rejected byte; a text that is empty,
// or only whitespace and comments, leaves r as it was and succeeds.
int json_decode(var& r, const char* data, int len);
std::string json_encode(var& v);

// The tree builder behind json_decode, for one text.
class json_ctx {
public:
    std::vector<var*> stack;  // open containers, outermost first
    var* cur;                 // receives the next value; null outside every container
    var& top;                 // the caller's result
    std::string key;          // the last object key

    explicit json_ctx(var& r) : cur(nullptr), top(r) {}
    // Opens v as a container: the result itself when none is open, else a
    // value of the current one.
    void begin(var v);
    void end();
    // Stores v in the current container; the stored handle, or null when
    // there is no container to take it.
    var* push(var v);
    void set_key(const char* k);
    void set_key(const char* k, size_t n);  // keys may hold NUL bytes
};

#endif
