// Work done ahead on a pool of threads and handed over in order. Item i is
// prepared by whichever worker is free, never more than `window` items ahead
// of the one the caller takes next, and the caller takes items 0, 1, 2, ...
// one at a time, each once it is ready. Stopping (or destroying the pool)
// lets every worker finish the item it holds and prepare no more.
#pragma once

#include <algorithm>
#include <condition_variable>
#include <cstddef>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

#include "engine/state/do_label_record.h"

namespace codekiln {

/// The number of files a run works on at once when none is asked for: the
/// machine's cores, at least one.
inline int defaultJobs() { return static_cast<int>(std::max(1u, std::thread::hardware_concurrency())); }

/// The labelled-DO record files are formatted ahead from: the one the last
/// file done left, the likeliest record the next ones receive. The thread
/// that takes the files in order sets it; workers read it.
class RecordHint {
public:
    explicit RecordHint(DoLabelRecord first = {}) : value_(std::move(first)) {}
    DoLabelRecord get() const {
        const std::lock_guard<std::mutex> lock(mutex_);
        return value_;
    }
    /// Called by the one thread that sets the hint, so reading it first
    /// needs no lock.
    void set(const DoLabelRecord& left) {
        if (left == value_) return;
        const std::lock_guard<std::mutex> lock(mutex_);
        value_ = left;
    }

private:
    mutable std::mutex mutex_;
    DoLabelRecord value_;
};

template <class T>
class ReadAhead {
public:
    /// `count` items, `workers` threads, at most `window` items prepared or
    /// being prepared that the caller has not yet taken.
    ReadAhead(std::size_t count, int workers, std::size_t window, std::function<T(std::size_t)> prepare)
        : count_(count), window_(std::max<std::size_t>(window, 1)), prepare_(std::move(prepare)),
          slots_(std::min(window_, std::max<std::size_t>(count, 1))) {
        for (int k = 0; k < workers; ++k) threads_.emplace_back([this] { work(); });
    }
    ~ReadAhead() { stop(); }
    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;

    /// Item `i`, the next in order, once prepared; what its preparation threw
    /// is thrown here.
    T take(std::size_t i) {
        std::unique_lock<std::mutex> lock(mutex_);
        next_ = i;
        Slot& slot = slots_[i % slots_.size()];
        ready_.wait(lock, [&] { return slot.index == i && (slot.value || slot.error); });
        std::optional<T> value = std::move(slot.value);
        const std::exception_ptr error = slot.error;
        slot = Slot{};
        next_ = i + 1;  // this slot is free for item i + window
        lock.unlock();
        moved_.notify_all();
        if (error) std::rethrow_exception(error);
        return std::move(*value);
    }

    /// Prepares nothing more; returns once every worker has let go.
    void stop() {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            stopped_ = true;
        }
        moved_.notify_all();
        for (std::thread& thread : threads_) thread.join();
        threads_.clear();
    }

private:
    struct Slot {
        std::size_t index = static_cast<std::size_t>(-1);
        std::optional<T> value;
        std::exception_ptr error;
    };

    void work() {
        for (;;) {
            std::size_t i = 0;
            {
                std::unique_lock<std::mutex> lock(mutex_);
                moved_.wait(lock, [&] { return stopped_ || started_ >= count_ || started_ < next_ + slots_.size(); });
                if (stopped_ || started_ >= count_) return;
                i = started_++;
            }
            Slot done;
            done.index = i;
            try {
                done.value.emplace(prepare_(i));
            } catch (...) {
                done.error = std::current_exception();
            }
            {
                const std::lock_guard<std::mutex> lock(mutex_);
                slots_[i % slots_.size()] = std::move(done);
            }
            ready_.notify_all();
        }
    }

    const std::size_t count_;
    const std::size_t window_;
    const std::function<T(std::size_t)> prepare_;
    std::mutex mutex_;
    std::condition_variable ready_;  ///< an item was prepared
    std::condition_variable moved_;  ///< the caller took an item, or the pool stops
    std::vector<Slot> slots_;        ///< item i waits in slot i % size
    std::size_t next_ = 0;           ///< the item the caller takes next
    std::size_t started_ = 0;        ///< items handed to workers so far
    bool stopped_ = false;
    std::vector<std::thread> threads_;
};

}  // namespace codekiln
