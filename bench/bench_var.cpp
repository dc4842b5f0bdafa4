// The value type's hot operations against plain C++ references:
// a handle copy and release against a raw pointer copy, a dict lookup by text
// against std::map<std::string, double>::find, and the number text against
// std::to_chars of the same value. Then the string functions on the mod log's
// worst case, ten million tabs (4 spaces each, as the log writes them), and
// splitting and joining a million pieces, against copying the same bytes.
#include <charconv>
#include <map>
#include <string>

#include <benchmark/benchmark.h>

#include "qel_var.h"

static const char* KEYS[12] = {"view_x", "view_y", "view_w", "view_h", "view_scale", "view_depth",
                               "default_w", "default_h", "speed", "ticks", "filter", "caption"};

static void BM_HandleCopyRelease(benchmark::State& state) {
    var v = var_list();
    for (auto _ : state) {
        var c = v;
        benchmark::DoNotOptimize(c.value);
    }
}
BENCHMARK(BM_HandleCopyRelease);

static void BM_RefRawPointerCopy(benchmark::State& state) {
    int target = 0;
    int* p = &target;
    for (auto _ : state) {
        int* c = p;
        benchmark::DoNotOptimize(c);
    }
}
BENCHMARK(BM_RefRawPointerCopy);

static void BM_DictLookup12(benchmark::State& state) {
    var d = var_dict();
    for (int i = 0; i < 12; i++) d[KEYS[i]] = var(i);
    int i = 0;
    for (auto _ : state) {
        var& e = d[KEYS[i]];
        benchmark::DoNotOptimize(&e);
        i = (i + 1) % 12;
    }
}
BENCHMARK(BM_DictLookup12);

static void BM_RefStdMapFind12(benchmark::State& state) {
    std::map<std::string, double> m;
    for (int i = 0; i < 12; i++) m[KEYS[i]] = i;
    int i = 0;
    for (auto _ : state) {
        auto it = m.find(KEYS[i]);
        benchmark::DoNotOptimize(it);
        i = (i + 1) % 12;
    }
}
BENCHMARK(BM_RefStdMapFind12);

static void BM_NumberText(benchmark::State& state) {
    double v = 1234.5678;
    for (auto _ : state) {
        std::string s = _var_number_to_str(v);
        benchmark::DoNotOptimize(s.data());
    }
}
BENCHMARK(BM_NumberText);

static void BM_RefToChars(benchmark::State& state) {
    double v = 1234.5678;
    char buf[64];
    for (auto _ : state) {
        auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, 6);
        benchmark::DoNotOptimize(r.ptr);
        benchmark::DoNotOptimize(buf);
    }
}
BENCHMARK(BM_RefToChars);

static const size_t TABS = 10000000;

static void BM_StrReplaceTabs(benchmark::State& state) {
    std::string tabs(TABS, '\t');
    for (auto _ : state) {
        std::string s = str_replace(tabs, "\t", "    ");
        benchmark::DoNotOptimize(s.data());
    }
}
BENCHMARK(BM_StrReplaceTabs)->Unit(benchmark::kMillisecond);

static void BM_RefCopyOfTheSpaces(benchmark::State& state) {
    std::string spaces(4 * TABS, ' ');
    for (auto _ : state) {
        std::string s = spaces;
        benchmark::DoNotOptimize(s.data());
    }
}
BENCHMARK(BM_RefCopyOfTheSpaces)->Unit(benchmark::kMillisecond);

static std::string pieces_text() {
    std::string s;
    for (int i = 0; i < 1000000; i++) s += "piece\n";
    return s;
}

static void BM_StrSplitMillion(benchmark::State& state) {
    std::string text = pieces_text();
    for (auto _ : state) {
        var l = str_split(text, "\n");
        benchmark::DoNotOptimize(l.value);
    }
}
BENCHMARK(BM_StrSplitMillion)->Unit(benchmark::kMillisecond);

static void BM_StrJoinMillion(benchmark::State& state) {
    var l = str_split(pieces_text(), "\n");
    for (auto _ : state) {
        var s = str_join("\n", l);
        benchmark::DoNotOptimize(s.value);
    }
}
BENCHMARK(BM_StrJoinMillion)->Unit(benchmark::kMillisecond);

static void BM_RefCopyOfThePieces(benchmark::State& state) {
    std::string text = pieces_text();
    for (auto _ : state) {
        std::string s = text;
        benchmark::DoNotOptimize(s.data());
    }
}
BENCHMARK(BM_RefCopyOfThePieces)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
