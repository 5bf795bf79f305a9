#include <algorithm>
#include <array>
#include <optional>
#include <vector>

#include "engine/pe.h"
#include "sys/file_io.h"

namespace resgraft::engine {
namespace {

constexpr uint8_t kLanguageLevel = 2;
constexpr uint64_t kFirstNegativePosition = 0x80000000u;
constexpr uint64_t kLargestSection = 0xFFFFFFFFu;
// A table's header and its first entry.
constexpr size_t kFirstEntryEnd = ImageResourceDirectory::kSize + ImageResourceDirectoryEntry::kSize;

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
  std::array<uint8_t, kFirstEntryEnd> head_bytes;
  const bool first_entry_read = ReadAtSeek(file, table, head_bytes);
  if (!first_entry_read &&
      !ReadAtSeek(file, table, std::span<uint8_t>(head_bytes).first<ImageResourceDirectory::kSize>())) {
    return false;
  }
  if (!ReadTable(file, directory, table, head_bytes, first_entry_read, budget)) return false;
  if (depth == 1) return ReadLanguageDirectories(file, directory, budget);

  for (int i = 0; i < directory.Count(); ++i) {
    TResourceDirectoryEntry& entry = *directory.Entry(i);
    if (!ReadEntryName(file, entry, budget)) return false;

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
    std::optional<Range> data = PlaceData(entry, record_bytes, budget);
    if (!data) return false;
    if (!file.ReadExactAt(data->bytes, data->position)) return false;
  }
  return true;
}

bool TPEFile::ReadTable(sys::File& file, TResourceDirectory& directory, uint64_t table,
                        std::span<const uint8_t, kFirstEntryEnd> head, bool first_entry_read,
                        ReadBudget& budget) {
  directory.SetHeader(ImageResourceDirectory::Read(head.first<ImageResourceDirectory::kSize>()));
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
  std::copy_n(head.begin() + ImageResourceDirectory::kSize, ImageResourceDirectoryEntry::kSize,
              entry_bytes.begin());
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
  return true;
}

bool TPEFile::ReadEntryName(sys::File& file, TResourceDirectoryEntry& entry, ReadBudget& budget) {
  if ((entry.Name & kHighBit) == 0) return true;
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
    text[k] = static_cast<char16_t>(
        LoadLe16(std::span<const uint8_t>(text_bytes).subspan(2 * k).first<2>()));
  }
  entry.NameString.NameLength = length;
  entry.NameString.NameText = std::move(text);
  return true;
}

std::optional<uint32_t> TPEFile::CheckData(
    TResourceDirectoryEntry& leaf, std::span<const uint8_t, ImageResourceDataEntry::kSize> record,
    ReadBudget& budget) const {
  leaf.SetDataEntry(ImageResourceDataEntry::Read(record));
  if (leaf.Reserved != 0) return std::nullopt;
  const uint64_t slot = (uint64_t{leaf.DataSize} + 3) / 4 * 4;
  if (!budget.TakeSectionBytes(ImageResourceDataEntry::kSize + slot)) return std::nullopt;
  // An empty resource needs no bytes, so its address is not looked up.
  if (leaf.DataSize == 0) return 0;
  const uint32_t data_offset = RvaToOffset(leaf.DataRva);
  if (data_offset >= kFirstNegativePosition) return std::nullopt;
  if (data_offset > FileSize || leaf.DataSize > FileSize - data_offset) return std::nullopt;
  if (!budget.TakeCopy(leaf.DataSize)) return std::nullopt;
  return data_offset;
}

std::optional<TPEFile::Range> TPEFile::PlaceData(
    TResourceDirectoryEntry& leaf, std::span<const uint8_t, ImageResourceDataEntry::kSize> record,
    ReadBudget& budget) const {
  const std::optional<uint32_t> position = CheckData(leaf, record, budget);
  if (!position) return std::nullopt;
  if (leaf.DataSize == 0) return Range{};
  std::span<uint8_t> room;
  leaf.Data = budget.arena.Allocate(leaf.DataSize, room);
  return Range{*position, room};
}

