// The per-file pipeline. The engine and the safety check both split the
// decoded text into lines as `splitLines` does, so both see the file as the
// reader saw it.
#include "run/pipeline.h"

#include <chrono>
#include <exception>
#include <system_error>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "engine/format/format_file.h"
#include "engine/format/line_splitter.h"
#include "engine/format/safety_check.h"
#include "run/modern_check.h"

namespace codekiln {

namespace {

using Clock = std::chrono::steady_clock;

// Adds the time since `from` to `total` when times are taken; returns now.
Clock::time_point lap(PipelineTimes* times, double PipelineTimes::*total, Clock::time_point from) {
    if (times == nullptr) return from;
    const Clock::time_point now = Clock::now();
    times->*total += std::chrono::duration<double>(now - from).count();
    return now;
}

// What the safety check found, as a failure.
Reason differenceOf(const SafetyVerdict& verdict) {
    Why code = Why::LineChanged;
    switch (verdict.difference) {
        case SafetyDifference::None:
        case SafetyDifference::LineChanged:
            code = Why::LineChanged;
            break;
        case SafetyDifference::LineMissing:
            code = Why::LineMissing;
            break;
        case SafetyDifference::AddedText:
            code = Why::AddedText;
            break;
        case SafetyDifference::ConstantChanged:
            code = Why::ConstantChanged;
            break;
        case SafetyDifference::ConstantMissing:
            code = Why::ConstantMissing;
            break;
        case SafetyDifference::AddedConstant:
            code = Why::AddedConstant;
            break;
        case SafetyDifference::CommentChanged:
            code = Why::CommentChanged;
            break;
        case SafetyDifference::LabelFieldChanged:
            code = Why::LabelFieldChanged;
            break;
        case SafetyDifference::BeyondColumn72Changed:
            code = Why::BeyondColumn72Changed;
            break;
        case SafetyDifference::FixedConstantChanged:
            code = Why::FixedConstantChanged;
            break;
    }
    return Status::failure(code).at(verdict.line).reason;
}

// The file `name` left unformatted because of `found`.
Reason refusal(const std::string& name, Reason found) {
    return Status::failure(Why::NotFormatted, name).because(std::move(found)).reason;
}

// Encodes the checked text in the file's own encoding and BOM.
void encodeResult(std::string text, const TextFile& file, const std::string& name, PipelineResult& result) {
    if (file.encoding == TextEncoding::Utf8 && !file.bom) {
        result.bytes = std::move(text);  // the engine's text is already the file's bytes
    } else {
        const Status status = encodeText(text, file.encoding, file.bom, name, result.bytes);
        if (!status) {
            result.end = PipelineEnd::NotEncoded;
            result.reason = status.reason;
            return;
        }
    }
    result.end = PipelineEnd::Formatted;
}

// The modern layout: one pass (its output is stable), each line keeping its
// own line end, no banners; the labelled-DO record is not touched.
PipelineResult formatModernFile(TextFile& file, const std::string& name, const FormatOptions& options) {
    PipelineResult result;
    ModernOptions modern;
    modern.indentWidth = options.indentWidth;
    modern.indentElse = options.indentElse;
    modern.form = formForFile(options.form, name);
    ModernFile formatted = formatModern(file.text, modern);
    result.passes = 1;
    result.warnings = std::move(formatted.warnings);
    std::int64_t codeLines = 0;
    LineSplitter lines(file.text);
    for (std::string_view line; lines.next(line);)
        if (line.find_first_not_of(" \t") != std::string_view::npos) ++codeLines;
    result.lineCount = codeLines;
    // Both checks: the statements and constants say what they said, and
    // nothing but leading and trailing blanks moved. Both walk the texts as
    // they split them.
    const SafetyVerdict verdict = checkSafety(file.text, formatted.text, modern.form);
    const Status kept =
        verdict.same ? checkModernLines(file.text, formatted.text, modern.form) : Status::success();
    if (!verdict.same || !kept) {
        result.end = PipelineEnd::Refused;
        result.reason = refusal(name, verdict.same ? kept.reason : differenceOf(verdict));
        return result;
    }
    std::string().swap(file.text);  // the input is no longer needed
    encodeResult(std::move(formatted.text), file, name, result);
    return result;
}

// One pass over a free-form text with the safety check following the
// output on a second thread: the verdict is the one the check gives after
// the pass, and the input the two have left behind is let go on the way.
// False, with nothing done, when no thread can be started.
bool formatAndCheckAlongside(const std::string& text, const FormatOptions& options, DoLabelRecord& doLabels,
                             const PipelineOptions& pipeline, FormattedFile& formatted, SafetyVerdict& verdict) {
    PublishedText published(false);  // the output's lines end in CR LF
    std::size_t released = 0;
    const std::function<void(std::size_t)> inputDone = [&](std::size_t done) {
        pipeline.releaseInput(text.data() + released, done - released);
        released = done;
    };
    std::exception_ptr checkFailed;
    std::thread check;
    try {
        check = std::thread([&] {
            try {
                verdict = checkSafetyAsWritten(text, published, pipeline.releaseInput ? inputDone : nullptr);
            } catch (...) {
                checkFailed = std::current_exception();
            }
        });
    } catch (const std::system_error&) {
        return false;
    }
    try {
        formatted = formatText(text, options, doLabels, "\r\n", &published, LineReading::AheadOnSecondThread);
    } catch (...) {
        published.finish();
        check.join();
        throw;
    }
    published.finish();
    check.join();
    if (checkFailed) std::rethrow_exception(checkFailed);
    return true;
}

}  // namespace

PipelineResult formatFileBytes(std::string original, const std::string& name, const FormatOptions& options,
                               DoLabelRecord& doLabels, EncodingChoice encoding, const PipelineOptions& pipeline) {
    PipelineResult result;
    TextFile file;
    Status status = decodeText(std::move(original), encoding, name, file);
    if (!status) {
        result.end = PipelineEnd::NotDecoded;
        result.reason = status.reason;
        return result;
    }

    PipelineTimes* const times = pipeline.times;
    Clock::time_point started = times != nullptr ? Clock::now() : Clock::time_point{};
    if (options.style == LayoutStyle::Modern) return formatModernFile(file, name, options);
    const DoLabelRecord incoming = pipeline.untilStable ? doLabels : DoLabelRecord{};
    FormatOptions fileOptions = options;
    fileOptions.form = formForFile(options.form, name);  // auto: decided by the file's extension
    FormattedFile formatted;
    SafetyVerdict verdict;
    result.passes = 1;
    if (pipeline.checkAlongside && !pipeline.untilStable && times == nullptr && fileOptions.form == SourceForm::Free &&
        formatAndCheckAlongside(file.text, fileOptions, doLabels, pipeline, formatted, verdict)) {
        result.lineCount = formatted.lineCount;
    } else {
        // The text is read line by line where it lies: no list of its lines.
        formatted = formatText(file.text, fileOptions, doLabels);
        // Each further pass reads the previous pass's text, starting from the
        // record as it came in; a pass whose output is its input shows the text
        // is stable. A file already in shape settles on its first pass.
        if (pipeline.untilStable && formatted.text != file.text) {
            for (;;) {
                if (result.passes == kMaxPasses) {
                    result.end = PipelineEnd::Unstable;
                    result.reason = Status::failure(Why::Unstable, name).at(kMaxPasses).reason;
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
        started = lap(times, &PipelineTimes::format, started);
        // The new text must say what the old one said before anyone may use it.
        verdict = checkSafety(file.text, formatted.text, fileOptions.form);
        lap(times, &PipelineTimes::check, started);
    }
    if (!verdict.same) {
        result.end = PipelineEnd::Refused;
        result.reason = refusal(name, differenceOf(verdict));
        return result;
    }
    std::string().swap(file.text);  // the input is no longer needed

    encodeResult(std::move(formatted.text), file, name, result);
    return result;
}

}  // namespace codekiln
