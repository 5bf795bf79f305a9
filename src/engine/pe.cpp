#include "engine/pe.h"

#include <cstring>

#include "engine/messages.h"
#include "sys/file_io.h"

namespace resgraft::engine {
namespace {

constexpr uint16_t kDosSignature = 0x5A4D;        // "MZ"
constexpr uint32_t kNtSignature = 0x00004550;     // "PE\0\0"
constexpr uint16_t kMachineI386 = 0x014C;
constexpr uint16_t kPe32Magic = 0x010B;
constexpr uint16_t kPe32OptionalHeaderSize = 224;
constexpr uint32_t kNoOffset = 0xFFFFFFFFu;
constexpr uint32_t kFirstNegativePosition = 0x80000000u;

// Whether the 8-byte section name holds `text` at byte `first` onwards, with case.
bool NameHas(const SectionHeaderView& section, size_t first, std::string_view text) {
  const auto name = section.Name();
  return std::equal(text.begin(), text.end(), name.begin() + static_cast<ptrdiff_t>(first),
                    [](char c, uint8_t b) { return static_cast<uint8_t>(c) == b; });
}

}  // namespace

ImageDataDirectory OptionalHeaderView::DataDirectory(int slot) const {
  const auto bytes = std::span<const uint8_t>(Bytes()).subspan(
      kDataDirectoryOffset + 8 * static_cast<size_t>(slot), 8);
  return {LoadLe32At(bytes, 0), LoadLe32At(bytes, 4)};
}

void OptionalHeaderView::SetDataDirectoryAddress(int slot, uint32_t virtual_address) const {
  StoreLe32At(Bytes(), kDataDirectoryOffset + 8 * static_cast<size_t>(slot), virtual_address);
}

void OptionalHeaderView::SetDataDirectorySize(int slot, uint32_t size) const {
  StoreLe32At(Bytes(), kDataDirectoryOffset + 8 * static_cast<size_t>(slot) + 4, size);
}

void TPEFile::Clear() {
  FileSize = 0;
  ResourceOffset = 0;
  DosHeader = DosHeaderView();
  FileHeader = FileHeaderView();
  OptionalHeader = OptionalHeaderView();
  SectionHeaders.clear();
  HeaderBlock.clear();
  HeaderBlock.shrink_to_fit();
  PreResourceData.reset();
  PreResourceSize = 0;
  PostResourceData.reset();
  PostResourceSize = 0;
  Resources.Clear();
}

void TPEFile::SetViews(bool with_sections) {
  const std::span<uint8_t> block(HeaderBlock);
  DosHeader = DosHeaderView(block.first<kDosHeaderSize>());
  const size_t nt = static_cast<size_t>(DosHeader.e_lfanew());
  FileHeader = FileHeaderView(block.subspan(nt + kFileHeaderOffset).first<20>());
  OptionalHeader = OptionalHeaderView(block.subspan(nt + kOptionalHeaderOffset).first<224>());
  SectionHeaders.clear();
  if (!with_sections) return;
  const size_t table = nt + kNtHeadersSize;
  const size_t count = FileHeader.NumberOfSections();
  SectionHeaders.reserve(count);
  for (size_t i = 0; i < count; ++i) {
    SectionHeaders.emplace_back(
        block.subspan(table + kSectionHeaderSize * i).first<kSectionHeaderSize>());
  }
}

void TPEFile::ReadHeaders(sys::File& file, std::string& msg) {
  msg = messages::kNotWin32Pe;
  // No size field may ask for more memory than the file could fill.
  const uint64_t file_size = file.Size().value_or(0);

  HeaderBlock.assign(kDosHeaderSize, 0);
  DosHeader = DosHeaderView(std::span<uint8_t>(HeaderBlock).first<kDosHeaderSize>());
  if (!file.ReadExact(HeaderBlock)) return;
  if (DosHeader.e_magic() != kDosSignature || DosHeader.e_lfanew() < 64) return;

  const uint64_t nt = static_cast<uint64_t>(DosHeader.e_lfanew());
  if (nt + kNtHeadersSize > file_size) return;
  HeaderBlock.resize(static_cast<size_t>(nt + kNtHeadersSize));
  if (!file.ReadExact(std::span<uint8_t>(HeaderBlock).subspan(kDosHeaderSize))) return;
  SetViews(false);
  if (LoadLe32At(HeaderBlock, static_cast<size_t>(nt)) != kNtSignature) return;
  if (FileHeader.Machine() != kMachineI386) return;
  if (OptionalHeader.Magic() != kPe32Magic) return;
  if (FileHeader.NumberOfSections() == 0) return;

  msg = messages::kBadPeHeader;
  // The section table is only ever looked for behind a 224-byte optional header.
  if (FileHeader.SizeOfOptionalHeader() != kPe32OptionalHeaderSize) return;

  const uint32_t sections = FileHeader.NumberOfSections();
  const uint64_t table_end = nt + kNtHeadersSize + uint64_t{kSectionHeaderSize} * sections;
  if (table_end > file_size) return;
  HeaderBlock.resize(static_cast<size_t>(table_end));
  SetViews(false);
  if (!file.ReadExact(std::span<uint8_t>(HeaderBlock).subspan(nt + kNtHeadersSize))) return;

  // SizeOfHeaders covers at least the section table and reaches the first section.
  const uint32_t first_raw = LoadLe32At(HeaderBlock, nt + kNtHeadersSize + 20);
  if (first_raw > OptionalHeader.SizeOfHeaders()) OptionalHeader.SetSizeOfHeaders(first_raw);
  if (table_end > OptionalHeader.SizeOfHeaders()) {
    OptionalHeader.SetSizeOfHeaders(static_cast<uint32_t>(table_end));
  }

  const uint32_t size_of_headers = OptionalHeader.SizeOfHeaders();
  if (size_of_headers > file_size) return;
  HeaderBlock.resize(size_of_headers);
  SetViews(true);
  if (!file.ReadExact(std::span<uint8_t>(HeaderBlock).subspan(static_cast<size_t>(table_end)))) {
    return;
  }

  // Sections follow one another without gaps, in memory and in the file.
  const uint32_t section_alignment = OptionalHeader.SectionAlignment();
  if (sections > 1 && section_alignment == 0) return;
  for (size_t j = 1; j < SectionHeaders.size(); ++j) {
    const SectionHeaderView& previous = SectionHeaders[j - 1];
    const SectionHeaderView& section = SectionHeaders[j];
    if (AlignUp(previous.VirtualSize(), section_alignment) + previous.VirtualAddress() !=
        section.VirtualAddress()) {
      return;
    }
    const uint32_t expected_raw = previous.PointerToRawData() + previous.SizeOfRawData();
    if (section.PointerToRawData() == 0) {
      section.SetPointerToRawData(expected_raw);
    } else if (section.PointerToRawData() != expected_raw) {
      return;
    }
  }
  msg.clear();
}

void TPEFile::DetectPacker(std::string& name) const {
  name.clear();
  if (SectionHeaders.empty()) return;
  const SectionHeaderView& first = SectionHeaders.front();
  const SectionHeaderView& last = SectionHeaders.back();
  if (NameHas(first, 0, "UPX")) {
    name = "UPX";
  } else if (NameHas(first, 0, "pec")) {
    name = "PECompress";
  } else if (NameHas(last, 1, "WWP")) {
    name = "WWPack32";
  } else if (SectionHeaders.size() >= 2 &&
             NameHas(SectionHeaders[SectionHeaders.size() - 2], 1, "asp")) {
    name = "ASPack";
  }
}

uint32_t TPEFile::RvaToOffset(uint32_t rva) const {
  if (rva == 0) return kNoOffset;
  for (const SectionHeaderView& section : SectionHeaders) {
    const uint32_t start = section.VirtualAddress();
    if (start <= rva && rva < start + section.SizeOfRawData()) {
      return rva - start + section.PointerToRawData();
    }
  }
  return kNoOffset;
}

uint32_t TPEFile::OffsetToRva(uint32_t offset) const {
  if (offset == kNoOffset) return 0;
  for (const SectionHeaderView& section : SectionHeaders) {
    const uint32_t start = section.PointerToRawData();
    if (start <= offset && offset < start + section.SizeOfRawData()) {
      return offset - start + section.VirtualAddress();
    }
  }
  return 0;
}

int32_t TPEFile::SectionIndexOf(ImageDataDirectory slot) const {
  if (slot.VirtualAddress == 0) return -1;
  for (size_t i = 0; i < SectionHeaders.size(); ++i) {
    const uint32_t start = SectionHeaders[i].VirtualAddress();
    if (start <= slot.VirtualAddress &&
        slot.VirtualAddress < start + SectionHeaders[i].SizeOfRawData()) {
      return static_cast<int32_t>(i);
    }
  }
  return -1;
}

bool TPEFile::ReadBlock(sys::File& file, uint32_t position, int32_t size,
                        std::unique_ptr<uint8_t[]>& block) {
  if (size < 0 || position >= kFirstNegativePosition) return false;
  if (size == 0) return true;
  const uint32_t count = static_cast<uint32_t>(size);
  if (position > FileSize || count > FileSize - position) return false;
  block = std::make_unique_for_overwrite<uint8_t[]>(count);
  return file.ReadExactAt(std::span<uint8_t>(block.get(), count), position);
}

void TPEFile::LoadFromFile(const std::string& file_name, std::string& msg) {
  const std::string tail = file_name + " ";
  msg = std::string(messages::kCannotOpen) + tail;
  std::optional<sys::File> file = sys::File::OpenRead(file_name);
  if (!file) return;
  // Sizes of 4 GiB and more cannot be described by a 32-bit file size.
  const std::optional<uint64_t> size = file->Size();
  if (!size || *size >= 0xFFFFFFFFu) return;
  FileSize = static_cast<uint32_t>(*size);

  ReadHeaders(*file, msg);
  if (!msg.empty()) {
    msg += "\r\n" + tail;
    return;
  }

  std::string packer;
  DetectPacker(packer);
  if (!packer.empty()) {
    msg = "\"" + packer + "\"" + messages::kPacked + tail;
    return;
  }

  msg = std::string(messages::kBadResources) + tail;
  const ImageDataDirectory resource_slot = OptionalHeader.DataDirectory(kResourceSlot);
  ResourceOffset = RvaToOffset(resource_slot.VirtualAddress);
  const int32_t index = SectionIndexOf(resource_slot);
  if (index < 0) return;
  const SectionHeaderView& section = SectionHeaders[static_cast<size_t>(index)];
  // The section is rebuilt from its first byte, so the root must stand there.
  if (ResourceOffset != section.PointerToRawData()) return;
  if (!ReadDirectory(*file, Resources, 0, 0)) return;

  const int64_t pre_size =
      int64_t{ResourceOffset} - int64_t{OptionalHeader.SizeOfHeaders()};
  if (pre_size < 0 || pre_size > INT32_MAX) return;
  PreResourceSize = static_cast<int32_t>(pre_size);
  if (!ReadBlock(*file, OptionalHeader.SizeOfHeaders(), PreResourceSize, PreResourceData)) {
    return;
  }

  const uint64_t resource_end = uint64_t{ResourceOffset} + section.SizeOfRawData();
  const int64_t post_size = int64_t{FileSize} - static_cast<int64_t>(resource_end);
  if (post_size < 0 || post_size > INT32_MAX) return;
  PostResourceSize = static_cast<int32_t>(post_size);
  if (!ReadBlock(*file, static_cast<uint32_t>(resource_end), PostResourceSize,
                 PostResourceData)) {
    return;
  }
  msg.clear();
}

}  // namespace resgraft::engine
