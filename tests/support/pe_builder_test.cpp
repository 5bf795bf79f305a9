#include "support/pe_builder.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace resgraft::testing {
namespace {

// Types out of id order, a named type, a named resource, an empty leaf, a code page.
ResNode SampleTree() {
  ResNode root = Dir(0, {
      Dir(3, {Dir(1, {Leaf(0x409, Bytes("one"))}),
              Dir(u"NAMED", {Leaf(0x411, Pattern(5, 7), 932)})}),
      Dir(u"AVI", {Dir(7, {Leaf(0, {}), Leaf(0x411, Bytes("xy"))})}),
      Dir(2, {Dir(9, {Leaf(0x411, Pattern(9, 1))})}),
  });
  root.time_date_stamp = 0x12345678;
  return root;
}

// The leaves of SampleTree, one line each, as both dumps below print them.
constexpr char kSampleLeaves[] =
    "3/1/1033 cp=0 data=6f6e65\n"
    "3/NAMED/1041 cp=932 data=9b6bdd81f0\n"
    "AVI/7/0 cp=0 data=\n"
    "AVI/7/1041 cp=0 data=7879\n"
    "2/9/1041 cp=0 data=76e15f09a5f9624713\n";

std::string Hex(const std::vector<uint8_t>& bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  for (uint8_t b : bytes) {
    out += kDigits[b >> 4];
    out += kDigits[b & 0xF];
  }
  return out;
}

// Reads the tree back from the image's bytes, the way any resource reader would,
// printing a line per leaf. Goes no deeper than three levels.
void DumpLeaves(const Image& image, uint32_t table, const std::string& path, int depth,
                std::string& out) {
  const uint32_t base = image.resource_offset;
  const uint32_t count = uint32_t{image.Le16(table + 12)} + image.Le16(table + 14);
  for (uint32_t i = 0; i < count; ++i) {
    const uint32_t entry = table + 16 + 8 * i;
    const uint32_t name = image.Le32(entry);
    const uint32_t target = image.Le32(entry + 4);
    std::string label;
    if (name & 0x80000000u) {
      const uint32_t at = base + (name & 0x7FFFFFFFu);
      for (uint32_t k = 0; k < image.Le16(at); ++k) {
        label += static_cast<char>(image.Le16(at + 2 + 2 * k));
      }
    } else {
      label = std::to_string(name);
    }
    const std::string here = path.empty() ? label : path + "/" + label;
    if (target & 0x80000000u) {
      if (depth < 2) DumpLeaves(image, base + (target & 0x7FFFFFFFu), here, depth + 1, out);
      continue;
    }
    const uint32_t record = base + target;
    const uint32_t data = image.Le32(record) - image.resource_rva + base;
    const auto first = image.bytes.begin() + data;
    const std::vector<uint8_t> bytes(first, first + image.Le32(record + 4));
    out += here + " cp=" + std::to_string(image.Le32(record + 8)) + " data=" + Hex(bytes) + "\n";
  }
}

PeBuilder FullImage() {
  PeBuilder builder;
  builder.Section(".text", kCodeSection, Pattern(0x300, 1))
      .Section(".data", kDataSection, Pattern(0x10, 2))
      .Section(".bss", kBssSection, {}, 0x80)
      .Resources(Dir(0, {Dir(3, {Dir(1, {Leaf(0x411, Bytes("abcd"))})})}))
      .Relocations()
      .SymbolTable(Pattern(36, 3))
      .Overlay(Bytes("tail"));
  return builder;
}

TEST(PeBuilderTest, HeadersAndSectionsFollowEachOther) {
  const Image image = FullImage().Build();
  EXPECT_EQ(image.Le16(0), 0x5A4D);
  EXPECT_EQ(image.Le32(60), 0x80u);
  EXPECT_EQ(image.Le32(0x80), 0x4550u);
  EXPECT_EQ(image.Le16(image.file_header + FileHeaderField::kMachine), 0x14C);
  EXPECT_EQ(image.Le16(image.file_header + FileHeaderField::kNumberOfSections), 5);
  EXPECT_EQ(image.Le16(image.file_header + FileHeaderField::kSizeOfOptionalHeader), 224);
  const uint32_t oh = image.optional_header;
  EXPECT_EQ(image.Le16(oh + OptionalHeaderField::kMagic), 0x10B);
  // 0x80 + 248 + 5 * 40 = 0x240, aligned to 0x400.
  EXPECT_EQ(image.Le32(oh + OptionalHeaderField::kSizeOfHeaders), 0x400u);
  EXPECT_EQ(image.Le32(oh + OptionalHeaderField::kSizeOfImage), 0x6000u);
  EXPECT_EQ(image.Le32(oh + OptionalHeaderField::kAddressOfEntryPoint), 0x1000u);
  EXPECT_EQ(image.Le32(oh + OptionalHeaderField::kSizeOfCode), 0x400u);
  EXPECT_EQ(image.Le32(oh + OptionalHeaderField::kSizeOfInitializedData), 0x600u);
  EXPECT_EQ(image.Le32(oh + OptionalHeaderField::kCheckSum), 0u);

  struct Expected {
    const char* name;
    uint32_t virtual_size, virtual_address, raw_size, raw_pointer;
  };
  // The resource section: root, type and language tables (24 bytes each), one data
  // entry (16) and 4 bytes of data at offset 88.
  const Expected kSections[] = {
      {".text", 0x300, 0x1000, 0x400, 0x400}, {".data", 0x10, 0x2000, 0x200, 0x800},
      {".bss", 0x80, 0x3000, 0, 0},           {".rsrc", 92, 0x4000, 0x200, 0xA00},
      {".reloc", 12, 0x5000, 0x200, 0xC00},
  };
  for (size_t i = 0; i < std::size(kSections); ++i) {
    const Expected& e = kSections[i];
    SCOPED_TRACE(e.name);
    const uint32_t sh = image.SectionHeader(i);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&image.bytes[sh])), e.name);
    EXPECT_EQ(image.Le32(sh + SectionHeaderField::kVirtualSize), e.virtual_size);
    EXPECT_EQ(image.Le32(sh + SectionHeaderField::kVirtualAddress), e.virtual_address);
    EXPECT_EQ(image.Le32(sh + SectionHeaderField::kSizeOfRawData), e.raw_size);
    EXPECT_EQ(image.Le32(sh + SectionHeaderField::kPointerToRawData), e.raw_pointer);
  }
  EXPECT_EQ(std::vector<uint8_t>(image.bytes.begin() + 0x400, image.bytes.begin() + 0x700),
            Pattern(0x300, 1));
  EXPECT_EQ(image.resource_offset, 0xA00u);
  EXPECT_EQ(image.resource_rva, 0x4000u);
  EXPECT_EQ(image.Le32(image.DataDirectory(2)), 0x4000u);
  EXPECT_EQ(image.Le32(image.DataDirectory(2) + 4), 92u);
  EXPECT_EQ(image.Le32(image.DataDirectory(5)), 0x5000u);
  EXPECT_EQ(image.Le32(image.DataDirectory(5) + 4), 12u);
  // Symbols right behind the last section, then the overlay.
  EXPECT_EQ(image.Le32(image.file_header + FileHeaderField::kPointerToSymbolTable), 0xE00u);
  EXPECT_EQ(image.Le32(image.file_header + FileHeaderField::kNumberOfSymbols), 2u);
  ASSERT_EQ(image.bytes.size(), 0xE00u + 36 + 4);
  EXPECT_EQ(std::vector<uint8_t>(image.bytes.end() - 4, image.bytes.end()), Bytes("tail"));
}

