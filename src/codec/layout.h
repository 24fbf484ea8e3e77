#pragma once
// Save-file layouts of the circuit values on top of the encoding of
// codec/codec.h. A gate is its display name; qubit arguments are two raw
// bytes; a permutation is its packed 32-bit value as a varint. Nothing read
// back is validated beyond what the encoding itself demands, except that a
// gate name must be known to the gate table.
#include <cstdint>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include "circ/instr.h"
#include "codec/codec.h"
#include "groups/permutation.h"
#include "search/eccs.h"

namespace dravik::codec {

// Display names of gates, formatted once per gate for one encoding run.
class GateNames {
   public:
    const std::string &operator()(Gate16 g);

   private:
    std::vector<std::string> names_;
    std::vector<bool> known_;
};

// Gate lookups by display name, cached for one decoding run (the table only
// grows, so the first entry with a given name never changes).
class GateLookup {
   public:
    // Gate16::deserialize: internal error "Failed to deserialize Gate16 from <name>".
    Gate16 operator()(const std::string &name);

   private:
    std::unordered_map<std::string, Gate16> cache_;
};

void write_permut(Writer &w, Permut32 p);
Permut32 read_permut(Reader &r);

void write_instr(Writer &w, Instr32 instr, GateNames &names);
Instr32 read_instr(Reader &r, GateLookup &gates);

void write_instrs(Writer &w, const std::vector<Instr32> &instrs, GateNames &names);
std::vector<Instr32> read_instrs(Reader &r, GateLookup &gates);

// ECCs: sequence of classes, each a sequence of (instructions, permutation)
// members; then nqubits as a 64-bit quantity.
void write_eccs(Writer &w, const ECCs &eccs);
ECCs read_eccs(Reader &r);

std::vector<uint8_t> encode_eccs(const ECCs &eccs);
// FormatError with the bare reason (no file prefix).
ECCs decode_eccs(std::span<const uint8_t> bytes);

// The ECCs file; errors as in save_file / load_file.
void dump_postcard(const ECCs &eccs, const std::string &path);
ECCs eccs_from_postcard(const std::string &path);

}  // namespace dravik::codec
