// For every stored line the classifier moves the running indentation; a line
// that opens a block is written at the indentation in force before it, every
// other line at the one after it (so an END line stands at the lowered
// level), else, elseif and case lines one step back when asked for, and a
// line that closes labelled DO loops at the level of their DO statement.
#include "engine/format/output_writer.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <exception>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>

#include "engine/doloop/do_labels.h"
#include "engine/format/banners.h"
#include "engine/format/large_buffers.h"
#include "engine/format/line_splitter.h"
#include "engine/format/line_writer.h"
#include "engine/indent/tuihang.h"
#include "engine/state/text.h"

namespace codekiln {
namespace {

/// Whether `t` is a preprocessor line: its first non-blank character is "#".
bool isPreprocessorLine(std::string_view t) {
    const std::string_view trimmed = trimBlanks(t);
    return !trimmed.empty() && trimmed.front() == '#';
}

/// Whether one of the move-back tokens (" else ", " elseif ", " case ")
/// stands in `testLine` as the classifier leaves it: framed for a line that
/// is not a comment line (the classifier's word walk tells), as it is for a
/// comment line.
bool movesBack(std::string_view testLine, const LineClass& line) {
    if (line.kind != LineKind::Comment) return line.movesBack;
    for (std::string_view token : moveBackTokens)
        if (contains(testLine, token)) return true;
    return false;
}

/// The cleaned lines of a text, read one at a time.
class CleanedText {
public:
    CleanedText(std::string_view text, const FormatOptions& options) : lines_(text), cleaner_(options) {}
    bool next(CleanedLine& line) {
        for (std::string_view raw; lines_.next(raw);) {
            rawStart_ = raw.data();
            if (cleaner_.clean(raw, line)) return true;
        }
        return false;
    }
    /// Where the raw line of the last line read starts.
    const char* rawStart() const { return rawStart_; }

private:
    LineSplitter lines_;
    LineCleaner cleaner_;
    const char* rawStart_ = nullptr;
};

/// The separator banner's look-ahead over the lines not yet written: a
/// second reading, started after the line that closed the unit and kept for
/// the next banner, so that no line is examined twice. It moves `heading`
/// exactly as `banner::lookAhead` moves it over the stored lines.
class HeaderSearch {
public:
    /// After line `i`, which closed a unit, with `rest` reading the lines
    /// after it. False when line `i` is the last line: no banner follows.
    bool after(std::size_t i, const CleanedText& rest, banner::UnitHeading& heading) {
        constexpr std::size_t kNowhere = static_cast<std::size_t>(-1);
        if (heading.headerLine != kNowhere && heading.headerLine > i) return true;
        if (heading.scannedTo <= i + 1) {
            reading_ = rest;
            if (!fetch(pending_)) return false;
            pendingIndex_ = i + 1;
        }
        // `pending_` is line `pendingIndex_`; the last line is never examined.
        for (;;) {
            if (!fetch(following_)) return true;
            const std::size_t j = pendingIndex_;
            heading.scannedTo = j + 1;
            const bool found = banner::readUnitHeader(pending_, heading);
            pending_.swap(following_);
            pendingIndex_ = j + 1;
            if (found) {
                heading.headerLine = j;
                return true;
            }
        }
    }

private:
    bool fetch(std::string& into) {
        CleanedLine line;
        if (!reading_ || !reading_->next(line)) return false;
        into.assign(line.text);
        return true;
    }

    std::optional<CleanedText> reading_;
    std::string pending_;
    std::string following_;
    std::size_t pendingIndex_ = 0;
};

/// One line cleaned and read ahead of the writer.
struct PreparedLine {
    std::size_t at = 0;        // where its text starts: in the input, or in its chunk's copies
    std::size_t size = 0;
    std::size_t rawStart = 0;  // where its raw line starts in the input
    bool copied = false;
    bool verbatim = false;
    RunningIndent::Reading reading;
};

/// Lines prepared together, the cleaned texts among them that do not lie in
/// the input, and for each line that closes a program unit (with separator
/// banners on) the reading of the lines after it, for the look-ahead.
struct PreparedChunk {
    std::vector<PreparedLine> lines;
    std::string copies;
    std::vector<CleanedText> rest;
    bool last = false;  // no line follows this chunk

