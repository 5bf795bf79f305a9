// Realistic images built with the MinGW toolchain (tests/fixtures), checked against
// independent readers: python3-pefile, and wrestool from icoutils.

#include <cstdio>
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

}  // namespace
}  // namespace resgraft::engine
