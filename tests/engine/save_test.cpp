#include <csignal>
#include <sys/file.h>
#include <sys/resource.h>
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "engine/pe.h"
#include "expected_messages.h"
#include "support/pe_builder.h"
#include "support/temp_dir.h"
#include "support/tree_dump.h"
#include "tree_helpers.h"

namespace resgraft::engine {
namespace {

using namespace resgraft::testing;

ResNode Tree(size_t data_size = 40) {
  return Dir(0, {Dir(3, {Dir(1, {Leaf(1033, Pattern(data_size, 2))})}),
                 Dir(u"AVI", {Dir(1, {Leaf(1041, Pattern(7, 3))})})});
}

class SaveTest : public ::testing::Test {
 protected:
  std::string Load(const Image& image, const std::string& name = "in.exe") {
    image.WriteTo(dir_.File(name));
    pe_.Clear();
    std::string msg = "unset";
    pe_.LoadFromFile(dir_.File(name), msg);
    return msg;
  }
  std::string Save(const std::string& path) {
    std::string msg = "unset";
    pe_.SaveToFile(path, msg);
    return msg;
  }
  // Gives the first leaf `size` bytes, so the section grows or shrinks.
  void ResizeFirstLeaf(size_t size) {
    TResourceDirectoryEntry* leaf =
        pe_.Resources.Entry(0)->Subdirectory->Entry(0)->Subdirectory->Entry(0);
    SetData(leaf, Pattern(size, 9));
  }
  uint32_t Slot(int slot) const { return pe_.OptionalHeader.DataDirectory(slot).VirtualAddress; }

  TempDir dir_;
  TPEFile pe_;
};

// FileAlignment 0x200, SectionAlignment 0x1000; the resource section at 0x5000 with
// VirtualSize 0x1234, raw data at 0x3000 of 0x1400 bytes; then base relocations at
// 0x7000, raw at 0x4400 of 0x200 bytes, holding slot 5.
Image RelayoutImage() {
  return PeBuilder()
      .Section(".text", kCodeSection, Pattern(0x2E00, 1), 0x4000)
      .RawResources([](uint32_t rva) {
        std::vector<uint8_t> s(0x1234, 0);
        // root -> type 3 -> id 1 -> language 1033 -> 4 bytes
        const uint32_t words[] = {0, 0, 0, 1u << 16, 3, 0x80000000 | 24,
                                  0, 0, 0, 1u << 16, 1, 0x80000000 | 48,
                                  0, 0, 0, 1u << 16, 1033, 72,
                                  rva + 88, 4, 0, 0, 0xDDCCBBAA};
        for (size_t w = 0; w < std::size(words); ++w) {
          for (size_t k = 0; k < 4; ++k) s[4 * w + k] = static_cast<uint8_t>(words[w] >> (8 * k));
        }
        return s;
      })
      .Relocations(std::vector<uint8_t>(0x200, 0x5A))
      .Build();
}

TEST_F(SaveTest, ResizeMovesWhatFollowsTheResourceSection) {
  const Image image = RelayoutImage();
  ASSERT_EQ(Load(image), "");
  ASSERT_EQ(pe_.SectionHeaders[1].VirtualAddress(), 0x5000u);
  ASSERT_EQ(pe_.SectionHeaders[1].VirtualSize(), 0x1234u);
  ASSERT_EQ(pe_.SectionHeaders[1].PointerToRawData(), 0x3000u);
  ASSERT_EQ(pe_.SectionHeaders[1].SizeOfRawData(), 0x1400u);
  ASSERT_EQ(pe_.SectionHeaders[2].VirtualAddress(), 0x7000u);
  ASSERT_EQ(pe_.SectionHeaders[2].PointerToRawData(), 0x4400u);
  ASSERT_EQ(Slot(5), 0x7000u);

  struct Case {
    uint32_t t, r, relocation_address, relocation_raw;
  };
  const Case kCases[] = {
      {0x1500, 0x1600, 0x7000, 0x4600},
      {0x2100, 0x2200, 0x8000, 0x5200},
      {0xE00, 0xE00, 0x6000, 0x3E00},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.t);
    ASSERT_EQ(Load(image), "");
    EXPECT_EQ(pe_.ResizeResourceSection(c.t), c.r);
    const SectionHeaderView& resources = pe_.SectionHeaders[1];
    const SectionHeaderView& relocations = pe_.SectionHeaders[2];
    EXPECT_EQ(resources.VirtualSize(), c.t);
    EXPECT_EQ(resources.SizeOfRawData(), c.r);
    EXPECT_EQ(pe_.OptionalHeader.DataDirectory(2).Size, c.t);
    EXPECT_EQ(Slot(2), 0x5000u);
    EXPECT_EQ(relocations.VirtualAddress(), c.relocation_address);
    EXPECT_EQ(relocations.PointerToRawData(), c.relocation_raw);
    EXPECT_EQ(Slot(5), c.relocation_address);
    EXPECT_EQ(pe_.OptionalHeader.SizeOfCode(), 0x2E00u);
    EXPECT_EQ(pe_.OptionalHeader.SizeOfInitializedData(), c.r + 0x200);
    EXPECT_EQ(pe_.OptionalHeader.SizeOfUninitializedData(), 0u);
    EXPECT_EQ(pe_.OptionalHeader.SizeOfImage(), c.relocation_address + 0x1000);
  }