TEST(PeBuilderTest, ResourceTreeReadsBackInGivenOrder) {
  const Image image = PeBuilder().Section(".text", kCodeSection, Pattern(16, 0))
                          .Resources(SampleTree())
                          .Build();
  ASSERT_EQ(image.directory_offsets.size(), 8u);
  const uint32_t root = image.resource_offset;
  EXPECT_EQ(image.directory_offsets[0], root);
  EXPECT_EQ(image.Le32(root + 4), 0x12345678u);
  EXPECT_EQ(image.Le16(root + 12), 1);  // named entries
  EXPECT_EQ(image.Le16(root + 14), 2);  // id entries
  EXPECT_EQ(image.Le32(root + 16), 3u);
  EXPECT_EQ(image.Le32(root + 24), (image.name_offsets[1] - root) | 0x80000000u);  // "AVI"
  EXPECT_EQ(image.Le32(root + 32), 2u);
  // Depth-first: the language tables of type 3 come before the table of type "AVI".
  EXPECT_LT(image.directory_offsets[3], image.directory_offsets[4]);
  EXPECT_EQ(image.Le32(root + 28), (image.directory_offsets[4] - root) | 0x80000000u);
  ASSERT_EQ(image.data_entry_offsets.size(), 5u);
  EXPECT_EQ(image.Le32(image.data_entry_offsets[1] + 8), 932u);

  std::string dump;
  DumpLeaves(image, root, "", 0, dump);
  EXPECT_EQ(dump, kSampleLeaves);
}

