// JSON_parser: the push parser's tables, its record and the byte step.
//
// Every byte costs two table look-ups: its class in ascii_class, then the
// entry of state_transition_table for the current state and that class. An
// entry of 0 or more is the next state, __ rejects the byte, and the negative
// values below it are actions. The byte is stored in the token buffer before
// the table is read; the structural actions take their own byte back out, so
// the buffer holds only the pending token (a number or literal keeps the
// whitespace that followed it until it is reported). JSON_parser_chars does
// the same over a run of bytes, and takes runs that leave the state as it is
// (the content of a string, digits, whitespace between tokens) at once.
#include "JSON_parser.h"

#include <charconv>
#include <climits>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <locale.h>

typedef unsigned short UTF16;

enum { MODE_ARRAY = 1, MODE_DONE = 2, MODE_KEY = 3, MODE_OBJECT = 4 };

enum {
    STATIC_STACK_SIZE = 128,
    STATIC_PARSE_BUFFER_SIZE = 3500
};

struct JSON_parser_struct {
    JSON_parser_callback callback;
    void* ctx;
    signed char state;
    signed char before_comment_state;
    signed char type;
    signed char escaped;
    signed char comment;
    signed char allow_comments;
    signed char handle_floats_manually;
    signed char error;
    UTF16 utf16_high_surrogate;
    int current_char;
    int depth;
    int top;
    int stack_capacity;
    signed char* stack;
    char* parse_buffer;
    size_t parse_buffer_capacity;
    size_t parse_buffer_count;
    signed char static_stack[STATIC_STACK_SIZE];
    char static_parse_buffer[STATIC_PARSE_BUFFER_SIZE];
    JSON_malloc_t malloc;
    JSON_free_t free;
};

// Character classes.
enum {
    C_SPACE, C_WHITE, C_LCURB, C_RCURB, C_LSQRB, C_RSQRB, C_COLON, C_COMMA,
    C_QUOTE, C_BACKS, C_SLASH, C_PLUS, C_MINUS, C_POINT, C_ZERO, C_DIGIT,
    C_LOW_A, C_LOW_B, C_LOW_C, C_LOW_D, C_LOW_E, C_LOW_F, C_LOW_L, C_LOW_N,
    C_LOW_R, C_LOW_S, C_LOW_T, C_LOW_U, C_ABCDF, C_E, C_ETC, C_STAR,
    NR_CLASSES
};

#define __ -1  // the byte is invalid here

static const signed char ascii_class[128] = {
    __,      __,      __,      __,      __,      __,      __,      __,
    __,      C_WHITE, C_WHITE, __,      __,      C_WHITE, __,      __,
    __,      __,      __,      __,      __,      __,      __,      __,
    __,      __,      __,      __,      __,      __,      __,      __,

    C_SPACE, C_ETC,   C_QUOTE, C_ETC,   C_ETC,   C_ETC,   C_ETC,   C_ETC,
    C_ETC,   C_ETC,   C_STAR,  C_PLUS,  C_COMMA, C_MINUS, C_POINT, C_SLASH,
    C_ZERO,  C_DIGIT, C_DIGIT, C_DIGIT, C_DIGIT, C_DIGIT, C_DIGIT, C_DIGIT,
    C_DIGIT, C_DIGIT, C_COLON, C_ETC,   C_ETC,   C_ETC,   C_ETC,   C_ETC,

    C_ETC,   C_ABCDF, C_ABCDF, C_ABCDF, C_ABCDF, C_E,     C_ABCDF, C_ETC,
    C_ETC,   C_ETC,   C_ETC,   C_ETC,   C_ETC,   C_ETC,   C_ETC,   C_ETC,
    C_ETC,   C_ETC,   C_ETC,   C_ETC,   C_ETC,   C_ETC,   C_ETC,   C_ETC,
    C_ETC,   C_ETC,   C_ETC,   C_LSQRB, C_BACKS, C_RSQRB, C_ETC,   C_ETC,

    C_ETC,   C_LOW_A, C_LOW_B, C_LOW_C, C_LOW_D, C_LOW_E, C_LOW_F, C_ETC,
    C_ETC,   C_ETC,   C_ETC,   C_ETC,   C_LOW_L, C_ETC,   C_LOW_N, C_ETC,
    C_ETC,   C_ETC,   C_LOW_R, C_LOW_S, C_LOW_T, C_LOW_U, C_ETC,   C_ETC,
    C_ETC,   C_ETC,   C_ETC,   C_LCURB, C_ETC,   C_RCURB, C_ETC,   C_ETC,
};

