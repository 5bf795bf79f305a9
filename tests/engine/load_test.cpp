#include <functional>

#include <unistd.h>

#include <gtest/gtest.h>

#include "allocation_probe.h"
#include "engine/pe.h"
#include "expected_messages.h"
#include "support/pe_builder.h"
#include "support/temp_dir.h"
#include "support/tree_dump.h"

namespace resgraft::engine {
namespace {

using namespace resgraft::testing;

// .text, .rsrc (a type by id and one by the name "AVI"), .reloc.
ResNode Tree() {
  return Dir(0, {Dir(3, {Dir(1, {Leaf(1033, Pattern(40, 2))})}),
                 Dir(u"AVI", {Dir(1, {Leaf(1041, Pattern(7, 3))})})});
}
PeBuilder Base() {
  return PeBuilder()
      .Section(".text", kCodeSection, Pattern(0x300, 1))
      .Resources(Tree())
      .Relocations();
}

void SetName(Image& image, size_t section, const char* name) {
  for (uint32_t i = 0; i < 8; ++i) {
    const uint8_t c = name[i] == '\0' ? 0 : static_cast<uint8_t>(name[i]);
    image.bytes[image.SectionHeader(section) + i] = c;
    if (c == 0) break;
  }
}

class LoadTest : public ::testing::Test {
 protected:
  // Writes `image`, loads it into `pe_` and returns the message.
  std::string Load(const Image& image) {
    image.WriteTo(path_);
    pe_.Clear();
    std::string msg = "unset";
    pe_.LoadFromFile(path_, msg);
    return msg;
  }

