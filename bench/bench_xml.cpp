// layer: util
// Reading the interface text file: many small elements, and one long value
// full of character references, whose cost must stay linear in its length.
#include <benchmark/benchmark.h>
#include <string>

#include "util/XMLNode.h"
#include "util/XMLParser.h"

static void BM_ParseStringTable(benchmark::State& state) {
    std::string text = "<?xml version=\"1.0\"?><ui><strings lang=\"en\">";
    for (int i = 0; i < state.range(0); i++)
        text += "<string id=\"" + std::to_string(i) + "\" text=\"Text &quot;" + std::to_string(i) +
                "&quot; &amp; more\"/>\n";
    text += "</strings></ui>";
    for (auto _ : state) {
        XMLParser p;
        benchmark::DoNotOptimize(p.parse(text.c_str()));
    }
    state.SetBytesProcessed(state.iterations() * (int64_t)text.size());
}
BENCHMARK(BM_ParseStringTable)->Arg(100)->Arg(2000);

static void BM_ParseLongReferenceValue(benchmark::State& state) {
    std::string value;
    for (int i = 0; i < state.range(0); i++) value += i % 2 ? "&#65;" : "&#";
    std::string text = "<a v=\"" + value + "\"/>";
    for (auto _ : state) {
        XMLParser p;
        benchmark::DoNotOptimize(p.parse(text.c_str()));
    }
    state.SetBytesProcessed(state.iterations() * (int64_t)text.size());
}
BENCHMARK(BM_ParseLongReferenceValue)->Arg(1000)->Arg(100000);
