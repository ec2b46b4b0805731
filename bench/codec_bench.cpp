// Packet encoding and decoding, on a small request and on one of the largest size.
#include <benchmark/benchmark.h>

#include "protocol/packet.h"

using namespace dorv;

namespace {

param_array small_pairs()
{
    param_array p;
    array_add(p, "keycount", 0, "4");
    array_add(p, "requestaction", 0, "runcheck");
    array_add(p, "sessionid", 0, "0123ABCD-0123-4567-89AB-0123456789AB");
    array_add(p, "checkid", 0, "CPU");
    array_add(p, "para", 0, "\"#Load Limit [%]=80#\"");
    return p;
}

// A descriptor-like list whose packed form is just below 16383 characters.
param_array large_pairs()
{
    param_array p;
    for (int k = 1; packed_length(p) < max_text - 64; ++k)
        array_add(p, "value", k, "/usr/local/sbin/some-daemon --flag");
    return p;
}

void BM_PackSmall(benchmark::State& state)
{
    param_array p = small_pairs();
    for (auto _ : state)
        benchmark::DoNotOptimize(dorv_pack(p));
}
BENCHMARK(BM_PackSmall);

void BM_PackLarge(benchmark::State& state)
{
    param_array p = large_pairs();
    for (auto _ : state)
        benchmark::DoNotOptimize(dorv_pack(p));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(packed_length(p)));
}
BENCHMARK(BM_PackLarge);

void BM_UnpackSmall(benchmark::State& state)
{
    std::string text = dorv_pack(small_pairs());
    param_array out;
    for (auto _ : state)
        benchmark::DoNotOptimize(dorv_unpack(text, out));
}
BENCHMARK(BM_UnpackSmall);

void BM_UnpackLarge(benchmark::State& state)
{
    std::string text = dorv_pack(large_pairs());
    param_array out;
    for (auto _ : state)
        benchmark::DoNotOptimize(dorv_unpack(text, out));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_UnpackLarge);

} // namespace
