// A text that one thread writes while another reads what is written so far:
// the output writer publishes its output after every block of lines, and
// the safety check follows behind it on a thread of its own. Every byte
// published stays where the reader saw it until the reader is done: when
// the text outgrows its room, the writer moves it into a larger buffer and
// hands the old one over to be kept.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace codekiln {

class PublishedText {
public:
    /// `crEnds`: the whole text will hold no LF, so its lines end at CR.
    /// `gather`: how many more bytes end a reader's wait (see waitBeyond).
    explicit PublishedText(bool crEnds, std::size_t gather = 1 << 16) : crEnds_(crEnds), gather_(gather) {}
    PublishedText(const PublishedText&) = delete;
    PublishedText& operator=(const PublishedText&) = delete;

    bool crEnds() const { return crEnds_; }

    // --- the writer's side (one thread) ---

    /// Where the writer's reading of its input has come to: the input before
    /// `offset` is read no more by the writer. Passed on with the next
    /// publish.
    void noteInput(std::size_t offset) { noted_ = offset; }
    /// The whole text written so far; its bytes must stay where they are
    /// (see `keep`).
    void publish(std::string_view written) {
        bool wake = false;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            text_ = written;
            inputMark_ = noted_;
            wake = waiting_ && text_.size() >= wanted_;
        }
        if (wake) changed_.notify_one();  // the reader is woken only once its wait is over
    }
    /// A buffer the text was moved out of: kept until this object goes.
    void keep(std::string old) { kept_.push_back(std::move(old)); }
    /// Nothing more is written; the last text published is the whole text.
    void finish() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            finished_ = true;
        }
        changed_.notify_one();
    }

    // --- the reader's side (one thread) ---

    struct Snapshot {
        std::string_view text;      ///< all that is published
        std::size_t inputMark = 0;  ///< the writer's input before this is read no more
        bool finished = false;      ///< `text` is the whole text
    };
    /// Waits until more than `size` bytes are published, or the text is
    /// finished. Small steps are gathered: the wait ends once `gather` more
    /// bytes are there, so the reader is not woken at every block.
    Snapshot waitBeyond(std::size_t size) {
        std::unique_lock<std::mutex> lock(mutex_);
        wanted_ = size + gather_;
        waiting_ = true;
        changed_.wait(lock, [&] { return finished_ || text_.size() >= wanted_; });
        waiting_ = false;
        return Snapshot{text_, inputMark_, finished_};
    }

private:
    const bool crEnds_;
    const std::size_t gather_;
    std::size_t noted_ = 0;  // the writer's own
    std::vector<std::string> kept_;

    std::mutex mutex_;
    std::condition_variable changed_;
    std::string_view text_;
    std::size_t inputMark_ = 0;
    bool finished_ = false;
    bool waiting_ = false;    // the reader waits for `wanted_` bytes
    std::size_t wanted_ = 0;
};

}  // namespace codekiln
