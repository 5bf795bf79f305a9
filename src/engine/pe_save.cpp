#include <array>

#include "engine/messages.h"
#include "engine/pe.h"
#include "sys/file_io.h"
#include "sys/page_memory.h"

namespace resgraft::engine {
namespace {

constexpr uint32_t kCodeFlag = 0x20;
constexpr uint32_t kInitializedDataFlag = 0x40;
constexpr uint32_t kUninitializedDataFlag = 0x80;

uint64_t AlignUp64(uint64_t value, uint32_t alignment) {
  return (value + alignment - 1) / alignment * alignment;
}

bool WriteBlock(sys::File& file, const uint8_t* data, int32_t size) {
  if (size <= 0) return true;
  return file.WriteExact(std::span<const uint8_t>(data, static_cast<size_t>(size)));
}

}  // namespace

bool TPEFile::CanResize(uint32_t new_size) const {
  const int32_t index = SectionIndexOf(OptionalHeader.DataDirectory(kResourceSlot));
  if (index < 0) return false;
  const uint32_t file_alignment = OptionalHeader.FileAlignment();
  if (file_alignment == 0) return false;
  const uint64_t raw_size = AlignUp64(new_size, file_alignment);
  if (raw_size > UINT32_MAX) return false;
  const size_t i = static_cast<size_t>(index);
  const SectionHeaderView& section = SectionHeaders[i];
  if (raw_size == section.SizeOfRawData()) return true;

  // The written file must stay describable by a 32-bit size, and must load again:
  // loading seeks to the end of the resource section with a signed 32-bit position,
  // so a section ending at 2 GiB or beyond (a huge FileAlignment does it from a tiny
  // tree) would give a file that no load accepts.
  const uint64_t file_size = uint64_t{ResourceOffset} + raw_size +
                             static_cast<uint64_t>(PostResourceSize < 0 ? 0 : PostResourceSize);
  if (file_size >= UINT32_MAX) return false;
  if (uint64_t{ResourceOffset} + raw_size >= 0x80000000u) return false;

  const uint32_t section_alignment = OptionalHeader.SectionAlignment();
  if (section_alignment == 0) return false;
  uint64_t image_end = section.VirtualAddress() + AlignUp64(new_size, section_alignment);
  for (size_t j = i + 1; j < SectionHeaders.size(); ++j) {
    image_end += AlignUp64(SectionHeaders[j].VirtualSize(), section_alignment);
  }
  if (image_end > UINT32_MAX) return false;

  // Code and data refer to each other by address, so only the base relocations,
  // which the loader finds through the data directory alone, may move in memory.
  const uint64_t new_end = section.VirtualAddress() + AlignUp64(new_size, section_alignment);
  if (i + 1 < SectionHeaders.size() && new_end != SectionHeaders[i + 1].VirtualAddress()) {
    const int32_t relocations = SectionIndexOf(OptionalHeader.DataDirectory(kBaseRelocationSlot));
    for (size_t j = i + 1; j < SectionHeaders.size(); ++j) {
      if (static_cast<int32_t>(j) != relocations) return false;
    }
  }
  return true;
}

uint32_t TPEFile::ResizeResourceSection(uint32_t new_size) {
  const uint32_t file_alignment = OptionalHeader.FileAlignment();
  const uint32_t section_alignment = OptionalHeader.SectionAlignment();
  const uint32_t raw_size = AlignUp(new_size, file_alignment);
  const int32_t index = SectionIndexOf(OptionalHeader.DataDirectory(kResourceSlot));
  if (index < 0) return raw_size;
  const size_t i = static_cast<size_t>(index);
  const SectionHeaderView& resource = SectionHeaders[i];

  const uint32_t raw_shift = raw_size - resource.SizeOfRawData();
  if (raw_shift == 0) return raw_size;
  const uint32_t old_raw_end = resource.PointerToRawData() + resource.SizeOfRawData();

  // Each slot moves with the one section whose raw extent held it before anything
  // moved, so a slot carried into the next section's old extent is not moved twice.
  std::array<size_t, kDataDirectorySlots> holder;
  holder.fill(SectionHeaders.size());
  for (int slot = 0; slot < kDataDirectorySlots; ++slot) {
    if (slot == kCertificateSlot) continue;  // a file offset, handled below
    const uint32_t address = OptionalHeader.DataDirectory(slot).VirtualAddress;
    for (size_t j = i + 1; j < SectionHeaders.size(); ++j) {
      const uint32_t start = SectionHeaders[j].VirtualAddress();
      if (start <= address && address < start + SectionHeaders[j].SizeOfRawData()) {
        holder[static_cast<size_t>(slot)] = j;
        break;
      }
    }
  }

  OptionalHeader.SetDataDirectorySize(kResourceSlot, new_size);
  resource.SetVirtualSize(new_size);
  resource.SetSizeOfRawData(raw_size);

  for (size_t j = i + 1; j < SectionHeaders.size(); ++j) {
    const SectionHeaderView& previous = SectionHeaders[j - 1];
    const SectionHeaderView& section = SectionHeaders[j];
    const uint32_t address_shift = previous.VirtualAddress() +
                                   AlignUp(previous.VirtualSize(), section_alignment) -
                                   section.VirtualAddress();
    if (address_shift != 0) {
      for (int slot = 0; slot < kDataDirectorySlots; ++slot) {
        if (holder[static_cast<size_t>(slot)] != j) continue;
        OptionalHeader.SetDataDirectoryAddress(
            slot, OptionalHeader.DataDirectory(slot).VirtualAddress + address_shift);
      }
      section.SetVirtualAddress(section.VirtualAddress() + address_shift);
    }
    section.SetPointerToRawData(section.PointerToRawData() + raw_shift);
  }

  // File positions behind the old section move with the bytes they point at.
  const uint32_t certificates = OptionalHeader.DataDirectory(kCertificateSlot).VirtualAddress;
  if (certificates != 0 && certificates >= old_raw_end) {
    OptionalHeader.SetDataDirectoryAddress(kCertificateSlot, certificates + raw_shift);
  }
  const uint32_t symbols = FileHeader.PointerToSymbolTable();
  if (symbols != 0 && symbols >= old_raw_end) {
    FileHeader.SetPointerToSymbolTable(symbols + raw_shift);
  }

  uint32_t size_of_code = 0;
  uint32_t size_of_initialized_data = 0;
  uint32_t size_of_uninitialized_data = 0;
  uint32_t size_of_image = AlignUp(OptionalHeader.SizeOfHeaders(), section_alignment);
  for (const SectionHeaderView& section : SectionHeaders) {
    if ((section.Characteristics() & kCodeFlag) != 0) size_of_code += section.SizeOfRawData();
    if ((section.Characteristics() & kInitializedDataFlag) != 0) {
      size_of_initialized_data += section.SizeOfRawData();
    }
    if ((section.Characteristics() & kUninitializedDataFlag) != 0) {
      size_of_uninitialized_data += section.SizeOfRawData();
    }
    size_of_image += AlignUp(section.VirtualSize(), section_alignment);
  }
  // Never short of the end of the last section, wherever the first one begins.
  const SectionHeaderView& last = SectionHeaders.back();
  const uint32_t last_end = last.VirtualAddress() + AlignUp(last.VirtualSize(), section_alignment);
  if (last_end > size_of_image) size_of_image = last_end;

  OptionalHeader.SetSizeOfCode(size_of_code);
  OptionalHeader.SetSizeOfInitializedData(size_of_initialized_data);
  OptionalHeader.SetSizeOfUninitializedData(size_of_uninitialized_data);
  OptionalHeader.SetSizeOfImage(size_of_image);
  return raw_size;
}

void TPEFile::SaveToFile(const std::string& file_name, std::string& msg) {
  const std::string tail = file_name + " ";
  msg = std::string(messages::kCannotSave) + tail;
  if (!OptionalHeader || SectionHeaders.empty()) return;

  ResourceLayout sizes{};
  if (!Resources.Measure(sizes, 0)) return;
  uint32_t section_size = 0;
  if (!SectionSize(sizes, section_size)) return;
  if (!CanResize(section_size)) return;
  const uint32_t raw_size = ResizeResourceSection(section_size);

  // The image goes to a new file that replaces the destination only when complete.
  std::optional<sys::FileReplacement> replacement = sys::FileReplacement::Create(file_name);
  if (!replacement) return;
  sys::File& out = replacement->file();

  msg = std::string(messages::kCannotWrite) + tail;
  if (!out.WriteExact(HeaderBlock)) return;
  if (!WriteBlock(out, PreResourceData.get(), PreResourceSize)) return;
  {
    // Fresh pages from the system are zero already, so the buffer is never cleared
    // by hand, and huge pages keep the faults of filling it few.
    const sys::PageMemory buffer = sys::PageMemory::Allocate(raw_size);
    const std::span<uint8_t> section = buffer.bytes();
    ResourceLayout cursors{};
    if (!RegionEnds(sizes, cursors)) return;
    if (!WriteDirectory(section, Resources, cursors, 0)) return;
    if (!out.WriteExact(section)) return;
  }
  if (!WriteBlock(out, PostResourceData.get(), PostResourceSize)) return;

  const std::optional<uint64_t> written = out.Size();
  FileSize = written && *written < UINT32_MAX ? static_cast<uint32_t>(*written) : UINT32_MAX;
  if (FileSize == UINT32_MAX) return;

  if (OptionalHeader.CheckSum() != 0) {
    const uint32_t checksum = ImageChecksum(out, FileSize);
    OptionalHeader.SetCheckSum(checksum);
    if (checksum == 0) {
      msg = std::string(messages::kNoChecksum) + tail;
      return;
    }
    const uint64_t position = static_cast<uint64_t>(DosHeader.e_lfanew()) + kOptionalHeaderOffset;
    if (!out.WriteExactAt(OptionalHeader.Bytes(), position)) return;
  }
  if (!replacement->Commit()) return;
  msg.clear();
}

}  // namespace resgraft::engine
