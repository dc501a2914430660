// Letting go of memory a program holds but reads no more, without freeing
// the allocation it lies in.
#pragma once

#include <cstddef>

namespace codekiln {

/// Gives the whole memory pages inside [begin, begin + size) back to the
/// system; they read as zeros afterwards. The pages at either end that
/// reach outside the range are kept. Where the system has no such call,
/// nothing happens.
void releasePages(const char* begin, std::size_t size);

}  // namespace codekiln
