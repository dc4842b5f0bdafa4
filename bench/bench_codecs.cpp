// The codecs' throughput on 64 MiB of seeded random bytes, each against
// OpenSSL in the same run: MD5 against its EVP MD5, base64 encoding and
// decoding against its EVP_EncodeBlock and EVP_DecodeBlock (which also
// write no line breaks).
#include <random>
#include <string>

#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include "qel_base64.h"
#include "qel_md5.h"

static const size_t SIZE = 64u << 20;

static const std::string& bytes() {
    static std::string s = [] {
        std::string b(SIZE, '\0');
        std::mt19937 rng(64);
        for (char& c : b) c = (char)(rng() & 0xff);
        return b;
    }();
    return s;
}

static const std::string& text() {
    static std::string s = base64_encode((const unsigned char*)bytes().data(), (unsigned int)bytes().size());
    return s;
}

static void BM_Md5(benchmark::State& state) {
    const std::string& b = bytes();
    md5_byte_t digest[16];
    for (auto _ : state) {
        md5_state_t st;
        md5_init(&st);
        md5_append(&st, (const md5_byte_t*)b.data(), (int)b.size());
        md5_finish(&st, digest);
        benchmark::DoNotOptimize(digest);
    }
    state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)b.size());
}
BENCHMARK(BM_Md5)->Unit(benchmark::kMillisecond);

static void BM_RefOpenSslMd5(benchmark::State& state) {
    const std::string& b = bytes();
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int len = 0;
    for (auto _ : state) {
        EVP_Digest(b.data(), b.size(), digest, &len, EVP_md5(), nullptr);
        benchmark::DoNotOptimize(digest);
    }
    state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)b.size());
}
BENCHMARK(BM_RefOpenSslMd5)->Unit(benchmark::kMillisecond);

static void BM_Base64Encode(benchmark::State& state) {
    const std::string& b = bytes();
    for (auto _ : state) {
        std::string t = base64_encode((const unsigned char*)b.data(), (unsigned int)b.size());
        benchmark::DoNotOptimize(t.data());
    }
    state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)b.size());
}
BENCHMARK(BM_Base64Encode)->Unit(benchmark::kMillisecond);

static void BM_RefOpenSslEncodeBlock(benchmark::State& state) {
    const std::string& b = bytes();
    std::string t(text().size() + 1, '\0');
    for (auto _ : state) {
        EVP_EncodeBlock((unsigned char*)&t[0], (const unsigned char*)b.data(), (int)b.size());
        benchmark::DoNotOptimize(t.data());
    }
    state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)b.size());
}
BENCHMARK(BM_RefOpenSslEncodeBlock)->Unit(benchmark::kMillisecond);

// Decoding counts the bytes it gives, as encoding counts the bytes it takes.
static void BM_Base64Decode(benchmark::State& state) {
    const std::string& t = text();
    for (auto _ : state) {
        std::string b = base64_decode(t);
        benchmark::DoNotOptimize(b.data());
    }
    state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)SIZE);
}
BENCHMARK(BM_Base64Decode)->Unit(benchmark::kMillisecond);

static void BM_RefOpenSslDecodeBlock(benchmark::State& state) {
    const std::string& t = text();
    std::string b(SIZE + 3, '\0');
    for (auto _ : state) {
        EVP_DecodeBlock((unsigned char*)&b[0], (const unsigned char*)t.data(), (int)t.size());
        benchmark::DoNotOptimize(b.data());
    }
    state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)SIZE);
}
BENCHMARK(BM_RefOpenSslDecodeBlock)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