  TempDir dir_;
  const std::string path_ = dir_.File("image.exe");
  TPEFile pe_;
};

TEST_F(LoadTest, EachCauseGetsItsMessage) {
  enum Outcome { kLoads, kNotPe, kHeader, kResources, kUpx, kPecompress, kWwpack, kAspack };
  struct Case {
    const char* name;
    std::function<void(Image&)> damage;
    Outcome outcome;
  };
  const Case kCases[] = {
      {"intact", [](Image&) {}, kLoads},
      {"shorter than 64 bytes", [](Image& i) { i.Truncate(63); }, kNotPe},
      {"not MZ", [](Image& i) { i.SetLe16(0, 0x4D5A); }, kNotPe},
      {"e_lfanew 63", [](Image& i) { i.SetLe32(60, 63); }, kNotPe},
      {"e_lfanew negative", [](Image& i) { i.SetLe32(60, 0x80000000); }, kNotPe},
      {"e_lfanew huge", [](Image& i) { i.SetLe32(60, 0x7FFFFF00); }, kNotPe},
      {"cut inside the NT headers", [](Image& i) { i.Truncate(i.e_lfanew + 247); }, kNotPe},
      {"signature", [](Image& i) { i.SetLe32(i.e_lfanew, 0x4551); }, kNotPe},
      {"another processor", [](Image& i) { i.SetLe16(i.file_header, 0x8664); }, kNotPe},
      {"PE32+", [](Image& i) { i.SetLe16(i.optional_header, 0x20B); }, kNotPe},
      {"no sections", [](Image& i) { i.SetLe16(i.file_header + 2, 0); }, kNotPe},
      {"optional header not 224 bytes",
       [](Image& i) { i.SetLe16(i.file_header + FileHeaderField::kSizeOfOptionalHeader, 240); },
       kHeader},
      {"cut inside the section table", [](Image& i) { i.Truncate(i.SectionHeader(2) + 39); },
       kHeader},
      {"SizeOfHeaders past the end",
       [](Image& i) { i.SetLe32(i.optional_header + OptionalHeaderField::kSizeOfHeaders, 0xFFFFFFFF); },
       kHeader},
      {"first section beyond the end",
       [](Image& i) { i.SetLe32(i.SectionHeader(0) + SectionHeaderField::kPointerToRawData, 0x100000); },
       kHeader},
      {"gap in memory",
       [](Image& i) {
         const uint32_t at = i.SectionHeader(1) + SectionHeaderField::kVirtualAddress;
         i.SetLe32(at, i.Le32(at) + 0x1000);
       },
       kHeader},
      {"gap in the file",
       [](Image& i) {
         const uint32_t at = i.SectionHeader(2) + SectionHeaderField::kPointerToRawData;
         i.SetLe32(at, i.Le32(at) + 0x200);
       },
       kHeader},
      {"section alignment 0",
       [](Image& i) { i.SetLe32(i.optional_header + OptionalHeaderField::kSectionAlignment, 0); },
       kHeader},
      {"first section too large in memory",
       [](Image& i) { i.SetLe32(i.SectionHeader(0) + SectionHeaderField::kVirtualSize, 0x1001); },
       kHeader},
      {"UPX", [](Image& i) { SetName(i, 0, "UPX0"); }, kUpx},
      {"upx in lower case", [](Image& i) { SetName(i, 0, "upx0"); }, kLoads},
      {"PECompress", [](Image& i) { SetName(i, 0, "pec1"); }, kPecompress},
      {"WWPack32", [](Image& i) { SetName(i, 2, ".WWP32"); }, kWwpack},
      {"ASPack", [](Image& i) { SetName(i, 1, ".aspack"); }, kAspack},
      {"packed with broken headers",
       [](Image& i) {
         SetName(i, 0, "UPX0");
         i.SetLe32(i.optional_header + OptionalHeaderField::kSectionAlignment, 0);
       },
       kHeader},
      {"no resource directory",
       [](Image& i) { i.SetLe32(i.DataDirectory(2), 0); }, kResources},
      {"resources past every section",
       [](Image& i) { i.SetLe32(i.DataDirectory(2), 0x100000); }, kResources},
      {"resources in a virtual tail",
       [](Image& i) {
         i.SetLe32(i.SectionHeader(1) + SectionHeaderField::kVirtualSize, 0xF00);
         i.SetLe32(i.DataDirectory(2), i.resource_rva + 0xE00);
       },
       kResources},
      {"root not at the start of its section",
       [](Image& i) { i.SetLe32(i.DataDirectory(2), i.resource_rva + 16); }, kResources},
      {"root with no entries",
       [](Image& i) {
         i.SetLe16(i.resource_offset + 12, 0);
         i.SetLe16(i.resource_offset + 14, 0);
       },
       kResources},
      {"entry count far beyond the file",
       [](Image& i) { i.SetLe16(i.resource_offset + 14, 0xFFFF); }, kResources},
      {"subdirectory pointing back at the root",
       [](Image& i) { i.SetLe32(i.resource_offset + 16 + 4, 0x80000000); }, kResources},
      {"name string of length 0", [](Image& i) { i.SetLe16(i.name_offsets[0], 0); }, kResources},
      {"name string running past the end",
       [](Image& i) { i.SetLe32(i.resource_offset + 24, 0x80000000 | 0x7FFFFF00); }, kResources},
      {"Reserved not 0", [](Image& i) { i.SetLe32(i.data_entry_offsets[0] + 12, 1); }, kResources},
      {"data outside every section",
       [](Image& i) { i.SetLe32(i.data_entry_offsets[0], 0x900000); }, kResources},
      {"data RVA 0", [](Image& i) { i.SetLe32(i.data_entry_offsets[0], 0); }, kResources},
      {"data past the end of the file",
       [](Image& i) { i.SetLe32(i.data_entry_offsets[0] + 4, 0x100000); }, kResources},
      {"data size 0xFFFFFFFF",
       [](Image& i) { i.SetLe32(i.data_entry_offsets[0] + 4, 0xFFFFFFFF); }, kResources},
      {"data of size 0 needs no address",
       [](Image& i) {
         i.SetLe32(i.data_entry_offsets[0], 0);
         i.SetLe32(i.data_entry_offsets[0] + 4, 0);
       },
       kLoads},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    Image image = Base().Build();
    c.damage(image);
    ResetLargestAllocation();
    const std::string msg = Load(image);
    EXPECT_LT(LargestAllocation(), size_t{1} << 20) << "no size from the file is trusted";
    switch (c.outcome) {
      case kLoads: EXPECT_EQ(msg, ""); break;
      case kNotPe: EXPECT_EQ(msg, NotWin32Pe(path_)); break;
      case kHeader: EXPECT_EQ(msg, BadHeader(path_)); break;
      case kResources: EXPECT_EQ(msg, BadResources(path_)); break;
      case kUpx: EXPECT_EQ(msg, Packed("UPX", path_)); break;
      case kPecompress: EXPECT_EQ(msg, Packed("PECompress", path_)); break;
      case kWwpack: EXPECT_EQ(msg, Packed("WWPack32", path_)); break;
      case kAspack: EXPECT_EQ(msg, Packed("ASPack", path_)); break;
    }
  }
}

TEST_F(LoadTest, TreeShapesOtherThanTypeNameLanguageAreRefused) {
  struct Case {
    const char* name;
    ResNode root;
  };
  const Case kCases[] = {
      {"leaf under the root", Dir(0, {Leaf(1, {1})})},
      {"leaf under a type", Dir(0, {Dir(3, {Leaf(1, {1})})})},
      {"directory under a language", Dir(0, {Dir(3, {Dir(1, {Dir(1033, {Leaf(1, {1})})})})})},
      {"empty type directory", Dir(0, {Dir(3, {})})},
      {"empty language directory", Dir(0, {Dir(3, {Dir(1, {})})})},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Load(PeBuilder().Resources(c.root).Build()), BadResources(path_));
  }
}

TEST_F(LoadTest, CannotOpen) {
  std::string msg;
  pe_.LoadFromFile(dir_.File("missing.exe"), msg);
  EXPECT_EQ(msg, CannotOpen(dir_.File("missing.exe")));
  pe_.Clear();
  pe_.LoadFromFile(dir_.path(), msg);
  EXPECT_EQ(msg, CannotOpen(dir_.path())) << "a folder";
}

TEST_F(LoadTest, FilesThatA32BitSizeCannotDescribeCannotBeOpened) {
  // A valid image made 4 GiB long (sparse: no bytes are written): its size would wrap.
  for (const uint64_t size : {uint64_t{0xFFFFFFFF}, uint64_t{0x100000000}}) {
    SCOPED_TRACE(size);
    Base().Build().WriteTo(path_);
    ASSERT_EQ(truncate(path_.c_str(), static_cast<off_t>(size)), 0);
    pe_.Clear();
    std::string msg;
    pe_.LoadFromFile(path_, msg);
    EXPECT_EQ(msg, CannotOpen(path_));
  }
}

TEST_F(LoadTest, HoldsTheFileInFourPieces) {
  const Image image = Base().Overlay(Bytes("overlay")).Build();
  ASSERT_EQ(Load(image), "");
  const uint32_t size_of_headers = pe_.OptionalHeader.SizeOfHeaders();
  EXPECT_EQ(pe_.FileSize, image.bytes.size());
  EXPECT_EQ(pe_.HeaderBlock, std::vector<uint8_t>(image.bytes.begin(),
                                                  image.bytes.begin() + size_of_headers));
  EXPECT_EQ(pe_.ResourceOffset, image.resource_offset);
  EXPECT_EQ(uint32_t(pe_.PreResourceSize), image.resource_offset - size_of_headers);
  EXPECT_TRUE(std::equal(pe_.PreResourceData.get(), pe_.PreResourceData.get() + pe_.PreResourceSize,
                         image.bytes.begin() + size_of_headers));
  const uint32_t resource_end = image.resource_offset + pe_.SectionHeaders[1].SizeOfRawData();
  ASSERT_EQ(uint32_t(pe_.PostResourceSize), image.bytes.size() - resource_end);
  EXPECT_TRUE(std::equal(pe_.PostResourceData.get(),
                         pe_.PostResourceData.get() + pe_.PostResourceSize,
                         image.bytes.begin() + resource_end));
  EXPECT_EQ(DumpTree(pe_.Resources),
            "root chars=0x00000000 time=0x00000000 ver=4.0\n"
            "#3 chars=0x00000000 time=0x00000000 ver=4.0\n"
            "  #1 chars=0x00000000 time=0x00000000 ver=4.0\n"
            "    #1033 size=40 codepage=0 fnv1a64=" +
                [] {
                  char hex[17];
                  std::snprintf(hex, sizeof hex, "%016llx",
                                static_cast<unsigned long long>(Fnv1a64(Pattern(40, 2))));
                  return std::string(hex);
                }() +
                "\n"
                "\"AVI\" chars=0x00000000 time=0x00000000 ver=4.0\n"
                "  #1 chars=0x00000000 time=0x00000000 ver=4.0\n"
                "    #1041 size=7 codepage=0 fnv1a64=" +
                [] {
                  char hex[17];
                  std::snprintf(hex, sizeof hex, "%016llx",
                                static_cast<unsigned long long>(Fnv1a64(Pattern(7, 3))));
                  return std::string(hex);
                }() +
                "\n");

  EXPECT_EQ(pe_.FindResourceType(0, u"AVI"), pe_.Resources.Entry(1)->Subdirectory.get());
  EXPECT_EQ(pe_.FindResourceType(3, u"AVI"), pe_.Resources.Entry(0)->Subdirectory.get());
  EXPECT_EQ(pe_.FindResourceType(0, u"avi"), nullptr);
  EXPECT_EQ(pe_.FindResourceType(2, u""), nullptr);

  pe_.Clear();
  EXPECT_EQ(pe_.FileSize, 0u);
  EXPECT_TRUE(pe_.HeaderBlock.empty());
  EXPECT_TRUE(pe_.SectionHeaders.empty());
  EXPECT_FALSE(pe_.OptionalHeader);
  EXPECT_EQ(pe_.PreResourceData, nullptr);
  EXPECT_EQ(pe_.Resources.Count(), 0);
}

TEST_F(LoadTest, HeaderAdjustmentsAndEdgeLayouts) {
  // SizeOfHeaders below the first section's data is raised to it.
  ASSERT_EQ(Load(PeBuilder().FileAlignment(0x400).SizeOfHeaders(0x200).Resources(Tree()).Build()), "");
  EXPECT_EQ(pe_.OptionalHeader.SizeOfHeaders(), 0x400u);
  EXPECT_EQ(pe_.HeaderBlock.size(), 0x400u);
  EXPECT_EQ(pe_.PreResourceSize, 0) << "resources right behind the headers";
  EXPECT_EQ(pe_.PostResourceSize, 0) << "resources last, nothing behind";
  EXPECT_EQ(pe_.PostResourceData, nullptr);

  // A data-less section in between gets the running file offset.
  const Image with_bss = PeBuilder()
                             .Section(".text", kCodeSection, Pattern(0x200, 1))
                             .Section(".bss", kBssSection, {}, 0x800)
                             .Resources(Tree())
                             .Build();
  ASSERT_EQ(with_bss.Le32(with_bss.SectionHeader(1) + SectionHeaderField::kPointerToRawData), 0u);
  ASSERT_EQ(Load(with_bss), "");
  EXPECT_EQ(pe_.SectionHeaders[1].PointerToRawData(),
            pe_.SectionHeaders[0].PointerToRawData() + 0x200);

  // NT headers right behind the DOS header; a single section with any address.
  Image lone = PeBuilder().Lfanew(64).Resources(Tree()).Build();
  EXPECT_EQ(Load(lone), "");
  lone.SetLe32(lone.optional_header + OptionalHeaderField::kSectionAlignment, 0);
  EXPECT_EQ(Load(lone), "") << "one section: no contiguity test";

  // Two sections at 0x1000 and 0x3000: a first VirtualSize of 0x1001 fits.
  Image two = PeBuilder().Section(".text", kCodeSection, Pattern(0x200, 1), 0x1001)
                  .Resources(Tree()).Build();
  EXPECT_EQ(two.Le32(two.SectionHeader(1) + SectionHeaderField::kVirtualAddress), 0x3000u);
  EXPECT_EQ(Load(two), "");
}

TEST_F(LoadTest, FileOrderAndSharedDataAreKept) {
  // Named entries after id entries and counts that disagree with the entries' bits
  // load in file order; two leaves sharing one data entry get copies of their own.
  Image image = Base().Build();
  const uint32_t root = image.resource_offset;
  image.SetLe16(root + 12, 2);  // both entries claimed as named
  image.SetLe16(root + 14, 0);
  // Point the AVI language at the first leaf's data entry.
  image.SetLe32(image.directory_offsets.back() + 16 + 4,
                image.data_entry_offsets[0] - image.resource_offset);
  ASSERT_EQ(Load(image), "");
  EXPECT_EQ(pe_.Resources.NumberOfNamedEntries, 2) << "as read";
  EXPECT_FALSE(pe_.Resources.Entry(0)->IsNamed());
  EXPECT_TRUE(pe_.Resources.Entry(1)->IsNamed());
  const TResourceDirectoryEntry* first =
      pe_.Resources.Entry(0)->Subdirectory->Entry(0)->Subdirectory->Entry(0);
  const TResourceDirectoryEntry* second =
      pe_.Resources.Entry(1)->Subdirectory->Entry(0)->Subdirectory->Entry(0);
  EXPECT_NE(first->Data.get(), second->Data.get());
  EXPECT_TRUE(std::equal(first->DataBytes().begin(), first->DataBytes().end(),
                         second->DataBytes().begin(), second->DataBytes().end()));
}

TEST_F(LoadTest, SharedTablesCannotAmplifyASmallFile) {
  // 1000 types, each pointing at one table of 1000 names, each pointing at one table
  // of 1000 languages: a billion leaves if expanded, from about 24 KB.
  const Image image = PeBuilder()
                          .RawResources([](uint32_t rva) {
                            constexpr uint32_t kCount = 1000;
                            constexpr uint32_t kTable = 16 + 8 * kCount;
                            std::vector<uint8_t> s(3 * kTable + 16 + 4, 0);
                            auto put = [&](uint32_t at, uint32_t v) {
                              for (uint32_t k = 0; k < 4; ++k) s[at + k] = static_cast<uint8_t>(v >> (8 * k));
                            };
                            for (uint32_t t = 0; t < 3; ++t) {
                              const uint32_t table = t * kTable;
                              put(table + 12, kCount << 16);  // NumberOfIdEntries
                              for (uint32_t e = 0; e < kCount; ++e) {
                                put(table + 16 + 8 * e, e + 1);
                                put(table + 20 + 8 * e, t < 2 ? (0x80000000 | (table + kTable))
                                                              : 3 * kTable);
                              }
                            }
                            put(3 * kTable, rva + 3 * kTable + 16);
                            put(3 * kTable + 4, 4);
                            return s;
                          })
                          .Build();
  ASSERT_LT(image.bytes.size(), 30000u);
  ResetLargestAllocation();
  EXPECT_EQ(Load(image), BadResources(path_));
  EXPECT_LT(LargestAllocation(), size_t{1} << 20);
}

}  // namespace
}  // namespace resgraft::engine
