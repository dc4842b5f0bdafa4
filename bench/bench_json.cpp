// JSON reading and writing on three generated documents (json_docs.h)
// against three established libraries in the same run: nlohmann's json,
// RapidJSON and cJSON. Reading is text to a tree, the tree freed again;
// writing is a tree to compact text. Throughput is in bytes of the document
// per second (the "bytes_per_second" column).
//
// The references differ from json_decode in what they keep: nlohmann stores
// numbers inline and RapidJSON allocates from a pool, while a var is a
// reference-counted object per value; RapidJSON's default float reading is
// not exact (full precision is a flag it was not given), the others are.
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

void read_qel(benchmark::State& state) {
    int n = (int)state.range(0);
    const std::string& text = doc(n);
    for (auto _ : state) {
        var r;
        check(json_decode(r, text.data(), (int)text.size()) == 0, "json_decode", n);
        benchmark::DoNotOptimize(r.value);
    }
    state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)text.size());
    state.SetLabel(NAMES[n]);
}

void read_nlohmann(benchmark::State& state) {
    int n = (int)state.range(0);
    const std::string& text = doc(n);
    for (auto _ : state) {
        nlohmann::json j = nlohmann::json::parse(text);
        benchmark::DoNotOptimize(j);
    }
    state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)text.size());
    state.SetLabel(NAMES[n]);
}

void read_rapidjson(benchmark::State& state) {
    int n = (int)state.range(0);
    const std::string& text = doc(n);
    for (auto _ : state) {
        rapidjson::Document d;
        d.Parse(text.c_str(), text.size());
        check(!d.HasParseError(), "RapidJSON", n);
        benchmark::DoNotOptimize(d);
    }
    state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)text.size());
    state.SetLabel(NAMES[n]);
}

void read_cjson(benchmark::State& state) {
    int n = (int)state.range(0);
    const std::string& text = doc(n);
    for (auto _ : state) {
        cJSON* j = cJSON_ParseWithLength(text.data(), text.size());
        check(j != nullptr, "cJSON", n);
        cJSON_Delete(j);
    }
    state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)text.size());
    state.SetLabel(NAMES[n]);
}

void write_qel(benchmark::State& state) {
    int n = (int)state.range(0);
    var r;
    check(json_decode(r, doc(n).data(), (int)doc(n).size()) == 0, "json_decode", n);
    size_t bytes = 0;
    for (auto _ : state) {
        std::string t = json_encode(r);
        bytes += t.size();
        benchmark::DoNotOptimize(t.data());
    }
    state.SetBytesProcessed((int64_t)bytes);
    state.SetLabel(NAMES[n]);
}

void write_nlohmann(benchmark::State& state) {
    int n = (int)state.range(0);
    nlohmann::json j = nlohmann::json::parse(doc(n));
    size_t bytes = 0;
    for (auto _ : state) {
        std::string t = j.dump();
        bytes += t.size();
        benchmark::DoNotOptimize(t.data());
    }
    state.SetBytesProcessed((int64_t)bytes);
    state.SetLabel(NAMES[n]);
}

void write_rapidjson(benchmark::State& state) {
    int n = (int)state.range(0);
    rapidjson::Document d;
    d.Parse(doc(n).c_str(), doc(n).size());
    size_t bytes = 0;
    for (auto _ : state) {
        rapidjson::StringBuffer b;
        rapidjson::Writer<rapidjson::StringBuffer> w(b);
        d.Accept(w);
        bytes += b.GetSize();
        benchmark::DoNotOptimize(b.GetString());
    }
    state.SetBytesProcessed((int64_t)bytes);
    state.SetLabel(NAMES[n]);
}

void write_cjson(benchmark::State& state) {
    int n = (int)state.range(0);
    cJSON* j = cJSON_ParseWithLength(doc(n).data(), doc(n).size());
    size_t bytes = 0;
    for (auto _ : state) {
        char* t = cJSON_PrintUnformatted(j);
        bytes += strlen(t);
        cJSON_free(t);
    }
    cJSON_Delete(j);
    state.SetBytesProcessed((int64_t)bytes);
    state.SetLabel(NAMES[n]);
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

BENCHMARK_MAIN();
