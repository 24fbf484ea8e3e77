#pragma once
// Gates: 16-bit handles into one process-wide, append-only table. An entry
// holds the name, symbolic parameters, the dense unitary and a cached adjoint.
#include <complex>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "utils/siphash.h"

namespace dravik {

// Dense complex matrix, stored column by column: entry (r, c) is data[c * rows + r].
struct CMatrix {
    uint32_t rows = 0, cols = 0;
    std::vector<std::complex<double>> data;

    CMatrix() = default;
    CMatrix(uint32_t r, uint32_t c) : rows(r), cols(c), data(std::size_t(r) * c) {}
    // Builds from rows written out, as in the gate table.
    static CMatrix from_rows(std::initializer_list<std::initializer_list<std::complex<double>>> rows);

    std::complex<double> &at(uint32_t r, uint32_t c) { return data[std::size_t(c) * rows + r]; }
    const std::complex<double> &at(uint32_t r, uint32_t c) const { return data[std::size_t(c) * rows + r]; }

    // Row count, column count, then every entry column by column, real part
    // then imaginary part, each on the 2^-24 grid.
    uint64_t fingerprint() const;
    CMatrix adjoint() const;
};

struct GateData {
    std::string name;
    std::vector<std::string> params;
    CMatrix matrix;
    std::optional<uint16_t> adjoint;
    uint8_t nqargs = 0;  // trailing zero bits of the row count

    std::string display_name() const;
};

struct Gate16 {
    uint16_t idx = 0;

    constexpr Gate16() = default;
    constexpr explicit Gate16(uint16_t i) : idx(i) {}

    // Validates the matrix, then returns the gate with the same fingerprint or
    // appends a new entry.
    static Gate16 create(std::string name, std::vector<std::string> params, CMatrix matrix);
    // First gate, in index order, whose display name equals `display_name`.
    static std::optional<Gate16> from_name(const std::string &display_name);
    // As from_name, failing with "Failed to deserialize Gate16 from <name>".
    static Gate16 deserialize(const std::string &display_name);
    static std::size_t table_size();

    std::string name() const;
    std::vector<std::string> params() const;
    unsigned nqargs() const;
    Gate16 adjoint() const;
    std::string display() const;
    std::string debug() const;
    CMatrix matrix_copy() const;

    // Runs `fn(const CMatrix&)` on the entry's matrix under the read lock.
    template <typename F>
    auto with_matrix(F &&fn) const -> decltype(fn(std::declval<const CMatrix &>()));

    void hash_feed(SipHasher13 &h) const { h.write_u16(idx); }

    friend constexpr bool operator==(Gate16 a, Gate16 b) { return a.idx == b.idx; }
    friend constexpr auto operator<=>(Gate16 a, Gate16 b) { return a.idx <=> b.idx; }
};

// Built-in handles; the table always starts with the same 23 gates.
namespace gates {
inline constexpr Gate16 I{0}, H{1}, X{2}, Z{3}, Y{4}, S{5}, SDG{6}, T{7}, TDG{8}, CX{9}, CZ{10}, CY{11}, CS{12},
    CSDG{13}, SWAP{14};
inline constexpr uint16_t BUILTIN_COUNT = 23;
}  // namespace gates

namespace detail {
// Read access to an entry; the caller holds the table's read lock.
const GateData &gate_entry_locked(uint16_t idx);
void gate_lock_shared();
void gate_unlock_shared();
}  // namespace detail

template <typename F>
auto Gate16::with_matrix(F &&fn) const -> decltype(fn(std::declval<const CMatrix &>())) {
    struct Guard {
        Guard() { detail::gate_lock_shared(); }
        ~Guard() { detail::gate_unlock_shared(); }
    } guard;
    return fn(detail::gate_entry_locked(idx).matrix);
}

}  // namespace dravik
