#pragma once
// AliasList: a persistent singly linked list whose cells are shared. A list is
// one pointer to its first cell (null for the empty list); `cons` makes a new
// cell in front of an existing list without copying it, so a circuit grown one
// instruction at a time from its parent costs one cell.
//
// Iteration starts at the newest element. Cells are immutable once built.
//
// Two ways to own cells:
//  - `AliasList::cons(x)` allocates one cell on the heap; the list created by
//    that call owns that cell (and only that one) and frees it with
//    `release()`. The owner must go after every list that reaches the cell
//    through its tail.
//  - `AliasArena` hands out cells from large blocks and frees them all at
//    once. Maps that share cells hold the arena through a shared_ptr, so the
//    cells live as long as any holder, whatever order the holders go in.
#include <algorithm>
#include <cstddef>
#include <iterator>
#include <memory>
#include <new>
#include <type_traits>
#include <vector>

#include "utils/big_alloc.h"

namespace dravik {

template <typename T>
struct AliasCons;

template <typename T>
class AliasList {
   public:
    constexpr AliasList() = default;
    constexpr explicit AliasList(const AliasCons<T> *first) : first_(first) {}

    bool empty() const { return first_ == nullptr; }
    const AliasCons<T> *cell() const { return first_; }
    const T &head() const { return first_->head; }
    AliasList tail() const { return first_->tail; }

    // A new heap cell (x, *this); *this is unchanged.
    AliasList cons(const T &x) const { return AliasList(new AliasCons<T>{x, *this}); }
    // Frees the first cell (the one this list's `cons` allocated); the tail is
    // untouched. The list is empty afterwards.
    void release() {
        delete first_;
        first_ = nullptr;
    }

    class iterator {
       public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = T;
        using difference_type = std::ptrdiff_t;
        using pointer = const T *;
        using reference = const T &;

        iterator() = default;
        explicit iterator(const AliasCons<T> *c) : c_(c) {}
        reference operator*() const { return c_->head; }
        pointer operator->() const { return &c_->head; }
        iterator &operator++() {
            c_ = c_->tail.first_;
            return *this;
        }
        iterator operator++(int) {
            iterator r = *this;
            ++*this;
            return r;
        }
        friend bool operator==(iterator a, iterator b) { return a.c_ == b.c_; }

       private:
        const AliasCons<T> *c_ = nullptr;
    };
    iterator begin() const { return iterator(first_); }
    iterator end() const { return iterator(); }

    std::size_t len() const {
        std::size_t n = 0;
        for (auto c = first_; c; c = c->tail.first_) ++n;
        return n;
    }
    // The elements oldest first (the order they were consed in).
    template <typename Vec>
    void to_vec_rev(Vec &out) const {
        out.clear();
        for (const T &x : *this) out.push_back(x);
        std::reverse(out.begin(), out.end());
    }

    friend bool operator==(AliasList a, AliasList b) { return a.first_ == b.first_; }

   private:
    const AliasCons<T> *first_ = nullptr;
};

template <typename T>
struct AliasCons {
    T head;
    AliasList<T> tail;
};

// Bump allocator for cells of trivially destructible elements. Blocks grow
// geometrically up to a cap; nothing is freed before the arena itself.
template <typename T>
class AliasArena {
    static_assert(std::is_trivially_destructible_v<T>, "arena cells are never destroyed one by one");

   public:
    AliasArena() = default;
    AliasArena(const AliasArena &) = delete;
    AliasArena &operator=(const AliasArena &) = delete;

    AliasList<T> cons(AliasList<T> tail, const T &x) {
        if (used_ == cap_) grow();
        AliasCons<T> *c = blocks_.back().get() + used_++;
        ::new (static_cast<void *>(c)) AliasCons<T>{x, tail};
        ++count_;
        return AliasList<T>(c);
    }

    std::size_t cells() const { return count_; }
    std::size_t bytes() const {
        std::size_t b = 0, cap = FIRST_BLOCK;
        for (std::size_t i = 0; i < blocks_.size(); ++i) {
            b += cap * sizeof(AliasCons<T>);
            if (cap < MAX_BLOCK) cap *= 2;
        }
        return b;
    }

   private:
    // Blocks double up to one huge page of cells.
    static constexpr std::size_t FIRST_BLOCK = 256, MAX_BLOCK = BIG_PAGE / sizeof(AliasCons<T>);

    struct Free {
        std::size_t bytes = 0;
        void operator()(AliasCons<T> *p) const { big_free(p, bytes); }
    };

    void grow() {
        cap_ = blocks_.empty() ? FIRST_BLOCK : (cap_ < MAX_BLOCK ? cap_ * 2 : cap_);
        std::size_t bytes = cap_ * sizeof(AliasCons<T>);
        blocks_.emplace_back(static_cast<AliasCons<T> *>(big_alloc(bytes)), Free{bytes});
        used_ = 0;
    }

    std::vector<std::unique_ptr<AliasCons<T>, Free>> blocks_;
    std::size_t cap_ = 0, used_ = 0, count_ = 0;
};

}  // namespace dravik
