#ifndef RESGRAFT_TESTS_SUPPORT_PE_BUILDER_H_
#define RESGRAFT_TESTS_SUPPORT_PE_BUILDER_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Writes small PE32 images from a short description, for tests. It shares no code
// with the engine, so the engine's reader is tested against bytes it did not make.
// Misuse of the builder itself (a field offset past the end of the image, counts
// that do not fit their field) throws std::out_of_range or std::length_error.

namespace resgraft::testing {

// Byte offsets of fields inside their header, for tests that damage one field:
// image.SetLe32(image.optional_header + OptionalHeaderField::kCheckSum, 1).
struct DosHeaderField {
  static constexpr uint32_t kMagic = 0;
  static constexpr uint32_t kLfanew = 60;
};
struct FileHeaderField {  // counted from Image::file_header (e_lfanew + 4)
  static constexpr uint32_t kMachine = 0;
  static constexpr uint32_t kNumberOfSections = 2;
  static constexpr uint32_t kTimeDateStamp = 4;
  static constexpr uint32_t kPointerToSymbolTable = 8;
  static constexpr uint32_t kNumberOfSymbols = 12;
  static constexpr uint32_t kSizeOfOptionalHeader = 16;
  static constexpr uint32_t kCharacteristics = 18;
};
struct OptionalHeaderField {  // counted from Image::optional_header (e_lfanew + 24)
  static constexpr uint32_t kMagic = 0;
  static constexpr uint32_t kSizeOfCode = 4;
  static constexpr uint32_t kSizeOfInitializedData = 8;
  static constexpr uint32_t kSizeOfUninitializedData = 12;
  static constexpr uint32_t kAddressOfEntryPoint = 16;
  static constexpr uint32_t kBaseOfCode = 20;
  static constexpr uint32_t kBaseOfData = 24;
  static constexpr uint32_t kImageBase = 28;
  static constexpr uint32_t kSectionAlignment = 32;
  static constexpr uint32_t kFileAlignment = 36;
  static constexpr uint32_t kSizeOfImage = 56;
  static constexpr uint32_t kSizeOfHeaders = 60;
  static constexpr uint32_t kCheckSum = 64;
  static constexpr uint32_t kSubsystem = 68;
  static constexpr uint32_t kNumberOfRvaAndSizes = 92;
  static constexpr uint32_t kDataDirectory = 96;  // 16 slots of VirtualAddress, Size
};
struct SectionHeaderField {  // counted from Image::SectionHeader(i)
  static constexpr uint32_t kName = 0;
  static constexpr uint32_t kVirtualSize = 8;
  static constexpr uint32_t kVirtualAddress = 12;
  static constexpr uint32_t kSizeOfRawData = 16;
  static constexpr uint32_t kPointerToRawData = 20;
  static constexpr uint32_t kCharacteristics = 36;
};

inline constexpr uint32_t kCodeSection = 0x60000020;       // code, execute, read
inline constexpr uint32_t kDataSection = 0xC0000040;       // initialized data, read, write
inline constexpr uint32_t kReadOnlySection = 0x40000040;   // initialized data, read
inline constexpr uint32_t kBssSection = 0xC0000080;        // uninitialized data, read, write
inline constexpr uint32_t kRelocSection = 0x42000040;      // initialized, discardable, read

// A node of a resource tree description: an id entry (name empty) or a named entry.
struct ResNode {
  uint32_t id = 0;
  std::u16string name;  // non-empty: a named entry
  // The directory this entry leads to (a branch) ...
  std::vector<ResNode> children;
  uint32_t characteristics = 0, time_date_stamp = 0;
  uint16_t major_version = 4, minor_version = 0;
  // ... or the data it carries (a leaf: is_leaf true).
  bool is_leaf = false;
  std::vector<uint8_t> data;
  uint32_t code_page = 0;
  uint32_t reserved = 0;
};

// An id branch, a named branch and an id leaf. Any shape may be built: a leaf under
// the root, a branch under a language, an empty directory.
ResNode Dir(uint32_t id, std::vector<ResNode> children);
ResNode Dir(std::u16string name, std::vector<ResNode> children);
ResNode Leaf(uint32_t language, std::vector<uint8_t> data, uint32_t code_page = 0);

// The characters of `text` as bytes.
std::vector<uint8_t> Bytes(std::string_view text);
// `size` bytes that depend only on `size` and `seed`, and differ for different seeds.
std::vector<uint8_t> Pattern(size_t size, uint8_t seed);

// A built file plus where its fields are. All offsets are file offsets.
struct Image {
  std::vector<uint8_t> bytes;
  uint32_t e_lfanew = 0, file_header = 0, optional_header = 0, section_table = 0;
  uint32_t resource_offset = 0, resource_rva = 0;  // root of the resource tree (0 when none)
  // For a tree laid out by PeBuilder::Resources, in the order of a depth-first walk with
  // entries in their given order (a directory before the directories below it): the
  // directory tables, the data-entry records and the name strings (each at its length).
  std::vector<uint32_t> directory_offsets, data_entry_offsets, name_offsets;