// States.
enum {
    GO, OK, OB, KE, CO, VA, AR, ST, ES, U1, U2, U3, U4, MI, ZE, IT, FR, E1,
    E2, E3, T1, T2, T3, F1, F2, F3, F4, N1, N2, N3, C1, C2, C3, FX, D1, D2,
    NR_STATES
};

// Actions.
enum {
    CLOSE_OBJECT_EMPTY = -9, CLOSE_OBJECT = -8, CLOSE_ARRAY = -7, OPEN_OBJECT = -6,
    OPEN_ARRAY = -5, CLOSE_STRING = -4, COMMA = -3, COLON = -2,
    CE = -11, CB = -10, FA = -12, TR = -13, NU = -14, DE = -15, DF = -16,
    SB = -17, MX = -18, ZX = -19, IX = -20, EX = -21, UC = -22
};

// A zero starts an exponent as any other integer does (0e1); a literal ends
// only at its last letter, so no comment can break one in two.
static const signed char state_transition_table[NR_STATES][NR_CLASSES] = {
/*               white                                                      1-9                                                   ABCDF  etc
             space |  {  }  [  ]  :  ,  "  \  /  +  -  .  0  |  a  b  c  d  e  f  l  n  r  s  t  u  |  E  |  * */
/*start  GO*/ {GO,GO,-6,__,-5,__,__,__,__,__,CB,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__},
/*ok     OK*/ {OK,OK,__,-8,__,-7,__,-3,__,__,CB,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__},
/*object OB*/ {OB,OB,__,-9,__,__,__,__,SB,__,CB,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__},
/*key    KE*/ {KE,KE,__,__,__,__,__,__,SB,__,CB,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__},
/*colon  CO*/ {CO,CO,__,__,__,__,-2,__,__,__,CB,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__},
/*value  VA*/ {VA,VA,-6,__,-5,__,__,__,SB,__,CB,__,MX,__,ZX,IX,__,__,__,__,__,FA,__,NU,__,__,TR,__,__,__,__,__},
/*array  AR*/ {AR,AR,-6,__,-5,-7,__,__,SB,__,CB,__,MX,__,ZX,IX,__,__,__,__,__,FA,__,NU,__,__,TR,__,__,__,__,__},
/*string ST*/ {ST,__,ST,ST,ST,ST,ST,ST,-4,EX,ST,ST,ST,ST,ST,ST,ST,ST,ST,ST,ST,ST,ST,ST,ST,ST,ST,ST,ST,ST,ST,ST},
/*escape ES*/ {__,__,__,__,__,__,__,__,ST,ST,ST,__,__,__,__,__,__,ST,__,__,__,ST,__,ST,ST,__,ST,U1,__,__,__,__},
/*u1     U1*/ {__,__,__,__,__,__,__,__,__,__,__,__,__,__,U2,U2,U2,U2,U2,U2,U2,U2,__,__,__,__,__,__,U2,U2,__,__},
/*u2     U2*/ {__,__,__,__,__,__,__,__,__,__,__,__,__,__,U3,U3,U3,U3,U3,U3,U3,U3,__,__,__,__,__,__,U3,U3,__,__},
/*u3     U3*/ {__,__,__,__,__,__,__,__,__,__,__,__,__,__,U4,U4,U4,U4,U4,U4,U4,U4,__,__,__,__,__,__,U4,U4,__,__},
/*u4     U4*/ {__,__,__,__,__,__,__,__,__,__,__,__,__,__,UC,UC,UC,UC,UC,UC,UC,UC,__,__,__,__,__,__,UC,UC,__,__},
/*minus  MI*/ {__,__,__,__,__,__,__,__,__,__,__,__,__,__,ZE,IT,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__},
/*zero   ZE*/ {OK,OK,__,-8,__,-7,__,-3,__,__,CB,__,__,DF,__,__,__,__,__,__,DE,__,__,__,__,__,__,__,__,DE,__,__},
/*int    IT*/ {OK,OK,__,-8,__,-7,__,-3,__,__,CB,__,__,DF,IT,IT,__,__,__,__,DE,__,__,__,__,__,__,__,__,DE,__,__},
/*frac   FR*/ {OK,OK,__,-8,__,-7,__,-3,__,__,CB,__,__,__,FR,FR,__,__,__,__,E1,__,__,__,__,__,__,__,__,E1,__,__},
/*e      E1*/ {__,__,__,__,__,__,__,__,__,__,__,E2,E2,__,E3,E3,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__},
/*ex     E2*/ {__,__,__,__,__,__,__,__,__,__,__,__,__,__,E3,E3,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__},
/*exp    E3*/ {OK,OK,__,-8,__,-7,__,-3,__,__,__,__,__,__,E3,E3,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__},
/*tr     T1*/ {__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,T2,__,__,__,__,__,__,__},
/*tru    T2*/ {__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,T3,__,__,__,__},
/*true   T3*/ {__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,OK,__,__,__,__,__,__,__,__,__,__,__},
/*fa     F1*/ {__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,F2,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__},
/*fal    F2*/ {__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,F3,__,__,__,__,__,__,__,__,__},
/*fals   F3*/ {__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,F4,__,__,__,__,__,__},
/*false  F4*/ {__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,OK,__,__,__,__,__,__,__,__,__,__,__},
/*nu     N1*/ {__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,N2,__,__,__,__},
/*nul    N2*/ {__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,N3,__,__,__,__,__,__,__,__,__},
/*null   N3*/ {__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,OK,__,__,__,__,__,__,__,__,__},
/*/      C1*/ {__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,C2},
/*/*     C2*/ {C2,C2,C2,C2,C2,C2,C2,C2,C2,C2,C2,C2,C2,C2,C2,C2,C2,C2,C2,C2,C2,C2,C2,C2,C2,C2,C2,C2,C2,C2,C2,C3},
/**     C3*/ {C2,C2,C2,C2,C2,C2,C2,C2,C2,C2,CE,C2,C2,C2,C2,C2,C2,C2,C2,C2,C2,C2,C2,C2,C2,C2,C2,C2,C2,C2,C2,C3},
/*_.     FX*/ {OK,OK,__,-8,__,-7,__,-3,__,__,__,__,__,__,FR,FR,__,__,__,__,E1,__,__,__,__,__,__,__,__,E1,__,__},
/*\      D1*/ {__,__,__,__,__,__,__,__,__,D2,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__},
/*\      D2*/ {__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,U1,__,__,__,__},
};