    std::string_view text(const PreparedLine& line, std::string_view input) const {
        return (line.copied ? std::string_view(copies) : input).substr(line.at, line.size);
    }
};

/// Cleans and reads the lines of a text on a second thread, a chunk at a
/// time, while the writer places and writes the lines before them. The
/// cleaning runs through the lines in order, as the writer's own would, and
/// reading a line needs nothing but the line: what the writer does with a
/// prepared line is what it does with a line it read itself.
class LinesAhead {
public:
    LinesAhead(std::string_view text, const FormatOptions& options) : text_(text), options_(options) {
        for (PreparedChunk& chunk : chunks_) free_.push_back(&chunk);
        try {
            thread_ = std::thread([this] { prepare(); });
        } catch (const std::system_error&) {
            // No second thread: the writer reads the lines itself.
        }
    }
    LinesAhead(const LinesAhead&) = delete;
    LinesAhead& operator=(const LinesAhead&) = delete;
    ~LinesAhead() {
        if (!thread_.joinable()) return;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stopping_ = true;
        }
        changed_.notify_all();
        thread_.join();
    }

    bool started() const { return thread_.joinable(); }

    /// The next chunk, once it is prepared; hand it back with `done`.
    PreparedChunk& next() {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] { return !ready_.empty() || failed_; });
        if (ready_.empty()) std::rethrow_exception(failed_);
        PreparedChunk* chunk = ready_.front();
        ready_.pop_front();
        return *chunk;
    }
    void done(PreparedChunk& chunk) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            free_.push_back(&chunk);
        }
        changed_.notify_all();
    }

private:
    static constexpr std::size_t kChunks = 4;
    static constexpr std::size_t kChunkLines = 4096;

    void prepare() {
        try {
            CleanedText reading(text_, options_);
            LowerCaseCopy testLine;
            for (bool more = true; more;) {
                PreparedChunk* chunk = nullptr;
                {
                    std::unique_lock<std::mutex> lock(mutex_);
                    changed_.wait(lock, [&] { return !free_.empty() || stopping_; });
                    if (stopping_) return;
                    chunk = free_.front();
                    free_.pop_front();
                }
                fill(*chunk, reading, testLine, more);
                {
                    std::lock_guard<std::mutex> lock(mutex_);
                    ready_.push_back(chunk);
                }
                changed_.notify_all();
            }
        } catch (...) {
            {
                std::lock_guard<std::mutex> lock(mutex_);
                failed_ = std::current_exception();
            }
            changed_.notify_all();
        }
    }

    void fill(PreparedChunk& chunk, CleanedText& reading, LowerCaseCopy& testLine, bool& more) {
        chunk.lines.clear();
        chunk.copies.clear();
        chunk.rest.clear();
        chunk.lines.reserve(kChunkLines);
        CleanedLine line;
        while (chunk.lines.size() < kChunkLines && (more = reading.next(line))) {
            PreparedLine prepared;
            prepared.rawStart = static_cast<std::size_t>(reading.rawStart() - text_.data());
            prepared.size = line.text.size();
            prepared.copied = line.copied;
            prepared.verbatim = line.verbatim;
            if (line.copied) {
                prepared.at = chunk.copies.size();
                chunk.copies.append(line.text);
            } else if (!line.text.empty()) {
                prepared.at = static_cast<std::size_t>(line.text.data() - text_.data());
            }
            prepared.reading = RunningIndent::read(line.text, testLine);
            if (options_.showSeparators && prepared.reading.line.endsUnit()) chunk.rest.push_back(reading);
            chunk.lines.push_back(prepared);
        }
        chunk.last = !more;
    }

    std::string_view text_;
    const FormatOptions& options_;
    PreparedChunk chunks_[kChunks];

    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<PreparedChunk*> free_;
    std::deque<PreparedChunk*> ready_;
    bool stopping_ = false;
    std::exception_ptr failed_;
    std::thread thread_;  // last: started once everything above is there
};

}  // namespace

std::size_t effectiveIndent(std::int64_t columns, std::string_view text) {
    if (columns <= 0 || isPreprocessorLine(text)) return 0;
    const auto wanted = static_cast<std::size_t>(columns);
    if (wanted + text.size() <= kMaxLineChars) return wanted;  // characters never outnumber bytes
    const std::size_t length = countChars(text);
    if (wanted + length <= kMaxLineChars) return wanted;
    return length <= kMaxLineChars ? kMaxLineChars - length : 0;
}

RunningIndent::Reading RunningIndent::read(std::string_view text, LowerCaseCopy& testLine) {
    const std::string_view dm = testLine.assign(trimBlanks(text));
    Reading reading;
    reading.line = classifyLine(dm);
    reading.movesBack = movesBack(dm, reading.line);
    reading.elseAndThen = reading.line.opens() && contains(dm, "else") && contains(dm, "then");
    return reading;
}

