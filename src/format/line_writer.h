// Appending output lines to one text, shared by the free-form and the
// fixed-form writers.
#pragma once

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>

namespace codekiln {

/// Appends lines to the output text. The text grows geometrically (the
/// growth fills the new room once) and is cut to what was written at the
/// end, so each line is copied into place exactly once.
class LineWriter {
public:
    LineWriter(std::string& out, std::string_view eol) : out_(out), eol_(eol), used_(out.size()) {}
    ~LineWriter() { out_.resize(used_); }

    /// Writes `blanks` blanks, `text` and the line end.
    void line(std::size_t blanks, std::string_view text) {
        const std::size_t need = used_ + blanks + text.size() + eol_.size();
        if (need > out_.size()) out_.resize(std::max(need, out_.size() * 2 + 4096));
        char* p = &out_[used_];
        std::memset(p, ' ', blanks);
        p += blanks;
        if (!text.empty()) std::memcpy(p, text.data(), text.size());
        p += text.size();
        std::memcpy(p, eol_.data(), eol_.size());
        used_ = need;
    }

private:
    std::string& out_;
    std::string_view eol_;
    std::size_t used_;
};

}  // namespace codekiln
