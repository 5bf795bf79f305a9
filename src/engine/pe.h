#ifndef RESGRAFT_ENGINE_PE_H_
#define RESGRAFT_ENGINE_PE_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/le.h"
#include "engine/resource_bytes.h"

namespace resgraft::sys {
class File;
}

namespace resgraft::engine {

// The least multiple of `alignment` that is not below `value`, in 32-bit arithmetic:
// ((value + alignment - 1) mod 2^32) / alignment * alignment. `alignment` is never 0.
uint32_t AlignUp(uint32_t value, uint32_t alignment);

// ---------------------------------------------------------------------------
// Resource tree

inline constexpr uint32_t kHighBit = 0x80000000u;       // name string / subdirectory flag
inline constexpr uint32_t kOffsetMask = 0x7FFFFFFFu;

// One region of a resource section per slot: tables of levels 0, 1 and 2, data-entry
// records, name strings, resource data. Sizes after measuring, end offsets after
// `RegionEnds`, cursors while writing.
using ResourceLayout = std::array<uint32_t, 6>;
inline constexpr size_t kDataEntryRegion = 3;
inline constexpr size_t kNameRegion = 4;
inline constexpr size_t kDataRegion = 5;

// IMAGE_RESOURCE_DIRECTORY: the 16-byte header of a directory table.
struct ImageResourceDirectory {
  static constexpr uint32_t kSize = 16;
  uint32_t Characteristics = 0;
  uint32_t TimeDateStamp = 0;
  uint16_t MajorVersion = 0;
  uint16_t MinorVersion = 0;
  uint16_t NumberOfNamedEntries = 0;
  uint16_t NumberOfIdEntries = 0;

  static ImageResourceDirectory Read(std::span<const uint8_t, kSize> b);
  void Write(std::span<uint8_t, kSize> b) const;
};

// IMAGE_RESOURCE_DIRECTORY_ENTRY: 8 bytes that follow a directory header.
struct ImageResourceDirectoryEntry {
  static constexpr uint32_t kSize = 8;
  uint32_t Name = 0;
  uint32_t OffsetToData = 0;

  static ImageResourceDirectoryEntry Read(std::span<const uint8_t, kSize> b);
  void Write(std::span<uint8_t, kSize> b) const;
};

// IMAGE_RESOURCE_DATA_ENTRY: where a resource's bytes lie and what they are.
struct ImageResourceDataEntry {
  static constexpr uint32_t kSize = 16;
  uint32_t OffsetToData = 0;  // an RVA
  uint32_t Size = 0;
  uint32_t CodePage = 0;
  uint32_t Reserved = 0;

  static ImageResourceDataEntry Read(std::span<const uint8_t, kSize> b);
  void Write(std::span<uint8_t, kSize> b) const;
};

// IMAGE_RESOURCE_DIR_STRING_U: a counted UTF-16 name without terminator.
struct TImageResourceDirStringU {
  uint16_t NameLength = 0;
  std::u16string NameText;
};

class TResourceDirectory;

// One entry of a directory table: an id or a name, leading to a subdirectory (a
// branch) or carrying a resource's bytes (a leaf). Owns its name, data and subtree.
class TResourceDirectoryEntry {
 public:
  TResourceDirectoryEntry() = default;
  ~TResourceDirectoryEntry();
  TResourceDirectoryEntry(const TResourceDirectoryEntry&) = delete;
  TResourceDirectoryEntry& operator=(const TResourceDirectoryEntry&) = delete;

  // Back to the state of a new entry: fields 0, no name, no data, no subtree.
  void Reset();
  // Makes this entry a deep copy of `source`.
  void Assign(const TResourceDirectoryEntry& source);

  // Named exactly when the name is not empty; bit 31 of `Name` is not consulted.
  bool IsNamed() const { return NameString.NameLength != 0; }
  bool IsBranch() const { return Subdirectory != nullptr; }
  std::span<const uint8_t> DataBytes() const { return {Data.get(), Data ? DataSize : 0u}; }

  // The directory-entry record, as read from or written to a section.
  ImageResourceDirectoryEntry DirectoryEntry() const { return {Name, OffsetToData}; }
  void SetDirectoryEntry(const ImageResourceDirectoryEntry& record);
  ImageResourceDataEntry DataEntry() const { return {DataRva, DataSize, CodePage, Reserved}; }
  void SetDataEntry(const ImageResourceDataEntry& record);

