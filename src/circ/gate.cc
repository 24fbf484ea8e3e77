#include "circ/gate.h"

#include <array>
#include <atomic>
#include <bit>
#include <cmath>
#include <mutex>
#include <shared_mutex>

#include "qreal.h"
#include "utils/error.h"
#include "utils/fmt_join.h"
#include "utils/spinlock.h"

namespace dravik {

CMatrix CMatrix::from_rows(std::initializer_list<std::initializer_list<std::complex<double>>> rows) {
    CMatrix m(uint32_t(rows.size()), rows.size() ? uint32_t(rows.begin()->size()) : 0);
    uint32_t r = 0;
    for (auto &row : rows) {
        uint32_t c = 0;
        for (auto &v : row) m.at(r, c++) = v;
        ++r;
    }
    return m;
}

uint64_t CMatrix::fingerprint() const {
    SipHasher13 h;
    h.write_u32(rows);
    h.write_u32(cols);
    for (auto &z : data) {
        h.write_u64(percision_repr(z.real()));
        h.write_u64(percision_repr(z.imag()));
    }
    return h.finish();
}

CMatrix CMatrix::adjoint() const {
    CMatrix out(cols, rows);
    for (uint32_t r = 0; r < rows; ++r)
        for (uint32_t c = 0; c < cols; ++c) {
            auto z = at(r, c);
            out.at(c, r) = {z.real(), -z.imag()};
        }
    return out;
}

std::string GateData::display_name() const {
    std::string s = name;
    s += fjoin_opt_braces(params, ", ", "(", ")");
    return s;
}

namespace {

GateData make(const char *name, std::vector<std::string> params, CMatrix m) {
    GateData g{name, std::move(params), std::move(m), std::nullopt, 0};
    g.nqargs = uint8_t(std::countr_zero(g.matrix.rows));
    return g;
}

std::vector<GateData> builtins() {
    using C = std::complex<double>;
    const double r = 0.7071067811865476;
    const C i(0, 1);
    auto phase = [](double theta) { return CMatrix::from_rows({{1, 0}, {0, C(std::cos(theta), std::sin(theta))}}); };
    auto diag4 = [](C d) { return CMatrix::from_rows({{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, d}}); };
    const double pi = M_PI;
    std::vector<GateData> t;
    t.push_back(make("i", {}, CMatrix::from_rows({{1, 0}, {0, 1}})));
    t.push_back(make("h", {}, CMatrix::from_rows({{r, r}, {r, -r}})));
    t.push_back(make("x", {}, CMatrix::from_rows({{0, 1}, {1, 0}})));
    t.push_back(make("z", {}, CMatrix::from_rows({{1, 0}, {0, -1}})));
    t.push_back(make("y", {}, CMatrix::from_rows({{0, -i}, {i, 0}})));
    t.push_back(make("s", {}, CMatrix::from_rows({{1, 0}, {0, i}})));
    t.push_back(make("sdg", {}, CMatrix::from_rows({{1, 0}, {0, -i}})));
    t.push_back(make("t", {}, phase(pi / 4)));
    t.push_back(make("tdg", {}, CMatrix::from_rows({{1, 0}, {0, C(std::cos(pi / 4), -std::sin(pi / 4))}})));
    t.push_back(make("cx", {}, CMatrix::from_rows({{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 0, 1}, {0, 0, 1, 0}})));
    t.push_back(make("cz", {}, diag4(-1)));
    t.push_back(make("cy", {}, CMatrix::from_rows({{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 0, -i}, {0, 0, i, 0}})));
    t.push_back(make("cs", {}, diag4(i)));
    t.push_back(make("csdg", {}, diag4(-i)));
    t.push_back(make("swap", {}, CMatrix::from_rows({{1, 0, 0, 0}, {0, 0, 1, 0}, {0, 1, 0, 0}, {0, 0, 0, 1}})));
    auto conj_phase = [](double theta) {
        return CMatrix::from_rows({{1, 0}, {0, C(std::cos(theta), -std::sin(theta))}});
    };
    t.push_back(make("t1/2", {}, phase(pi / 8)));
    t.push_back(make("tdg1/2", {}, conj_phase(pi / 8)));
    t.push_back(make("rz", {"pi/3"}, phase(pi / 3)));
    t.push_back(make("rz", {"-pi/3"}, conj_phase(pi / 3)));
    t.push_back(make("rz", {"pi/5"}, phase(pi / 5)));
    t.push_back(make("rz", {"-pi/5"}, conj_phase(pi / 5)));
    t.push_back(make("rz", {"pi/16"}, phase(pi / 16)));
    t.push_back(make("rz", {"-pi/16"}, conj_phase(pi / 16)));
    return t;
}

struct Table {
    RwSpinLock lock;
    std::vector<GateData> entries = builtins();
    // Arity per index, written once before an entry is published and never
    // changed: the evaluation hot path reads it without taking the lock.
    std::array<std::atomic<uint8_t>, 65536> arity{};
    Table() {
        for (std::size_t i = 0; i < entries.size(); ++i) arity[i].store(entries[i].nqargs, std::memory_order_relaxed);
    }
};

Table &table() {
    static Table t;  // one-time initialisation; other threads wait for it
    return t;
}

template <typename F>
auto read(uint16_t idx, F &&fn) {
    auto &t = table();
    std::shared_lock guard(t.lock);
    check_index(idx, t.entries.size());
    return fn(t.entries[idx]);
}

}  // namespace

namespace detail {
const GateData &gate_entry_locked(uint16_t idx) {
    auto &t = table();
    check_index(idx, t.entries.size());  // the caller's guard releases the lock
    return t.entries[idx];
}
void gate_lock_shared() { table().lock.lock_shared(); }
void gate_unlock_shared() { table().lock.unlock_shared(); }
}  // namespace detail

Gate16 Gate16::create(std::string name, std::vector<std::string> params, CMatrix matrix) {
    if (matrix.rows == 0 || !std::has_single_bit(matrix.rows))
        fail("Matrix must have a number of rows that is a power of two");
    if (matrix.cols != matrix.rows) fail("Matrix must be squared");
    GateData candidate = make("", std::move(params), std::move(matrix));
    candidate.name = std::move(name);
    uint64_t fp = candidate.matrix.fingerprint();
    auto &t = table();
    std::unique_lock guard(t.lock);
    for (std::size_t i = 0; i < t.entries.size(); ++i)
        if (t.entries[i].matrix.fingerprint() == fp) return Gate16(uint16_t(i));
    if (t.entries.size() >= 65536) fail("The gate table is full (65536 gates)");
    t.arity[t.entries.size()].store(candidate.nqargs, std::memory_order_release);
    t.entries.push_back(std::move(candidate));
    return Gate16(uint16_t(t.entries.size() - 1));
}

std::optional<Gate16> Gate16::from_name(const std::string &display_name) {
    auto &t = table();
    std::shared_lock guard(t.lock);
    for (std::size_t i = 0; i < t.entries.size(); ++i)
        if (t.entries[i].display_name() == display_name) return Gate16(uint16_t(i));
    return std::nullopt;
}

Gate16 Gate16::deserialize(const std::string &display_name) {
    auto g = from_name(display_name);
    if (!g) fail("Failed to deserialize Gate16 from " + display_name);
    return *g;
}

std::size_t Gate16::table_size() {
    auto &t = table();
    std::shared_lock guard(t.lock);
    return t.entries.size();
}

std::string Gate16::name() const {
    return read(idx, [](const GateData &g) { return g.name; });
}
std::vector<std::string> Gate16::params() const {
    return read(idx, [](const GateData &g) { return g.params; });
}
unsigned Gate16::nqargs() const {
    auto &t = table();
    if (idx >= gates::BUILTIN_COUNT) {  // user gates: validate the index under the lock
        std::shared_lock guard(t.lock);
        check_index(idx, t.entries.size());
    }
    return t.arity[idx].load(std::memory_order_acquire);
}
std::string Gate16::display() const {
    return read(idx, [](const GateData &g) { return g.display_name(); });
}
std::string Gate16::debug() const { return "Gate(" + std::to_string(idx) + ") -> " + display(); }
CMatrix Gate16::matrix_copy() const {
    return read(idx, [](const GateData &g) { return g.matrix; });
}

Gate16 Gate16::adjoint() const {
    auto cached = read(idx, [](const GateData &g) { return g.adjoint; });
    if (cached) return Gate16(*cached);
    std::string nm = name() + "\xE2\x80\xA0";  // dagger sign
    auto ps = params();
    CMatrix m = read(idx, [](const GateData &g) { return g.matrix.adjoint(); });
    Gate16 adj = create(std::move(nm), std::move(ps), std::move(m));
    auto &t = table();
    std::unique_lock guard(t.lock);
    t.entries[idx].adjoint = adj.idx;
    return adj;
}

}  // namespace dravik
