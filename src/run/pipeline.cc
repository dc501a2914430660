// The per-file pipeline. The input is split into lines once; the engine and
// the safety check both read those lines, so both see the file as the
// reader saw it.
#include "run/pipeline.h"

#include <string_view>
#include <utility>
#include <vector>

#include "format/format_file.h"
#include "format/safety_check.h"

namespace codekiln {

PipelineResult formatFileBytes(std::string original, const std::string& name, const FormatOptions& options,
                               DoLabelRecord& doLabels, Platform& platform, const PipelineOptions& pipeline) {
    PipelineResult result;
    TextFile file;
    Status status = platform.decodeText(std::move(original), name, file);
    if (!status) {
        result.end = PipelineEnd::NotDecoded;
        result.reason = status.message;
        return result;
    }

    const std::vector<std::string_view> lines = splitLines(file.text);
    const DoLabelRecord incoming = pipeline.untilStable ? doLabels : DoLabelRecord{};
    FormatOptions fileOptions = options;
    fileOptions.form = formForFile(options.form, name);  // auto: decided by the file's extension
    FormattedFile formatted = formatFile(lines, fileOptions, doLabels);
    result.passes = 1;
    // Each further pass reads the previous pass's text, starting from the
    // record as it came in; a pass whose output is its input shows the text
    // is stable. A file already in shape settles on its first pass.
    if (pipeline.untilStable && formatted.text != file.text) {
        for (;;) {
            if (result.passes == kMaxPasses) {
                result.end = PipelineEnd::Unstable;
                result.reason = name + ": still changing after " + std::to_string(kMaxPasses) +
                                " formatting passes; not formatted";
                return result;
            }
            DoLabelRecord record = incoming;
            FormattedFile next = formatText(formatted.text, fileOptions, record);
            result.passes += 1;
            const bool stable = next.text == formatted.text;
            formatted = std::move(next);
            doLabels = std::move(record);
            if (stable) break;
        }
    }
    result.lineCount = formatted.lineCount;
    // The new text must say what the old one said before anyone may use it.
    const SafetyVerdict verdict = checkSafety(lines, formatted.text, fileOptions.form);
    if (!verdict.same) {
        result.end = PipelineEnd::Refused;
        result.reason = name + ": " + verdict.reason + "; not formatted";
        return result;
    }
    std::string().swap(file.text);  // the input is no longer needed

    if (file.encoding == TextEncoding::Utf8 && !file.bom) {
        result.bytes = std::move(formatted.text);  // the engine's text is already the file's bytes
    } else {
        status = platform.encodeText(formatted.text, file.encoding, file.bom, name, result.bytes);
        if (!status) {
            result.end = PipelineEnd::NotEncoded;
            result.reason = status.message;
            return result;
        }
    }
    result.end = PipelineEnd::Formatted;
    return result;
}

}  // namespace codekiln