#undef __

static const unsigned char utf8_lead_bits[4] = {0x00, 0xC0, 0xE0, 0xF0};

// The error a byte rejected in the current state gets.
static int _state_error(const JSON_parser jc, int cls) {
    switch (jc->state) {
        case GO:
            return cls == C_LCURB || cls == C_RCURB || cls == C_LSQRB || cls == C_RSQRB
                       ? JSON_E_UNBALANCED_COLLECTION
                       : JSON_E_INVALID_CHAR;
        case OB:
        case KE: return JSON_E_EXPECTED_KEY;
        case CO: return JSON_E_EXPECTED_COLON;
        case AR: return JSON_E_UNBALANCED_COLLECTION;
        case U1: case U2: case U3: case U4: case D1: case D2: return JSON_E_INVALID_UNICODE_SEQUENCE;
        case MI: case ZE: case IT: case FR: case E1: case E2: case E3: return JSON_E_INVALID_NUMBER;
        case T1: case T2: case T3: case F1: case F2: case F3: case F4: case N1: case N2: case N3:
            return JSON_E_INVALID_KEYWORD;
        default: return JSON_E_INVALID_CHAR;
    }
}

static int _reject(JSON_parser jc, int cls) {
    jc->error = (signed char)_state_error(jc, cls);
    return 0;
}

