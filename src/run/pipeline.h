// One file through the steps every mode shares: decode, format, check that
// the new text says what the old one said, encode. The batch run writes the
// result, --stdout prints it and --check compares it; all three refuse the
// same files for the same reasons.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include <vector>

#include "engine/format/modern_layout.h"
#include "platform/text_codec.h"
#include "engine/state/do_label_record.h"
#include "engine/state/format_options.h"

namespace codekiln {

/// How one file came through the pipeline.
enum class PipelineEnd {
    Formatted,  ///< `bytes` holds the formatted file in its own encoding
    NotDecoded, ///< the bytes are not text in the encoding asked for; nothing was formatted
    Refused,    ///< the formatted text does not say what the old one said
    NotEncoded, ///< the formatted text cannot be held in the file's encoding
    Unstable,   ///< --until-stable: the text still changed after kMaxPasses passes
};

/// Seconds spent in the formatting passes and in the safety check, added up
/// over the files of a run (the benchmark's breakdown of a batch run).
struct PipelineTimes {
    double format = 0;
    double check = 0;
};

/// How the pipeline runs the formatting pass.
struct PipelineOptions {
    /// Repeat the pass in memory until its output equals its input. A single
    /// pass may not be stable: a run of blanks is shortened once per pass
    /// (16 blanks become 4, then 1), so a file may need a few passes.
    bool untilStable = false;
    /// Where set, the time of each file's passes and check is added to it.
    PipelineTimes* times = nullptr;
    /// The in-place pass (`chuli`) only: what of the checked formatting it
    /// writes, from the bytes read and the formatted bytes (--changed keeps
    /// the changes on the lines git sees changed). Unset: all of it.
    std::function<std::string(const std::string& original, const std::string& formatted)> keep = {};
    /// A run over several files: how many are read and formatted at once,
    /// ahead of their turn (see runFiles); 0: as many as the machine has
    /// cores. 1 works through the files strictly one after the other.
    int jobs = 0;
    /// A run over files on disk (`chuli`, runFiles): how their bytes are
    /// decoded. formatFileBytes itself takes the choice it is given.
    EncodingChoice encoding = EncodingChoice::Auto;
    /// A single pass over a free-form file in the classic layout is checked
    /// on a second thread as its output is written, instead of after it.
    /// Other passes are checked after formatting.
    bool checkAlongside = false;
    /// With `checkAlongside`: told of the decoded input's bytes that neither
    /// the pass nor the check reads again, so that their memory can be let
    /// go; the bytes may be gone afterwards.
    std::function<void(const char* begin, std::size_t size)> releaseInput = {};
};

/// The most passes --until-stable makes before it gives up on a file. Each
/// pass at least quarters the longest run of blanks, so real files settle
/// within a handful.
inline constexpr int kMaxPasses = 32;

/// The result of the pipeline for one file.
struct PipelineResult {
    PipelineEnd end = PipelineEnd::NotDecoded;
    Reason reason;               ///< why, naming the file, unless formatted
    std::int64_t lineCount = 0;  ///< `lineCount`, once the file was decoded (of the last pass)
    int passes = 0;              ///< formatting passes made
    std::string bytes;           ///< the formatted file's bytes, when formatted
    /// The modern layout's findings on the block structure, in line order;
    /// they never stop a file from being formatted.
    std::vector<StructureWarning> warnings;

    bool formatted() const { return end == PipelineEnd::Formatted; }
};

/// One warning as the command line prints it: "a.f90:40: end do closes
/// nothing", or "a.f90: if at line 12 is never closed" for the whole file.
inline std::string warningText(const std::string& name, const StructureWarning& warning) {
    return warning.line > 0 ? name + ":" + std::to_string(warning.line) + ": " + warning.message
                            : name + ": " + warning.message;
}

/// Runs the file `name` with content `original` through decode (as
/// `encoding` says), format, safety check and encode: bytes in, bytes out,
/// no file system. `doLabels` moves exactly as the engine moves it
/// whenever the file could be decoded, refused or not. With
/// `pipeline.untilStable`, every pass starts from the record as it came in,
/// and the record is left as the last pass (over the stable text) left it, so
/// the next file sees what a later single pass over this result would give
/// it; the safety check compares the last text with the original. With the
/// modern layout the record is left alone, one pass is made (its output is
/// stable), and a second check proves only leading and trailing blanks changed.
PipelineResult formatFileBytes(std::string original, const std::string& name, const FormatOptions& options,
                               DoLabelRecord& doLabels, EncodingChoice encoding,
                               const PipelineOptions& pipeline = {});

}  // namespace codekiln
