// Appending output lines to one text, shared by the free-form and the
// fixed-form writers.
#pragma once

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>

#include "engine/format/large_buffers.h"
#include "engine/format/published_text.h"

namespace codekiln {

/// Appends lines to the output text. Lines are gathered in a small block of
/// its own and the block is appended to the text whenever it fills, and when
/// the writer goes away: one append per block instead of three per line.
/// The caller reserves room for the whole output: appending within it
/// neither moves nor pre-fills the text; past it the text grows as any
/// string does. The text holds every line written once the writer is gone.
/// With `published`, the text is published after every block for a reader
/// on another thread, and it never moves: past its room it goes on in a
/// larger buffer and the old one is kept for the reader.
class LineWriter {
public:
    LineWriter(std::string& out, std::string_view eol, PublishedText* published = nullptr)
        : out_(out), eol_(eol), published_(published) {
        // A published text must lie outside the string object itself.
        if (published_ != nullptr && out_.capacity() < kBlock) out_.reserve(kBlock);
    }
    LineWriter(const LineWriter&) = delete;
    LineWriter& operator=(const LineWriter&) = delete;
    ~LineWriter() { flush(); }

    /// Writes `blanks` blanks, `text` and the line end.
    void line(std::size_t blanks, std::string_view text) {
        const std::size_t size = blanks + text.size() + eol_.size();
        if (size > kBlock - used_) {
            flush();
            if (size > kBlock) {  // a line longer than the block goes straight to the text
                makeRoom(size);
                out_.append(blanks, ' ');
                out_.append(text.data(), text.size());
                out_.append(eol_.data(), eol_.size());
                if (published_ != nullptr) published_->publish(out_);
                return;
            }
        }
        char* p = block_ + used_;
        std::memset(p, ' ', blanks);
        p += blanks;
        if (!text.empty()) std::memcpy(p, text.data(), text.size());
        p += text.size();
        for (char c : eol_) *p++ = c;
        used_ += size;
    }

    /// Appends what is gathered to the text.
    void flush() {
        makeRoom(used_);
        out_.append(block_, used_);
        used_ = 0;
        if (published_ != nullptr) published_->publish(out_);
    }

private:
    /// A published text that has no room left for `size` more bytes goes on
    /// in a buffer twice as large; the old one is kept for the reader.
    void makeRoom(std::size_t size) {
        if (published_ == nullptr || out_.capacity() - out_.size() >= size) return;
        std::string larger;
        reserveLarge(larger, std::max(out_.size() + size, 2 * out_.capacity()));
        larger.append(out_);
        out_.swap(larger);
        published_->keep(std::move(larger));
    }

    static constexpr std::size_t kBlock = 16384;
    std::string& out_;
    std::string_view eol_;
    PublishedText* published_;
    std::size_t used_ = 0;
    char block_[kBlock];
};

}  // namespace codekiln
