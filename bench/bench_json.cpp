// JSON reading and writing on three generated documents (json_docs.h)
// against three established libraries in the same run: nlohmann's json,
// RapidJSON and cJSON. Reading is text to a tree, the tree freed again;
// writing is a tree to compact text. Throughput (the "bytes_per_second"
// column) counts the document's bytes for reading and the bytes written for
// writing (json_encode writes a number with six decimals where that keeps its
// value, so its texts differ).
//
// The references differ from json_decode in what they keep: nlohmann stores
// numbers inline and RapidJSON allocates from a pool, while a var is a
// reference-counted object per value; RapidJSON's default float reading is
// not exact (full precision is a flag it was not given), the others are.
//
// Last, a list nested a million deep is written and freed against the same
// million lists side by side.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <cJSON.h>
#include <nlohmann/json.hpp>
#include <rapidjson/document.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include "json_docs.h"
#include "qel_json.h"
#include "qel_var.h"

namespace {

const std::string& doc(int n) {
    static const std::string docs[3] = {json_doc_twitter(), json_doc_citm(), json_doc_canada()};
    return docs[n];
}

const char* const NAMES[3] = {"twitter", "citm_catalog", "canada"};

void check(bool ok, const char* what, int n) {
    if (ok) return;
    fprintf(stderr, "%s failed on %s\n", what, NAMES[n]);
    exit(1);
}

// Runs step once an iteration; it returns the bytes it read or wrote.
template <class F>
void measure(benchmark::State& state, F step) {
    int64_t bytes = 0;
    for (auto _ : state) bytes += (int64_t)step();
    state.SetBytesProcessed(bytes);
    state.SetLabel(NAMES[state.range(0)]);
}

void read_qel(benchmark::State& state) {
    int n = (int)state.range(0);
    measure(state, [&] {
        var r;
        check(json_decode(r, doc(n).data(), (int)doc(n).size()) == 0, "json_decode", n);
        benchmark::DoNotOptimize(r.value);
        return doc(n).size();
    });
}

void read_nlohmann(benchmark::State& state) {
    int n = (int)state.range(0);
    measure(state, [&] {
        nlohmann::json j = nlohmann::json::parse(doc(n));
        benchmark::DoNotOptimize(j);
        return doc(n).size();
    });
}

void read_rapidjson(benchmark::State& state) {
    int n = (int)state.range(0);
    measure(state, [&] {
        rapidjson::Document d;
        d.Parse(doc(n).c_str(), doc(n).size());
        check(!d.HasParseError(), "RapidJSON", n);
        benchmark::DoNotOptimize(d);
        return doc(n).size();
    });
}

void read_cjson(benchmark::State& state) {
    int n = (int)state.range(0);
    measure(state, [&] {
        cJSON* j = cJSON_ParseWithLength(doc(n).data(), doc(n).size());
        check(j != nullptr, "cJSON", n);
        cJSON_Delete(j);
        return doc(n).size();
    });
}

void write_qel(benchmark::State& state) {
    int n = (int)state.range(0);
    var r;
    check(json_decode(r, doc(n).data(), (int)doc(n).size()) == 0, "json_decode", n);
    measure(state, [&] {
        std::string t = json_encode(r);
        benchmark::DoNotOptimize(t.data());
        return t.size();
    });
}

void write_nlohmann(benchmark::State& state) {
    nlohmann::json j = nlohmann::json::parse(doc((int)state.range(0)));
    measure(state, [&] {
        std::string t = j.dump();
        benchmark::DoNotOptimize(t.data());
        return t.size();
    });
}

void write_rapidjson(benchmark::State& state) {
    rapidjson::Document d;
    const std::string& text = doc((int)state.range(0));
    d.Parse(text.c_str(), text.size());
    measure(state, [&] {
        rapidjson::StringBuffer b;
        rapidjson::Writer<rapidjson::StringBuffer> w(b);
        d.Accept(w);
        benchmark::DoNotOptimize(b.GetString());
        return b.GetSize();
    });
}

void write_cjson(benchmark::State& state) {
    const std::string& text = doc((int)state.range(0));
    cJSON* j = cJSON_ParseWithLength(text.data(), text.size());
    measure(state, [&] {
        char* t = cJSON_PrintUnformatted(j);
        size_t size = strlen(t);
        cJSON_free(t);
        return size;
    });
    cJSON_Delete(j);
}

// A million lists nested one in the next, against the reference of the same
// million empty lists side by side in one list: writing and freeing the deep
// one must cost what the flat one costs, in time linear in the size.
const int NESTED = 1000000;

var nested_lists(bool deep) {
    var root = var_list();
    var* inner = &root;
    for (int i = 1; i < NESTED; i++) {
        list_append(*inner, var_list());
        if (deep) inner = &(*inner)[0];
    }
    return root;
}

void write_nested(benchmark::State& state) {
    var v = nested_lists(state.range(0));
    for (auto _ : state) {
        std::string t = json_encode(v);
        benchmark::DoNotOptimize(t.data());
    }
    state.SetLabel(state.range(0) ? "1,000,000 deep" : "reference: 1,000,000 side by side");
}

void free_nested(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        var v = nested_lists(state.range(0));
        state.ResumeTiming();
        v.__destroy__();
    }
    state.SetLabel(state.range(0) ? "1,000,000 deep" : "reference: 1,000,000 side by side");
}

}  // namespace

BENCHMARK(read_qel)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);
BENCHMARK(read_nlohmann)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);
BENCHMARK(read_rapidjson)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);
BENCHMARK(read_cjson)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);
BENCHMARK(write_qel)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);
BENCHMARK(write_nlohmann)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);
BENCHMARK(write_rapidjson)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);
BENCHMARK(write_cjson)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);
BENCHMARK(write_nested)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);
BENCHMARK(free_nested)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