static int _top_mode(const JSON_parser jc) { return jc->top >= 0 ? jc->stack[jc->top] : 0; }

static int _push(JSON_parser jc, int mode) {
    int top = jc->top + 1;
    if (jc->depth > 0 && top > jc->depth) {
        jc->error = JSON_E_NESTING_DEPTH_REACHED;
        return 0;
    }
    // The stack starts as the built-in array and doubles when it is full, up
    // to the room a depth limit needs; a generous limit costs nothing until
    // the text really nests that deep.
    if (top >= jc->stack_capacity) {
        long want = (long)jc->stack_capacity * 2;
        if (jc->depth > 0 && want > (long)jc->depth + 1) want = (long)jc->depth + 1;
        signed char* s = (signed char*)jc->malloc((size_t)want);
        if (!s) {
            jc->error = JSON_E_OUT_OF_MEMORY;
            return 0;
        }
        memcpy(s, jc->stack, (size_t)jc->stack_capacity);
        if (jc->stack != jc->static_stack) jc->free(jc->stack);
        jc->stack = s;
        jc->stack_capacity = (int)want;
    }
    jc->stack[top] = (signed char)mode;
    jc->top = top;
    return 1;
}

static int _pop(JSON_parser jc, int mode) {
    if (jc->top < 0 || jc->stack[jc->top] != mode) return 0;
    jc->top--;
    return 1;
}

static void _clear_buffer(JSON_parser jc) {
    jc->parse_buffer_count = 0;
    jc->parse_buffer[0] = 0;
}

// Takes back the byte that the current action was triggered by.
static void _drop_last(JSON_parser jc) {
    jc->parse_buffer_count--;
    jc->parse_buffer[jc->parse_buffer_count] = 0;
}

static int _grow_buffer(JSON_parser jc) {
    size_t capacity = jc->parse_buffer_capacity * 2;
    char* b = (char*)jc->malloc(capacity);
    if (!b) {
        jc->error = JSON_E_OUT_OF_MEMORY;
        return 0;
    }
    memcpy(b, jc->parse_buffer, jc->parse_buffer_count + 1);
    if (jc->parse_buffer != jc->static_parse_buffer) jc->free(jc->parse_buffer);
    jc->parse_buffer = b;
    jc->parse_buffer_capacity = capacity;
    return 1;
}

// Stores a byte: room for it and a NUL first, an escaped byte in place of
// its backslash, nothing inside a comment, whitespace only inside a token.
static int _add_char(JSON_parser jc, int c, int cls) {
    while (jc->parse_buffer_count + 2 > jc->parse_buffer_capacity)
        if (!_grow_buffer(jc)) return 0;
    char* b = jc->parse_buffer;
    if (jc->escaped) {
        jc->escaped = 0;
        size_t n = jc->parse_buffer_count - 1;  // over the backslash
        switch (c) {
            case '"': case '\\': case '/': b[n++] = (char)c; break;
            case 'b': b[n++] = '\b'; break;
            case 'f': b[n++] = '\f'; break;
            case 'n': b[n++] = '\n'; break;
            case 'r': b[n++] = '\r'; break;
            case 't': b[n++] = '\t'; break;
            // Kept for the escape decoding once the four digits are in.
            case 'u': b[n++] = '\\'; b[n++] = 'u'; break;
            default: jc->error = JSON_E_INVALID_ESCAPE_SEQUENCE; return 0;
        }
        jc->parse_buffer_count = n;
    } else if (!jc->comment && (jc->type != JSON_T_NONE || cls > C_WHITE)) {
        b[jc->parse_buffer_count++] = (char)c;
    }
    b[jc->parse_buffer_count] = 0;
    return 1;
}

static int _hex(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return c - 'A' + 10;  // the table let only hex digits through
}

