// Letting go of memory a program holds but reads no more, without freeing
// the allocation it lies in, and asking for large pages behind large buffers.
#pragma once

#include <cstddef>

namespace codekiln {

/// Gives the whole memory pages inside [begin, begin + size) back to the
/// system; they read as zeros afterwards. The pages at either end that
/// reach outside the range are kept. Where the system has no such call,
/// nothing happens.
void releasePages(const char* begin, std::size_t size);

/// Asks the system to back the memory pages inside [begin, begin + size)
/// with large pages where it can, so that a large buffer is first touched
/// in few large steps rather than many small ones. Nothing else changes.
/// A range of less than a few megabytes, or a system without such a call,
/// is left as it is.
void adviseLargePages(const char* begin, std::size_t size);

}  // namespace codekiln
