#pragma once
// Reader-writer spin lock: readers share, one writer excludes all. Waiting is
// a busy loop with a pause hint; critical sections are a few instructions.
#include <atomic>
#include <cstdint>

namespace dravik {

class RwSpinLock {
   public:
    void lock_shared() noexcept {
        for (;;) {
            uint32_t s = state_.load(std::memory_order_relaxed);
            if (!(s & kWriter) && state_.compare_exchange_weak(s, s + 1, std::memory_order_acquire)) return;
            pause();
        }
    }
    void unlock_shared() noexcept { state_.fetch_sub(1, std::memory_order_release); }

    void lock() noexcept {
        for (;;) {
            uint32_t expected = 0;
            if (state_.compare_exchange_weak(expected, kWriter, std::memory_order_acquire)) return;
            pause();
        }
    }
    void unlock() noexcept { state_.store(0, std::memory_order_release); }

   private:
    static constexpr uint32_t kWriter = 0x80000000u;
    static void pause() noexcept {
#if defined(__x86_64__) || defined(__i386__)
        __builtin_ia32_pause();
#elif defined(__aarch64__)
        asm volatile("yield");
#endif
    }
    std::atomic<uint32_t> state_{0};
};

}  // namespace dravik
