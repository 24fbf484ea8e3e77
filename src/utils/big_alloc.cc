#include "utils/big_alloc.h"

#include <sys/mman.h>

#include <cstdint>

namespace dravik {

namespace {
std::size_t round_up(std::size_t n) { return (n + BIG_PAGE - 1) / BIG_PAGE * BIG_PAGE; }
}  // namespace

void *big_alloc(std::size_t bytes) {
    if (bytes < BIG_PAGE) return ::operator new(bytes);
    std::size_t len = round_up(bytes);
    // Over-map by one huge page, then trim to a 2 MiB aligned window.
    void *raw = mmap(nullptr, len + BIG_PAGE, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED) throw std::bad_alloc();
    auto start = reinterpret_cast<std::uintptr_t>(raw);
    auto aligned = (start + BIG_PAGE - 1) / BIG_PAGE * BIG_PAGE;
    if (aligned > start) munmap(raw, aligned - start);
    std::size_t tail = (start + len + BIG_PAGE) - (aligned + len);
    if (tail) munmap(reinterpret_cast<void *>(aligned + len), tail);
    madvise(reinterpret_cast<void *>(aligned), len, MADV_HUGEPAGE);  // advisory; failure is harmless
    return reinterpret_cast<void *>(aligned);
}

void big_free(void *p, std::size_t bytes) noexcept {
    if (!p) return;
    if (bytes < BIG_PAGE) {
        ::operator delete(p);
        return;
    }
    munmap(p, round_up(bytes));
}

}  // namespace dravik
