// The benchmark's documents, written by a small indenting writer from a
// seeded random source.
#include "json_docs.h"

#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace {

// Appends JSON text; with `pretty` every member and element starts a line
// indented by two spaces a level.
struct Writer {
    std::string s;
    bool pretty;
    std::vector<bool> first;  // per open container: nothing written in it yet
    bool after_key = false;

    explicit Writer(bool pretty) : pretty(pretty) {}

    void line() {
        if (!pretty) return;
        s += '\n';
        s.append(first.size() * 2, ' ');
    }
    void before_value() {
        if (after_key) {
            after_key = false;
            return;
        }
        if (first.empty()) return;
        if (!first.back()) s += ',';
        first.back() = false;
        line();
    }
    void open(char c) {
        before_value();
        s += c;
        first.push_back(true);
    }
    void close(char c) {
        bool empty = first.back();
        first.pop_back();
        if (!empty) line();
        s += c;
    }
    static std::string escaped(const std::string& t) {
        std::string e;
        for (char c : t) {
            if (c == '"' || c == '\\') e += '\\';
            if (c == '\n')
                e += "\\n";
            else
                e += c;
        }
        return e;
    }
    void quoted(const std::string& t) { s += '"' + escaped(t) + '"'; }
    void key(const std::string& k) {
        before_value();
        quoted(k);
        s += pretty ? ": " : ":";
        after_key = true;
    }
    void str(const std::string& t) {
        before_value();
        quoted(t);
    }
    // Text whose escapes are written already.
    void raw_str(const std::string& t) {
        before_value();
        s += '"' + t + '"';
    }
    void num(long long v) {
        before_value();
        s += std::to_string(v);
    }
    void num(double v, int digits) {
        char buf[64];
        snprintf(buf, sizeof buf, "%.*g", digits, v);
        before_value();
        s += buf;
    }
    void boolean(bool b) {
        before_value();
        s += b ? "true" : "false";
    }
    void null() {
        before_value();
        s += "null";
    }
};

struct Random {
    std::mt19937_64 rng;
    explicit Random(uint64_t seed) : rng(seed) {}
    int below(int n) { return (int)(rng() % (uint64_t)n); }
    double unit() { return (double)(rng() >> 11) / 9007199254740992.0; }
    template <class T>
    const T& pick(const std::vector<T>& v) { return v[(size_t)below((int)v.size())]; }
};

const std::vector<std::string> _words = {
    "\xe5\x90\x8d\xe5\x89\x8d", "\xe3\x81\x82\xe3\x82\x86\xe3\x81\xbf", "\xe5\xa4\xa7\xe5\xad\xa6",
    "\xe5\x8f\x8b\xe9\x81\x94", "\xe3\x82\x88\xe3\x82\x8d\xe3\x81\x97\xe3\x81\x8f", "\xe2\x98\x85",
    "RT", "the", "game", "today", "http://t.co/abc123", "#news", "@friend", "\xe2\x80\xa6", "love", "\xf0\x9f\x98\x80"};

std::string _sentence(Random& r, int words) {
    std::string t;
    for (int i = 0; i < words; i++) {
        if (i) t += r.below(9) == 0 ? "\n" : " ";
        t += r.pick(_words);
    }
    return t;
}

std::string _name(Random& r) {
    std::string n;
    for (int i = 3 + r.below(9); i > 0; i--) n += (char)('a' + r.below(26));
    return n;
}

