// Large buffers and the memory behind them. A buffer of many megabytes is
// first touched a page at a time as it is written; where the system can back
// it with large pages instead, far fewer of those first touches happen. The
// engine cannot ask the system itself, so the program hands it the call.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace codekiln {

/// Told of a large buffer's memory as soon as it is reserved, before
/// anything is written to it; it decides what is large enough to matter.
using LargeBufferAdvice = void (*)(const char* begin, std::size_t size);

/// Sets the advice for every large buffer reserved from now on. None by
/// default; set once, before any formatting starts.
void setLargeBufferAdvice(LargeBufferAdvice advice);

/// Tells the advice, where one is set, of [begin, begin + size).
void adviseLargeBuffer(const void* begin, std::size_t size);

/// `s.reserve(size)`, then the advice of the room reserved.
void reserveLarge(std::string& s, std::size_t size);

template <class T>
void reserveLarge(std::vector<T>& v, std::size_t size) {
    v.reserve(size);
    adviseLargeBuffer(v.data(), v.capacity() * sizeof(T));
}

}  // namespace codekiln