TEST(PeBuilderTest, BuildsWithZeroAlignments) {
  uint32_t seen_rva = 0;
  const Image image = PeBuilder()
                          .SectionAlignment(0)
                          .FileAlignment(0)
                          .Section(".text", kCodeSection, Pattern(0x11, 0))
                          .RawResources([&](uint32_t rva) {
                            seen_rva = rva;
                            return Pattern(7, 1);
                          })
                          .Build();
  // Headers end at 0x80 + 248 + 2 * 40 = 0x1C8; nothing is rounded.
  EXPECT_EQ(image.Le32(image.optional_header + OptionalHeaderField::kSizeOfHeaders), 0x1C8u);
  EXPECT_EQ(image.Le32(image.SectionHeader(0) + SectionHeaderField::kVirtualAddress), 0x1C8u);
  EXPECT_EQ(seen_rva, 0x1D9u);
  EXPECT_EQ(image.resource_rva, 0x1D9u);
  EXPECT_EQ(image.resource_offset, 0x1D9u);
  EXPECT_EQ(image.Le32(image.DataDirectory(2) + 4), 7u);
  EXPECT_EQ(image.Le32(image.optional_header + OptionalHeaderField::kSizeOfImage), 0x1E0u);
  EXPECT_EQ(image.bytes.size(), 0x1E0u);
}

TEST(PeBuilderTest, StandardChecksumOfKnownBuffers) {
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
    uint32_t field;
    uint32_t checksum;
  };
  const Case kCases[] = {
      {"empty", {}, 0, 0},
      // 0x0201 + 0x00AA (field bytes 2..5 count as 0) + length 7.
      {"odd length", {0x01, 0x02, 0x03, 0x04, 0xFF, 0xFF, 0xAA}, 2, 0x02B2},
      // 0xFFFF + 0xFFFF folds to 0xFFFF; + 2 folds to 0x0002; + length 6.
      {"carries fold", {0xFF, 0xFF, 0xFF, 0xFF, 0x02, 0x00}, 100, 0x0008},
      // The field at an odd offset zeroes bytes 1..4: 0x0011 + 0x6600 + 6.
      {"odd field", {0x11, 0x22, 0x33, 0x44, 0x55, 0x66}, 1, 0x6617},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(StandardChecksum(c.bytes, c.field), c.checksum);
  }
}

TEST(PeBuilderTest, FixChecksumGivesThePeChecksum) {
  // The value that pefile's generate_checksum() gives for this image.
  constexpr uint32_t kPefileChecksum = 0xAC73;
  Image image = FullImage().Build();
  const uint32_t field = image.optional_header + OptionalHeaderField::kCheckSum;
  image.SetLe32(field, 0xDEADBEEF);  // the old value must not count
  image.FixChecksum();
  EXPECT_EQ(image.Le32(field), kPefileChecksum);
  EXPECT_EQ(FullImage().WithChecksum(true).Build().bytes, image.bytes);
}

#ifdef RESGRAFT_PYTHON

// A file under the test temporary directory, removed at the end of the scope.
struct TempFile {
  explicit TempFile(const std::string& name)
      : path(std::filesystem::path(::testing::TempDir()) / name) {}
  ~TempFile() {
    std::error_code ignored;
    std::filesystem::remove(path, ignored);
  }
  std::filesystem::path path;
};

std::string RunCommand(const std::string& command, int& status) {
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) {
    status = -1;
    return out;
  }
  char chunk[512];
  size_t got;
  while ((got = fread(chunk, 1, sizeof chunk, pipe)) > 0) out.append(chunk, got);
  status = pclose(pipe);
  return out;
}

constexpr char kPefileScript[] = R"(import sys, pefile
pe = pefile.PE(sys.argv[1])
def label(e):
    return str(e.name) if e.name is not None else str(e.id)
for t in pe.DIRECTORY_ENTRY_RESOURCE.entries:
    for n in t.directory.entries:
        for l in n.directory.entries:
            d = l.data.struct
            data = pe.get_data(d.OffsetToData, d.Size) if d.Size else b""
            print(f"{label(t)}/{label(n)}/{label(l)} cp={d.CodePage} data={data.hex()}")
print("checksum", pe.OPTIONAL_HEADER.CheckSum == pe.generate_checksum())
)";

TEST(PeBuilderTest, PefileReadsTheBuiltImage) {
  int status = 0;
  RunCommand(std::string(RESGRAFT_PYTHON) + " -c 'import pefile' 2>/dev/null", status);
  if (status != 0) GTEST_SKIP() << "python3-pefile is not installed";

  TempFile script("pe_builder_test_pefile.py");
  TempFile image_file("pe_builder_test_pefile.exe");
  std::ofstream(script.path) << kPefileScript;
  PeBuilder().Section(".text", kCodeSection, Pattern(16, 0))
      .Resources(SampleTree())
      .Relocations()
      .WithChecksum(true)
      .Build()
      .WriteTo(image_file.path.string());

  const std::string out = RunCommand(std::string(RESGRAFT_PYTHON) + " '" + script.path.string() +
                                         "' '" + image_file.path.string() + "' 2>&1",
                                     status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(out, std::string(kSampleLeaves) + "checksum True\n");
}

#endif  // RESGRAFT_PYTHON

}  // namespace
}  // namespace resgraft::testing
