#include "search/quartz.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ostream>
#include <streambuf>

#include "codec/codec.h"

namespace dravik {

using nlohmann::json;

std::vector<QuartzVariant> generate_ecc_with_swap(const ECC &ecc) {
    const auto &members = ecc.members;
    std::vector<bool> covered(members.size(), false);
    std::vector<QuartzVariant> variants;
    for (std::size_t i = 0; i < members.size(); ++i) {
        if (covered[i]) continue;
        Permut32 perm = members[i].second.inverse();
        QuartzVariant variant;
        variant.reserve(members.size());
        for (std::size_t j = 0; j < members.size(); ++j) {
            Permut32 pp = perm * members[j].second;
            if (pp.is_identity()) covered[j] = true;
            std::vector<Instr32> circ = members[j].first;
            auto swaps = pp.generate_swaps();
            while (auto ab = swaps.next()) circ.emplace_back(gates::SWAP, ab->first, ab->second);
            variant.push_back(std::move(circ));
        }
        variants.push_back(std::move(variant));
    }
    return variants;
}

namespace {

std::string qubit_name(uint8_t q) { return "Q" + std::to_string(unsigned(q)); }

// Keys "<class position in lowercase hex>_<variant index in decimal>".
std::string quartz_key(std::size_t position, std::size_t variant) {
    char buf[48];
    std::snprintf(buf, sizeof buf, "%zx_%zu", position, variant);
    return buf;
}

// Writes straight to a file descriptor in blocks, remembering the first
// error so that a failed write is never mistaken for success.
class FdStreamBuf final : public std::streambuf {
   public:
    explicit FdStreamBuf(int fd) : fd_(fd) { setp(buf_, buf_ + sizeof buf_); }
    int error() const { return err_; }

   protected:
    int_type overflow(int_type ch) override {
        if (!drain()) return traits_type::eof();
        if (!traits_type::eq_int_type(ch, traits_type::eof())) {
            *pptr() = traits_type::to_char_type(ch);
            pbump(1);
        }
        return traits_type::not_eof(ch);
    }
    int sync() override { return drain() ? 0 : -1; }

   private:
    bool drain() {
        if (err_) return false;
        const char *p = pbase();
        std::size_t n = std::size_t(pptr() - pbase());
        while (n > 0) {
            ssize_t k = ::write(fd_, p, n);
            if (k < 0 && errno == EINTR) continue;
            if (k <= 0) {
                err_ = k < 0 ? errno : ENOSPC;
                return false;
            }
            p += k;
            n -= std::size_t(k);
        }
        setp(buf_, buf_ + sizeof buf_);
        return true;
    }

    int fd_;
    int err_ = 0;
    char buf_[codec::BLOCK_SIZE];
};

}  // namespace

std::vector<json> ecc_to_json(const QuartzVariant &variant) {
    std::vector<json> out;
    out.reserve(variant.size());
    std::vector<std::string> names;  // display names by gate index, formatted once
    auto name_of = [&](Gate16 g) -> const std::string & {
        if (g.idx >= names.size()) names.resize(std::size_t(g.idx) + 1);
        if (names[g.idx].empty()) names[g.idx] = g.display();
        return names[g.idx];
    };
    for (const auto &circ : variant) {
        unsigned largest = 0;
        json::array_t records;
        records.reserve(circ.size());
        for (const Instr32 &instr : circ) {
            json::array_t qubits;
            qubits.reserve(instr.nargs());
            for (unsigned k = 0, n = instr.nargs(); k < n; ++k) {
                uint8_t q = instr.qargs.q[k];
                if (q > largest) largest = q;
                qubits.emplace_back(qubit_name(q));
            }
            json::array_t record;
            record.reserve(3);
            record.emplace_back(name_of(instr.gate));
            record.emplace_back(qubits);
            record.emplace_back(std::move(qubits));
            records.emplace_back(std::move(record));
        }
        json::array_t circuit;
        circuit.reserve(2);
        circuit.emplace_back(json::array({largest + 1, circ.size()}));
        circuit.emplace_back(std::move(records));
        out.emplace_back(std::move(circuit));
    }
    return out;
}

json as_quartz(const ECCs &eccs) {
    json classes = json::object();  // keys kept in byte order
    for (std::size_t k = 0; k < eccs.eccs.size(); ++k) {
        const ECC &ecc = eccs.eccs[k];
        if (ecc.members.size() < 2) continue;
        auto variants = generate_ecc_with_swap(ecc);
        for (std::size_t i = 0; i < variants.size(); ++i)
            classes[quartz_key(k, i)] = json(ecc_to_json(variants[i]));  // moves the records in
    }
    json params = json::array({json::array({0}), json::array({0})});
    return json::array({std::move(params), std::move(classes)});
}

void dump_quartz(const ECCs &eccs, const std::string &path) {
    json doc = as_quartz(eccs);
    int fd = codec::create_file(path);
    FdStreamBuf buf(fd);
    std::ostream os(&buf);
    std::string failure;
    try {
        os << doc;  // compact: no width set
        os.flush();
    } catch (const json::exception &e) {
        failure = e.what();
    }
    int err = buf.error();
    if (::close(fd) != 0 && err == 0 && errno != EINTR) err = errno;
    if (failure.empty() && (err != 0 || !os)) failure = codec::os_error_text(err ? err : EIO);
    if (!failure.empty()) throw codec::FormatError("Failed to write JSON: " + failure);
}

}  // namespace dravik