// Replaces the "\uXXXX" at the end of the buffer by its UTF-8 bytes; a high
// surrogate waits for the low half of its pair.
static int _decode_unicode_char(JSON_parser jc) {
    char* p = jc->parse_buffer + jc->parse_buffer_count - 4;
    unsigned uc = 0;
    for (int i = 0; i < 4; i++) uc = uc << 4 | (unsigned)_hex(p[i]);
    jc->parse_buffer_count -= 6;

    unsigned long cp;
    int trail;
    if (jc->utf16_high_surrogate) {
        if ((uc & 0xFC00) != 0xDC00) return 0;
        cp = ((unsigned long)(jc->utf16_high_surrogate & 0x3FF) << 10) + (uc & 0x3FF) + 0x10000;
        jc->utf16_high_surrogate = 0;
        trail = 3;
    } else if (uc < 0x80) {
        cp = uc;
        trail = 0;
    } else if (uc < 0x800) {
        cp = uc;
        trail = 1;
    } else if ((uc & 0xFC00) == 0xD800) {
        jc->utf16_high_surrogate = (UTF16)uc;
        jc->parse_buffer[jc->parse_buffer_count] = 0;
        return 1;
    } else if ((uc & 0xFC00) == 0xDC00) {
        return 0;
    } else {
        cp = uc;
        trail = 2;
    }
    char* out = jc->parse_buffer + jc->parse_buffer_count;
    out[0] = (char)(utf8_lead_bits[trail] | (cp >> (6 * trail)));
    for (int i = 1; i <= trail; i++) out[i] = (char)(0x80 | ((cp >> (6 * (trail - i))) & 0x3F));
    jc->parse_buffer_count += (size_t)trail + 1;
    jc->parse_buffer[jc->parse_buffer_count] = 0;
    return 1;
}

// The C library's conversions follow the process's locale, which a script
// can change at any time; the number grammar is fixed, so read it the way
// the C locale does. from_chars is that exactly; for a value beyond the
// double range it gives no value, where the C locale's strtod gives an
// infinity or zero.
static double _read_double(const char* s, size_t n) {
    double d = 0;
    std::from_chars_result r = std::from_chars(s, s + n, d);
    if (r.ec == std::errc::result_out_of_range) {
        static locale_t c_locale = newlocale(LC_ALL_MASK, "C", (locale_t)0);
        d = strtod_l(s, nullptr, c_locale);
    }
    return d;
}

// An integer token: "-" and digits, maybe followed by whitespace. False when
// it does not fit JSON_int_t.
static bool _read_integer(const char* s, JSON_int_t* r) {
    bool negative = *s == '-';
    if (negative) s++;
    unsigned long limit = negative ? (unsigned long)LONG_MAX + 1 : (unsigned long)LONG_MAX;
    unsigned long v = 0;
    for (; *s >= '0' && *s <= '9'; s++) {
        unsigned d = (unsigned)(*s - '0');
        if (v > (limit - d) / 10) return false;
        v = v * 10 + d;
    }
    *r = negative ? (JSON_int_t)(0ul - v) : (JSON_int_t)v;
    return true;
}

// Hands the pending token to the callback, then empties the buffer.
static int _report_token(JSON_parser jc) {
    if (jc->callback && jc->type != JSON_T_NONE) {
        JSON_value value;
        const JSON_value* arg = &value;
        int type = jc->type;
        const char* b = jc->parse_buffer;
        switch (type) {
            case JSON_T_INTEGER:
                if (_read_integer(b, &value.vu.integer_value)) break;
                type = JSON_T_FLOAT;  // too long for an integer: its nearest double
                // fall through
            case JSON_T_FLOAT:
                if (jc->handle_floats_manually) {
                    value.vu.str.value = b;
                    value.vu.str.length = jc->parse_buffer_count;
                } else {
                    value.vu.float_value = _read_double(b, jc->parse_buffer_count);
                }
                break;
            case JSON_T_STRING:
                value.vu.str.value = b;
                value.vu.str.length = jc->parse_buffer_count;
                break;
            default: arg = nullptr; break;  // null, true, false
        }
        if (!jc->callback(jc->ctx, type, arg)) return 0;
    }
    _clear_buffer(jc);
    return 1;
}

static int _event(JSON_parser jc, int type) { return !jc->callback || jc->callback(jc->ctx, type, nullptr); }

