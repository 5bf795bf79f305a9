#include <algorithm>
#include <array>
#include <vector>

#include "engine/pe.h"
#include "sys/file_io.h"

namespace resgraft::engine {
namespace {

constexpr uint8_t kLanguageLevel = 2;
constexpr uint64_t kFirstNegativePosition = 0x80000000u;
constexpr uint64_t kLargestSection = 0xFFFFFFFFu;

// Reads `bytes` at a file position reached by a seek from the start, which the
// 32-bit file interface takes as signed: positions of 2 GiB and more fail.
bool ReadAtSeek(sys::File& file, uint64_t position, std::span<uint8_t> bytes) {
  return position < kFirstNegativePosition && file.ReadExactAt(bytes, position);
}

}  // namespace

// Limits that keep a hostile tree from costing more than the file could describe:
// tables shared by many entries are read once per reference, so without a bound a
// small file could expand into an enormous tree.
struct TPEFile::ReadBudget {
  // Every directory entry of a tree whose tables are not shared takes 8 bytes of
  // the file, so more entries than that prove sharing.
  uint64_t entries_left;
  // The bytes that the section rebuilt from what was read so far would take.
  uint64_t section_bytes = 0;
  // Names and data of a tree that shares none lie in distinct bytes of the file, so
  // copying more than the file holds proves sharing; without this bound a small file
  // whose leaves share one large data entry would fill gigabytes of memory.
  uint64_t copy_bytes_left;

  bool TakeEntries(uint64_t count) {
    if (count > entries_left) return false;
    entries_left -= count;
    return true;
  }
  bool TakeCopy(uint64_t count) {
    if (count > copy_bytes_left) return false;
    copy_bytes_left -= count;
    return true;
  }
  // Where the resources' bytes go: a few blocks per type instead of one
  // allocation per resource.
  ResourceArena arena;

