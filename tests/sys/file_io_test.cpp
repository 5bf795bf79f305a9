#include "sys/file_io.h"

#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <fcntl.h>
#include <unistd.h>

#include "support/temp_dir.h"

namespace resgraft::sys {
namespace {

using testing::ReadFileBytes;
using testing::TempDir;
using testing::WriteFileBytes;

TEST(FileTest, ReadsOnlyWholeCountsAndRefusesNegativePositions) {
  TempDir dir;
  WriteFileBytes(dir.File("f"), {1, 2, 3, 4, 5});
  std::optional<File> file = File::OpenRead(dir.File("f"));
  ASSERT_TRUE(file);
  EXPECT_EQ(file->Size(), 5u);

  std::vector<uint8_t> four(4);
  EXPECT_TRUE(file->ReadExact(four));
  EXPECT_EQ(four, (std::vector<uint8_t>{1, 2, 3, 4}));
  EXPECT_FALSE(file->ReadExact(four)) << "one byte left";
  EXPECT_TRUE(file->ReadExact(std::span<uint8_t>())) << "an empty read succeeds";

  EXPECT_TRUE(file->Seek(0x7FFFFFFF)) << "past the end is allowed";
  EXPECT_FALSE(file->ReadExact(four));
  EXPECT_FALSE(file->Seek(0x80000000));
  EXPECT_FALSE(file->Seek(0xFFFFFFFF));
}

TEST(FileTest, ScatteredReadsFillEveryPartOrFail) {
  TempDir dir;
  std::vector<uint8_t> content(5000);
  for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<uint8_t>(i * 7);
  WriteFileBytes(dir.File("f"), content);
  std::optional<File> file = File::OpenRead(dir.File("f"));
  ASSERT_TRUE(file);

  // More parts than one system call takes, empty ones among them, up to the last byte.
  std::vector<std::vector<uint8_t>> buffers;
  for (size_t i = 0; i < 2000; ++i) buffers.emplace_back(i % 3 == 0 ? 0 : 3);
  std::vector<std::span<uint8_t>> parts(buffers.begin(), buffers.end());
  size_t total = 0;
  for (const auto& b : buffers) total += b.size();
  ASSERT_TRUE(file->ReadScatteredAt(parts, content.size() - total));
  std::vector<uint8_t> joined;
  for (const auto& b : buffers) joined.insert(joined.end(), b.begin(), b.end());
  EXPECT_TRUE(std::equal(joined.begin(), joined.end(), content.end() - static_cast<ptrdiff_t>(total)));

  EXPECT_FALSE(file->ReadScatteredAt(parts, content.size() - total + 1)) << "one byte past the end";
  EXPECT_TRUE(file->ReadScatteredAt({}, 0));
}

TEST(FileTest, OpenReadRefusesWhatIsNotARegularFileOrIsHeldByAWriter) {
  TempDir dir;
  EXPECT_FALSE(File::OpenRead(dir.File("missing")));
  EXPECT_FALSE(File::OpenRead(dir.path())) << "a folder";
  ASSERT_EQ(mkfifo(dir.File("fifo").c_str(), 0600), 0);
  EXPECT_FALSE(File::OpenRead(dir.File("fifo"))) << "a FIFO, without hanging";

  WriteFileBytes(dir.File("f"), {1});
  std::optional<FileReplacement> writer = FileReplacement::Create(dir.File("f"));
  ASSERT_TRUE(writer);
  EXPECT_FALSE(File::OpenRead(dir.File("f"))) << "held by a writer";
  writer.reset();
  EXPECT_TRUE(File::OpenRead(dir.File("f")));
}

TEST(FileReplacementTest, ReplacesOnlyOnCommitAndKeepsPermissionBits) {
  TempDir dir;
  const std::string target = dir.File("out.exe");
  WriteFileBytes(target, {9, 9});
  ASSERT_EQ(chmod(target.c_str(), 0750), 0);
  {
    std::optional<FileReplacement> replacement = FileReplacement::Create(target);
    ASSERT_TRUE(replacement);
    ASSERT_TRUE(replacement->file().WriteExact(std::vector<uint8_t>{1, 2, 3}));
    EXPECT_EQ(ReadFileBytes(target), (std::vector<uint8_t>{9, 9})) << "untouched before commit";
    ASSERT_TRUE(replacement->Commit());
  }
  EXPECT_EQ(ReadFileBytes(target), (std::vector<uint8_t>{1, 2, 3}));
  struct stat st;
  ASSERT_EQ(stat(target.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0750u);
  EXPECT_EQ(dir.Names(), std::vector<std::string>{"out.exe"});

  {
    std::optional<FileReplacement> abandoned = FileReplacement::Create(target);
    ASSERT_TRUE(abandoned);
    ASSERT_TRUE(abandoned->file().WriteExact(std::vector<uint8_t>{7}));
  }
  EXPECT_EQ(ReadFileBytes(target), (std::vector<uint8_t>{1, 2, 3})) << "never committed";
  EXPECT_EQ(dir.Names(), std::vector<std::string>{"out.exe"}) << "no file left behind";
}

TEST(FileReplacementTest, ReplacesTheTargetOfALinkAndKeepsTheLink) {
  TempDir dir;
  WriteFileBytes(dir.File("real.exe"), {1});
  ASSERT_EQ(symlink("real.exe", dir.File("link.exe").c_str()), 0);
  std::optional<FileReplacement> replacement = FileReplacement::Create(dir.File("link.exe"));
  ASSERT_TRUE(replacement);
  ASSERT_TRUE(replacement->file().WriteExact(std::vector<uint8_t>{2}));
  ASSERT_TRUE(replacement->Commit());
  struct stat st;
  ASSERT_EQ(lstat(dir.File("link.exe").c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  EXPECT_EQ(ReadFileBytes(dir.File("real.exe")), std::vector<uint8_t>{2});
}

TEST(FileReplacementTest, RefusesUnusableDestinations) {
  TempDir dir;
  WriteFileBytes(dir.File("plain"), {1});
  EXPECT_FALSE(FileReplacement::Create(dir.File("missing-folder/out.exe")));
  EXPECT_FALSE(FileReplacement::Create(dir.File("plain/out.exe"))) << "a file as folder";
  EXPECT_FALSE(FileReplacement::Create(dir.path())) << "a folder as file";
  EXPECT_FALSE(FileReplacement::Create(""));

  // Another instance of the tool holds the destination while it writes.
  const int other = open(dir.File("plain").c_str(), O_RDONLY);
  ASSERT_GE(other, 0);
  ASSERT_EQ(flock(other, LOCK_EX), 0);
  EXPECT_FALSE(FileReplacement::Create(dir.File("plain")));
  close(other);
  EXPECT_TRUE(FileReplacement::Create(dir.File("plain")));
  EXPECT_EQ(dir.Names(), std::vector<std::string>{"plain"});
}

TEST(FileMappingTest, MapsTheWholeFile) {
  TempDir dir;
  WriteFileBytes(dir.File("f"), {4, 5, 6});
  std::optional<File> file = File::OpenRead(dir.File("f"));
  ASSERT_TRUE(file);
  std::optional<FileMapping> mapping = FileMapping::Map(*file, 3);
  ASSERT_TRUE(mapping);
  EXPECT_EQ(std::vector<uint8_t>(mapping->Bytes().begin(), mapping->Bytes().end()),
            (std::vector<uint8_t>{4, 5, 6}));
  EXPECT_FALSE(FileMapping::Map(*file, 0));
}

}  // namespace
}  // namespace resgraft::sys
