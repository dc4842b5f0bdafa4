// qel_html: HTML text (a fetched page, say) as a flat list of tags.
//
// html_parse returns a var list with one dict per "<" in document order; it
// builds no tree, validates nothing and never fails. Each dict may hold:
//   "tag"      the element name as written
//   name       the value of each attribute given one (the last one wins)
//   "closed"   the number 1 when the tag holds a "/" outside quotes
//   "content"  the text up to the next "<", entities decoded, for a tag not
//              closed and without a "content" attribute
// Text before the first tag and after the last is dropped, as is text after
// a closed tag. The entities amp, lt, gt, quot and nbsp (a plain space) are
// decoded; every other one becomes "?".
#ifndef QEL_HTML_H
#define QEL_HTML_H

#include <string>

#include "qel_var.h"

var html_parse(std::string s);

#endif
