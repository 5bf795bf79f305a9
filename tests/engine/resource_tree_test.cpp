#include <gtest/gtest.h>

#include "engine/pe.h"
#include "support/pe_builder.h"
#include "support/temp_dir.h"
#include "support/tree_dump.h"
#include "tree_helpers.h"

namespace resgraft::engine {
namespace {

using testing::AddId;
using testing::AddNamed;
using testing::DumpTree;
using testing::SetData;
using testing::Sub;

TEST(AlignUpTest, RoundsUpToTheAlignment) {
  EXPECT_EQ(AlignUp(0x1001, 0x1000), 0x2000u);
  EXPECT_EQ(AlignUp(0x1000, 0x1000), 0x1000u);
  EXPECT_EQ(AlignUp(0, 4), 0u);
  EXPECT_EQ(AlignUp(5, 4), 8u);
  EXPECT_EQ(AlignUp(0xFFFFFFFF, 4), 0u) << "32-bit wrap, as the format's arithmetic";
}

// A directory holding, in order, "AVI", id 2, id 2 again, a named entry whose Name
// equals 2, and an id entry whose Name has bits above bit 15 set.
class LookupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    AddNamed(dir_, u"AVI");
    AddId(dir_, 2);
    AddId(dir_, 2);
    AddNamed(dir_, u"X")->Name = 2;
    AddId(dir_, 0x10002);
  }
  int IndexOf(const TResourceDirectoryEntry* entry) const {
    for (int i = 0; i < dir_.Count(); ++i) {
      if (dir_.Entry(i) == entry) return i;
    }
    return -1;
  }
  TResourceDirectory dir_;
};

TEST_F(LookupTest, EntryAnswersNoneOutOfRange) {
  EXPECT_EQ(dir_.Entry(-1), nullptr);
  EXPECT_EQ(dir_.Entry(dir_.Count()), nullptr);
  EXPECT_NE(dir_.Entry(0), nullptr);
  EXPECT_EQ(TResourceDirectory().Entry(0), nullptr);
}

TEST_F(LookupTest, FindsTheFirstEntryOfItsKind) {
  struct Case {
    const char* name;
    const TResourceDirectoryEntry* found;
    int index;
  };
  const Case kCases[] = {
      {"id 2: the first id entry", dir_.FindById(2), 1},
      {"all 32 bits count", dir_.FindById(0x10002), 4},
      {"no such id", dir_.FindById(3), -1},
      {"AVI by name", dir_.FindByName(u"AVI"), 0},
      {"case counts", dir_.FindByName(u"avi"), -1},
      {"empty key", dir_.FindByName(u""), -1},
      {"names never found by id", dir_.FindByName(u"X"), 3},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(IndexOf(c.found), c.index);
  }
  // An entry whose name is empty is an id entry, whatever bit 31 of its Name says.
  TResourceDirectory other;
  AddId(other, 0x80000010);
  EXPECT_EQ(other.FindById(static_cast<int32_t>(0x80000010)), other.Entry(0));
}

TEST(DirectoryTest, ClearKeepsTheHeaderAndAssignCopiesDeeply) {
  TResourceDirectory source;
  source.SetHeader({1, 2, 3, 4, 5, 6});
  TResourceDirectoryEntry* type = AddNamed(source, u"AVI");
  TResourceDirectory& names = Sub(type);
  TResourceDirectory& languages = Sub(AddId(names, 1));
  SetData(AddId(languages, 1033), {1, 2, 3});
  AddId(languages, 1041)->DataSize = 0;  // a leaf without data

  TResourceDirectory copy;
  AddId(copy, 99);  // destroyed by Assign
  copy.Assign(source);
  EXPECT_EQ(DumpTree(copy), DumpTree(source));
  EXPECT_EQ(copy.NumberOfNamedEntries, 5);
  EXPECT_EQ(copy.NumberOfIdEntries, 6);
  const TResourceDirectory& copied_languages =
      *copy.Entry(0)->Subdirectory->Entry(0)->Subdirectory;
  EXPECT_EQ(copied_languages.Entry(1)->Data, nullptr);
  EXPECT_EQ(copied_languages.Entry(1)->DataSize, 0u);

  // Nothing is shared: changing the copy leaves the source alone.
  copied_languages.Entry(0)->Data[0] = 0xEE;
  copy.Entry(0)->NameString.NameText[0] = u'Z';
  copy.Entry(0)->Subdirectory->Clear();
  EXPECT_EQ(languages.Entry(0)->Data[0], 1);
  EXPECT_EQ(source.Entry(0)->NameString.NameText, u"AVI");
  EXPECT_EQ(names.Count(), 1);

  source.Clear();
  EXPECT_EQ(source.Count(), 0);
  const ImageResourceDirectory kept = source.Header();
  EXPECT_EQ(kept.Characteristics, 1u);
  EXPECT_EQ(kept.MinorVersion, 4);
  EXPECT_EQ(kept.NumberOfIdEntries, 6);
}