void _user(Writer& w, Random& r) {
    long long id = 100000000 + r.below(2000000000);
    w.open('{');
    w.key("id");
    w.num(id);
    w.key("id_str");
    w.str(std::to_string(id));
    w.key("name");
    w.str(_sentence(r, 1));
    w.key("screen_name");
    w.str(_name(r));
    w.key("location");
    w.str(r.below(2) ? "" : _sentence(r, 2));
    w.key("description");
    w.str(_sentence(r, 4 + r.below(20)));
    w.key("url");
    if (r.below(3))
        w.null();
    else
        w.raw_str("http:\\/\\/example.com\\/" + _name(r));
    w.key("entities");
    w.open('{');
    w.key("description");
    w.open('{');
    w.key("urls");
    w.open('[');
    w.close(']');
    w.close('}');
    w.close('}');
    w.key("protected");
    w.boolean(false);
    for (const char* k : {"followers_count", "friends_count", "listed_count", "favourites_count", "statuses_count"}) {
        w.key(k);
        w.num((long long)r.below(100000));
    }
    w.key("created_at");
    w.str("Sun Jul 08 11:23:15 +0000 2012");
    w.key("utc_offset");
    w.null();
    w.key("time_zone");
    w.null();
    w.key("geo_enabled");
    w.boolean(r.below(2));
    w.key("verified");
    w.boolean(false);
    w.key("lang");
    w.str("ja");
    w.key("profile_background_color");
    w.str("C0DEED");
    w.key("profile_image_url");
    w.raw_str("http:\\/\\/pbs.twimg.com\\/profile_images\\/" + std::to_string(r.below(1000000)) + "\\/a_normal.jpeg");
    w.key("default_profile");
    w.boolean(true);
    w.key("following");
    w.boolean(false);
    w.close('}');
}

void _status(Writer& w, Random& r) {
    long long id = 505874924095815681LL + r.below(1000000);
    w.open('{');
    w.key("metadata");
    w.open('{');
    w.key("result_type");
    w.str("recent");
    w.key("iso_language_code");
    w.str("ja");
    w.close('}');
    w.key("created_at");
    w.str("Sun Aug 31 00:29:15 +0000 2014");
    w.key("id");
    w.num(id);
    w.key("id_str");
    w.str(std::to_string(id));
    w.key("text");
    w.raw_str("@" + _name(r) + " \\u2606 " + Writer::escaped(_sentence(r, 3 + r.below(25))) + " \\ud83d\\ude04");
    w.key("source");
    w.str("<a href=\"http://twitter.com/download/iphone\" rel=\"nofollow\">Twitter for iPhone</a>");
    w.key("truncated");
    w.boolean(false);
    w.key("in_reply_to_status_id");
    w.null();
    w.key("user");
    _user(w, r);
    w.key("geo");
    w.null();
    w.key("coordinates");
    w.null();
    w.key("place");
    w.null();
    w.key("retweet_count");
    w.num((long long)r.below(100));
    w.key("favorite_count");
    w.num((long long)r.below(100));
    w.key("entities");
    w.open('{');
    w.key("hashtags");
    w.open('[');
    w.close(']');
    w.key("user_mentions");
    w.open('[');
    for (int i = r.below(3); i > 0; i--) {
        w.open('{');
        w.key("screen_name");
        w.str(_name(r));
        w.key("id");
        w.num((long long)r.below(2000000000));
        w.key("indices");
        w.open('[');
        w.num(0LL);
        w.num((long long)(1 + r.below(20)));
        w.close(']');
        w.close('}');
    }
    w.close(']');
    w.close('}');
    w.key("favorited");
    w.boolean(false);
    w.key("lang");
    w.str("ja");
    w.close('}');
}

}  // namespace

std::string json_doc_twitter() {
    Random r(1);
    Writer w(true);
    w.open('{');
    w.key("statuses");
    w.open('[');
    for (int i = 0; i < 300; i++) _status(w, r);
    w.close(']');
    w.key("search_metadata");
    w.open('{');
    w.key("completed_in");
    w.num(0.087, 3);
    w.key("max_id");
    w.num(505874924095815681LL);
    w.key("query");
    w.str("%E4%B8%80");
    w.key("count");
    w.num(300LL);
    w.close('}');
    w.close('}');
    return w.s;
}