  bool TakeSectionBytes(uint64_t count) {
    section_bytes += count;
    return section_bytes <= kLargestSection;
  }
};

bool TPEFile::ReadDirectory(sys::File& file, TResourceDirectory& directory, uint32_t offset,
                            uint8_t depth) {
  ReadBudget budget{FileSize / ImageResourceDirectoryEntry::kSize, 0, FileSize, {}};
  return ReadDirectoryBounded(file, directory, offset, depth, budget);
}

bool TPEFile::ReadDirectoryBounded(sys::File& file, TResourceDirectory& directory,
                                   uint32_t offset, uint8_t depth, ReadBudget& budget) {
  if (depth > kLanguageLevel) return false;
  // A type's resources keep to blocks of their own (level 1 is a type's directory).
  if (depth == 1) budget.arena.StartGroup();
  const uint64_t table = uint64_t{ResourceOffset} + offset;

  // A directory that loads holds at least one entry, so its header and first entry
  // are both needed and are read together: one read instead of two for the many
  // tables of a single entry. When that read comes up short, the header alone
  // decides as before.
  constexpr size_t kFirstEntryEnd =
      ImageResourceDirectory::kSize + ImageResourceDirectoryEntry::kSize;
  std::array<uint8_t, kFirstEntryEnd> head_bytes;
  const bool first_entry_read = ReadAtSeek(file, table, head_bytes);
  const auto header_bytes = std::span<uint8_t>(head_bytes).first<ImageResourceDirectory::kSize>();
  if (!first_entry_read && !ReadAtSeek(file, table, header_bytes)) return false;
  directory.SetHeader(ImageResourceDirectory::Read(header_bytes));

  const uint32_t count =
      uint32_t{directory.NumberOfNamedEntries} + uint32_t{directory.NumberOfIdEntries};
  if (count == 0) return false;
  if (!budget.TakeEntries(count) ||
      !budget.TakeSectionBytes(ImageResourceDirectory::kSize +
                               uint64_t{ImageResourceDirectoryEntry::kSize} * count)) {
    return false;
  }

  // The entries follow the header directly.
  // Most tables hold a few entries; those are read into the stack, not the heap.
  const size_t table_size = size_t{ImageResourceDirectoryEntry::kSize} * count;
  std::array<uint8_t, 16 * ImageResourceDirectoryEntry::kSize> small_table;
  std::vector<uint8_t> large_table;
  std::span<uint8_t> entry_bytes = std::span<uint8_t>(small_table).first(
      std::min(table_size, small_table.size()));
  if (table_size > small_table.size()) {
    large_table.resize(table_size);
    entry_bytes = large_table;
  }
  if (!first_entry_read) return false;
  std::copy_n(head_bytes.begin() + ImageResourceDirectory::kSize,
              ImageResourceDirectoryEntry::kSize, entry_bytes.begin());
  if (!file.ReadExactAt(entry_bytes.subspan(ImageResourceDirectoryEntry::kSize),
                        table + kFirstEntryEnd)) {
    return false;
  }
  const std::span<const uint8_t> entries(entry_bytes);
  for (uint32_t i = 0; i < count; ++i) {
    directory.AddEntry()->SetDirectoryEntry(ImageResourceDirectoryEntry::Read(
        entries.subspan(size_t{ImageResourceDirectoryEntry::kSize} * i)
            .first<ImageResourceDirectoryEntry::kSize>()));
  }

  for (int i = 0; i < directory.Count(); ++i) {
    TResourceDirectoryEntry& entry = *directory.Entry(i);

    if ((entry.Name & kHighBit) != 0) {
      const uint64_t position = uint64_t{ResourceOffset} + (entry.Name & kOffsetMask);
      std::array<uint8_t, 2> length_bytes;
      if (!ReadAtSeek(file, position, length_bytes)) return false;
      const uint16_t length = LoadLe16(length_bytes);
      // An empty name would turn the entry into an id entry whose Name points at a
      // string that a rebuilt section does not hold.
      if (length == 0) return false;
      if (!budget.TakeSectionBytes(2u + 2u * uint64_t{length}) ||
          !budget.TakeCopy(2u * uint64_t{length})) {
        return false;
      }
      if (position + 2 + 2u * uint64_t{length} > FileSize) return false;
      std::vector<uint8_t> text_bytes(2u * size_t{length});
      if (!file.ReadExactAt(text_bytes, position + 2)) return false;
      std::u16string text(length, u'\0');
      for (size_t k = 0; k < length; ++k) {
        text[k] = static_cast<char16_t>(LoadLe16(std::span<const uint8_t>(text_bytes)
                                                     .subspan(2 * k)
                                                     .first<2>()));
      }
      entry.NameString.NameLength = length;
      entry.NameString.NameText = std::move(text);
    }

    if ((entry.OffsetToData & kHighBit) != 0) {
      if (depth == kLanguageLevel) return false;
      entry.Subdirectory = std::make_unique<TResourceDirectory>();
      if (!ReadDirectoryBounded(file, *entry.Subdirectory, entry.OffsetToData & kOffsetMask,
                                static_cast<uint8_t>(depth + 1), budget)) {
        return false;
      }
      continue;
    }

    if (depth != kLanguageLevel) return false;
    std::array<uint8_t, ImageResourceDataEntry::kSize> record_bytes;
    if (!ReadAtSeek(file, uint64_t{ResourceOffset} + entry.OffsetToData, record_bytes)) {
      return false;
    }
    entry.SetDataEntry(ImageResourceDataEntry::Read(record_bytes));
    if (entry.Reserved != 0) return false;
    const uint64_t slot = (uint64_t{entry.DataSize} + 3) / 4 * 4;
    if (!budget.TakeSectionBytes(ImageResourceDataEntry::kSize + slot)) return false;
    // An empty resource needs no bytes, so its address is not looked up.
    if (entry.DataSize == 0) continue;
    const uint32_t data_offset = RvaToOffset(entry.DataRva);
    if (data_offset >= kFirstNegativePosition) return false;
    if (data_offset > FileSize || entry.DataSize > FileSize - data_offset) return false;
    if (!budget.TakeCopy(entry.DataSize)) return false;
    std::span<uint8_t> room;
    entry.Data = budget.arena.Allocate(entry.DataSize, room);
    if (!file.ReadExactAt(room, data_offset)) {
      return false;
    }
  }
  return true;
}

TResourceDirectory* TPEFile::FindResourceType(int32_t type_id,
                                              std::u16string_view type_name) const {
  const TResourceDirectoryEntry* entry =
      type_id != 0 ? Resources.FindById(type_id) : Resources.FindByName(type_name);
  return entry != nullptr ? entry->Subdirectory.get() : nullptr;
}

}  // namespace resgraft::engine
