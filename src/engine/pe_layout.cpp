#include <algorithm>
#include <utility>

#include "engine/pe.h"

namespace resgraft::engine {
namespace {

constexpr uint8_t kLanguageLevel = 2;
constexpr uint32_t kLargestDataSize = 0xFFFFFFFCu;

// Moves `cursor` down by `size`; false when that would leave the region's buffer
// (only a tree changed after it was measured can get there).
bool MoveDown(uint32_t& cursor, uint32_t size) {
  if (size > cursor) return false;
  cursor -= size;
  return true;
}

}  // namespace

bool TPEFile::WriteDirectory(std::span<uint8_t> buffer, TResourceDirectory& dir,
                             ResourceLayout& cursors, uint8_t depth) const {
  if (depth > kLanguageLevel || !dir.CountsFit()) return false;
  uint16_t named_count = 0;
  uint16_t id_count = 0;

  // Last entry first: every region fills from its end, so the finished regions stand
  // in the tree's forward order.
  for (int i = dir.Count() - 1; i >= 0; --i) {
    TResourceDirectoryEntry& entry = *dir.Entry(i);
    if (entry.IsBranch()) {
      if (depth == kLanguageLevel) return false;
      const uint8_t child = static_cast<uint8_t>(depth + 1);
      if (!WriteDirectory(buffer, *entry.Subdirectory, cursors, child)) return false;
      entry.OffsetToData = cursors[child] | kHighBit;
    } else {
      if (depth != kLanguageLevel) return false;
      if (entry.DataSize > kLargestDataSize) return false;
      if (entry.DataSize != 0 && !entry.Data) return false;
      uint32_t& data_cursor = cursors[kDataRegion];
      if (!MoveDown(data_cursor, AlignUp(entry.DataSize, 4))) return false;
      if (data_cursor > buffer.size() || entry.DataSize > buffer.size() - data_cursor) {
        return false;
      }
      // The address at which the resized section table puts this slot.
      entry.DataRva = OffsetToRva(ResourceOffset + data_cursor);
      std::copy_n(std::as_const(entry).Data.get(), entry.DataSize, buffer.begin() + data_cursor);

      uint32_t& record_cursor = cursors[kDataEntryRegion];
      if (!MoveDown(record_cursor, ImageResourceDataEntry::kSize)) return false;
      if (record_cursor > buffer.size() - ImageResourceDataEntry::kSize) return false;
      entry.OffsetToData = record_cursor;
      entry.DataEntry().Write(
          buffer.subspan(record_cursor).first<ImageResourceDataEntry::kSize>());
    }

    const TImageResourceDirStringU& name = entry.NameString;
    if (name.NameText.size() != name.NameLength) return false;
    if (entry.IsNamed()) {
      uint32_t& name_cursor = cursors[kNameRegion];
      const uint32_t string_size = 2u + 2u * uint32_t{name.NameLength};
      if (!MoveDown(name_cursor, string_size)) return false;
      if (name_cursor > buffer.size() || string_size > buffer.size() - name_cursor) return false;
      entry.Name = name_cursor | kHighBit;
      const std::span<uint8_t> out = buffer.subspan(name_cursor, string_size);
      StoreLe16At(out, 0, name.NameLength);
      for (size_t k = 0; k < name.NameLength; ++k) {
        StoreLe16At(out, 2 + 2 * k, static_cast<uint16_t>(name.NameText[k]));
      }
      ++named_count;
    } else {
      if ((entry.Name & kHighBit) != 0) return false;
      ++id_count;
    }
  }

  const uint32_t table_size = ImageResourceDirectory::kSize +
                              ImageResourceDirectoryEntry::kSize * static_cast<uint32_t>(dir.Count());
  uint32_t& table_cursor = cursors[depth];
  if (!MoveDown(table_cursor, table_size)) return false;
  if (table_cursor > buffer.size() || table_size > buffer.size() - table_cursor) return false;
  dir.NumberOfNamedEntries = named_count;
  dir.NumberOfIdEntries = id_count;

  const std::span<uint8_t> table = buffer.subspan(table_cursor, table_size);
  dir.Header().Write(table.first<ImageResourceDirectory::kSize>());
  for (int i = 0; i < dir.Count(); ++i) {
    dir.Entry(i)->DirectoryEntry().Write(
        table.subspan(ImageResourceDirectory::kSize + ImageResourceDirectoryEntry::kSize *
                                                          static_cast<size_t>(i))
            .first<ImageResourceDirectoryEntry::kSize>());
  }
  return true;
}

}  // namespace resgraft::engine
