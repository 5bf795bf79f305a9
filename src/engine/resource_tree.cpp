#include <algorithm>
#include <utility>

#include "engine/pe.h"
#include "sys/utf16.h"

namespace resgraft::engine {
namespace {

constexpr uint8_t kLanguageLevel = 2;
constexpr uint32_t kLargestDataSize = 0xFFFFFFFCu;  // the largest size AlignUp(., 4) keeps

// `total += amount`, or false when the sum would pass 32 bits.
bool CheckedAdd(uint32_t& total, uint32_t amount) {
  if (amount > UINT32_MAX - total) return false;
  total += amount;
  return true;
}

}  // namespace

uint32_t AlignUp(uint32_t value, uint32_t alignment) {
  return (value + alignment - 1) / alignment * alignment;
}

ImageResourceDirectory ImageResourceDirectory::Read(std::span<const uint8_t, kSize> b) {
  ImageResourceDirectory d;
  d.Characteristics = LoadLe32At(b, 0);
  d.TimeDateStamp = LoadLe32At(b, 4);
  d.MajorVersion = LoadLe16At(b, 8);
  d.MinorVersion = LoadLe16At(b, 10);
  d.NumberOfNamedEntries = LoadLe16At(b, 12);
  d.NumberOfIdEntries = LoadLe16At(b, 14);
  return d;
}

void ImageResourceDirectory::Write(std::span<uint8_t, kSize> b) const {
  StoreLe32At(b, 0, Characteristics);
  StoreLe32At(b, 4, TimeDateStamp);
  StoreLe16At(b, 8, MajorVersion);
  StoreLe16At(b, 10, MinorVersion);
  StoreLe16At(b, 12, NumberOfNamedEntries);
  StoreLe16At(b, 14, NumberOfIdEntries);
}

ImageResourceDirectoryEntry ImageResourceDirectoryEntry::Read(
    std::span<const uint8_t, kSize> b) {
  return {LoadLe32At(b, 0), LoadLe32At(b, 4)};
}

void ImageResourceDirectoryEntry::Write(std::span<uint8_t, kSize> b) const {
  StoreLe32At(b, 0, Name);
  StoreLe32At(b, 4, OffsetToData);
}

ImageResourceDataEntry ImageResourceDataEntry::Read(std::span<const uint8_t, kSize> b) {
  return {LoadLe32At(b, 0), LoadLe32At(b, 4), LoadLe32At(b, 8), LoadLe32At(b, 12)};
}

void ImageResourceDataEntry::Write(std::span<uint8_t, kSize> b) const {
  StoreLe32At(b, 0, OffsetToData);
  StoreLe32At(b, 4, Size);
  StoreLe32At(b, 8, CodePage);
  StoreLe32At(b, 12, Reserved);
}

// --- TResourceDirectoryEntry ---

TResourceDirectoryEntry::~TResourceDirectoryEntry() = default;

void TResourceDirectoryEntry::Reset() {
  Name = 0;
  OffsetToData = 0;
  NameString = TImageResourceDirStringU();
  Subdirectory.reset();
  DataRva = 0;
  DataSize = 0;
  CodePage = 0;
  Reserved = 0;
  Data.reset();
}

void TResourceDirectoryEntry::Assign(const TResourceDirectoryEntry& source) {
  if (&source == this) return;
  Reset();
  Name = source.Name;
  OffsetToData = source.OffsetToData;
  NameString = source.NameString;
  DataRva = source.DataRva;
  DataSize = source.DataSize;
  CodePage = source.CodePage;
  Reserved = source.Reserved;
  // Bytes that loading read are shared, not duplicated; a write through either
  // entry gives that entry bytes of its own.
  Data = source.Data.Copy(source.DataSize);
  if (source.Subdirectory) {
    Subdirectory = std::make_unique<TResourceDirectory>();
    Subdirectory->Assign(*source.Subdirectory);
  }
}

void TResourceDirectoryEntry::SetDirectoryEntry(const ImageResourceDirectoryEntry& record) {
  Name = record.Name;
  OffsetToData = record.OffsetToData;
}

void TResourceDirectoryEntry::SetDataEntry(const ImageResourceDataEntry& record) {
  DataRva = record.OffsetToData;
  DataSize = record.Size;
  CodePage = record.CodePage;
  Reserved = record.Reserved;
}

// --- TResourceDirectory ---

TResourceDirectory::~TResourceDirectory() { Clear(); }

TResourceDirectoryEntry* TResourceDirectory::Entry(int index) const {
  if (index < 0 || index >= Count()) return nullptr;
  return entries_[static_cast<size_t>(index)].get();
}

TResourceDirectoryEntry* TResourceDirectory::AddEntry() {
  entries_.push_back(std::make_unique<TResourceDirectoryEntry>());
  return entries_.back().get();
}

void TResourceDirectory::Clear() {
  // Index order, as the entries were added.
  for (auto& entry : entries_) entry.reset();
  entries_.clear();
}

void TResourceDirectory::Assign(const TResourceDirectory& source) {
  if (&source == this) return;
  Clear();
  SetHeader(source.Header());
  entries_.reserve(source.entries_.size());
  for (const auto& entry : source.entries_) AddEntry()->Assign(*entry);
}

TResourceDirectoryEntry* TResourceDirectory::FindById(int32_t id) const {
  const uint32_t key = static_cast<uint32_t>(id);
  for (const auto& entry : entries_) {
    if (!entry->IsNamed() && entry->Name == key) return entry.get();
  }
  return nullptr;
}

TResourceDirectoryEntry* TResourceDirectory::FindByName(std::u16string_view key) const {
  for (const auto& entry : entries_) {
    if (entry->IsNamed() && sys::NamesEqual(entry->NameString.NameText, key)) {
      return entry.get();
    }
  }
  return nullptr;
}

bool TResourceDirectory::CountsFit() const {
  size_t named = 0;
  for (const auto& entry : entries_) named += entry->IsNamed() ? 1u : 0u;
  return named <= UINT16_MAX && entries_.size() - named <= UINT16_MAX;
}

ImageResourceDirectory TResourceDirectory::Header() const {
  return {Characteristics,    TimeDateStamp,        MajorVersion,
          MinorVersion,       NumberOfNamedEntries, NumberOfIdEntries};
}

void TResourceDirectory::SetHeader(const ImageResourceDirectory& header) {
  Characteristics = header.Characteristics;
  TimeDateStamp = header.TimeDateStamp;
  MajorVersion = header.MajorVersion;
  MinorVersion = header.MinorVersion;
  NumberOfNamedEntries = header.NumberOfNamedEntries;
  NumberOfIdEntries = header.NumberOfIdEntries;
}

bool TResourceDirectory::Measure(ResourceLayout& sizes, uint8_t depth) const {
  if (depth > kLanguageLevel || !CountsFit()) return false;
  const uint32_t table_size =
      ImageResourceDirectory::kSize +
      ImageResourceDirectoryEntry::kSize * static_cast<uint32_t>(entries_.size());
  if (!CheckedAdd(sizes[depth], table_size)) return false;

  for (const auto& entry : entries_) {
    if (entry->IsBranch()) {
      if (depth == kLanguageLevel) return false;
      if (!entry->Subdirectory->Measure(sizes, static_cast<uint8_t>(depth + 1))) return false;
    } else {
      if (depth != kLanguageLevel) return false;
      // A leaf must hold the bytes it claims, in a slot that AlignUp can describe.
      if (entry->DataSize > kLargestDataSize) return false;
      if (entry->DataSize != 0 && !entry->Data) return false;
      if (!CheckedAdd(sizes[kDataEntryRegion], ImageResourceDataEntry::kSize) ||
          !CheckedAdd(sizes[kDataRegion], AlignUp(entry->DataSize, 4))) {
        return false;
      }
    }
    const TImageResourceDirStringU& name = entry->NameString;
    if (name.NameText.size() != name.NameLength) return false;
    if (entry->IsNamed()) {
      if (!CheckedAdd(sizes[kNameRegion], 2u + 2u * uint32_t{name.NameLength})) return false;
    } else if ((entry->Name & kHighBit) != 0) {
      // An id entry whose Name still holds a string offset would point into the new
      // section at a name that is not written there.
      return false;
    }
  }
  return true;
}

bool RegionEnds(const ResourceLayout& sizes, ResourceLayout& ends) {
  uint32_t end = 0;
  for (size_t region = 0; region < kDataRegion; ++region) {
    if (!CheckedAdd(end, sizes[region])) return false;
    ends[region] = end;
  }
  // The data starts at a multiple of 4 behind the name strings.
  if (end > kLargestDataSize) return false;
  end = AlignUp(end, 4);
  if (!CheckedAdd(end, sizes[kDataRegion])) return false;
  ends[kDataRegion] = end;
  return true;
}

bool SectionSize(const ResourceLayout& sizes, uint32_t& size) {
  ResourceLayout ends{};
  if (!RegionEnds(sizes, ends)) return false;
  size = ends[kDataRegion];
  return true;
}

}  // namespace resgraft::engine