std::string json_doc_citm() {
    Random r(2);
    Writer w(true);
    auto id = [&] { return std::to_string(100000000 + r.below(900000000)); };
    auto names = [&](const char* key, int n) {
        w.key(key);
        w.open('{');
        for (int i = 0; i < n; i++) {
            w.key(id());
            w.str(_sentence(r, 1 + r.below(3)));
        }
        w.close('}');
    };
    w.open('{');
    names("areaNames", 17);
    names("audienceSubCategoryNames", 1);
    w.key("blockNames");
    w.open('{');
    w.close('}');
    w.key("events");
    w.open('{');
    for (int i = 0; i < 800; i++) {
        std::string eid = id();
        w.key(eid);
        w.open('{');
        w.key("description");
        w.null();
        w.key("id");
        w.num(std::stoll(eid));
        w.key("logo");
        if (r.below(2))
            w.null();
        else
            w.str("/images/UE0AAAAACEKo6QAAAAVDSVRN");
        w.key("name");
        w.str(_sentence(r, 2 + r.below(4)));
        w.key("subTopicIds");
        w.open('[');
        for (int j = 1 + r.below(4); j > 0; j--) w.num((long long)(337184262 + r.below(100)));
        w.close(']');
        w.key("subjectCode");
        w.null();
        w.key("subtitle");
        w.null();
        w.key("topicIds");
        w.open('[');
        for (int j = 1 + r.below(3); j > 0; j--) w.num((long long)(324846099 + r.below(100)));
        w.close(']');
        w.close('}');
    }
    w.close('}');
    w.key("performances");
    w.open('[');
    for (int i = 0; i < 900; i++) {
        w.open('{');
        w.key("eventId");
        w.num((long long)(138586341 + r.below(1000)));
        w.key("id");
        w.num((long long)(339887544 + i));
        w.key("logo");
        w.null();
        w.key("name");
        w.null();
        w.key("prices");
        w.open('[');
        for (int j = 1 + r.below(6); j > 0; j--) {
            w.open('{');
            w.key("amount");
            w.num((long long)(1000 * (10 + r.below(150))));
            w.key("audienceSubCategoryId");
            w.num(337100890LL);
            w.key("seatCategoryId");
            w.num((long long)(338937295 + r.below(50)));
            w.close('}');
        }
        w.close(']');
        w.key("seatCategories");
        w.open('[');
        for (int j = 1 + r.below(4); j > 0; j--) {
            w.open('{');
            w.key("areas");
            w.open('[');
            for (int k = 1 + r.below(6); k > 0; k--) {
                w.open('{');
                w.key("areaId");
                w.num((long long)(205705993 + r.below(30)));
                w.key("blockIds");
                w.open('[');
                w.close(']');
                w.close('}');
            }
            w.close(']');
            w.key("seatCategoryId");
            w.num((long long)(338937295 + r.below(50)));
            w.close('}');
        }
        w.close(']');
        w.key("seatMapImage");
        w.null();
        w.key("start");
        w.num(1372701600000LL + 86400000LL * r.below(400));
        w.key("venueCode");
        w.str("PLEYEL_PLEYEL");
        w.close('}');
    }
    w.close(']');
    names("seatCategoryNames", 64);
    names("subTopicNames", 19);
    names("topicNames", 4);
    w.key("topicSubTopics");
    w.open('{');
    for (int i = 0; i < 4; i++) {
        w.key(id());
        w.open('[');
        for (int j = 2 + r.below(6); j > 0; j--) w.num((long long)(337184262 + r.below(100)));
        w.close(']');
    }
    w.close('}');
    names("venueNames", 1);
    w.close('}');
    return w.s;
}

std::string json_doc_canada() {
    Random r(3);
    Writer w(false);
    w.open('{');
    w.key("type");
    w.str("FeatureCollection");
    w.key("features");
    w.open('[');
    w.open('{');
    w.key("type");
    w.str("Feature");
    w.key("properties");
    w.open('{');
    w.key("name");
    w.str("Canada");
    w.close('}');
    w.key("geometry");
    w.open('{');
    w.key("type");
    w.str("Polygon");
    w.key("coordinates");
    w.open('[');
    // Rings of points along a wobbling coast: longitude and latitude with
    // the long tails of converted survey data.
    for (int ring = 0; ring < 480; ring++) {
        w.open('[');
        double lon = -141 + 88 * r.unit(), lat = 42 + 41 * r.unit();
        for (int p = 20 + r.below(420); p > 0; p--) {
            lon += (r.unit() - 0.5) * 0.01;
            lat += (r.unit() - 0.5) * 0.01;
            w.open('[');
            w.num(lon, 15 + r.below(3));
            w.num(lat, 15 + r.below(3));
            w.close(']');
        }
        w.close(']');
        w.s += '\n';
    }
    w.close(']');
    w.close('}');
    w.close('}');
    w.close(']');
    w.close('}');
    return w.s;
}
