// Three JSON documents made by code for the JSON benchmark, each shaped like
// a well-known test file of its kind, the same bytes on every run:
// - json_doc_twitter: a search result of many small objects (statuses with
//   their users and entities), much text with UTF-8 and escapes, 64-bit ids,
//   indented by two spaces;
// - json_doc_citm: a catalogue of dicts keyed by number text (events, areas,
//   prices), many small integers and nested lists, indented;
// - json_doc_canada: a feature collection of polygons, many floats of up to
//   seventeen significant digits, compact.
#ifndef QEL_BENCH_JSON_DOCS_H
#define QEL_BENCH_JSON_DOCS_H

#include <string>

std::string json_doc_twitter();
std::string json_doc_citm();
std::string json_doc_canada();

#endif