TEST(EntryTest, ResetReturnsToANewEntry) {
  TResourceDirectoryEntry entry;
  entry.Name = 5;
  entry.OffsetToData = 6;
  entry.CodePage = 7;
  SetData(&entry, {1});
  Sub(&entry);
  entry.Reset();
  EXPECT_EQ(entry.Name, 0u);
  EXPECT_EQ(entry.OffsetToData, 0u);
  EXPECT_EQ(entry.CodePage, 0u);
  EXPECT_EQ(entry.DataSize, 0u);
  EXPECT_EQ(entry.Data, nullptr);
  EXPECT_EQ(entry.Subdirectory, nullptr);
}

// The worked example: "AVI" -> A -> id 1 -> A1 -> 1041 (5 bytes), and id 14 -> B ->
// "MAINICON" -> B1 -> 1041 (20 bytes), every header version 4.0.
class WorkedExampleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    using testing::Dir;
    using testing::Leaf;
    // Any loadable image gives the section table that turns offsets into RVAs.
    image_ = testing::PeBuilder()
                 .Section(".text", testing::kCodeSection, std::vector<uint8_t>(0x200, 0xCC))
                 .Resources(Dir(0, {Dir(3, {Dir(1, {Leaf(1033, {1})})})}))
                 .Build();
    image_.WriteTo(dir_.File("a.exe"));
    std::string msg;
    pe_.LoadFromFile(dir_.File("a.exe"), msg);
    ASSERT_EQ(msg, "");

    TResourceDirectory& root = pe_.Resources;
    root.Clear();
    root.SetHeader({0, 0, 4, 0, 0, 0});
    TResourceDirectory& a = Sub(AddNamed(root, u"AVI"));
    TResourceDirectory& b = Sub(AddId(root, 14));
    SetData(AddId(Sub(AddId(a, 1)), 1041), {1, 2, 3, 4, 5});
    SetData(AddId(Sub(AddNamed(b, u"MAINICON")), 1041), std::vector<uint8_t>(20, 0xB1));
  }

  testing::TempDir dir_;
  testing::Image image_;
  TPEFile pe_;
};

TEST_F(WorkedExampleTest, MeasuresAndWritesTheSectionByteForByte) {
  ResourceLayout sizes{};
  ASSERT_TRUE(pe_.Resources.Measure(sizes, 0));
  EXPECT_EQ(sizes, (ResourceLayout{32, 48, 48, 32, 26, 28}));
  ResourceLayout cursors{};
  ASSERT_TRUE(RegionEnds(sizes, cursors));
  EXPECT_EQ(cursors, (ResourceLayout{32, 80, 128, 160, 186, 216}));
  uint32_t size = 0;
  ASSERT_TRUE(SectionSize(sizes, size));
  EXPECT_EQ(size, 216u);

  std::vector<uint8_t> buffer(0x200, 0);
  ASSERT_TRUE(pe_.WriteDirectory(buffer, pe_.Resources, cursors, 0));
  EXPECT_EQ(cursors, (ResourceLayout{0, 32, 80, 128, 160, 188}));

  const uint32_t rva = image_.resource_rva;
  std::vector<uint8_t> expected;
  auto u16 = [&](uint32_t v) {
    expected.push_back(static_cast<uint8_t>(v));
    expected.push_back(static_cast<uint8_t>(v >> 8));
  };
  auto u32 = [&](uint32_t v) { u16(v & 0xFFFF), u16(v >> 16); };
  auto header = [&](uint16_t named, uint16_t ids) { u32(0), u32(0), u16(4), u16(0), u16(named), u16(ids); };
  auto name = [&](std::u16string text) {
    u16(static_cast<uint32_t>(text.size()));
    for (char16_t c : text) u16(c);
  };
  header(1, 1), u32(0x80000000 | 160), u32(0x80000000 | 32), u32(14), u32(0x80000000 | 56);
  header(0, 1), u32(1), u32(0x80000000 | 80);
  header(1, 0), u32(0x80000000 | 168), u32(0x80000000 | 104);
  header(0, 1), u32(1041), u32(128);
  header(0, 1), u32(1041), u32(144);
  u32(rva + 188), u32(5), u32(0), u32(0);
  u32(rva + 196), u32(20), u32(0), u32(0);
  name(u"AVI");
  name(u"MAINICON");
  u16(0);
  for (const int b : {1, 2, 3, 4, 5, 0, 0, 0}) expected.push_back(static_cast<uint8_t>(b));
  expected.insert(expected.end(), 20, 0xB1);
  ASSERT_EQ(expected.size(), 216u);
  expected.resize(buffer.size(), 0);
  EXPECT_EQ(buffer, expected);

  // The tree now describes the section just written.
  EXPECT_EQ(pe_.Resources.Entry(0)->Name, 0x80000000u | 160);
  EXPECT_EQ(pe_.Resources.Entry(1)->OffsetToData, 0x80000000u | 56);
  EXPECT_EQ(pe_.Resources.NumberOfNamedEntries, 1);
  EXPECT_EQ(pe_.Resources.NumberOfIdEntries, 1);

  // Writing the same tree again yields the same bytes.
  std::vector<uint8_t> again(0x200, 0);
  ASSERT_TRUE(RegionEnds(sizes, cursors));
  ASSERT_TRUE(pe_.WriteDirectory(again, pe_.Resources, cursors, 0));
  EXPECT_EQ(again, buffer);
}

