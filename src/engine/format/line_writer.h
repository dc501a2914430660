// Appending output lines to one text, shared by the free-form and the
// fixed-form writers.
#pragma once

#include <string>
#include <string_view>

namespace codekiln {

/// Appends lines to the output text, each copied into place once. The caller
/// reserves room for the whole output: appending within it neither moves nor
/// pre-fills the text; past it the text grows as any string does.
class LineWriter {
public:
    LineWriter(std::string& out, std::string_view eol) : out_(out), eol_(eol) {}

    /// Writes `blanks` blanks, `text` and the line end.
    void line(std::size_t blanks, std::string_view text) {
        out_.append(blanks, ' ');
        out_.append(text.data(), text.size());
        out_.append(eol_.data(), eol_.size());
    }

private:
    std::string& out_;
    std::string_view eol_;
};

}  // namespace codekiln