// The end of a container after a value: its bracket is taken back, the last
// value reported, then the end event, then the mode must match.
static int _close(JSON_parser jc, int type, int mode) {
    _drop_last(jc);
    if (!_report_token(jc)) return 0;
    if (!_event(jc, type)) return 0;
    if (!_pop(jc, mode)) {
        jc->error = JSON_E_UNBALANCED_COLLECTION;
        return 0;
    }
    jc->type = JSON_T_NONE;
    jc->state = OK;
    return 1;
}

static int _open(JSON_parser jc, int type, int mode, int state) {
    _drop_last(jc);
    if (!_event(jc, type)) return 0;
    if (!_push(jc, mode)) return 0;
    jc->state = (signed char)state;
    return 1;
}

static int _action(JSON_parser jc, int action) {
    switch (action) {
        case UC:
            if (!_decode_unicode_char(jc)) {
                jc->error = JSON_E_INVALID_UNICODE_SEQUENCE;
                return 0;
            }
            jc->state = jc->utf16_high_surrogate ? D1 : ST;
            return 1;
        case EX: jc->escaped = 1; jc->state = ES; return 1;
        case IX: jc->type = JSON_T_INTEGER; jc->state = IT; return 1;
        case ZX: jc->type = JSON_T_INTEGER; jc->state = ZE; return 1;
        case MX: jc->type = JSON_T_INTEGER; jc->state = MI; return 1;
        case SB:
            _clear_buffer(jc);
            jc->type = JSON_T_STRING;
            jc->state = ST;
            return 1;
        case DF: jc->type = JSON_T_FLOAT; jc->state = FX; return 1;
        case DE: jc->type = JSON_T_FLOAT; jc->state = E1; return 1;
        case NU: jc->type = JSON_T_NULL; jc->state = N1; return 1;
        case TR: jc->type = JSON_T_TRUE; jc->state = T1; return 1;
        case FA: jc->type = JSON_T_FALSE; jc->state = F1; return 1;
        case CE: jc->comment = 0; jc->state = jc->before_comment_state; return 1;
        case CB: {
            if (!jc->allow_comments) return 0;
            _drop_last(jc);
            if (!_report_token(jc)) return 0;
            int mode = _top_mode(jc);
            if (mode == MODE_ARRAY || mode == MODE_OBJECT)
                jc->before_comment_state = jc->state == VA || jc->state == AR ? jc->state : (signed char)OK;
            else
                jc->before_comment_state = jc->state;
            jc->type = JSON_T_NONE;
            jc->state = C1;
            jc->comment = 1;
            return 1;
        }
        case CLOSE_OBJECT_EMPTY:
            _clear_buffer(jc);
            if (!_event(jc, JSON_T_OBJECT_END)) return 0;
            if (!_pop(jc, MODE_KEY)) return 0;
            jc->state = OK;
            return 1;
        case CLOSE_OBJECT: return _close(jc, JSON_T_OBJECT_END, MODE_OBJECT);
        case CLOSE_ARRAY: return _close(jc, JSON_T_ARRAY_END, MODE_ARRAY);
        case OPEN_OBJECT: return _open(jc, JSON_T_OBJECT_BEGIN, MODE_KEY, OB);
        case OPEN_ARRAY: return _open(jc, JSON_T_ARRAY_BEGIN, MODE_ARRAY, AR);
        case CLOSE_STRING:
            _drop_last(jc);
            switch (_top_mode(jc)) {
                case MODE_KEY: {
                    jc->type = JSON_T_NONE;
                    jc->state = CO;
                    if (jc->callback) {
                        JSON_value value;
                        value.vu.str.value = jc->parse_buffer;
                        value.vu.str.length = jc->parse_buffer_count;
                        if (!jc->callback(jc->ctx, JSON_T_KEY, &value)) return 0;
                    }
                    _clear_buffer(jc);
                    return 1;
                }
                case MODE_ARRAY:
                case MODE_OBJECT:
                    if (!_report_token(jc)) return 0;
                    jc->type = JSON_T_NONE;
                    jc->state = OK;
                    return 1;
                default: return 0;
            }
        case COMMA:
            _drop_last(jc);
            if (!_report_token(jc)) return 0;
            switch (_top_mode(jc)) {
                case MODE_OBJECT:
                    _pop(jc, MODE_OBJECT);
                    _push(jc, MODE_KEY);  // the same depth: cannot fail
                    jc->type = JSON_T_NONE;
                    jc->state = KE;
                    return 1;
                case MODE_ARRAY:
                    jc->type = JSON_T_NONE;
                    jc->state = VA;
                    return 1;
                default: return 0;
            }
        case COLON:
            _drop_last(jc);
            if (!_pop(jc, MODE_KEY)) return 0;
            _push(jc, MODE_OBJECT);
            jc->state = VA;
            return 1;
    }
    return 0;
}

