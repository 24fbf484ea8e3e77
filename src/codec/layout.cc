#include "codec/layout.h"

namespace dravik::codec {

const std::string &GateNames::operator()(Gate16 g) {
    if (g.idx >= names_.size()) {
        names_.resize(std::size_t(g.idx) + 1);
        known_.resize(std::size_t(g.idx) + 1);
    }
    if (!known_[g.idx]) {
        names_[g.idx] = g.display();
        known_[g.idx] = true;
    }
    return names_[g.idx];
}

Gate16 GateLookup::operator()(const std::string &name) {
    auto it = cache_.find(name);
    if (it != cache_.end()) return it->second;
    Gate16 g = Gate16::deserialize(name);
    cache_.emplace(name, g);
    return g;
}

void write_permut(Writer &w, Permut32 p) { write_u32(w, p.raw); }
Permut32 read_permut(Reader &r) {
    // Entries are taken as stored; only a length the packed type cannot hold
    // (more than 8 entries) is refused.
    Permut32 p(read_u32(r));
    if (p.len() > 8) throw FormatError(MSG_BAD_VALUE);
    return p;
}

void write_instr(Writer &w, Instr32 instr, GateNames &names) {
    write_str(w, names(instr.gate));
    write_byte(w, instr.qargs.q[0]);
    write_byte(w, instr.qargs.q[1]);
}

Instr32 read_instr(Reader &r, GateLookup &gates) {
    Gate16 g = gates(read_str(r));
    uint8_t a = read_byte(r);
    uint8_t b = read_byte(r);
    return Instr32(g, QArgs16(a, b));
}

void write_instrs(Writer &w, const std::vector<Instr32> &instrs, GateNames &names) {
    write_seq(w, instrs, [&](Writer &w, Instr32 i) { write_instr(w, i, names); });
}

std::vector<Instr32> read_instrs(Reader &r, GateLookup &gates) {
    return read_seq<Instr32>(r, [&](Reader &r) { return read_instr(r, gates); });
}

void write_eccs(Writer &w, const ECCs &eccs) {
    GateNames names;
    write_seq(w, eccs.eccs, [&](Writer &w, const ECC &ecc) {
        write_seq(w, ecc.members, [&](Writer &w, const EccMember &m) {
            write_instrs(w, m.first, names);
            write_permut(w, m.second);
        });
    });
    write_u64(w, eccs.nqubits);
}

ECCs read_eccs(Reader &r) {
    GateLookup gates;
    ECCs out;
    out.eccs = read_seq<ECC>(r, [&](Reader &r) {
        ECC ecc;
        ecc.members = read_seq<EccMember>(r, [&](Reader &r) {
            auto instrs = read_instrs(r, gates);
            return EccMember(std::move(instrs), read_permut(r));
        });
        return ecc;
    });
    out.nqubits = read_usize(r);
    return out;
}

std::vector<uint8_t> encode_eccs(const ECCs &eccs) {
    BytesWriter w;
    write_eccs(w, eccs);
    return w.bytes();
}

ECCs decode_eccs(std::span<const uint8_t> bytes) {
    SpanReader r(bytes);
    return read_eccs(r);
}

void dump_postcard(const ECCs &eccs, const std::string &path) {
    save_file(path, [&](Writer &w) { write_eccs(w, eccs); });
}

ECCs eccs_from_postcard(const std::string &path) {
    return load_file(path, [](Reader &r) { return read_eccs(r); });
}

}  // namespace dravik::codec