  // IMAGE_RESOURCE_DIRECTORY_ENTRY fields. For an id entry `Name` is the id; the
  // offsets describe the section last read or written.
  uint32_t Name = 0;
  uint32_t OffsetToData = 0;
  // The name of a named entry; NameLength 0 for an id entry.
  TImageResourceDirStringU NameString;
  std::unique_ptr<TResourceDirectory> Subdirectory;
  // IMAGE_RESOURCE_DATA_ENTRY fields of a leaf.
  uint32_t DataRva = 0;
  uint32_t DataSize = 0;
  uint32_t CodePage = 0;
  uint32_t Reserved = 0;
  // DataSize bytes, or none. Read them through a const entry: writing through a
  // handle first gives it bytes of its own.
  ResourceBytes Data;
};

// One directory table: its header and its entries in order.
class TResourceDirectory {
 public:
  TResourceDirectory() = default;
  ~TResourceDirectory();
  TResourceDirectory(const TResourceDirectory&) = delete;
  TResourceDirectory& operator=(const TResourceDirectory&) = delete;

  int Count() const { return static_cast<int>(entries_.size()); }
  // The entry at `index`, or nullptr when the index is out of range.
  TResourceDirectoryEntry* Entry(int index) const;
  // Appends a new, empty entry and returns it. The header counts are not touched.
  TResourceDirectoryEntry* AddEntry();
  // Destroys every entry in index order; the header keeps its values.
  void Clear();
  // Makes this directory a deep copy of `source`, header counts included.
  void Assign(const TResourceDirectory& source);

  // The first id entry whose whole `Name` equals `id`, or nullptr.
  TResourceDirectoryEntry* FindById(int32_t id) const;
  // The first named entry whose name is the same text as `key`, or nullptr.
  TResourceDirectoryEntry* FindByName(std::u16string_view key) const;

  // Adds the bytes this subtree needs to `sizes` (level `depth`). False when the
  // subtree is not a clean tree of types, names and languages, or when its section
  // would not fit in 32 bits.
  bool Measure(ResourceLayout& sizes, uint8_t depth) const;

  // False when the directory holds more named or more id entries than a table's
  // 16-bit counts can describe.
  bool CountsFit() const;

  ImageResourceDirectory Header() const;
  void SetHeader(const ImageResourceDirectory& header);

  // IMAGE_RESOURCE_DIRECTORY fields. The counts hold what was last read, copied or
  // written, not the current number of entries.
  uint32_t Characteristics = 0;
  uint32_t TimeDateStamp = 0;
  uint16_t MajorVersion = 0;
  uint16_t MinorVersion = 0;
  uint16_t NumberOfNamedEntries = 0;
  uint16_t NumberOfIdEntries = 0;

 private:
  std::vector<std::unique_ptr<TResourceDirectoryEntry>> entries_;
};

// Turns measured region sizes into region end offsets. False when the section would
// not fit in 32 bits.
bool RegionEnds(const ResourceLayout& sizes, ResourceLayout& ends);

// The size of the section that `sizes` describe (the end of the data region), or
// false when it would not fit in 32 bits.
bool SectionSize(const ResourceLayout& sizes, uint32_t& size);

// ---------------------------------------------------------------------------
// Header views. Each points into the header block of a TPEFile and reads or writes
// one field at a time, little-endian; a default view points at nothing.

template <size_t N>
class HeaderView {
 public:
  static constexpr size_t kSize = N;
  HeaderView() = default;
  explicit HeaderView(std::span<uint8_t, N> bytes) : data_(bytes.data()) {}
  explicit operator bool() const { return data_ != nullptr; }
  std::span<uint8_t, N> Bytes() const { return std::span<uint8_t, N>(data_, N); }

 protected:
  template <size_t Offset>
  uint16_t Get16() const {
    static_assert(Offset + 2 <= N);
    return LoadLe16(std::span<const uint8_t, 2>(data_ + Offset, 2));
  }
  template <size_t Offset>
  uint32_t Get32() const {
    static_assert(Offset + 4 <= N);
    return LoadLe32(std::span<const uint8_t, 4>(data_ + Offset, 4));
  }
  template <size_t Offset>
  void Set32(uint32_t value) const {
    static_assert(Offset + 4 <= N);
    StoreLe32(std::span<uint8_t, 4>(data_ + Offset, 4), value);
  }