// The rare ways into the buffer, out of line so that the common one (a byte
// stored or skipped with room to spare) stays short: a negative or invalid
// byte, an escaped one, a buffer about to grow.
__attribute__((noinline)) static int _char_store_slow(JSON_parser jc, int next_char, int cls) {
    if (next_char < 0) {
        jc->error = JSON_E_INVALID_CHAR;
        return 0;
    }
    if (cls < 0) return _reject(jc, cls);
    return _add_char(jc, next_char, cls);
}

__attribute__((noinline)) static int _char_action(JSON_parser jc, int next, int cls) {
    if (next == -1) return _reject(jc, cls);
    return _action(jc, next);
}

int JSON_parser_char(JSON_parser jc, int next_char) {
    if (!jc) return 0;
    jc->current_char = next_char;
    int cls = (unsigned)next_char < 128 ? (int)ascii_class[next_char] : (int)C_ETC;
    if (cls < 0 || next_char < 0 || jc->escaped || jc->parse_buffer_count + 2 > jc->parse_buffer_capacity) {
        if (!_char_store_slow(jc, next_char, cls)) return 0;
    } else {
        // The byte is written in any case (there is room) and counted when
        // kept. Its NUL follows when the token is taken: every action that
        // takes one first drops its own byte, which writes the NUL.
        size_t n = jc->parse_buffer_count;
        jc->parse_buffer[n] = (char)next_char;
        if (!jc->comment && (jc->type != JSON_T_NONE || cls > C_WHITE)) jc->parse_buffer_count = n + 1;
    }
    int state = jc->state;
    int next = state_transition_table[state][cls];
    if (next >= 0) {
        // An unchanged state is not written back, so the next byte need not
        // wait for this one.
        if (next != state) jc->state = (signed char)next;
        return 1;
    }
    return _char_action(jc, next, cls);
}

size_t JSON_parser_chars(JSON_parser jc, const char* text, size_t len) {
    if (!jc) return 0;
    // The byte step of JSON_parser_char over a run of bytes, with the state
    // and the buffer held in locals between the bytes that need more: the
    // actions, escapes, and a buffer about to grow.
    const unsigned char* p = (const unsigned char*)text;
    size_t i = 0;
    while (i < len) {
        int state = jc->state;
        size_t count = jc->parse_buffer_count;
        char* buffer = jc->parse_buffer;
        size_t room = jc->parse_buffer_capacity - 2;
        // Which classes are kept: none inside a comment, whitespace only
        // inside a token.
        int kept_from = jc->comment ? NR_CLASSES : jc->type != JSON_T_NONE ? C_SPACE : C_WHITE + 1;
        int next = -1, cls = 0;
        bool stored = false;  // the loop stopped at an action, its byte in the buffer
        bool plain = !jc->escaped;  // only an action sets it
        for (; plain && i < len; i++) {
            // Runs of bytes that leave the state as it is need no table:
            // the content of a string and the digits of a number, which are
            // kept, and whitespace between tokens, which is not.
            if (state == ST || state == IT || state == FR || state == E3) {
                size_t j = i, end = i + (room + 1 - count);
                if (end > len) end = len;
                if (state == ST)
                    while (j < end && p[j] >= 0x20 && p[j] != '"' && p[j] != '\\') j++;
                else
                    while (j < end && p[j] >= '0' && p[j] <= '9') j++;
                memcpy(buffer + count, p + i, j - i);
                count += j - i;
                i = j;
                if (i == len) break;
            } else if (kept_from > C_WHITE && state_transition_table[state][C_SPACE] == state) {
                while (i < len && (p[i] == ' ' || p[i] == '\n' || p[i] == '\t' || p[i] == '\r')) i++;
                if (i == len) break;
            }
            cls = p[i] < 128 ? (int)ascii_class[p[i]] : (int)C_ETC;
            if (cls < 0 || count > room) break;
            buffer[count] = (char)p[i];
            count += cls >= kept_from;
            next = state_transition_table[state][cls];
            if (next < 0) {
                stored = true;
                break;
            }
            state = next;
        }
        jc->state = (signed char)state;
        jc->parse_buffer_count = count;
        if (i == len) break;
        if (stored) {
            jc->current_char = p[i];
            if (!_char_action(jc, next, cls)) return i;
        } else if (!JSON_parser_char(jc, p[i])) {
            return i;
        }
        i++;
    }
    if (len) jc->current_char = p[len - 1];
    return len;
}

