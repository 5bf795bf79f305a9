// Realistic images built with the MinGW toolchain (tests/fixtures), checked against
// independent readers: python3-pefile, and wrestool from icoutils.

#include <algorithm>
#include <cstdio>
#include <memory>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/pe.h"
#include "fixture_tools.h"
#include "support/temp_dir.h"
#include "support/tree_dump.h"

namespace resgraft::engine {
namespace {

using namespace resgraft::testing;

TEST(FixtureTest, TreesMatchAnIndependentReader) {
  if (!HavePefile()) GTEST_SKIP() << "python3-pefile is not installed";
  const std::vector<std::string> fixtures = FixturePaths();
  ASSERT_FALSE(fixtures.empty());
  for (const std::string& path : fixtures) {
    SCOPED_TRACE(path);
    TPEFile pe;
    std::string msg;
    pe.LoadFromFile(path, msg);
    ASSERT_EQ(msg, "");
    EXPECT_EQ(DumpTree(pe.Resources), PefileDump(path));
  }
}

TEST(FixtureTest, SavedFixturesKeepEverythingButTheRebuiltSection) {
  if (!HavePefile()) GTEST_SKIP() << "python3-pefile is not installed";
  TempDir dir;
  for (const std::string& path : FixturePaths()) {
    SCOPED_TRACE(path);
    TPEFile pe;
    std::string msg;
    pe.LoadFromFile(path, msg);
    ASSERT_EQ(msg, "");
    const std::string out = dir.File("saved.exe");
    pe.SaveToFile(out, msg);
    ASSERT_EQ(msg, "");
    EXPECT_EQ(RunCommand(Python() + " " + SupportScript("check_saved.py") + " '" + path + "' '" +
                         out + "'"),
              "");
    if (HaveWrestool()) {
      EXPECT_EQ(WrestoolListing(out), WrestoolListing(path));
    }

    // The same object saved again gives the same bytes.
    pe.SaveToFile(dir.File("again.exe"), msg);
    ASSERT_EQ(msg, "");
    EXPECT_EQ(ReadFileBytes(dir.File("again.exe")), ReadFileBytes(out));
  }
}

TEST(FixtureTest, SymbolTableOfAnUnstrippedProgramFollowsItsBytes) {
  const std::string objdump = "/usr/bin/i686-w64-mingw32-objdump";
  if (!std::filesystem::exists(objdump)) GTEST_SKIP() << "binutils-mingw-w64-i686 is not installed";
  const std::string path = FixturePath("app_a_unstripped.exe");
  TPEFile pe;
  std::string msg;
  pe.LoadFromFile(path, msg);
  ASSERT_EQ(msg, "");
  ASSERT_NE(pe.FileHeader.PointerToSymbolTable(), 0u);

  // Grow the section by a few file-alignment steps, within its memory alignment.
  TResourceDirectoryEntry* leaf =
      pe.Resources.Entry(0)->Subdirectory->Entry(0)->Subdirectory->Entry(0);
  const uint32_t grown = leaf->DataSize + 0x400;
  auto data = std::make_unique<uint8_t[]>(grown);
  std::copy_n(leaf->Data.get(), leaf->DataSize, data.get());
  leaf->Data = std::move(data);
  leaf->DataSize = grown;
  const uint32_t old_raw = pe.SectionHeaders[static_cast<size_t>(
      pe.SectionIndexOf(pe.OptionalHeader.DataDirectory(kResourceSlot)))].SizeOfRawData();

  TempDir dir;
  const std::string out = dir.File("saved.exe");
  pe.SaveToFile(out, msg);
  ASSERT_EQ(msg, "");
  const int32_t index = pe.SectionIndexOf(pe.OptionalHeader.DataDirectory(kResourceSlot));
  ASSERT_NE(pe.SectionHeaders[static_cast<size_t>(index)].SizeOfRawData(), old_raw);
  const std::string before = RunCommand(objdump + " -t '" + path + "' | tail -n +3");
  const std::string after = RunCommand(objdump + " -t '" + out + "' | tail -n +3");
  EXPECT_GT(before.size(), 1000u) << before;
  EXPECT_EQ(after, before);
}

}  // namespace
}  // namespace resgraft::engine