  uint8_t* data_ = nullptr;
};

// IMAGE_DOS_HEADER, the fields the engine reads.
class DosHeaderView : public HeaderView<64> {
 public:
  using HeaderView::HeaderView;
  uint16_t e_magic() const { return Get16<0>(); }
  int32_t e_lfanew() const { return static_cast<int32_t>(Get32<60>()); }
};

// IMAGE_FILE_HEADER (20 bytes behind the 4-byte signature).
class FileHeaderView : public HeaderView<20> {
 public:
  using HeaderView::HeaderView;
  uint16_t Machine() const { return Get16<0>(); }
  uint16_t NumberOfSections() const { return Get16<2>(); }
  uint32_t PointerToSymbolTable() const { return Get32<8>(); }
  void SetPointerToSymbolTable(uint32_t v) const { Set32<8>(v); }
  uint16_t SizeOfOptionalHeader() const { return Get16<16>(); }
};

struct ImageDataDirectory {
  uint32_t VirtualAddress = 0;
  uint32_t Size = 0;
};

inline constexpr int kDataDirectorySlots = 16;
inline constexpr int kCertificateSlot = 4;  // holds a file offset, not an address
inline constexpr int kBaseRelocationSlot = 5;
inline constexpr int kResourceSlot = 2;

// The 224-byte PE32 optional header with its 16 data-directory slots.
class OptionalHeaderView : public HeaderView<224> {
 public:
  using HeaderView::HeaderView;
  uint16_t Magic() const { return Get16<0>(); }
  uint32_t SizeOfCode() const { return Get32<4>(); }
  void SetSizeOfCode(uint32_t v) const { Set32<4>(v); }
  uint32_t SizeOfInitializedData() const { return Get32<8>(); }
  void SetSizeOfInitializedData(uint32_t v) const { Set32<8>(v); }
  uint32_t SizeOfUninitializedData() const { return Get32<12>(); }
  void SetSizeOfUninitializedData(uint32_t v) const { Set32<12>(v); }
  uint32_t SectionAlignment() const { return Get32<32>(); }
  uint32_t FileAlignment() const { return Get32<36>(); }
  uint32_t SizeOfImage() const { return Get32<56>(); }
  void SetSizeOfImage(uint32_t v) const { Set32<56>(v); }
  uint32_t SizeOfHeaders() const { return Get32<60>(); }
  void SetSizeOfHeaders(uint32_t v) const { Set32<60>(v); }
  uint32_t CheckSum() const { return Get32<64>(); }
  void SetCheckSum(uint32_t v) const { Set32<64>(v); }

  static constexpr size_t kCheckSumOffset = 64;
  static constexpr size_t kDataDirectoryOffset = 96;

  // Slot `slot` (0 to 15) of the data directory.
  ImageDataDirectory DataDirectory(int slot) const;
  void SetDataDirectoryAddress(int slot, uint32_t virtual_address) const;
  void SetDataDirectorySize(int slot, uint32_t size) const;
};

// IMAGE_SECTION_HEADER.
class SectionHeaderView : public HeaderView<40> {
 public:
  using HeaderView::HeaderView;
  std::span<const uint8_t, 8> Name() const { return Bytes().first<8>(); }
  uint32_t VirtualSize() const { return Get32<8>(); }
  void SetVirtualSize(uint32_t v) const { Set32<8>(v); }
  uint32_t VirtualAddress() const { return Get32<12>(); }
  void SetVirtualAddress(uint32_t v) const { Set32<12>(v); }
  uint32_t SizeOfRawData() const { return Get32<16>(); }
  void SetSizeOfRawData(uint32_t v) const { Set32<16>(v); }
  uint32_t PointerToRawData() const { return Get32<20>(); }
  void SetPointerToRawData(uint32_t v) const { Set32<20>(v); }
  uint32_t Characteristics() const { return Get32<36>(); }
};

inline constexpr uint32_t kDosHeaderSize = 64;
inline constexpr uint32_t kNtHeadersSize = 248;  // signature, file header, optional header
inline constexpr uint32_t kFileHeaderOffset = 4;
inline constexpr uint32_t kOptionalHeaderOffset = 24;
inline constexpr uint32_t kSectionHeaderSize = 40;

// The PE image checksum of the first `size` bytes of `file` (mapped read-only), with
// the CheckSum field counted as 0; 0 when it cannot be computed.
uint32_t ImageChecksum(const sys::File& file, uint32_t size);

// ---------------------------------------------------------------------------

// One 32-bit PE image held in memory: the header block, the bytes before the
// resource root, the resource tree, and the bytes behind the resource section.
class TPEFile {
 public:
  TPEFile() = default;
  ~TPEFile() = default;
  TPEFile(const TPEFile&) = delete;
  TPEFile& operator=(const TPEFile&) = delete;

  // Back to empty: no blocks, no views, no sections, an empty tree.
  void Clear();

  // Loads `file_name` into this (empty) object. `msg` is empty on success and holds
  // the message to show otherwise.
  void LoadFromFile(const std::string& file_name, std::string& msg);

