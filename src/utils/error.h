#pragma once
// Internal errors: a failed consistency check inside the library. They reach
// Python as `dravik.InternalError`, which derives from BaseException so that
// `except Exception` does not swallow a broken invariant.
#include <cstddef>
#include <exception>
#include <string>

namespace dravik {

class InternalError : public std::exception {
   public:
    explicit InternalError(std::string message) : message_(std::move(message)) {}
    const char *what() const noexcept override { return message_.c_str(); }
    const std::string &message() const noexcept { return message_; }

   private:
    std::string message_;
};

// Every internal check funnels through here so messages are exactly the texts
// callers see.
[[noreturn]] void fail(std::string message);
[[noreturn]] void fail_index(std::size_t index, std::size_t len);

inline void check(bool condition, const char *message) {
    if (!condition) fail(message);
}

inline void check_index(std::size_t index, std::size_t len) {
    if (index >= len) fail_index(index, len);
}

}  // namespace dravik

// "assertion failed: <expr>" with the expression text as written.
#define DRAVIK_ASSERT(expr)                                       \
    do {                                                          \
        if (!(expr)) ::dravik::fail("assertion failed: " #expr);  \
    } while (0)