RunningIndent::Placement RunningIndent::next(std::string_view text, const Reading& reading) {
    const LineClass line = placeLine(reading.line, indentColumns_);
    indentColumns_ = line.indentAfter;

    Placement placement;
    if (!line.opens()) {
        std::int64_t n = indentColumns_;
        if (options_.indentElse && reading.movesBack) n -= 4;
        placement.columns = n;
    } else {
        if (reading.elseAndThen) {
            indentColumns_ -= 4;
            indentBefore_ -= 4;
        }
        placement.columns = indentBefore_;  // none when indentBefore is negative
    }

    // The labelled-DO operations see the line as it will be written; they
    // trim it, so the text alone stands for it.
    if (line.kind == LineKind::Comment || line.doWord) do77(text, doLabels_);  // a DO statement has the word do
    if (continucl(text, doLabels_, indentColumns_)) placement.columns = indentColumns_;
    placement.endsUnit = line.endsUnit();
    indentBefore_ = indentColumns_;
    return placement;
}

void writeOutput(const StoredLines& stored, std::int64_t lineCount, const FormatOptions& options,
                 DoLabelRecord& doLabels, std::string& out, std::string_view eol) {
    RunningIndent indent(options, doLabels);
    LineWriter writer(out, eol);
    for (const std::string& line : banner::headerLines(lineCount)) writer.line(0, line);

    banner::SeparatorWriter separators;
    const std::size_t count = stored.size();
    for (std::size_t i = 0; i < count; ++i) {
        const std::string_view text = stored.text(i);
        const RunningIndent::Placement place = indent.next(text);
        writer.line(stored.verbatim(i) ? 0 : effectiveIndent(place.columns, text), text);

        // `unitEnded`: the line just written closed a program unit.
        if (options.showSeparators && place.endsUnit) separators.writeAfter(stored, i, doLabels, writer);
    }
}

}  // namespace codekiln

namespace codekiln {

std::int64_t writeFreeFormText(std::string_view text, const FormatOptions& options, DoLabelRecord& doLabels,
                               std::string& out, std::string_view eol, PublishedText* published, LineReading reading) {
    // Started first, so that the lines are prepared while they are counted.
    std::optional<LinesAhead> ahead;
    if (reading == LineReading::AheadOnSecondThread) {
        ahead.emplace(text, options);
        if (!ahead->started()) ahead.reset();
    }
    std::int64_t lineCount = 0;
    std::size_t rawLines = 0;
    LineSplitter counter(text);
    for (std::string_view raw; counter.next(raw); ++rawLines)
        if (isCodeLine(raw)) ++lineCount;
    const std::size_t bytes = text.size() + rawLines * eol.size();
    reserveLarge(out, out.size() + bytes + bytes / 2 + 1024);  // room for the banners and indentation

    RunningIndent indent(options, doLabels);
    LineWriter writer(out, eol, published);
    for (const std::string& line : banner::headerLines(lineCount)) writer.line(0, line);

    banner::SeparatorWriter separators;
    HeaderSearch search;
    std::size_t i = 0;
    // One line, read as `lineReading`, whose raw line starts at `rawStart`;
    // `rest` reads the lines after it (given at least for a line that closes
    // a unit). The input before the raw line is read
    // no more: the look-ahead for separator banners reads only the lines
    // after it.
    auto writeLine = [&](std::string_view line, bool verbatim, std::size_t rawStart,
                         const RunningIndent::Reading& lineReading, const CleanedText* rest) {
        if (published != nullptr) published->noteInput(rawStart);
        const RunningIndent::Placement place = indent.next(line, lineReading);
        writer.line(verbatim ? 0 : effectiveIndent(place.columns, line), line);
        if (options.showSeparators && place.endsUnit) {
            const std::size_t headerBefore = separators.heading().headerLine;
            if (search.after(i, *rest, separators.heading())) separators.write(headerBefore, doLabels, writer);
        }
        ++i;
    };
    if (ahead) {
        for (bool last = false; !last;) {
            PreparedChunk& chunk = ahead->next();
            std::size_t rest = 0;
            for (const PreparedLine& prepared : chunk.lines) {
                // Only a unit-closing line has a reading of the lines after it.
                const bool closes = options.showSeparators && prepared.reading.line.endsUnit();
                writeLine(chunk.text(prepared, text), prepared.verbatim, prepared.rawStart, prepared.reading,
                          closes ? &chunk.rest[rest++] : nullptr);
            }
            last = chunk.last;
            ahead->done(chunk);
        }
        return lineCount;
    }
    CleanedText lines(text, options);
    LowerCaseCopy testLine;
    for (CleanedLine line; lines.next(line);) {
        writeLine(line.text, line.verbatim, static_cast<std::size_t>(lines.rawStart() - text.data()),
                  RunningIndent::read(line.text, testLine), &lines);
    }
    return lineCount;
}

}  // namespace codekiln