// Below a type's directory every entry leads to a language directory whose entries
// are leaves. They are read in rounds across the whole type (all language tables,
// then all data-entry records, then all data) instead of resource by resource, so
// that ranges lying next to each other in the file, as linkers and this engine lay
// them out, come with one call. Every byte read is still one the load needs, and
// each entry meets the same checks and budgets as in the walk above; only their
// order differs, which decides nothing but how far a failed load got.
bool TPEFile::ReadLanguageDirectories(sys::File& file, TResourceDirectory& names,
                                      ReadBudget& budget) {
  const size_t count = static_cast<size_t>(names.Count());
  std::vector<uint64_t> tables(count);
  std::vector<std::array<uint8_t, kFirstEntryEnd>> heads(count);
  std::vector<Range> ranges;
  ranges.reserve(count);
  for (size_t i = 0; i < count; ++i) {
    TResourceDirectoryEntry& entry = *names.Entry(static_cast<int>(i));
    if (!ReadEntryName(file, entry, budget)) return false;
    if ((entry.OffsetToData & kHighBit) == 0) return false;  // data where a table belongs
    tables[i] = uint64_t{ResourceOffset} + (entry.OffsetToData & kOffsetMask);
    if (tables[i] >= kFirstNegativePosition) return false;
    entry.Subdirectory = std::make_unique<TResourceDirectory>();
    ranges.push_back({tables[i], heads[i]});
  }
  if (!ReadRanges(file, ranges)) return false;

  std::vector<TResourceDirectoryEntry*> leaves;
  leaves.reserve(count);
  ranges.clear();
  for (size_t i = 0; i < count; ++i) {
    TResourceDirectory& languages = *names.Entry(static_cast<int>(i))->Subdirectory;
    if (!ReadTable(file, languages, tables[i], heads[i], true, budget)) return false;
    for (int j = 0; j < languages.Count(); ++j) {
      TResourceDirectoryEntry& leaf = *languages.Entry(j);
      if (!ReadEntryName(file, leaf, budget)) return false;
      if ((leaf.OffsetToData & kHighBit) != 0) return false;  // a table below a language
      const uint64_t record = uint64_t{ResourceOffset} + leaf.OffsetToData;
      if (record >= kFirstNegativePosition) return false;
      leaves.push_back(&leaf);
    }
  }
  std::vector<std::array<uint8_t, ImageResourceDataEntry::kSize>> records(leaves.size());
  for (size_t k = 0; k < leaves.size(); ++k) {
    ranges.push_back({uint64_t{ResourceOffset} + leaves[k]->OffsetToData, records[k]});
  }
  if (!ReadRanges(file, ranges)) return false;

  // Every record is checked before any room is taken, so that the type's bytes get
  // one block of the size they need in all.
  std::vector<uint32_t> positions(leaves.size());
  size_t group_bytes = 0;
  for (size_t k = 0; k < leaves.size(); ++k) {
    const std::optional<uint32_t> position = CheckData(*leaves[k], records[k], budget);
    if (!position) return false;
    positions[k] = *position;
    group_bytes += ResourceArena::Footprint(leaves[k]->DataSize);
  }
  budget.arena.Reserve(group_bytes);
  ranges.clear();
  for (size_t k = 0; k < leaves.size(); ++k) {
    TResourceDirectoryEntry& leaf = *leaves[k];
    if (leaf.DataSize == 0) continue;
    std::span<uint8_t> room;
    leaf.Data = budget.arena.Allocate(leaf.DataSize, room);
    ranges.push_back({positions[k], room});
  }
  return ReadRanges(file, ranges);
}

bool TPEFile::ReadRanges(sys::File& file, std::span<const Range> ranges) {
  std::vector<std::span<uint8_t>> parts;
  size_t first = 0;
  while (first < ranges.size()) {
    size_t end = first + 1;
    uint64_t next = ranges[first].position + ranges[first].bytes.size();
    while (end < ranges.size() && ranges[end].position == next) {
      next += ranges[end].bytes.size();
      ++end;
    }
    parts.clear();
    for (size_t k = first; k < end; ++k) parts.push_back(ranges[k].bytes);
    if (!file.ReadScatteredAt(parts, ranges[first].position)) return false;
    first = end;
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