  // The same raw size changes nothing at all.
  ASSERT_EQ(Load(image), "");
  const std::vector<uint8_t> before = pe_.HeaderBlock;
  EXPECT_EQ(pe_.ResizeResourceSection(0x1300), 0x1400u);
  EXPECT_EQ(pe_.HeaderBlock, before);
}

TEST_F(SaveTest, RoundTripKeepsEverythingButTheSectionAndItsTotals) {
  const Image image = PeBuilder()
                          .WithChecksum(true)
                          .Section(".text", kCodeSection, Pattern(0x400, 1))
                          .Resources(Tree())
                          .Relocations(Pattern(0x40, 4))
                          .Overlay(Bytes("overlay bytes"))
                          .Build();
  ASSERT_EQ(Load(image), "");
  const std::string tree = DumpTree(pe_.Resources);
  ResizeFirstLeaf(0x900);  // grows the raw size by a file-alignment step or more
  const std::string grown_tree = DumpTree(pe_.Resources);
  const std::string out = dir_.File("out.exe");
  ASSERT_EQ(Save(out), "");

  const std::vector<uint8_t> saved = ReadFileBytes(out);
  EXPECT_EQ(pe_.FileSize, saved.size());
  TPEFile reloaded;
  std::string msg;
  reloaded.LoadFromFile(out, msg);
  ASSERT_EQ(msg, "");
  EXPECT_EQ(DumpTree(reloaded.Resources), grown_tree);
  EXPECT_NE(grown_tree, tree);

  // .text unchanged in place, .reloc and the overlay unchanged at their new place.
  const SectionHeaderView& text = reloaded.SectionHeaders[0];
  const SectionHeaderView& relocs = reloaded.SectionHeaders[2];
  EXPECT_TRUE(std::equal(image.bytes.begin() + text.PointerToRawData(),
                         image.bytes.begin() + text.PointerToRawData() + text.SizeOfRawData(),
                         saved.begin() + text.PointerToRawData()));
  const uint32_t old_relocs = image.Le32(image.SectionHeader(2) + SectionHeaderField::kPointerToRawData);
  EXPECT_EQ(relocs.PointerToRawData(), old_relocs + 0x800);
  EXPECT_TRUE(std::equal(image.bytes.begin() + old_relocs, image.bytes.end(),
                         saved.begin() + relocs.PointerToRawData(), saved.end()));
  const uint32_t checksum_at = image.optional_header + OptionalHeaderField::kCheckSum;
  EXPECT_EQ(reloaded.OptionalHeader.CheckSum(), StandardChecksum(saved, checksum_at));
  EXPECT_NE(reloaded.OptionalHeader.CheckSum(), image.Le32(checksum_at));

  // A second save of the same object writes the same bytes, also over the file the
  // image came from.
  ASSERT_EQ(Save(dir_.File("again.exe")), "");
  EXPECT_EQ(ReadFileBytes(dir_.File("again.exe")), saved);
  ASSERT_EQ(Save(dir_.File("in.exe")), "");
  EXPECT_EQ(ReadFileBytes(dir_.File("in.exe")), saved);
}

TEST_F(SaveTest, ImageWithoutChecksumKeepsZero) {
  ASSERT_EQ(Load(PeBuilder().Resources(Tree()).Build()), "");
  ASSERT_EQ(Save(dir_.File("out.exe")), "");
  TPEFile reloaded;
  std::string msg;
  reloaded.LoadFromFile(dir_.File("out.exe"), msg);
  ASSERT_EQ(msg, "");
  EXPECT_EQ(reloaded.OptionalHeader.CheckSum(), 0u);
}

TEST_F(SaveTest, OnlyBaseRelocationsMayMoveInMemory) {
  // .rsrc, then .data, then .reloc: growing across a section-alignment step would
  // move .data, whose addresses the code holds.
  const Image image = PeBuilder()
                          .Section(".text", kCodeSection, Pattern(0x200, 1))
                          .Resources(Tree())
                          .Section(".data", kDataSection, Pattern(0x200, 5))
                          .Relocations()
                          .Build();
  const std::string out = dir_.File("out.exe");
  WriteFileBytes(out, {1, 2, 3});
  ASSERT_EQ(Load(image), "");
  const std::vector<uint8_t> headers = pe_.HeaderBlock;
  ResizeFirstLeaf(0x1800);
  EXPECT_EQ(Save(out), CannotSave(out));
  EXPECT_EQ(pe_.HeaderBlock, headers) << "headers untouched";
  EXPECT_EQ(ReadFileBytes(out), (std::vector<uint8_t>{1, 2, 3})) << "destination untouched";

  // Within the same alignment step only file positions move: saved.
  ResizeFirstLeaf(0x600);
  ASSERT_EQ(Save(out), "");
  EXPECT_EQ(pe_.SectionHeaders[2].VirtualAddress(),
            image.Le32(image.SectionHeader(2) + SectionHeaderField::kVirtualAddress));

  // With only the base relocations behind, they move and slot 5 follows them.
  ASSERT_EQ(Load(PeBuilder().Resources(Tree()).Relocations().Build()), "");
  const uint32_t slot5 = Slot(5);
  ResizeFirstLeaf(0x1800);
  ASSERT_EQ(Save(out), "");
  EXPECT_EQ(Slot(5), slot5 + 0x1000);
  TPEFile reloaded;
  std::string msg;
  reloaded.LoadFromFile(out, msg);
  EXPECT_EQ(msg, "");
}

TEST_F(SaveTest, FilePositionsBehindTheSectionFollowTheRawShift) {
  const std::vector<uint8_t> certificate = Pattern(0x48, 7);
  const std::vector<uint8_t> symbols = Pattern(18 * 3, 8);
  PeBuilder builder;
  builder.Resources(Tree(0x600)).Relocations().SymbolTable(symbols).Overlay(certificate);
  Image probe = builder.Build();
  const uint32_t certificate_at = static_cast<uint32_t>(probe.bytes.size() - certificate.size());
  const Image image = builder.DataDirectory(4, certificate_at, 0x48).Build();

  for (const size_t size : {size_t{0xE00}, size_t{8}}) {  // grow, then shrink
    SCOPED_TRACE(size);
    ASSERT_EQ(Load(image), "");
    const uint32_t old_raw = pe_.SectionHeaders[0].SizeOfRawData();
    const uint32_t old_symbols = pe_.FileHeader.PointerToSymbolTable();
    ResizeFirstLeaf(size);
    const std::string out = dir_.File("out.exe");
    ASSERT_EQ(Save(out), "");
    const uint32_t shift = pe_.SectionHeaders[0].SizeOfRawData() - old_raw;
    ASSERT_NE(shift, 0u);
    EXPECT_EQ(Slot(4), certificate_at + shift);
    EXPECT_EQ(pe_.FileHeader.PointerToSymbolTable(), old_symbols + shift);
    const std::vector<uint8_t> saved = ReadFileBytes(out);
    ASSERT_LE(Slot(4) + certificate.size(), saved.size());
    EXPECT_TRUE(std::equal(certificate.begin(), certificate.end(), saved.begin() + Slot(4)));
    const uint32_t symbols_at = pe_.FileHeader.PointerToSymbolTable();
    EXPECT_TRUE(std::equal(symbols.begin(), symbols.end(), saved.begin() + symbols_at));
  }
}

TEST_F(SaveTest, ASectionEndingOnTheAlignmentWithAnEmptyLastLeafLoadsAgain) {
  ASSERT_EQ(Load(PeBuilder().Resources(Tree()).Build()), "");
  // One type, one name, two languages: 112 bytes of tables and records, then 400
  // bytes of data and an empty leaf: 512 bytes, exactly the file alignment.
  TResourceDirectory& root = pe_.Resources;
  root.Clear();
  TResourceDirectory& languages = Sub(AddId(Sub(AddId(root, 3)), 1));
  SetData(AddId(languages, 1033), Pattern(400, 1));
  AddId(languages, 1041);
  const std::string out = dir_.File("out.exe");
  ASSERT_EQ(Save(out), "");
  EXPECT_EQ(pe_.SectionHeaders[0].SizeOfRawData(), 0x200u);
  EXPECT_EQ(languages.Entry(1)->DataRva, 0u) << "its address lies in no section";
  TPEFile reloaded;
  std::string msg;
  reloaded.LoadFromFile(out, msg);
  EXPECT_EQ(msg, "");
}

TEST_F(SaveTest, SizeOfImageNeverFallsShort) {
  // The first section starts 0x2000 above the headers' end.
  Image image = PeBuilder().Resources(Tree()).Build();
  const uint32_t va_at = image.SectionHeader(0) + SectionHeaderField::kVirtualAddress;
  image.SetLe32(va_at, image.Le32(va_at) + 0x2000);
  image.SetLe32(image.DataDirectory(2), image.Le32(image.DataDirectory(2)) + 0x2000);
  for (const uint32_t record : image.data_entry_offsets) image.SetLe32(record, image.Le32(record) + 0x2000);
  ASSERT_EQ(Load(image), "");
  ResizeFirstLeaf(0x1400);
  ASSERT_EQ(Save(dir_.File("out.exe")), "");
  const SectionHeaderView& last = pe_.SectionHeaders.back();
  EXPECT_EQ(pe_.OptionalHeader.SizeOfImage(), last.VirtualAddress() + AlignUp(last.VirtualSize(), 0x1000));
}

TEST_F(SaveTest, RefusedSavesTouchNothing) {
  struct Case {
    const char* name;
    std::function<void(Image&)> damage;
    std::function<void(TPEFile&)> change;
  };
  const Case kCases[] = {
      {"file alignment 0",
       [](Image& i) { i.SetLe32(i.optional_header + OptionalHeaderField::kFileAlignment, 0); },
       [](TPEFile&) {}},
      {"section alignment 0 and a new raw size",
       [](Image& i) { i.SetLe32(i.optional_header + OptionalHeaderField::kSectionAlignment, 0); },
       [](TPEFile& pe) {
         SetData(pe.Resources.Entry(0)->Subdirectory->Entry(0)->Subdirectory->Entry(0),
                 Pattern(0x400, 1));
       }},
      {"a tree that cannot be measured",
       [](Image&) {},
       [](TPEFile& pe) { AddId(pe.Resources, 7); }},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    Image image = PeBuilder().Resources(Tree()).Build();
    c.damage(image);
    ASSERT_EQ(Load(image), "");
    c.change(pe_);
    const std::vector<uint8_t> headers = pe_.HeaderBlock;
    const std::string out = dir_.File("out.exe");
    EXPECT_EQ(Save(out), CannotSave(out));
    EXPECT_EQ(pe_.HeaderBlock, headers);
    EXPECT_EQ(dir_.Names(), std::vector<std::string>{"in.exe"});
  }
}

TEST_F(SaveTest, FailedSavesLeaveTheDestinationAsItWas) {
  ASSERT_EQ(Load(PeBuilder().WithChecksum(true).Resources(Tree(0x3000)).Build()), "");
  const std::string out = dir_.File("out.exe");
  const std::vector<uint8_t> existing = Pattern(100, 42);
  WriteFileBytes(out, existing);

  // A folder that cannot hold the file.
  WriteFileBytes(dir_.File("plain"), {1});
  EXPECT_EQ(Save(dir_.File("plain/out.exe")), CannotSave(dir_.File("plain/out.exe")));

  // Another instance holds the destination while it writes.
  const int other = open(out.c_str(), O_RDONLY);
  ASSERT_GE(other, 0);
  ASSERT_EQ(flock(other, LOCK_EX), 0);
  EXPECT_EQ(Save(out), CannotSave(out));
  close(other);

  // The disk fills up part way through the resource section.
  struct rlimit saved_limit;
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved_limit), 0);
  const auto saved_handler = std::signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = saved_limit;
  small.rlim_cur = 0x2000;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  const std::string msg = Save(out);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &saved_limit), 0);
  std::signal(SIGXFSZ, saved_handler);
  EXPECT_EQ(msg, CannotWrite(out));

  EXPECT_EQ(ReadFileBytes(out), existing);
  EXPECT_EQ(dir_.Names(), (std::vector<std::string>{"in.exe", "out.exe", "plain"}));

  // And with room again the same object saves.
  EXPECT_EQ(Save(out), "");
}

}  // namespace
}  // namespace resgraft::engine
