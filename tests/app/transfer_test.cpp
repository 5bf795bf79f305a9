#include "app/transfer.h"

#include <gtest/gtest.h>

#include "support/pe_builder.h"
#include "support/temp_dir.h"
#include "support/tree_dump.h"

namespace resgraft::app {
namespace {

using namespace resgraft::testing;
using engine::TPEFile;
using engine::TResourceDirectory;

ResNode Languages(uint8_t seed, std::vector<uint32_t> ids = {1033}) {
  std::vector<ResNode> leaves;
  for (uint32_t id : ids) leaves.push_back(Leaf(id, Pattern(8 + seed, seed)));
  return Dir(1, std::move(leaves));
}
// A type with `count` resources, ids 1..count, data seeded by `seed`.
ResNode Type(uint32_t id, int count, uint8_t seed) {
  std::vector<ResNode> names;
  for (int i = 0; i < count; ++i) {
    ResNode name = Languages(static_cast<uint8_t>(seed + i));
    name.id = static_cast<uint32_t>(i + 1);
    names.push_back(std::move(name));
  }
  return Dir(id, std::move(names));
}
ResNode NamedType(std::u16string name, int count, uint8_t seed) {
  ResNode type = Type(0, count, seed);
  type.name = std::move(name);
  return type;
}

class TransferTest : public ::testing::Test {
 protected:
  void SetUp() override { InitializeUnit1(); }
  void TearDown() override { FinalizeUnit1(); }

  void Load(TPEFile& pe, ResNode root, const std::string& name) {
    PeBuilder().Resources(std::move(root)).Build().WriteTo(dir_.File(name));
    std::string msg;
    pe.Clear();
    pe.LoadFromFile(dir_.File(name), msg);
    ASSERT_EQ(msg, "");
  }
  std::string TypeDump(TPEFile& pe, int32_t id, std::u16string_view name = u"") {
    const TResourceDirectory* type = pe.FindResourceType(id, name);
    return type == nullptr ? "none" : DumpTree(*type);
  }