TEST_F(WorkedExampleTest, LayoutDetails) {
  // An empty leaf, then a named language with 3 bytes and an id language with 1: the
  // counts are split by kind, names and data are packed as the regions say.
  TResourceDirectory& root = pe_.Resources;
  root.Clear();
  TResourceDirectory& type = Sub(AddId(root, 3));
  TResourceDirectory& first = Sub(AddId(type, 1));
  AddId(first, 1);
  TResourceDirectory& second = Sub(AddId(type, 2));
  SetData(AddNamed(second, u"ab"), {7, 7, 7});
  SetData(AddId(second, 2), {9});

  ResourceLayout sizes{};
  ASSERT_TRUE(root.Measure(sizes, 0));
  EXPECT_EQ(sizes, (ResourceLayout{24, 32, 56, 48, 6, 8}));
  ResourceLayout cursors{};
  ASSERT_TRUE(RegionEnds(sizes, cursors));
  EXPECT_EQ(cursors, (ResourceLayout{24, 56, 112, 160, 166, 176}));
  std::vector<uint8_t> buffer(0x200, 0xFF);
  std::fill_n(buffer.begin(), 176, 0);
  ASSERT_TRUE(pe_.WriteDirectory(buffer, root, cursors, 0));

  EXPECT_EQ(second.NumberOfNamedEntries, 1);
  EXPECT_EQ(second.NumberOfIdEntries, 1);
  EXPECT_EQ(second.Entry(0)->Name, 0x80000000u | 160) << "a named language gets its string";
  const uint32_t rva = image_.resource_rva;
  EXPECT_EQ(first.Entry(0)->DataRva, rva + 168) << "an empty leaf points at the next slot";
  EXPECT_EQ(second.Entry(0)->DataRva, rva + 168);
  EXPECT_EQ(second.Entry(1)->DataRva, rva + 172);
  EXPECT_EQ(std::vector<uint8_t>(buffer.begin() + 166, buffer.begin() + 176),
            (std::vector<uint8_t>{0, 0, 7, 7, 7, 0, 9, 0, 0, 0}));
}

TEST(MeasureTest, RefusesTreesThatCannotBeWritten) {
  struct Case {
    const char* name;
    void (*make)(TResourceDirectory& root);
  };
  const Case kCases[] = {
      {"subdirectory at level 2",
       [](TResourceDirectory& root) { Sub(AddId(Sub(AddId(Sub(AddId(Sub(AddId(root, 1)), 1)), 1)), 1)); }},
      {"leaf at level 1", [](TResourceDirectory& root) { AddId(Sub(AddId(root, 1)), 1); }},
      {"leaf claiming bytes it does not hold",
       [](TResourceDirectory& root) { AddId(Sub(AddId(Sub(AddId(root, 1)), 1)), 1)->DataSize = 4; }},
      {"data size whose slot wraps",
       [](TResourceDirectory& root) {
         AddId(Sub(AddId(Sub(AddId(root, 1)), 1)), 1)->DataSize = 0xFFFFFFFE;
       }},
      {"id entry still holding a string offset",
       [](TResourceDirectory& root) {
         AddId(Sub(AddId(Sub(AddId(root, 0x80000010)), 1)), 1);
       }},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    TResourceDirectory root;
    c.make(root);
    ResourceLayout sizes{};
    EXPECT_FALSE(root.Measure(sizes, 0));
  }

  // Region sizes that add up past 32 bits are refused, never wrapped.
  ResourceLayout ends{};
  uint32_t size = 0;
  EXPECT_FALSE(RegionEnds({16, 0, 0, 0, 2, 0xFFFFFFF0}, ends));
  EXPECT_FALSE(SectionSize({0xFFFFFFF0, 0x10, 0, 0, 0, 0}, size));
  EXPECT_TRUE(SectionSize({16, 24, 24, 16, 2, 4}, size));
  EXPECT_EQ(size, 88u);
}

}  // namespace
}  // namespace resgraft::engine
