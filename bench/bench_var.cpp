// The value type's hot operations against plain C++ references:
// a handle copy and release against a raw pointer copy, a dict lookup by text
// against std::map<std::string, double>::find, and the number text against
// std::to_chars of the same value.
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

BENCHMARK_MAIN();
