// Engine throughput on in-memory text. The corpus case formats about 10 MB of
// generated Fortran, each file with a fresh session state and the default
// options, once with separator banners and once without. The stress cases
// grow a file of labelled DO loops (no separators) and a file of deeply
// nested blocks tenfold twice; the fitted complexity and the time per byte
// show whether the pass stays linear.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <string>
#include <vector>

#include "corpus.h"
#include "engine/format/format_file.h"
#include "engine/state/do_label_record.h"

namespace {

using codekiln::FormatOptions;
using codekiln::DoLabelRecord;

const std::vector<std::string>& tenMegabytes() {
    static const std::vector<std::string> texts = [] {
        codekiln::bench::CorpusOptions options;
        options.files = 670;
        options.totalBytes = 10000000;
        options.bigFiles = 1;
        std::vector<std::string> out;
        for (const auto& file : codekiln::bench::corpusPlan(options))
            out.push_back(codekiln::bench::generateFile(file));
        return out;
    }();
    return texts;
}

void formatCorpus(benchmark::State& state) {
    const auto& texts = tenMegabytes();
    FormatOptions options;
    options.showSeparators = state.range(0) != 0;
    std::size_t bytes = 0;
    for (const std::string& t : texts) bytes += t.size();
    for (auto _ : state) {
        for (const std::string& text : texts) {
            DoLabelRecord session;
            std::string out = codekiln::formatText(text, options, session).text;
            benchmark::DoNotOptimize(out.data());
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
    // Every case reports the same counters, as the CSV output requires.
    state.counters["MB"] = static_cast<double>(bytes) / 1e6;
    state.counters["files"] = static_cast<double>(texts.size());
}
BENCHMARK(formatCorpus)->ArgName("separators")->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

/// Formats one generated stress file per iteration; `n` is the size knob.
/// Large blocks are taken fresh from the system at every size, as in a
/// process that formats one file: otherwise glibc's adaptive threshold lets
/// the smaller sizes reuse warm memory that the larger ones never get, and
/// the comparison between sizes measures the allocator instead of the pass.
template <std::string (*makeText)(std::size_t)>
void formatStress(benchmark::State& state, bool separators) {
#ifdef M_MMAP_THRESHOLD
    mallopt(M_MMAP_THRESHOLD, 128 * 1024);  // glibc's initial value, held fixed
#endif
    const auto n = static_cast<std::size_t>(state.range(0));
    const std::string text = makeText(n);
    FormatOptions options;
    options.showSeparators = separators;
    for (auto _ : state) {
        DoLabelRecord session;
        std::string out = codekiln::formatText(text, options, session).text;
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
    state.SetComplexityN(static_cast<std::int64_t>(n));
    state.counters["MB"] = static_cast<double>(text.size()) / 1e6;
    state.counters["files"] = 1;
}

void labelledDoLoops(benchmark::State& state) {
    formatStress<codekiln::bench::labelledDoFile>(state, false);
}
BENCHMARK(labelledDoLoops)
    ->ArgName("loops")
    ->RangeMultiplier(10)
    ->Range(100000, 10000000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity();  // the best fit of O(1), O(lg N), O(N), O(N lg N), O(N^2), O(N^3)

/// Program units with no "(" anywhere: every separator banner's look-ahead
/// finds no unit header. The pass over the file must stay linear.
std::string unitsWithoutHeaders(std::size_t units) {
    std::string text;
    text.reserve(units * 24);
    for (std::size_t i = 0; i < units; ++i) text += "program p\nx = 1\nend\n";
    return text;
}

void separatorsWithoutHeaders(benchmark::State& state) { formatStress<unitsWithoutHeaders>(state, true); }
BENCHMARK(separatorsWithoutHeaders)
    ->ArgName("units")
    ->RangeMultiplier(10)
    ->Range(1000, 100000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity();

void nestedBlocks(benchmark::State& state) { formatStress<codekiln::bench::nestedBlocksFile>(state, true); }
BENCHMARK(nestedBlocks)
    ->ArgName("depth")
    ->RangeMultiplier(10)
    ->Range(10000, 1000000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity();  // the best fit of O(1), O(lg N), O(N), O(N lg N), O(N^2), O(N^3)

}  // namespace

BENCHMARK_MAIN();