  uint32_t SectionHeader(size_t i) const;  // file offset of section header i
  uint32_t DataDirectory(size_t slot) const;  // file offset of data-directory slot (VA, Size)
  void SetLe16(uint32_t offset, uint16_t v);
  void SetLe32(uint32_t offset, uint32_t v);
  uint16_t Le16(uint32_t offset) const;
  uint32_t Le32(uint32_t offset) const;
  void Truncate(size_t size);  // keeps the first `size` bytes; never grows
  void Append(const std::vector<uint8_t>& more);
  void FixChecksum();  // standard PE checksum into the CheckSum field
  void WriteTo(const std::string& path) const;  // throws std::runtime_error on failure
};

// The standard PE image checksum: 16-bit one's-complement sum of the file's
// little-endian words with carry folding (a last odd byte is a word of its own), the
// 4 bytes at `checksum_field_offset` counted as 0, plus the file length.
uint32_t StandardChecksum(const std::vector<uint8_t>& bytes, uint32_t checksum_field_offset);

class PeBuilder {
 public:
  // "MZ" and e_lfanew 0x80 with a small stub between; i386, PE32, image base 0x400000,
  // section alignment 0x1000, file alignment 0x200, 16 data-directory slots, GUI
  // subsystem, file characteristics 0x0102, checksum 0, no sections.
  PeBuilder();

  // An alignment of 0 lays out without aligning (and is written as 0).
  PeBuilder& SectionAlignment(uint32_t alignment);
  PeBuilder& FileAlignment(uint32_t alignment);
  // Where the NT headers go. Below 64 they overlap the DOS header, whose "MZ" and
  // e_lfanew are then written over them.
  PeBuilder& Lfanew(uint32_t offset);
  PeBuilder& Machine(uint16_t machine);
  PeBuilder& Magic(uint16_t magic);
  PeBuilder& ImageBase(uint32_t image_base);
  PeBuilder& WithChecksum(bool on);  // compute CheckSum last, at Build
  // Stores this SizeOfHeaders instead of the computed one; the file is laid out as
  // before, from the computed value.
  PeBuilder& SizeOfHeaders(uint32_t size);

  // Sections in table order. raw: the raw bytes (padded to FileAlignment; none gives
  // SizeOfRawData 0 and PointerToRawData 0); virtual_size 0 = the raw size unpadded.
  // Names longer than 8 bytes are cut to 8.
  PeBuilder& Section(std::string name, uint32_t characteristics, std::vector<uint8_t> raw,
                     uint32_t virtual_size = 0);
  // The resource section, at this place in the table, laid out from `root`'s children
  // (the root directory's own header fields come from root.characteristics etc.). The
  // root table is at offset 0 of the section; the rest follows depth-first, each table
  // followed by its entries' names, subtables and leaves (records aligned to 4, data to
  // 8). DataDirectory[2] points at the first resource section with its laid-out size.
  PeBuilder& Resources(ResNode root, std::string name = ".rsrc");
  // A resource section whose bytes the test writes itself (hostile layouts): `make` is
  // called at Build with the section's RVA.
  PeBuilder& RawResources(std::function<std::vector<uint8_t>(uint32_t section_rva)> make,
                          std::string name = ".rsrc");
  // A section holding base relocations (name ".reloc", characteristics 0x42000040)
  // with slot 5 of the data directory pointing at its start, sized to `raw`.
  PeBuilder& Relocations(std::vector<uint8_t> raw = std::vector<uint8_t>(12, 0));
  // Sets a slot after the computed ones (2 and 5) are in place; later calls win.
  PeBuilder& DataDirectory(int slot, uint32_t virtual_address, uint32_t size);
  PeBuilder& Overlay(std::vector<uint8_t> bytes);  // bytes after the last section
  // COFF symbols right after the last section's raw data (before any overlay); sets
  // PointerToSymbolTable and NumberOfSymbols (size / 18).
  PeBuilder& SymbolTable(std::vector<uint8_t> bytes);

  Image Build() const;

 private:
  enum class Kind { kPlain, kResources, kRawResources, kRelocations };
  struct SectionSpec {
    Kind kind = Kind::kPlain;
    std::string name;
    uint32_t characteristics = 0;
    std::vector<uint8_t> raw;
    uint32_t virtual_size = 0;
    ResNode root;
    std::function<std::vector<uint8_t>(uint32_t)> make;
  };
  struct SlotValue {
    int slot;
    uint32_t virtual_address, size;
  };

  uint32_t section_alignment_ = 0x1000;
  uint32_t file_alignment_ = 0x200;
  uint32_t lfanew_ = 0x80;
  uint16_t machine_ = 0x14C;
  uint16_t magic_ = 0x10B;
  uint32_t image_base_ = 0x400000;
  bool with_checksum_ = false;
  std::optional<uint32_t> size_of_headers_;
  std::vector<SectionSpec> sections_;
  std::vector<SlotValue> slots_;
  std::vector<uint8_t> overlay_;
  std::vector<uint8_t> symbol_table_;
};

}  // namespace resgraft::testing

#endif  // RESGRAFT_TESTS_SUPPORT_PE_BUILDER_H_