  TempDir dir_;
};

TEST_F(TransferTest, CarriesATypeOnlyWhenBothHoldItInEqualNumbers) {
  struct Case {
    const char* name;
    std::vector<ResNode> source, target;
    int32_t id;
    std::u16string type_name;
    bool check_count, carried;
  };
  const Case kCases[] = {
      {"equal counts", {Type(2, 2, 10)}, {Type(2, 2, 50)}, 2, u"", true, true},
      {"source lacks the type", {Type(3, 2, 10)}, {Type(2, 2, 50)}, 2, u"", true, false},
      {"target lacks the type", {Type(2, 2, 10)}, {Type(3, 2, 50)}, 2, u"", true, false},
      {"count mismatch", {Type(2, 3, 10)}, {Type(2, 2, 50)}, 2, u"", true, false},
      {"count not checked", {Type(2, 3, 10)}, {Type(2, 1, 50)}, 2, u"", false, true},
      {"AVI by name", {NamedType(u"AVI", 1, 10)}, {NamedType(u"AVI", 1, 50)}, 0, u"AVI", true, true},
      {"name is case-sensitive", {NamedType(u"avi", 1, 10)}, {NamedType(u"avi", 1, 50)}, 0, u"AVI",
       true, false},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    Load(*SourceFile, Dir(0, c.source), "source.exe");
    Load(*TargetFile, Dir(0, c.target), "target.exe");
    const std::string source_before = DumpTree(SourceFile->Resources);
    const std::string target_before = DumpTree(TargetFile->Resources);
    EXPECT_EQ(CopyResourceType(c.id, c.type_name, c.check_count), c.carried);
    EXPECT_EQ(DumpTree(SourceFile->Resources), source_before);
    if (!c.carried) {
      EXPECT_EQ(DumpTree(TargetFile->Resources), target_before);
      continue;
    }
    // The copy has the source's resources, each first language relabelled.
    const TResourceDirectory& copied = *TargetFile->FindResourceType(c.id, c.type_name);
    const TResourceDirectory& original = *SourceFile->FindResourceType(c.id, c.type_name);
    ASSERT_EQ(copied.Count(), original.Count());
    for (int i = 0; i < copied.Count(); ++i) {
      EXPECT_EQ(copied.Entry(i)->Subdirectory->Entry(0)->Name, kJapanese);
      EXPECT_EQ(copied.Entry(i)->Subdirectory->Entry(0)->DataSize,
                original.Entry(i)->Subdirectory->Entry(0)->DataSize);
    }
  }
}

TEST_F(TransferTest, RulesCarryImagesOnlyAfterTheirGroups) {
  struct Case {
    const char* name;
    std::vector<ResNode> source, target;
    bool images_carried;
  };
  const Case kCases[] = {
      {"groups and images", {Type(12, 2, 1), Type(1, 3, 5)}, {Type(12, 2, 21), Type(1, 2, 25)}, true},
      {"groups differ in number", {Type(12, 1, 1), Type(1, 3, 5)}, {Type(12, 2, 21), Type(1, 2, 25)},
       false},
      {"no images in the source", {Type(12, 2, 1)}, {Type(12, 2, 21), Type(1, 2, 25)}, false},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    Load(*SourceFile, Dir(0, c.source), "source.exe");
    Load(*TargetFile, Dir(0, c.target), "target.exe");
    const std::string target_images = TypeDump(*TargetFile, kRtCursor);
    ApplyTransferRules({false, false, true, false});
    if (c.images_carried) {
      EXPECT_EQ(TargetFile->FindResourceType(kRtCursor, u"")->Count(), 3)
          << "images carried without a count check";
    } else {
      EXPECT_EQ(TypeDump(*TargetFile, kRtCursor), target_images);
    }
  }

  // Unticked kinds and unloaded objects carry nothing.
  Load(*SourceFile, Dir(0, {Type(14, 1, 1), Type(3, 1, 2)}), "source.exe");
  Load(*TargetFile, Dir(0, {Type(14, 1, 21), Type(3, 1, 22)}), "target.exe");
  const std::string before = DumpTree(TargetFile->Resources);
  ApplyTransferRules({true, true, true, false});
  EXPECT_EQ(DumpTree(TargetFile->Resources), before);
  SourceFile->Clear();
  EXPECT_FALSE(CopyResourceType(kRtGroupIcon, u"", true));
  EXPECT_EQ(DumpTree(TargetFile->Resources), before);
}

TEST_F(TransferTest, RelabelsTheFirstLanguageOnlyAndSharesNothing) {
  ResNode named_first = Dir(2, {Dir(1, {Leaf(1033, {1}), Leaf(0x411, {2}), Leaf(1036, {3})})});
  named_first.children.push_back(Dir(2, {Leaf(0, {4})}));
  named_first.children.back().children[0].name = u"LANG";
  Load(*SourceFile, Dir(0, {named_first}), "source.exe");
  Load(*TargetFile, Dir(0, {Type(2, 2, 50)}), "target.exe");
  ASSERT_TRUE(CopyResourceType(kRtBitmap, u"", true));

  const TResourceDirectory& copied = *TargetFile->FindResourceType(kRtBitmap, u"");
  const TResourceDirectory& first = *copied.Entry(0)->Subdirectory;
  EXPECT_EQ(first.Entry(0)->Name, kJapanese);
  EXPECT_EQ(first.Entry(1)->Name, 0x411u) << "two 0x411 entries may stand side by side";
  EXPECT_EQ(first.Entry(2)->Name, 1036u);

  // A first language known by a name keeps its name in the written file.
  const std::string out = dir_.File("out.exe");
  std::string msg;
  TargetFile->SaveToFile(out, msg);
  ASSERT_EQ(msg, "");
  TPEFile saved;
  saved.LoadFromFile(out, msg);
  ASSERT_EQ(msg, "");
  const TResourceDirectory& second = *saved.FindResourceType(kRtBitmap, u"")->Entry(1)->Subdirectory;
  EXPECT_EQ(second.Entry(0)->NameString.NameText, u"LANG");

  // Nothing is shared between the trees.
  const std::string copy = TypeDump(*TargetFile, kRtBitmap);
  SourceFile->FindResourceType(kRtBitmap, u"")->Entry(0)->Subdirectory->Entry(0)->Data[0] ^= 0xFF;
  SourceFile->Clear();
  EXPECT_EQ(TypeDump(*TargetFile, kRtBitmap), copy);
}

TEST_F(TransferTest, ASecondSaveStartsFromTheFirst) {
  Load(*SourceFile, Dir(0, {Type(2, 2, 10), Type(14, 1, 11)}), "source.exe");
  Load(*TargetFile, Dir(0, {Type(2, 2, 50), Type(14, 2, 51)}), "target.exe");
  ApplyTransferRules({});
  std::string msg;
  TargetFile->SaveToFile(dir_.File("first.exe"), msg);
  ASSERT_EQ(msg, "");
  ApplyTransferRules({});
  TargetFile->SaveToFile(dir_.File("second.exe"), msg);
  ASSERT_EQ(msg, "");
  EXPECT_EQ(ReadFileBytes(dir_.File("first.exe")), ReadFileBytes(dir_.File("second.exe")));
  EXPECT_EQ(TargetFile->FindResourceType(kRtGroupIcon, u"")->Count(), 2) << "refused both times";
}

}  // namespace
}  // namespace resgraft::app
