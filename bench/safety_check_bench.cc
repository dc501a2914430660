// How much the safety check adds to formatting: both run over the same
// 10 MB of generated Fortran. Not part of the test suite; run it by hand:
//   build/bench/safety_check_bench
#include <benchmark/benchmark.h>

#include <string>

#include "engine/format/format_file.h"
#include "engine/format/safety_check.h"

namespace codekiln {
namespace {

std::string unit(int k) {
    const std::string n = std::to_string(k);
    return "module m" + n +
           "\n"
           "  implicit none\n"
           "contains\n"
           "  subroutine s" +
           n +
           "(a, b, n)\n"
           "\tinteger, intent(in) :: n\n"
           "    real :: a(n), b(n)\n"
           "    integer :: i\n"
           "    ! scale the input, it's    cheap\n"
           "    do 10 i = 1, n\n"
           "      if (a(i) > 0.0) then\n"
           "        b(i) = a(i) * 2.0\n"
           "      else if (a(i) < -1.0) then\n"
           "        b(i) = -a(i)\n"
           "      else\n"
           "        b(i) = 0.0\n"
           "      end if\n"
           "10  continue\n"
           "\n"
           "    select case (n)\n"
           "    case (1)\n"
           "      write (*, '(a, i0)') 'one item:    ', n\n"
           "    case default\n"
           "      print *, \"many items, \"\"n\"\" = \", &\n"
           "               n\n"
           "    end select\n"
           "  end subroutine s" +
           n +
           "\n"
           "end module m" +
           n + "\n";
}

const std::string& sample() {
    static const std::string text = [] {
        std::string t;
        for (int k = 0; t.size() < 10u * 1024 * 1024; ++k) t += unit(k);
        return t;
    }();
    return text;
}

void BM_Format(benchmark::State& bench) {
    const std::string& text = sample();
    for (auto _ : bench) {
        DoLabelRecord state;
        benchmark::DoNotOptimize(formatText(text, FormatOptions{}, state));
    }
    bench.SetBytesProcessed(bench.iterations() * static_cast<std::int64_t>(text.size()));
}

void BM_SafetyCheck(benchmark::State& bench) {
    const std::string& text = sample();
    DoLabelRecord state;
    const std::string formatted = formatText(text, FormatOptions{}, state).text;
    const auto input = splitLines(text);
    for (auto _ : bench) {
        // The input is split for formatting anyway; the output is read as
        // one text.
        benchmark::DoNotOptimize(checkSafety(input, formatted));
    }
    bench.SetBytesProcessed(bench.iterations() * static_cast<std::int64_t>(text.size()));
}

BENCHMARK(BM_Format)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SafetyCheck)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace codekiln

BENCHMARK_MAIN();
