// Where a file's lines end, as the reader sees them. A text that holds an LF
// splits at each LF, the CR right before it belonging to the line end (any
// other CR is a character of its line, as in "a<CR>b" inside a constant); a
// text without any LF, an old Mac file, splits at each CR. A line end at the
// very end of the text starts no further line.
#pragma once

#include <cstddef>
#include <cstring>
#include <string_view>

namespace codekiln {

/// Walks the lines of a text one at a time, without building a list.
class LineSplitter {
public:
    explicit LineSplitter(std::string_view text)
        : text_(text), crEnds_(std::memchr(text.data(), '\n', text.size()) == nullptr) {}
    /// A part of a text whose line ends are known to be CRs (`crEnds`) or LFs.
    LineSplitter(std::string_view text, bool crEnds) : text_(text), crEnds_(crEnds) {}

    /// The next line's content and its line end ("\n", "\r\n", "\r", or ""
    /// for a last line without one); false after the last line.
    bool next(std::string_view& content, std::string_view& end) {
        const std::size_t n = text_.size();
        if (pos_ >= n) return false;
        const char* base = text_.data();
        const void* stop = std::memchr(base + pos_, crEnds_ ? '\r' : '\n', n - pos_);
        const std::size_t stopAt = stop ? static_cast<std::size_t>(static_cast<const char*>(stop) - base) : n;
        std::size_t contentEnd = stopAt;
        if (stop && !crEnds_ && contentEnd > pos_ && base[contentEnd - 1] == '\r') --contentEnd;
        content = text_.substr(pos_, contentEnd - pos_);
        end = stop ? text_.substr(contentEnd, stopAt + 1 - contentEnd) : std::string_view();
        pos_ = stop ? stopAt + 1 : n;
        return true;
    }
    bool next(std::string_view& content) {
        std::string_view end;
        return next(content, end);
    }

    /// Whether the text splits at CR (it holds no LF).
    bool crEnds() const { return crEnds_; }
    /// Where the next line starts.
    std::size_t position() const { return pos_; }
    /// Goes on from `pos`, the start of a line.
    void skipTo(std::size_t pos) { pos_ = pos; }

private:
    std::string_view text_;
    bool crEnds_;
    std::size_t pos_ = 0;
};

}  // namespace codekiln
