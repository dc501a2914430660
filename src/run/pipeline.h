// One file through the steps every mode shares: decode, format, check that
// the new text says what the old one said, encode. The batch run writes the
// result, --stdout prints it and --check compares it; all three refuse the
// same files for the same reasons.
#pragma once

#include <cstdint>
#include <string>

#include "platform/platform.h"
#include "state/do_label_record.h"
#include "state/format_options.h"

namespace codekiln {

/// How one file came through the pipeline.
enum class PipelineEnd {
    Formatted,  ///< `bytes` holds the formatted file in its own encoding
    NotDecoded, ///< the bytes are not text in the encoding asked for; nothing was formatted
    Refused,    ///< the formatted text does not say what the old one said
    NotEncoded, ///< the formatted text cannot be held in the file's encoding
};

/// The result of the pipeline for one file.
struct PipelineResult {
    PipelineEnd end = PipelineEnd::NotDecoded;
    std::string reason;          ///< why, naming the file, unless formatted
    std::int64_t lineCount = 0;  ///< `lineCount`, once the file was decoded
    std::string bytes;           ///< the formatted file's bytes, when formatted

    bool formatted() const { return end == PipelineEnd::Formatted; }
};

/// Runs the file `name` with content `original` through decode, format,
/// safety check and encode. `doLabels` moves exactly as the engine moves it
/// whenever the file could be decoded, refused or not.
PipelineResult formatFileBytes(std::string original, const std::string& name, const FormatOptions& options,
                               DoLabelRecord& doLabels, Platform& platform);

}  // namespace codekiln
