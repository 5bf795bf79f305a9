#include "support/pe_builder.h"

#include <algorithm>
#include <fstream>
#include <stdexcept>
#include <utility>

namespace resgraft::testing {
namespace {

constexpr uint32_t kNtSignature = 0x00004550;  // "PE\0\0"
constexpr uint32_t kFileHeaderSize = 20;
constexpr uint32_t kOptionalHeaderSize = 224;
constexpr uint32_t kNtHeadersSize = 4 + kFileHeaderSize + kOptionalHeaderSize;
constexpr uint32_t kSectionHeaderSize = 40;
constexpr uint32_t kDataDirectorySlots = 16;
constexpr uint32_t kResourceSlot = 2;
constexpr uint32_t kRelocationSlot = 5;
constexpr uint32_t kSymbolSize = 18;

constexpr uint32_t kContainsCode = 0x20;
constexpr uint32_t kContainsInitializedData = 0x40;
constexpr uint32_t kContainsUninitializedData = 0x80;

constexpr uint32_t kResourceDirectorySize = 16;
constexpr uint32_t kResourceEntrySize = 8;
constexpr uint32_t kResourceDataEntrySize = 16;
constexpr uint32_t kNameIsString = 0x80000000u;
constexpr uint32_t kDataIsDirectory = 0x80000000u;

// A DOS program that prints its message and exits with code 1.
constexpr uint8_t kDosStub[] = {
    0x0E, 0x1F, 0xBA, 0x0E, 0x00,  // push cs; pop ds; mov dx, message
    0xB4, 0x09, 0xCD, 0x21,        // mov ah, 9; int 21h
    0xB8, 0x01, 0x4C, 0xCD, 0x21,  // mov ax, 4C01h; int 21h
    'N', 'o', 't', ' ', 'a', ' ', 'D', 'O', 'S', ' ', 'p', 'r', 'o', 'g', 'r', 'a', 'm', '.',
    '\r', '\n', '$'};

void CheckRange(size_t buffer_size, uint64_t offset, uint64_t width) {
  if (offset > buffer_size || width > buffer_size - offset) {
    throw std::out_of_range("pe_builder: field at " + std::to_string(offset) +
                            " passes the end of " + std::to_string(buffer_size) + " bytes");
  }
}

void PutLe16(std::vector<uint8_t>& b, uint64_t offset, uint16_t v) {
  CheckRange(b.size(), offset, 2);
  const auto at = static_cast<size_t>(offset);
  b[at] = static_cast<uint8_t>(v);
  b[at + 1] = static_cast<uint8_t>(v >> 8);
}

void PutLe32(std::vector<uint8_t>& b, uint64_t offset, uint32_t v) {
  CheckRange(b.size(), offset, 4);
  const auto at = static_cast<size_t>(offset);
  for (size_t i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

uint32_t To32(uint64_t value, const char* what) {
  if (value > 0xFFFFFFFFu) throw std::length_error(std::string("pe_builder: ") + what);
  return static_cast<uint32_t>(value);
}

uint16_t To16(uint64_t value, const char* what) {
  if (value > 0xFFFFu) throw std::length_error(std::string("pe_builder: ") + what);
  return static_cast<uint16_t>(value);
}

// Copies `src` into `b` at `offset`, which must leave room for all of it.
void CopyInto(std::vector<uint8_t>& b, uint64_t offset, const std::vector<uint8_t>& src) {
  CheckRange(b.size(), offset, src.size());
  std::copy(src.begin(), src.end(), b.begin() + static_cast<std::ptrdiff_t>(offset));
}

// Alignment 0 means "do not align": tests build images with a zero alignment field.
uint64_t AlignUp(uint64_t value, uint32_t alignment) {
  if (alignment == 0) return value;
  return (value + alignment - 1) / alignment * alignment;
}

// Lays a resource tree out depth-first: a table, then for each of its entries in
// order the entry's name string, then its subtree or its data-entry record and data.
// Entry fields are filled in once their targets have a place. Offsets are relative
// to the section start, where the root table stands.
class ResourceWriter {
 public:
  explicit ResourceWriter(uint32_t section_rva) : section_rva_(section_rva) {}

  std::vector<uint8_t> bytes;
  std::vector<uint32_t> directories, data_entries, names;

  uint32_t WriteTable(const ResNode& dir) {
    Align(4);
    const uint32_t table = Size();
    directories.push_back(table);
    const size_t count = dir.children.size();
    const auto named = static_cast<size_t>(std::count_if(
        dir.children.begin(), dir.children.end(), [](const ResNode& c) { return !c.name.empty(); }));
    Grow(kResourceDirectorySize + uint64_t{kResourceEntrySize} * count);
    PutLe32(bytes, table + 0, dir.characteristics);
    PutLe32(bytes, table + 4, dir.time_date_stamp);
    PutLe16(bytes, table + 8, dir.major_version);
    PutLe16(bytes, table + 10, dir.minor_version);
    PutLe16(bytes, table + 12, To16(named, "too many named entries"));
    PutLe16(bytes, table + 14, To16(count - named, "too many id entries"));
    for (size_t i = 0; i < count; ++i) {
      const ResNode& child = dir.children[i];
      const uint64_t entry = table + kResourceDirectorySize + uint64_t{kResourceEntrySize} * i;
      PutLe32(bytes, entry, child.name.empty() ? child.id : WriteName(child.name) | kNameIsString);
      PutLe32(bytes, entry + 4,
              child.is_leaf ? WriteLeaf(child) : WriteTable(child) | kDataIsDirectory);
    }
    return table;
  }

 private:
  uint32_t Size() const { return To32(bytes.size(), "resource section too large"); }
  void Grow(uint64_t more) {
    bytes.resize(To32(bytes.size() + more, "resource section too large"), 0);
  }
  void Align(uint32_t alignment) { Grow(AlignUp(bytes.size(), alignment) - bytes.size()); }

  uint32_t WriteName(const std::u16string& name) {
    Align(2);
    const uint32_t at = Size();
    names.push_back(at);
    Grow(2 + 2 * uint64_t{name.size()});
    PutLe16(bytes, at, To16(name.size(), "name too long"));
    for (size_t i = 0; i < name.size(); ++i) PutLe16(bytes, at + 2 + 2 * i, name[i]);
    return at;
  }

  uint32_t WriteLeaf(const ResNode& leaf) {
    Align(4);
    const uint32_t record = Size();
    data_entries.push_back(record);
    Grow(kResourceDataEntrySize);
    Align(8);
    const uint32_t data = Size();
    Grow(leaf.data.size());
    CopyInto(bytes, data, leaf.data);
    PutLe32(bytes, record + 0, To32(uint64_t{section_rva_} + data, "data address too large"));
    PutLe32(bytes, record + 4, To32(leaf.data.size(), "resource data too large"));
    PutLe32(bytes, record + 8, leaf.code_page);
    PutLe32(bytes, record + 12, leaf.reserved);
    return record;
  }

  uint32_t section_rva_;
};

}  // namespace

ResNode Dir(uint32_t id, std::vector<ResNode> children) {
  ResNode node;
  node.id = id;
  node.children = std::move(children);
  return node;
}

ResNode Dir(std::u16string name, std::vector<ResNode> children) {
  ResNode node;
  node.name = std::move(name);
  node.children = std::move(children);
  return node;
}

ResNode Leaf(uint32_t language, std::vector<uint8_t> data, uint32_t code_page) {
  ResNode node;
  node.id = language;
  node.is_leaf = true;
  node.data = std::move(data);
  node.code_page = code_page;
  return node;
}

std::vector<uint8_t> Bytes(std::string_view text) {
  return std::vector<uint8_t>(text.begin(), text.end());
}

std::vector<uint8_t> Pattern(size_t size, uint8_t seed) {
  // xorshift32: cheap, deterministic, and without short repeats that could hide an
  // off-by-some copy.
  uint32_t state = 0x9E3779B9u ^ (uint32_t{seed} * 0x01000193u);
  std::vector<uint8_t> out(size);
  for (uint8_t& b : out) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    b = static_cast<uint8_t>(state >> 24);
  }
  return out;
}

uint32_t Image::SectionHeader(size_t i) const {
  return To32(uint64_t{section_table} + uint64_t{kSectionHeaderSize} * i, "section index");
}

uint32_t Image::DataDirectory(size_t slot) const {
  return To32(uint64_t{optional_header} + OptionalHeaderField::kDataDirectory + 8 * uint64_t{slot},
              "data-directory slot");
}

void Image::SetLe16(uint32_t offset, uint16_t v) { PutLe16(bytes, offset, v); }

void Image::SetLe32(uint32_t offset, uint32_t v) { PutLe32(bytes, offset, v); }

uint16_t Image::Le16(uint32_t offset) const {
  CheckRange(bytes.size(), offset, 2);
  return static_cast<uint16_t>(bytes[offset] | (bytes[size_t{offset} + 1] << 8));
}

uint32_t Image::Le32(uint32_t offset) const {
  CheckRange(bytes.size(), offset, 4);
  uint32_t v = 0;
  for (size_t i = 0; i < 4; ++i) v |= uint32_t{bytes[offset + i]} << (8 * i);
  return v;
}

void Image::Truncate(size_t size) {
  if (size > bytes.size()) throw std::out_of_range("pe_builder: Truncate would grow the image");
  bytes.resize(size);
}

void Image::Append(const std::vector<uint8_t>& more) {
  bytes.insert(bytes.end(), more.begin(), more.end());
}

void Image::FixChecksum() {
  const uint32_t field = To32(uint64_t{optional_header} + OptionalHeaderField::kCheckSum, "CheckSum");
  CheckRange(bytes.size(), field, 4);
  SetLe32(field, StandardChecksum(bytes, field));
}

void Image::WriteTo(const std::string& path) const {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) throw std::runtime_error("pe_builder: cannot write " + path);
}

uint32_t StandardChecksum(const std::vector<uint8_t>& bytes, uint32_t checksum_field_offset) {
  const uint32_t length = To32(bytes.size(), "file too large for a checksum");
  auto byte_at = [&](size_t i) -> uint32_t {
    const bool in_field = i >= checksum_field_offset && i - checksum_field_offset < 4;
    return in_field ? 0 : bytes[i];
  };
  uint32_t sum = 0;
  for (size_t i = 0; i < bytes.size(); i += 2) {
    const uint32_t high = i + 1 < bytes.size() ? byte_at(i + 1) : 0;
    sum += byte_at(i) | (high << 8);
    sum = (sum & 0xFFFF) + (sum >> 16);
  }
  return sum + length;
}

PeBuilder::PeBuilder() = default;

PeBuilder& PeBuilder::SectionAlignment(uint32_t alignment) {
  section_alignment_ = alignment;
  return *this;
}

PeBuilder& PeBuilder::FileAlignment(uint32_t alignment) {
  file_alignment_ = alignment;
  return *this;
}

PeBuilder& PeBuilder::Lfanew(uint32_t offset) {
  lfanew_ = offset;
  return *this;
}

PeBuilder& PeBuilder::Machine(uint16_t machine) {
  machine_ = machine;
  return *this;
}

PeBuilder& PeBuilder::Magic(uint16_t magic) {
  magic_ = magic;
  return *this;
}

PeBuilder& PeBuilder::ImageBase(uint32_t image_base) {
  image_base_ = image_base;
  return *this;
}

PeBuilder& PeBuilder::WithChecksum(bool on) {
  with_checksum_ = on;
  return *this;
}

PeBuilder& PeBuilder::SizeOfHeaders(uint32_t size) {
  size_of_headers_ = size;
  return *this;
}

PeBuilder& PeBuilder::Section(std::string name, uint32_t characteristics,
                              std::vector<uint8_t> raw, uint32_t virtual_size) {
  SectionSpec wanted;
  wanted.name = std::move(name);
  wanted.characteristics = characteristics;
  wanted.raw = std::move(raw);
  wanted.virtual_size = virtual_size;
  sections_.push_back(std::move(wanted));
  return *this;
}

PeBuilder& PeBuilder::Resources(ResNode root, std::string name) {
  SectionSpec wanted;
  wanted.kind = Kind::kResources;
  wanted.name = std::move(name);
  wanted.characteristics = kReadOnlySection;
  wanted.root = std::move(root);
  sections_.push_back(std::move(wanted));
  return *this;
}

PeBuilder& PeBuilder::RawResources(std::function<std::vector<uint8_t>(uint32_t)> make,
                                   std::string name) {
  SectionSpec wanted;
  wanted.kind = Kind::kRawResources;
  wanted.name = std::move(name);
  wanted.characteristics = kReadOnlySection;
  wanted.make = std::move(make);
  sections_.push_back(std::move(wanted));
  return *this;
}

PeBuilder& PeBuilder::Relocations(std::vector<uint8_t> raw) {
  SectionSpec wanted;
  wanted.kind = Kind::kRelocations;
  wanted.name = ".reloc";
  wanted.characteristics = kRelocSection;
  wanted.raw = std::move(raw);
  sections_.push_back(std::move(wanted));
  return *this;
}

PeBuilder& PeBuilder::DataDirectory(int slot, uint32_t virtual_address, uint32_t size) {
  if (slot < 0 || slot >= static_cast<int>(kDataDirectorySlots)) {
    throw std::out_of_range("pe_builder: data-directory slot " + std::to_string(slot));
  }
  slots_.push_back({slot, virtual_address, size});
  return *this;
}

PeBuilder& PeBuilder::Overlay(std::vector<uint8_t> bytes) {
  overlay_ = std::move(bytes);
  return *this;
}

PeBuilder& PeBuilder::SymbolTable(std::vector<uint8_t> bytes) {
  symbol_table_ = std::move(bytes);
  return *this;
}

Image PeBuilder::Build() const {
  // Plan every place first, then write into one zero-filled buffer.
  const uint16_t section_count = To16(sections_.size(), "too many sections");
  const uint64_t headers_end =
      uint64_t{lfanew_} + kNtHeadersSize + uint64_t{kSectionHeaderSize} * section_count;
  const uint32_t size_of_headers = To32(AlignUp(headers_end, file_alignment_), "headers too large");

  struct Placed {
    uint32_t virtual_address = 0, virtual_size = 0, raw_pointer = 0, raw_size = 0;
    std::vector<uint8_t> bytes;
  };
  std::vector<Placed> placed;
  Image image;
  std::optional<size_t> resource_index, relocation_index;
  std::optional<ResourceWriter> layout;
  uint64_t next_va = AlignUp(size_of_headers, section_alignment_);
  uint64_t next_raw = size_of_headers;
  for (size_t i = 0; i < sections_.size(); ++i) {
    const SectionSpec& wanted = sections_[i];
    Placed p;
    p.virtual_address = To32(next_va, "section address too large");
    switch (wanted.kind) {
      case Kind::kPlain:
        p.bytes = wanted.raw;
        break;
      case Kind::kRelocations:
        p.bytes = wanted.raw;
        if (!relocation_index) relocation_index = i;
        break;
      case Kind::kResources: {
        ResourceWriter writer(p.virtual_address);
        writer.WriteTable(wanted.root);
        p.bytes = writer.bytes;
        if (!resource_index) {
          resource_index = i;
          layout = std::move(writer);
        }
        break;
      }
      case Kind::kRawResources:
        p.bytes = wanted.make(p.virtual_address);
        if (!resource_index) resource_index = i;
        break;
    }
    p.raw_size = To32(AlignUp(p.bytes.size(), file_alignment_), "section too large");
    p.raw_pointer = p.bytes.empty() ? 0 : To32(next_raw, "file too large");
    p.virtual_size =
        wanted.virtual_size != 0 ? wanted.virtual_size : To32(p.bytes.size(), "section too large");
    next_raw += p.raw_size;
    next_va += AlignUp(p.virtual_size, section_alignment_);
    placed.push_back(std::move(p));
  }
  const uint32_t size_of_image = To32(next_va, "image too large");
  const uint32_t symbols_at = To32(next_raw, "file too large");
  const uint64_t file_size = next_raw + symbol_table_.size() + overlay_.size();

  std::vector<uint8_t>& b = image.bytes;
  b.assign(To32(file_size, "file too large"), 0);
  image.e_lfanew = lfanew_;
  image.file_header = To32(uint64_t{lfanew_} + 4, "e_lfanew");
  image.optional_header = To32(uint64_t{lfanew_} + 4 + kFileHeaderSize, "e_lfanew");
  image.section_table = To32(uint64_t{lfanew_} + kNtHeadersSize, "e_lfanew");

  if (lfanew_ >= 64 + sizeof(kDosStub)) {
    std::copy(std::begin(kDosStub), std::end(kDosStub), b.begin() + 64);
  }

  PutLe32(b, lfanew_, kNtSignature);
  const uint32_t fh = image.file_header;
  PutLe16(b, fh + FileHeaderField::kMachine, machine_);
  PutLe16(b, fh + FileHeaderField::kNumberOfSections, section_count);
  if (!symbol_table_.empty()) {
    PutLe32(b, fh + FileHeaderField::kPointerToSymbolTable, symbols_at);
    PutLe32(b, fh + FileHeaderField::kNumberOfSymbols,
            To32(symbol_table_.size() / kSymbolSize, "symbol table"));
  }
  PutLe16(b, fh + FileHeaderField::kSizeOfOptionalHeader, kOptionalHeaderSize);
  PutLe16(b, fh + FileHeaderField::kCharacteristics, 0x0102);  // executable, 32-bit machine

  // The totals add SizeOfRawData per kind of content, as the engine recomputes them.
  uint64_t size_of_code = 0, size_of_initialized = 0, size_of_uninitialized = 0;
  std::optional<uint32_t> first_code, first_data;
  for (size_t i = 0; i < placed.size(); ++i) {
    const uint32_t characteristics = sections_[i].characteristics;
    const Placed& p = placed[i];
    if (characteristics & kContainsCode) {
      if (!first_code) first_code = p.virtual_address;
      size_of_code += p.raw_size;
    }
    if ((characteristics & (kContainsInitializedData | kContainsUninitializedData)) && !first_data) {
      first_data = p.virtual_address;
    }
    if (characteristics & kContainsInitializedData) size_of_initialized += p.raw_size;
    if (characteristics & kContainsUninitializedData) size_of_uninitialized += p.raw_size;
  }

  const uint32_t oh = image.optional_header;
  PutLe16(b, oh + OptionalHeaderField::kMagic, magic_);
  PutLe32(b, oh + OptionalHeaderField::kSizeOfCode, To32(size_of_code, "SizeOfCode"));
  PutLe32(b, oh + OptionalHeaderField::kSizeOfInitializedData,
          To32(size_of_initialized, "SizeOfInitializedData"));
  PutLe32(b, oh + OptionalHeaderField::kSizeOfUninitializedData,
          To32(size_of_uninitialized, "SizeOfUninitializedData"));
  PutLe32(b, oh + OptionalHeaderField::kAddressOfEntryPoint, first_code.value_or(0));
  PutLe32(b, oh + OptionalHeaderField::kBaseOfCode, first_code.value_or(0));
  PutLe32(b, oh + OptionalHeaderField::kBaseOfData, first_data.value_or(0));
  PutLe32(b, oh + OptionalHeaderField::kImageBase, image_base_);
  PutLe32(b, oh + OptionalHeaderField::kSectionAlignment, section_alignment_);
  PutLe32(b, oh + OptionalHeaderField::kFileAlignment, file_alignment_);
  PutLe16(b, oh + 40, 4);  // MajorOperatingSystemVersion
  PutLe16(b, oh + 48, 4);  // MajorSubsystemVersion
  PutLe32(b, oh + OptionalHeaderField::kSizeOfImage, size_of_image);
  PutLe32(b, oh + OptionalHeaderField::kSizeOfHeaders, size_of_headers_.value_or(size_of_headers));
  PutLe16(b, oh + OptionalHeaderField::kSubsystem, 2);  // Windows GUI
  PutLe32(b, oh + 72, 0x100000);  // SizeOfStackReserve
  PutLe32(b, oh + 76, 0x1000);    // SizeOfStackCommit
  PutLe32(b, oh + 80, 0x100000);  // SizeOfHeapReserve
  PutLe32(b, oh + 84, 0x1000);    // SizeOfHeapCommit
  PutLe32(b, oh + OptionalHeaderField::kNumberOfRvaAndSizes, kDataDirectorySlots);
  if (resource_index) {
    const Placed& p = placed[*resource_index];
    image.resource_offset = p.raw_pointer;
    image.resource_rva = p.virtual_address;
    PutLe32(b, image.DataDirectory(kResourceSlot), p.virtual_address);
    PutLe32(b, image.DataDirectory(kResourceSlot) + 4, To32(p.bytes.size(), "resources"));
  }
  if (relocation_index) {
    const Placed& p = placed[*relocation_index];
    PutLe32(b, image.DataDirectory(kRelocationSlot), p.virtual_address);
    PutLe32(b, image.DataDirectory(kRelocationSlot) + 4, To32(p.bytes.size(), "relocations"));
  }
  for (const SlotValue& s : slots_) {
    const auto slot = static_cast<size_t>(s.slot);
    PutLe32(b, image.DataDirectory(slot), s.virtual_address);
    PutLe32(b, image.DataDirectory(slot) + 4, s.size);
  }

  for (size_t i = 0; i < placed.size(); ++i) {
    const Placed& p = placed[i];
    const uint32_t sh = image.SectionHeader(i);
    const std::string& name = sections_[i].name;
    for (size_t k = 0; k < name.size() && k < 8; ++k) b[sh + k] = static_cast<uint8_t>(name[k]);
    PutLe32(b, sh + SectionHeaderField::kVirtualSize, p.virtual_size);
    PutLe32(b, sh + SectionHeaderField::kVirtualAddress, p.virtual_address);
    PutLe32(b, sh + SectionHeaderField::kSizeOfRawData, p.raw_size);
    PutLe32(b, sh + SectionHeaderField::kPointerToRawData, p.raw_pointer);
    PutLe32(b, sh + SectionHeaderField::kCharacteristics, sections_[i].characteristics);
    CopyInto(b, p.raw_pointer, p.bytes);
  }
  CopyInto(b, symbols_at, symbol_table_);
  CopyInto(b, uint64_t{symbols_at} + symbol_table_.size(), overlay_);

  if (layout) {
    auto to_file = [&](const std::vector<uint32_t>& relative) {
      std::vector<uint32_t> out;
      for (uint32_t r : relative) out.push_back(image.resource_offset + r);
      return out;
    };
    image.directory_offsets = to_file(layout->directories);
    image.data_entry_offsets = to_file(layout->data_entries);
    image.name_offsets = to_file(layout->names);
  }

  // The DOS fields last: with e_lfanew below 64 the NT headers overlap them, and the
  // fields must still hold what the test asked for.
  PutLe16(b, DosHeaderField::kMagic, 0x5A4D);  // "MZ"
  if (lfanew_ >= 64) {
    PutLe16(b, 8, 4);      // e_cparhdr: header size in paragraphs
    PutLe16(b, 24, 0x40);  // e_lfarlc
  }
  PutLe32(b, DosHeaderField::kLfanew, lfanew_);

  if (with_checksum_) image.FixChecksum();
  return image;
}

}  // namespace resgraft::testing
