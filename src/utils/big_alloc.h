#pragma once
// Large allocations for the search's tables. Blocks of 2 MiB and more are
// mapped on 2 MiB boundaries and offered to the kernel for transparent huge
// pages, so filling a table of hundreds of megabytes costs a few hundred page
// faults instead of hundreds of thousands. Smaller blocks use operator new.
#include <cstddef>
#include <new>

namespace dravik {

inline constexpr std::size_t BIG_PAGE = std::size_t(2) << 20;

void *big_alloc(std::size_t bytes);
void big_free(void *p, std::size_t bytes) noexcept;

template <typename T>
struct BigAllocator {
    using value_type = T;
    BigAllocator() = default;
    template <typename U>
    BigAllocator(const BigAllocator<U> &) {}
    T *allocate(std::size_t n) { return static_cast<T *>(big_alloc(n * sizeof(T))); }
    void deallocate(T *p, std::size_t n) noexcept { big_free(p, n * sizeof(T)); }
    template <typename U>
    bool operator==(const BigAllocator<U> &) const { return true; }
};

}  // namespace dravik
