// The program's version as an ELF note, so that `readelf -n resgraft` shows it
// without running the program.

#include <cstdint>

namespace {

struct VersionNote {
  uint32_t name_size;
  uint32_t description_size;
  uint32_t type;
  char name[12];  // "resgraft", padded to a multiple of 4
  char description[sizeof(RESGRAFT_VERSION) + (4 - sizeof(RESGRAFT_VERSION) % 4) % 4];
};

[[gnu::section(".note.resgraft.version"), gnu::used, gnu::aligned(4)]]
const VersionNote kVersionNote = {9, sizeof(RESGRAFT_VERSION), 1, "resgraft", RESGRAFT_VERSION};

}  // namespace
