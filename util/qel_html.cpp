// qel_html: one pass over the bytes; each reader takes the text, a start
// index and the length, and returns the index where it stopped, never past
// the length.
#include "qel_html.h"

static bool _html_is_alnum(unsigned char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

static bool _html_is_name(unsigned char c) { return _html_is_alnum(c) || c == '-' || c == '_'; }

// i at the "&": the letters and digits after it name the entity, and a ";"
// after them is consumed.
static size_t _html_code(const std::string& s, size_t i, size_t l, std::string& code) {
    size_t j = i + 1;
    while (j < l && _html_is_alnum((unsigned char)s[j])) j++;
    std::string name = s.substr(i + 1, j - i - 1);
    if (j < l && s[j] == ';') j++;
    if (name == "amp") code = "&";
    else if (name == "lt") code = "<";
    else if (name == "gt") code = ">";
    else if (name == "quot") code = "\"";
    else if (name == "nbsp") code = " ";
    else code = "?";
    return j;
}

static size_t _html_param(const std::string& s, size_t i, size_t l, std::string& out) {
    size_t j = i;
    while (j < l && _html_is_name((unsigned char)s[j])) j++;
    out.append(s, i, j - i);
    return j;
}

// i at the quote; an unclosed quote runs to the end of the text.
static size_t _html_value(const std::string& s, size_t i, size_t l, std::string& out) {
    char quote = s[i++];
    while (i < l && s[i] != quote) {
        if (s[i] == '&') {
            std::string code;
            i = _html_code(s, i, l, code);
            out += code;
        } else {
            out += s[i++];
        }
    }
    return i < l ? i + 1 : l;
}

// From the "<" to the matching ">". The first name is the tag; a name after
// it is a pending key, which the value after an "=" is stored under.
static size_t _html_tag(const std::string& s, size_t i, size_t l, var& tag) {
    enum { NO_NAME, NAME, EQUALS } state = NO_NAME;
    std::string key;
    while (i < l) {
        unsigned char c = (unsigned char)s[i];
        if (c == '/') {
            tag["closed"] = var(1);
            i++;
        } else if (_html_is_name(c)) {
            std::string name;
            i = _html_param(s, i, l, name);
            if (state == NO_NAME) {
                tag["tag"] = var(name);
                key = name;
                state = NAME;
            } else if (state == NAME) {
                key = name;
            } else {
                tag[key] = var(name);
                state = NAME;
            }
        } else if (c == '=') {
            state = EQUALS;
            i++;
        } else if (c == '"' || c == '\'') {
            std::string value;
            i = _html_value(s, i, l, value);
            if (state == EQUALS) {
                tag[key] = var(value);
                state = NAME;
            }
        } else if (c == '>') {
            return i + 1;
        } else {
            i++;
        }
    }
    return l;
}

var html_parse(std::string s) {
    var result = var_list();
    // Belongs to no list, so text before the first tag goes nowhere.
    var current = var_dict();
    std::string run;
    size_t l = s.size();
    size_t i = 0;
    while (i < l) {
        char c = s[i];
        if (c == '<') {
            if (!current.__has__("closed") && !current.__has__("content")) current["content"] = var(run);
            run.clear();
            var tag = var_dict();
            i = _html_tag(s, i, l, tag);
            list_append(result, tag);
            current = tag;
        } else if (c == '&') {
            std::string code;
            i = _html_code(s, i, l, code);
            run += code;
        } else {
            run += c;
            i++;
        }
    }
    return result;
}
