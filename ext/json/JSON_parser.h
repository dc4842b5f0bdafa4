// JSON_parser: a table-driven JSON push parser.
//
// The caller makes a parser from a configuration, hands it the text one byte
// at a time and learns of every value, key and container boundary through a
// callback once the token is complete. Two constant tables decide each byte:
// its character class and the next state for that class in the current
// state; a small stack of modes records the open containers. Tokens collect
// in a growable buffer with string escapes resolved and \u escapes turned into
// UTF-8. The whole text must be one object or one array.
//
// Numbers are read the same whatever the C library's locale is. An integer
// token that does not fit JSON_int_t is reported as JSON_T_FLOAT, so its value
// is the nearest double rather than an overflowed integer.
//
// One parser serves one thread at a time; the tables are shared constants.
#ifndef JSON_PARSER_H
#define JSON_PARSER_H

#include <cstddef>

typedef long JSON_int_t;

// Event and value types, the callback's `type`.
enum {
    JSON_T_NONE = 0,
    JSON_T_ARRAY_BEGIN = 1,
    JSON_T_ARRAY_END = 2,
    JSON_T_OBJECT_BEGIN = 3,
    JSON_T_OBJECT_END = 4,
    JSON_T_INTEGER = 5,
    JSON_T_FLOAT = 6,
    JSON_T_NULL = 7,
    JSON_T_TRUE = 8,
    JSON_T_FALSE = 9,
    JSON_T_STRING = 10,
    JSON_T_KEY = 11,
    JSON_T_MAX = 12
};

// Why the last byte was rejected.
enum {
    JSON_E_NONE = 0,
    JSON_E_INVALID_CHAR = 1,
    JSON_E_INVALID_KEYWORD = 2,
    JSON_E_INVALID_ESCAPE_SEQUENCE = 3,
    JSON_E_INVALID_UNICODE_SEQUENCE = 4,
    JSON_E_INVALID_NUMBER = 5,
    JSON_E_NESTING_DEPTH_REACHED = 6,
    JSON_E_UNBALANCED_COLLECTION = 7,
    JSON_E_EXPECTED_KEY = 8,
    JSON_E_EXPECTED_COLON = 9,
    JSON_E_OUT_OF_MEMORY = 10
};

// One member is valid per type: integer_value for JSON_T_INTEGER, float_value
// for JSON_T_FLOAT, str for JSON_T_STRING, JSON_T_KEY and (when floats are
// handled manually) JSON_T_FLOAT. str points into the parser's buffer and is
// valid during the callback only; its bytes are NUL-terminated and may hold
// NUL bytes (from \u0000) before `length`.
typedef struct JSON_value_struct {
    union {
        JSON_int_t integer_value;
        double float_value;
        struct {
            const char* value;
            size_t length;
        } str;
    } vu;
} JSON_value;

// Returns 0 to stop the parse: the byte being fed is then rejected. The value
// is null for JSON_T_NULL, JSON_T_TRUE, JSON_T_FALSE and the container events.
typedef int (*JSON_parser_callback)(void* ctx, int type, const JSON_value* value);
typedef void* (*JSON_malloc_t)(size_t n);
typedef void (*JSON_free_t)(void* p);

typedef struct {
    JSON_parser_callback callback;  // null: the parser only validates
    void* callback_ctx;             // first argument of every callback
    int depth;                      // most containers open at once; 0 means 1, negative no limit
    int allow_comments;             // nonzero: block comments between tokens
    int handle_floats_manually;     // nonzero: fractions and exponents arrive as text
    JSON_malloc_t malloc;           // both or neither: else the C library's
    JSON_free_t free;
} JSON_config;

struct JSON_parser_struct;
typedef struct JSON_parser_struct* JSON_parser;

// Zeroes a configuration (null is ignored).
void init_JSON_config(JSON_config* config);
// A parser for the configuration (copied; null reads as all zero); null when
// memory runs out.
JSON_parser new_JSON_parser(const JSON_config* config);
// Feeds one byte (0 to 255): 1 when accepted, 0 when rejected, the reason in
// JSON_parser_get_last_error. After a rejection stop feeding that text.
int JSON_parser_char(JSON_parser jc, int next_char);
// Feeds len bytes as JSON_parser_char would one after another, up to the
// first rejected one: the number of bytes accepted (len when all were).
size_t JSON_parser_chars(JSON_parser jc, const char* text, size_t len);
// 1 when the text fed so far is complete (an empty one included). The parser
// must be reset before it reads another text.
int JSON_parser_done(JSON_parser jc);
// Forgets the previous text entirely: 1, or 0 for a null parser or when memory
// runs out.
int JSON_parser_reset(JSON_parser jc);
void delete_JSON_parser(JSON_parser jc);  // null is ignored
int JSON_parser_get_last_error(JSON_parser jc);
// 1 when every byte of s is a space, tab, line feed or carriage return (the
// empty text included); 0 for null.
int JSON_parser_is_legal_white_space_string(const char* s);

#endif
