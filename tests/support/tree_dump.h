#ifndef RESGRAFT_TESTS_SUPPORT_TREE_DUMP_H_
#define RESGRAFT_TESTS_SUPPORT_TREE_DUMP_H_

#include <cstdint>
#include <span>
#include <string>

#include "engine/pe.h"

namespace resgraft::testing {

// 64-bit FNV-1a of `bytes`.
uint64_t Fnv1a64(std::span<const uint8_t> bytes);

// The tree as text, one line per directory and entry in file order, in the format
// that tests/support/pefile_dump.py prints for a file:
//   root chars=0x00000000 time=0x00000000 ver=4.0
//   #3 chars=0x00000000 time=0x00000000 ver=4.0
//     #1 chars=...
//       #1033 size=744 codepage=0 fnv1a64=0123456789abcdef
std::string DumpTree(const engine::TResourceDirectory& root);

}  // namespace resgraft::testing

#endif  // RESGRAFT_TESTS_SUPPORT_TREE_DUMP_H_
