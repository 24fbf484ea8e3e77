#pragma once
// Export of equivalence classes in the Quartz ECC-set JSON layout:
//   [[[0],[0]], {"<class hex>_<variant>": [[[Q, G], [[name, ["Q0",..], ["Q0",..]], ...]], ...], ...}]
// The layout has no trailing permutations, so a class is written once per
// distinct member permutation ("variant"), every member's permutation taken
// relative to that variant's reference and spelt out as SWAP gates.
#include <nlohmann/json.hpp>

#include <string>
#include <vector>

#include "circ/instr.h"
#include "search/eccs.h"

namespace dravik {

using QuartzVariant = std::vector<std::vector<Instr32>>;  // one circuit per member

// The variants of one class, in order of first appearance of each distinct
// member permutation; in variant i the reference member carries no swaps.
std::vector<QuartzVariant> generate_ecc_with_swap(const ECC &ecc);

// Circuit records [[Q, G], [gate records]] of one variant.
std::vector<nlohmann::json> ecc_to_json(const QuartzVariant &variant);

// The whole document; classes with fewer than two members are left out.
nlohmann::json as_quartz(const ECCs &eccs);

// Builds the document, then creates `path` (0666 before umask, truncated) and
// writes it compactly without a trailing newline.
// codec::FileError "Failed to create file: ..." when the file cannot be
// created; codec::FormatError "Failed to write JSON: ..." when writing fails.
void dump_quartz(const ECCs &eccs, const std::string &path);

}  // namespace dravik
