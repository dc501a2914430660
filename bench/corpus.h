// The benchmark corpus: deterministic, realistic free-form Fortran made up on
// the spot, so that every machine measures the same bytes without shipping
// megabytes of sources. Modules with nested IF/DO/SELECT blocks, labelled DO
// loops, comments, character constants with runs of blanks, continuation
// lines and blank lines, laid out in the untidy ways people leave their code.
// Also the two stress shapes: many labelled DO loops in one file, and blocks
// nested very deep.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace codekiln::bench {

/// A small, fast pseudo-random source whose sequence is fixed by its seed on
/// every platform and standard library (splitmix64).
class Rng {
public:
    explicit Rng(std::uint64_t seed) : state_(seed) {}
    std::uint64_t next();
    /// A number in [0, n); n must be positive.
    std::size_t below(std::size_t n);
    /// A number in [lo, hi].
    std::size_t between(std::size_t lo, std::size_t hi) { return lo + below(hi - lo + 1); }
    /// True with the given chance in percent.
    bool chance(unsigned percent) { return below(100) < percent; }

private:
    std::uint64_t state_;
};

/// The size and make-up of a corpus.
struct CorpusOptions {
    std::size_t files = 3000;
    std::size_t totalBytes = 45000000;  ///< aimed at; files end at a whole program unit
    std::size_t bigFiles = 4;            ///< files of 1 MB and more among them
    std::uint64_t seed = 20240517;
};

/// One file of a corpus before it is generated.
struct CorpusFile {
    std::string name;         ///< file name, no folder; the plan's order is the name order
    std::size_t targetBytes;  ///< the file grows by whole procedures until it reaches this
    std::uint64_t seed;
};

/// The files of a corpus, in name order. Sizes spread log-uniformly between a
/// few and some tens of kilobytes, plus `bigFiles` files of 1.1 to 2.5 MB
/// (MB here and in every figure: a million bytes).
std::vector<CorpusFile> corpusPlan(const CorpusOptions& options);

/// The text of one planned file: one or more modules (or a main program),
/// every line ended by LF or, in some files, CR LF.
std::string generateFile(const CorpusFile& file);

/// A single program with `loops` labelled DO loops, some of them nested in
/// pairs that end at one shared label, and no other program unit.
std::string labelledDoFile(std::size_t loops);

/// A subroutine whose body nests IF, DO and SELECT blocks `depth` deep.
std::string nestedBlocksFile(std::size_t depth);

}  // namespace codekiln::bench
