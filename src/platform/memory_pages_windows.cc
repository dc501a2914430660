#include "platform/memory_pages.h"

namespace codekiln {

// The heap's pages stay where they are: a run there peaks with its whole
// input and output in memory.
void releasePages(const char*, std::size_t) {}

// Large pages need a privilege an ordinary user lacks.
void adviseLargePages(const char*, std::size_t) {}

}  // namespace codekiln
