// The transfer driver end to end on the realistic fixtures, checked with pefile.

#include <map>
#include <sstream>

#include <gtest/gtest.h>

#include "fixture_tools.h"
#include "support/temp_dir.h"

namespace resgraft::app {
namespace {

using namespace resgraft::testing;

// The dump split into its top-level types: key line -> the type's lines.
std::map<std::string, std::string> Types(const std::string& dump) {
  std::map<std::string, std::string> types;
  std::istringstream in(dump);
  std::string line, key;
  while (std::getline(in, line)) {
    if (line.rfind("root ", 0) == 0) continue;
    if (line[0] != ' ') key = line.substr(0, line.find(' '));
    types[key] += line + "\n";
  }
  return types;
}

// A type's lines as the transfer leaves them: each resource's first language is
// relabelled 1041 (unless it is known by a name).
std::string Relabelled(const std::string& type) {
  std::istringstream in(type);
  std::string line, out;
  bool first_language = false;
  while (std::getline(in, line)) {
    if (line.rfind("  #", 0) == 0 || line.rfind("  \"", 0) == 0) first_language = true;
    if (first_language && line.rfind("    #", 0) == 0) {
      line = "    #1041" + line.substr(line.find(' ', 4));
      first_language = false;
    }
    out += line + "\n";
  }
  return out;
}

std::string Driver(const std::string& arguments) {
  return RunCommand("(" + std::string(RESGRAFT_TRANSFER_DRIVER) + " " + arguments +
                    " 2>&1; echo \"exit $?\")");
}

TEST(DriverTest, CarriesEveryKindBetweenFixturesWithEqualCounts) {
  if (!HavePefile()) GTEST_SKIP() << "python3-pefile is not installed";
  TempDir dir;
  const std::string source = FixturePath("app_b.exe");
  const std::string target = FixturePath("app_a.exe");
  const std::string out = dir.File("out.exe");
  ASSERT_EQ(Driver("'" + source + "' '" + target + "' '" + out + "'"), "exit 0\n");

  const auto from = Types(PefileDump(source));
  const auto into = Types(PefileDump(target));
  const auto result = Types(PefileDump(out));
  ASSERT_EQ(result.size(), into.size());
  for (const auto& [key, lines] : into) {
    SCOPED_TRACE(key);
    ASSERT_TRUE(result.count(key));
    if (key == "#1" || key == "#2" || key == "#3" || key == "#12" || key == "#14" ||
        key == "\"AVI\"") {
      ASSERT_TRUE(from.count(key));
      EXPECT_EQ(result.at(key), Relabelled(from.at(key)));
      EXPECT_NE(result.at(key), lines) << "the fixtures' images differ";
    } else {
      EXPECT_EQ(result.at(key), lines) << "untouched";
    }
  }
  EXPECT_EQ(RunCommand(Python() + " " + SupportScript("check_saved.py") + " '" + target + "' '" +
                       out + "' --transferred"),
            "");

  // wrestool extracts from the output exactly the source's cursors, bitmaps, icons
  // and their groups. (Its conversion of groups to .ico files is left out: on these
  // fixtures it reads past the group for the source file itself.)
  if (HaveWrestool()) {
    for (const char* type : {"1", "2", "3", "12", "14"}) {
      SCOPED_TRACE(type);
      const std::string extract =
          "(" + std::string(RESGRAFT_WRESTOOL) + " -x --raw -t " + type + " '";
      const std::string from_source = RunCommand(extract + source + "' 2>/dev/null)");
      EXPECT_FALSE(from_source.empty());
      EXPECT_TRUE(RunCommand(extract + out + "' 2>/dev/null)") == from_source);
    }
  }
}

TEST(DriverTest, KindsWithUnequalCountsKeepTheDestinationsOwn) {
  if (!HavePefile()) GTEST_SKIP() << "python3-pefile is not installed";
  TempDir dir;
  const std::string source = FixturePath("lib_c.dll");
  const std::string target = FixturePath("app_a.exe");
  const std::string out = dir.File("out.exe");
  ASSERT_EQ(Driver("'" + source + "' '" + target + "' '" + out + "' --kinds=avi,bitmap,cursor,icon"),
            "exit 0\n");
  // Every carried kind differs in number between the two, so nothing is carried.
  EXPECT_EQ(PefileDump(out), PefileDump(target));
}

TEST(DriverTest, ReportsMessagesAndUsage) {
  TempDir dir;
  const std::string missing = dir.File("missing.exe");
  EXPECT_EQ(Driver("'" + missing + "' '" + missing + "' '" + dir.File("out.exe") + "'"),
            "ファイルを開くことができません。 \r\n" + missing + " \nexit 1\n");
  EXPECT_EQ(Driver("a b").substr(0, 6), "usage:");
  EXPECT_NE(Driver("a b c --kinds=sound").find("exit 2"), std::string::npos);
  EXPECT_EQ(dir.Names(), std::vector<std::string>{});
}

}  // namespace
}  // namespace resgraft::app
