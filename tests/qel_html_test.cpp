// html_parse: the flat tag list of worked examples and edge cases, and no
// read past the end of any prefix of a page.
#include <string>

#include <gtest/gtest.h>

#include "qel_html.h"

namespace {

// Tags as {key:value ...} in key order; strings quoted, numbers bare, so the
// number 1 of "closed" shows apart from a text "1".
std::string dump(var tags) {
    std::string s;
    for (int i = 0; i < tags.__len__(); i++) {
        if (i) s += " ";
        s += "{";
        var it(tags[i].__iter__());
        var k, v;
        bool first = true;
        while (it.__pair__(k, v)) {
            if (!first) s += " ";
            first = false;
            s += k.__str__() + ":";
            s += v.__type__() == VAR_STRING ? "\"" + v.__str__() + "\"" : v.__type__() == VAR_NUMBER ? v.__str__() : "?type";
        }
        s += "}";
    }
    return s;
}

}  // namespace

TEST(HtmlParse, Tags) {
    const struct {
        std::string html, tags;
    } cases[] = {
        {"", ""},
        {"no tags at all", ""},
        {"<p>Hi</p>", R"({content:"Hi" tag:"p"} {closed:1 tag:"p"})"},
        {R"(<a href="x?a=1&amp;b=2">link</a>)", R"({content:"link" href:"x?a=1&b=2" tag:"a"} {closed:1 tag:"a"})"},
        {"<input width=100 disabled><b>", R"({content:"" tag:"input" width:"100"} {tag:"b"})"},
        {"<br/>text<p>", R"({closed:1 tag:"br"} {tag:"p"})"},
        {"<br />", R"({closed:1 tag:"br"})"},
        {"before<b>mid</b>after", R"({content:"mid" tag:"b"} {closed:1 tag:"b"})"},
        {"<a><b>", R"({content:"" tag:"a"} {tag:"b"})"},
        {"<p>a</p>dropped<i>", R"({content:"a" tag:"p"} {closed:1 tag:"p"} {tag:"i"})"},
        {"<p> a\n\tb </p>", "{content:\" a\n\tb \" tag:\"p\"} {closed:1 tag:\"p\"}"},
        // Attributes: values bare or in either quote, the last one winning.
        {"<a x=1 x='2' y=\"it's\" z='say \"hi\"'>", R"({tag:"a" x:"2" y:"it's" z:"say "hi""})"},
        {R"(<a "loose" k = "spaced">)", R"({k:"spaced" tag:"a"})"},
        {"<a=5>", R"({a:"5" tag:"a"})"},  // stored under the tag name
        {"<=5>", R"({:"5"})"},
        {"<DIV Class=Big data-x_1=v>", R"({Class:"Big" data-x_1:"v" tag:"DIV"})"},
        {"<a href=x/y>", R"({closed:1 href:"x" tag:"a"})"},  // a bare value stops at the "/"
        {R"(<a href="x/y">)", R"({href:"x/y" tag:"a"})"},
        {R"(</p class="c">)", R"({class:"c" closed:1 tag:"p"})"},
        {"<img src=a.png>", R"({src:"a" tag:"img"})"},
        // A "content" attribute keeps the text off the tag.
        {R"(<meta content="x">text<p>)", R"({content:"x" tag:"meta"} {tag:"p"})"},
        {"<!DOCTYPE html><html>", R"({content:"" tag:"DOCTYPE"} {tag:"html"})"},
        {"<!-- note --><p>", R"({content:"" tag:"--"} {tag:"p"})"},
        // Comments are not recognised: a quote in one opens a value that runs
        // to the next such quote, here the end of the text.
        {"<!-- it's --><p>x</p>", R"({tag:"--"})"},
        // The end of the input, wherever it falls.
        {"text<", "{}"},
        {"<>", "{}"},
        {R"(<p class="a")", R"({class:"a" tag:"p"})"},
        {R"(<a href="abc)", R"({href:"abc" tag:"a"})"},
        {R"(<a href="abc>def<p>x)", R"({href:"abc>def<p>x" tag:"a"})"},
        {R"(<a t="&amp)", R"({t:"&" tag:"a"})"},
        {"<a x=", R"({tag:"a"})"},
        {"<a x", R"({tag:"a"})"},
        {"<p>x&", R"({tag:"p"})"},
    };
    for (auto& c : cases) EXPECT_EQ(dump(html_parse(c.html)), c.tags) << c.html;
}

TEST(HtmlParse, Entities) {
    const struct {
        std::string text, content;
    } cases[] = {
        {"&amp;&lt;&gt;&quot;&nbsp;", "&<>\" "},
        {"&amp&lt", "&<"},                 // the ";" is optional
        {"it&#39;s", "it?#39;s"},          // numeric references are not read
        {"&copy; &AMP; &; &", "? ? ? ?"},  // unknown, other case, empty
        {"a&ampb;c", "a?c"},               // the name runs over letters and digits
        {"&lt&gt;x", "<>x"},
        {"&", "?"},
    };
    for (auto& c : cases) {
        var tags = html_parse("<p>" + c.text + "<b>");
        EXPECT_EQ(tags[0]["content"].__str__(), c.content) << c.text;
        tags = html_parse("<p a=\"" + c.text + "\">");
        EXPECT_EQ(tags[0]["a"].__str__(), c.content) << c.text;
    }
}

TEST(HtmlParse, APageAndEveryPrefixOfIt) {
    // Each prefix is a string of its own, allocated at its size, so a read
    // past its end shows under the address sanitizer.
    const std::string page =
        "<!DOCTYPE html>\n<html><head><title>A &amp; B</title>"
        "<meta name=\"x\" content='y'></head><body class=main>"
        "<p id=\"p1\" hidden>one&nbsp;two &#160; &unknown</p><br/>"
        "<a href=\"/q?a=1&amp;b=2\" title='it&quot;s'>link</a>"
        "<input value=\"unclosed></body></html>";
    for (size_t n = 0; n <= page.size(); n++) {
        var tags = html_parse(std::string(page, 0, n));
        for (int i = 0; i < tags.__len__(); i++) ASSERT_EQ(tags[i].__type__(), VAR_DICT);
    }
    EXPECT_EQ(dump(html_parse(page)),
              "{content:\"\n\" tag:\"DOCTYPE\"} {content:\"\" tag:\"html\"} {content:\"\" tag:\"head\"} "
              R"({content:"A & B" tag:"title"} {closed:1 tag:"title"} {content:"y" name:"x" tag:"meta"} )"
              R"({closed:1 tag:"head"} {class:"main" content:"" tag:"body"} )"
              R"({content:"one two ?#160; ?" id:"p1" tag:"p"} {closed:1 tag:"p"} {closed:1 tag:"br"} )"
              R"({content:"link" href:"/q?a=1&b=2" tag:"a" title:"it"s"} {closed:1 tag:"a"} )"
              R"({tag:"input" value:"unclosed></body></html>"})");
}
