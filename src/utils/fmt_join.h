#pragma once
// FmtJoin: writes the items of a sequence with a separator, optional text
// before and after, and a replacement text for an empty sequence. Every
// list-like text form of the system goes through it, so the rule is the same
// everywhere: no items -> only `orelse` (nothing by default), never `start`
// or `end`; a gate without parameters shows as its bare name.
//
//   fjoin(params, ", ")                        a, b
//   fjoin_opt_braces(params, ", ", "(", ")")   (a, b)   or nothing when empty
//   fjoin_or(xs, " ", "[", "]", "[]")          [1 2]    or []
//   fjoin(instrs, " ").map([](auto &i) { return i.text(); })
//
// A join is single use: displaying it consumes its items, and a second
// display finds none.
#include <concepts>
#include <functional>
#include <iterator>
#include <ostream>
#include <sstream>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

#include "utils/error.h"

namespace dravik {

// An empty text piece.
struct FmtNone {
    friend std::ostream &operator<<(std::ostream &os, FmtNone) { return os; }
};

namespace fmt_detail {
template <typename T>
void put(std::ostream &os, const T &x) {
    if constexpr (std::is_integral_v<T> && !std::is_same_v<T, bool> && !std::is_same_v<T, char>)
        os << std::to_string(x);  // uint8_t qubits are numbers, not characters
    else
        os << x;
}
inline void put(std::string &s, FmtNone) {}
inline void put(std::string &s, char c) { s.push_back(c); }
template <typename T>
void put(std::string &s, const T &x) {
    if constexpr (std::is_convertible_v<const T &, std::string_view>) {
        s.append(std::string_view(x));
    } else if constexpr (std::is_integral_v<T> && !std::is_same_v<T, bool>) {
        s.append(std::to_string(x));
    } else {
        std::ostringstream os;
        os << x;
        s.append(os.str());
    }
}
}  // namespace fmt_detail

template <typename It, typename End, typename S, typename A = FmtNone, typename B = FmtNone, typename O = FmtNone,
          typename P = std::identity>
class FmtJoin {
   public:
    FmtJoin(It it, End end, S sep, A start = {}, B finish = {}, O orelse = {}, P proj = {})
        : it_(std::move(it)), end_(std::move(end)), sep_(std::move(sep)), start_(std::move(start)),
          finish_(std::move(finish)), orelse_(std::move(orelse)), proj_(std::move(proj)) {}

    // The same join with every item passed through `q` first.
    template <typename Q>
    auto map(Q q) && {
        auto composed = [p = std::move(proj_), q = std::move(q)](auto &&x) -> decltype(auto) {
            return std::invoke(q, std::invoke(p, std::forward<decltype(x)>(x)));
        };
        return FmtJoin<It, End, S, A, B, O, decltype(composed)>(std::move(it_), std::move(end_), std::move(sep_),
                                                                std::move(start_), std::move(finish_),
                                                                std::move(orelse_), std::move(composed));
    }

    // Writes into a std::ostream or appends to a std::string.
    template <typename Sink>
    void write(Sink &out) const {
        if (busy_) fail("FmtJoin displayed again while it is being displayed");
        busy_ = true;
        struct Release {
            bool &flag;
            ~Release() { flag = false; }
        } release{busy_};
        if (it_ == end_) {
            fmt_detail::put(out, orelse_);
            return;
        }
        fmt_detail::put(out, start_);
        fmt_detail::put(out, std::invoke(proj_, *it_));
        for (++it_; it_ != end_; ++it_) {
            fmt_detail::put(out, sep_);
            fmt_detail::put(out, std::invoke(proj_, *it_));
        }
        fmt_detail::put(out, finish_);
    }

    std::string str() const {
        std::string s;
        write(s);
        return s;
    }

    friend std::ostream &operator<<(std::ostream &os, const FmtJoin &j) {
        j.write(os);
        return os;
    }
    friend std::string &operator+=(std::string &s, const FmtJoin &j) {
        j.write(s);
        return s;
    }

   private:
    mutable It it_;
    End end_;
    S sep_;
    A start_;
    B finish_;
    O orelse_;
    P proj_;
    mutable bool busy_ = false;
};

namespace fmt_detail {
template <typename T>
using piece = std::conditional_t<std::is_convertible_v<T, std::string_view> && !std::is_same_v<std::decay_t<T>, std::string>,
                                 std::string_view, std::decay_t<T>>;
}

// The range must outlive the join (joins are displayed where they are made).
template <typename R, typename S>
auto fjoin(const R &items, S &&sep) {
    using std::begin, std::end;
    return FmtJoin<decltype(begin(items)), decltype(end(items)), fmt_detail::piece<S>>(begin(items), end(items),
                                                                                       std::forward<S>(sep));
}

template <typename R, typename S, typename A, typename B>
auto fjoin_opt_braces(const R &items, S &&sep, A &&start, B &&finish) {
    using std::begin, std::end;
    return FmtJoin<decltype(begin(items)), decltype(end(items)), fmt_detail::piece<S>, fmt_detail::piece<A>,
                   fmt_detail::piece<B>>(begin(items), end(items), std::forward<S>(sep), std::forward<A>(start),
                                         std::forward<B>(finish));
}

template <typename R, typename S, typename A, typename B, typename O>
auto fjoin_or(const R &items, S &&sep, A &&start, B &&finish, O &&orelse) {
    using std::begin, std::end;
    return FmtJoin<decltype(begin(items)), decltype(end(items)), fmt_detail::piece<S>, fmt_detail::piece<A>,
                   fmt_detail::piece<B>, fmt_detail::piece<O>>(begin(items), end(items), std::forward<S>(sep),
                                                               std::forward<A>(start), std::forward<B>(finish),
                                                               std::forward<O>(orelse));
}

}  // namespace dravik
