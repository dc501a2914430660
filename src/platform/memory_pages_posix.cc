#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>

#include "platform/memory_pages.h"

namespace codekiln {

void releasePages(const char* begin, std::size_t size) {
    static const auto page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
    const auto from = (reinterpret_cast<std::uintptr_t>(begin) + page - 1) / page * page;
    const auto to = (reinterpret_cast<std::uintptr_t>(begin) + size) / page * page;
    if (to <= from) return;
    // A private anonymous page given back reads as zeros when touched again.
    (void)madvise(reinterpret_cast<void*>(from), to - from, MADV_DONTNEED);
}

}  // namespace codekiln
