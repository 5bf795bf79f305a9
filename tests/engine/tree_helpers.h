#ifndef RESGRAFT_TESTS_ENGINE_TREE_HELPERS_H_
#define RESGRAFT_TESTS_ENGINE_TREE_HELPERS_H_

#include <algorithm>
#include <string>
#include <vector>

#include "engine/pe.h"

// Small helpers that grow an in-memory resource tree in a line each.
namespace resgraft::testing {

inline engine::TResourceDirectoryEntry* AddId(engine::TResourceDirectory& dir, uint32_t id) {
  engine::TResourceDirectoryEntry* entry = dir.AddEntry();
  entry->Name = id;
  return entry;
}

inline engine::TResourceDirectoryEntry* AddNamed(engine::TResourceDirectory& dir,
                                                 const std::u16string& name) {
  engine::TResourceDirectoryEntry* entry = dir.AddEntry();
  entry->NameString.NameLength = static_cast<uint16_t>(name.size());
  entry->NameString.NameText = name;
  return entry;
}

// Gives `entry` a new, empty subdirectory with version 4.0 and returns it.
inline engine::TResourceDirectory& Sub(engine::TResourceDirectoryEntry* entry) {
  entry->Subdirectory = std::make_unique<engine::TResourceDirectory>();
  entry->Subdirectory->MajorVersion = 4;
  return *entry->Subdirectory;
}

inline void SetData(engine::TResourceDirectoryEntry* entry, const std::vector<uint8_t>& data) {
  entry->DataSize = static_cast<uint32_t>(data.size());
  entry->Data.reset();
  if (data.empty()) return;
  entry->Data = std::make_unique<uint8_t[]>(data.size());
  std::copy(data.begin(), data.end(), entry->Data.get());
}

}  // namespace resgraft::testing

#endif  // RESGRAFT_TESTS_ENGINE_TREE_HELPERS_H_