  // Reads and checks the header block from the start of `file`; `msg` is empty on
  // success, else the header text of the failing stage.
  void ReadHeaders(sys::File& file, std::string& msg);

  // The name of the executable packer that the section names show, or empty.
  void DetectPacker(std::string& name) const;

  uint32_t RvaToOffset(uint32_t rva) const;        // 0xFFFFFFFF when in no section
  uint32_t OffsetToRva(uint32_t offset) const;     // 0 when in no section
  int32_t SectionIndexOf(ImageDataDirectory slot) const;  // -1 when in no section

  // Reads the directory table at `offset` from the root (and everything under it)
  // into the empty `directory` at level `depth`. False on any damage.
  bool ReadDirectory(sys::File& file, TResourceDirectory& directory, uint32_t offset,
                     uint8_t depth);

  // The directory of one resource type: by id when `type_id` is not 0, else by name.
  TResourceDirectory* FindResourceType(int32_t type_id, std::u16string_view type_name) const;

  // Writes the subtree `dir` (level `depth`) into the section buffer, moving `cursors`
  // down from the region ends. False at the first shape violation.
  bool WriteDirectory(std::span<uint8_t> buffer, TResourceDirectory& dir,
                      ResourceLayout& cursors, uint8_t depth) const;

  // Makes the headers describe a resource section of `new_size` bytes and returns
  // its raw size.
  uint32_t ResizeResourceSection(uint32_t new_size);

  // Writes the image with its resource section rebuilt from the tree to `file_name`.
  // `msg` is empty on success and holds the message to show otherwise.
  void SaveToFile(const std::string& file_name, std::string& msg);

  uint32_t FileSize = 0;
  std::vector<uint8_t> HeaderBlock;
  DosHeaderView DosHeader;
  FileHeaderView FileHeader;
  OptionalHeaderView OptionalHeader;
  std::vector<SectionHeaderView> SectionHeaders;
  std::unique_ptr<uint8_t[]> PreResourceData;
  int32_t PreResourceSize = 0;
  std::unique_ptr<uint8_t[]> PostResourceData;
  int32_t PostResourceSize = 0;
  uint32_t ResourceOffset = 0;
  TResourceDirectory Resources;

 private:
  struct ReadBudget;
  // A range of the file and the bytes it is read into.
  struct Range {
    uint64_t position = 0;
    std::span<uint8_t> bytes;
  };
  bool ReadDirectoryBounded(sys::File& file, TResourceDirectory& directory, uint32_t offset,
                            uint8_t depth, ReadBudget& budget);
  // The header (already read with the first entry into `head` when `first_entry_read`)
  // and the entries of the table at file position `table`.
  bool ReadTable(sys::File& file, TResourceDirectory& directory, uint64_t table,
                 std::span<const uint8_t, 24> head, bool first_entry_read, ReadBudget& budget);
  // The name string of a named entry; nothing to read for an id entry.
  bool ReadEntryName(sys::File& file, TResourceDirectoryEntry& entry, ReadBudget& budget);
  // Everything under a type's directory (level 1), read in rounds across its entries.
  bool ReadLanguageDirectories(sys::File& file, TResourceDirectory& names, ReadBudget& budget);
  // Reads every range, with one call for each run of ranges that follow one another
  // directly in the file. The caller has checked each position.
  static bool ReadRanges(sys::File& file, std::span<const Range> ranges);
  // Takes a leaf's data-entry record and checks it, taking its bytes from the
  // budget; the file position of its bytes (0 for a resource of size 0), or nothing
  // on damage. Nothing is allocated yet.
  std::optional<uint32_t> CheckData(TResourceDirectoryEntry& leaf,
                                    std::span<const uint8_t, 16> record, ReadBudget& budget) const;
  // CheckData, then room for the bytes: the range they are to be read from and into
  // (empty for a resource of size 0), or nothing on damage.
  std::optional<Range> PlaceData(TResourceDirectoryEntry& leaf,
                                 std::span<const uint8_t, 16> record, ReadBudget& budget) const;
  bool ReadBlock(sys::File& file, uint32_t position, int32_t size,
                 std::unique_ptr<uint8_t[]>& block);
  // Points the views and the section list at the current header block.
  void SetViews(bool with_sections);
  // Whether the headers can take a resource section of `new_size` bytes without
  // dividing by a zero alignment, moving code in memory or passing 32 bits.
  bool CanResize(uint32_t new_size) const;
};

}  // namespace resgraft::engine

#endif  // RESGRAFT_ENGINE_PE_H_