void init_JSON_config(JSON_config* config) {
    if (config) memset(config, 0, sizeof *config);
}

JSON_parser new_JSON_parser(const JSON_config* config) {
    JSON_config zero;
    if (!config) {
        init_JSON_config(&zero);
        config = &zero;
    }
    bool own = config->malloc && config->free;
    JSON_malloc_t alloc = own ? config->malloc : malloc;
    JSON_free_t release = own ? config->free : free;
    JSON_parser jc = (JSON_parser)alloc(sizeof(JSON_parser_struct));
    if (!jc) return nullptr;
    memset(jc, 0, sizeof *jc);
    jc->malloc = alloc;
    jc->free = release;
    jc->callback = config->callback;
    jc->ctx = config->callback_ctx;
    jc->allow_comments = config->allow_comments != 0;
    jc->handle_floats_manually = config->handle_floats_manually != 0;
    jc->depth = config->depth == 0 ? 1 : config->depth < 0 ? -1 : config->depth;
    jc->stack = jc->static_stack;
    jc->stack_capacity = STATIC_STACK_SIZE;
    jc->parse_buffer = jc->static_parse_buffer;
    jc->parse_buffer_capacity = STATIC_PARSE_BUFFER_SIZE;
    if (!JSON_parser_reset(jc)) {
        release(jc);
        return nullptr;
    }
    return jc;
}

int JSON_parser_reset(JSON_parser jc) {
    if (!jc) return 0;
    // Nothing of the previous text survives but the grown buffers.
    jc->state = GO;
    jc->before_comment_state = GO;
    jc->type = JSON_T_NONE;
    jc->escaped = 0;
    jc->comment = 0;
    jc->error = JSON_E_NONE;
    jc->utf16_high_surrogate = 0;
    jc->current_char = 0;
    jc->top = -1;
    _clear_buffer(jc);
    return _push(jc, MODE_DONE);
}

int JSON_parser_done(JSON_parser jc) {
    if (!jc) return 0;
    if ((jc->state == OK || jc->state == GO) && jc->top == 0 && jc->stack[0] == MODE_DONE) {
        jc->top = -1;
        return 1;
    }
    jc->error = JSON_E_UNBALANCED_COLLECTION;
    return 0;
}

void delete_JSON_parser(JSON_parser jc) {
    if (!jc) return;
    if (jc->stack != jc->static_stack) jc->free(jc->stack);
    if (jc->parse_buffer != jc->static_parse_buffer) jc->free(jc->parse_buffer);
    jc->free(jc);
}

int JSON_parser_get_last_error(JSON_parser jc) { return jc ? (int)jc->error : (int)JSON_E_NONE; }

int JSON_parser_is_legal_white_space_string(const char* s) {
    if (!s) return 0;
    for (; *s; s++)
        if (*s != ' ' && *s != '\t' && *s != '\n' && *s != '\r') return 0;
    return 1;
}
