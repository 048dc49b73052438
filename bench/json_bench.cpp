// Throughput of the settings reader and writer on generated documents of 64 KiB to 16 MiB
// in three shapes. Sizes and rates count characters, which is the size of the settings file
// (one byte per character). Linear code shows the same rate at every size, until the
// document and the tree built from it outgrow the processor's caches.
#include <benchmark/benchmark.h>

#include <cstddef>
#include <string>

#include "settings/json_reader.h"
#include "settings/json_writer.h"

namespace {

using revertly::json::ParseJson;
using revertly::json::ToJson;

// An object with many distinct keys, every tenth one repeated later (the reader's
// remove-then-add path).
std::u16string ManyKeys(std::size_t bytes) {
    std::u16string text = u"{";
    for (std::size_t i = 0; text.size() < bytes; ++i) {
        const std::size_t key = (i % 10 == 9) ? i / 2 : i;
        std::string entry = "\"key" + std::to_string(key) + "\":" + std::to_string(i) + ",";
        text.append(entry.begin(), entry.end());
    }
    text += u"\"last\":true}";
    return text;
}

// An array of long strings full of escapes.
std::u16string LongStrings(std::size_t bytes) {
    const std::u16string piece =
        u"\"Line one\\nTab\\there \\\"quoted\\\" back\\\\slash \\u0041\\u0431 "
        u"\x0416\x0438\x0437\x043D\x044C plain text that runs on for a while\",";
    std::u16string text = u"[";
    while (text.size() < bytes) {
        text += piece;
    }
    text += u"null]";
    return text;
}

// Arrays nested 256 deep, over and over.
std::u16string DeepArrays(std::size_t bytes) {
    std::u16string nest(256, u'[');
    nest += u"1,2.5,\"x\"";
    nest.append(256, u']');
    std::u16string text = u"[";
    while (text.size() < bytes) {
        text += nest + u",";
    }
    text += u"0]";
    return text;
}

using Generator = std::u16string (*)(std::size_t);

void Parse(benchmark::State& state, Generator generate) {
    const std::u16string text = generate(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        benchmark::DoNotOptimize(ParseJson(text));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

void Write(benchmark::State& state, Generator generate) {
    const auto value = ParseJson(generate(static_cast<std::size_t>(state.range(0))));
    std::size_t written = 0;
    for (auto _ : state) {
        const std::u16string text = ToJson(value);
        written = text.size();
        benchmark::DoNotOptimize(text.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * written));
}

constexpr std::int64_t k64KiB = 64 << 10;
constexpr std::int64_t k16MiB = 16 << 20;

}  // namespace

BENCHMARK_CAPTURE(Parse, many_keys, ManyKeys)
    ->RangeMultiplier(4)
    ->Range(k64KiB, k16MiB)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Parse, long_strings, LongStrings)
    ->RangeMultiplier(4)
    ->Range(k64KiB, k16MiB)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Parse, deep_arrays, DeepArrays)
    ->RangeMultiplier(4)
    ->Range(k64KiB, k16MiB)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Write, many_keys, ManyKeys)
    ->RangeMultiplier(4)
    ->Range(k64KiB, k16MiB)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Write, long_strings, LongStrings)
    ->RangeMultiplier(4)
    ->Range(k64KiB, k16MiB)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Write, deep_arrays, DeepArrays)
    ->RangeMultiplier(4)
    ->Range(k64KiB, k16MiB)
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
