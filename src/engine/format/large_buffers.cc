#include "engine/format/large_buffers.h"

#include <atomic>

namespace codekiln {
namespace {

std::atomic<LargeBufferAdvice> advice{nullptr};

}  // namespace

void setLargeBufferAdvice(LargeBufferAdvice given) { advice.store(given, std::memory_order_relaxed); }

void adviseLargeBuffer(const void* begin, std::size_t size) {
    if (const LargeBufferAdvice call = advice.load(std::memory_order_relaxed))
        call(static_cast<const char*>(begin), size);
}

void reserveLarge(std::string& s, std::size_t size) {
    s.reserve(size);
    adviseLargeBuffer(s.data() + s.size(), s.capacity() - s.size());
}

}  // namespace codekiln
