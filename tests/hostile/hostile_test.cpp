#include <chrono>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <string_view>

#include <sys/resource.h>

#include <gtest/gtest.h>

#include "engine/pe.h"
#include "hostile/hostile_corpus.h"
#include "support/pe_builder.h"
#include "support/temp_dir.h"
#include "support/tree_dump.h"

namespace resgraft::testing {
namespace {

using engine::TPEFile;

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

uint32_t Le32At(const std::vector<uint8_t>& bytes, size_t at) {
  uint32_t value = 0;
  for (size_t i = 0; i < 4; ++i) value |= uint32_t{bytes[at + i]} << (8 * i);
  return value;
}

// The CheckSum field of a written image holds 0 or the standard checksum of the file.
void ExpectChecksumRight(const std::vector<uint8_t>& bytes) {
  ASSERT_GE(bytes.size(), 64u);
  const uint32_t field = Le32At(bytes, 60) + 24 + OptionalHeaderField::kCheckSum;
  ASSERT_LE(uint64_t{field} + 4, bytes.size());
  const uint32_t stored = Le32At(bytes, field);
  if (stored != 0) {
    EXPECT_EQ(stored, StandardChecksum(bytes, field));
  }
}

// The whole file in one read: saved images can be tens of megabytes.
std::vector<uint8_t> ReadWhole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<uint8_t> bytes(static_cast<size_t>(std::filesystem::file_size(path)));
  in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  EXPECT_EQ(in.gcount(), static_cast<std::streamsize>(bytes.size())) << path;
  return bytes;
}

// The file gets its exact message, or loads; one that loads saves (or is refused with
// the cannot-save message and nothing written), loads again with the same tree, and
// saving that again writes the very same bytes. Each load and save takes less than a
// second.
void CheckCase(const HostileCase& c, const TempDir& dir) {
  SCOPED_TRACE(c.name);
  const std::string input = dir.File(c.name);
  const std::string output = dir.File("saved-" + c.name);
  const std::string output_again = dir.File("saved-again-" + c.name);
  WriteFileBytes(input, c.bytes);
  auto timed = [](auto&& step) {
    const auto start = std::chrono::steady_clock::now();
    step();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
  };

  TPEFile image;
  std::string msg;
  timed([&] { image.LoadFromFile(input, msg); });
  EXPECT_EQ(msg, ExpectedLoadMessage(c, input));
  if (msg.empty() && c.load == LoadOutcome::kLoads) {
    const std::string tree = DumpTree(image.Resources);
    timed([&] { image.SaveToFile(output, msg); });
    if (c.save == SaveOutcome::kCannotSave) {
      EXPECT_EQ(msg, CannotSaveMessage(output));
      EXPECT_FALSE(std::filesystem::exists(output));
    } else {
      EXPECT_EQ(msg, "");
      const std::vector<uint8_t> saved = ReadWhole(output);
      ExpectChecksumRight(saved);
      TPEFile reloaded;
      timed([&] { reloaded.LoadFromFile(output, msg); });
      EXPECT_EQ(msg, "");
      EXPECT_EQ(DumpTree(reloaded.Resources), tree);
      timed([&] { reloaded.SaveToFile(output_again, msg); });
      EXPECT_EQ(msg, "");
      EXPECT_TRUE(ReadWhole(output_again) == saved) << "a second save differs";
    }
  }
  std::filesystem::remove(input);
  std::filesystem::remove(output);
  std::filesystem::remove(output_again);
}

TEST(HostileCorpusTest, EveryFileGetsItsMessageOrRoundTrips) {
  TempDir dir;
  ASSERT_FALSE(dir.path().empty());
  for (const HostileCase& c : HostileCorpus()) CheckCase(c, dir);
  // Nothing is left behind: no half-written or temporary file.
  EXPECT_EQ(dir.Names(), std::vector<std::string>());

  // The whole run, corpus and all, stays small. Sanitizers add their own shadow
  // memory, so only the plain build is held to the figure.
  if (!kSanitized) {
    struct rusage usage {};
    ASSERT_EQ(getrusage(RUSAGE_SELF, &usage), 0);
    EXPECT_LT(usage.ru_maxrss, 64 * 1024) << "peak KiB";
  }
}

// Inputs the fuzzers found, kept as they were found. The name starts with the
// outcome: loads-, not-pe-, bad-header-, packed-<name>-, bad-resources-; a file that
// loads must also save (saves-) or be refused (cannot-save-) after that prefix.
TEST(HostileCorpusTest, FuzzFindingsStayFixed) {
  const std::filesystem::path folder = std::filesystem::path(RESGRAFT_SOURCE_DIR) / "tests/hostile/regressions";
  if (!std::filesystem::is_directory(folder)) GTEST_SKIP() << "no findings kept";
  TempDir dir;
  for (const auto& file : std::filesystem::directory_iterator(folder)) {
    HostileCase c;
    c.name = file.path().filename().string();
    c.bytes = ReadFileBytes(file.path().string());
    std::string_view rest = c.name;
    auto take = [&rest](std::string_view prefix) {
      if (!rest.starts_with(prefix)) return false;
      rest.remove_prefix(prefix.size());
      return true;
    };
    if (take("loads-")) {
      c.load = LoadOutcome::kLoads;
      c.save = take("cannot-save-") ? SaveOutcome::kCannotSave : SaveOutcome::kSaves;
    } else if (take("not-pe-")) {
      c.load = LoadOutcome::kNotWin32Pe;
    } else if (take("bad-header-")) {
      c.load = LoadOutcome::kBadHeader;
    } else if (take("bad-resources-")) {
      c.load = LoadOutcome::kBadResources;
    } else if (take("packed-")) {
      c.load = LoadOutcome::kPacked;
      c.packer = std::string(rest.substr(0, rest.find('-')));
    } else {
      ADD_FAILURE() << c.name << ": the name does not say the outcome";
      continue;
    }
    CheckCase(c, dir);
  }
}

TEST(HostileCorpusTest, NamesAreUniqueAndEveryKindIsCovered) {
  const std::vector<HostileCase> corpus = HostileCorpus();
  std::set<std::string> names;
  std::set<LoadOutcome> outcomes;
  for (const HostileCase& c : corpus) {
    EXPECT_TRUE(names.insert(c.name).second) << c.name;
    outcomes.insert(c.load);
  }
  EXPECT_EQ(outcomes.size(), 5u);
}

}  // namespace
}  // namespace resgraft::testing
