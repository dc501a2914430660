#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>

#include "platform/memory_pages.h"

namespace codekiln {
namespace {

/// The whole pages inside [begin, begin + size): false when there are none.
bool wholePages(const char* begin, std::size_t size, std::uintptr_t& from, std::uintptr_t& to) {
    static const auto page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
    from = (reinterpret_cast<std::uintptr_t>(begin) + page - 1) / page * page;
    to = (reinterpret_cast<std::uintptr_t>(begin) + size) / page * page;
    return from < to;
}

}  // namespace

void releasePages(const char* begin, std::size_t size) {
    std::uintptr_t from = 0;
    std::uintptr_t to = 0;
    if (!wholePages(begin, size, from, to)) return;
    // A private anonymous page given back reads as zeros when touched again.
    (void)madvise(reinterpret_cast<void*>(from), to - from, MADV_DONTNEED);
}

void adviseLargePages(const char* begin, std::size_t size) {
#ifdef MADV_HUGEPAGE
    constexpr std::size_t kLarge = std::size_t{4} << 20;  // below this, too few large pages to gain anything
    if (size < kLarge) return;
    std::uintptr_t from = 0;
    std::uintptr_t to = 0;
    if (!wholePages(begin, size, from, to)) return;
    // Transparent huge pages, where the system lets a program ask for them.
    (void)madvise(reinterpret_cast<void*>(from), to - from, MADV_HUGEPAGE);
#else
    (void)begin;
    (void)size;
#endif
}

}  // namespace codekiln
