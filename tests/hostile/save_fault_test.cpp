#include <csignal>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "engine/pe.h"
#include "hostile/hostile_corpus.h"
#include "support/pe_builder.h"
#include "support/temp_dir.h"
#include "sys/file_io.h"

namespace resgraft::testing {
namespace {

using engine::TPEFile;

const std::vector<uint8_t> kOldContents = Bytes("the destination as it was");

// A loaded image, a destination that already exists, and the folder they share.
class SaveFaultTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(dir_.path().empty());
    source_ = dir_.File("source.exe");
    destination_ = dir_.File("destination.exe");
    PeBuilder()
        .Section(".text", kCodeSection, Pattern(0x300, 1))
        .Resources(Dir(0, {Dir(3, {Dir(1, {Leaf(1041, Pattern(0x2000, 2))})})}))
        .Relocations()
        .WithChecksum(true)
        .Build()
        .WriteTo(source_);
    WriteFileBytes(destination_, kOldContents);
    std::string msg;
    image_.LoadFromFile(source_, msg);
    ASSERT_EQ(msg, "");
  }

  // The destination is as it was and nothing else was left in the folder.
  void ExpectUntouched() {
    EXPECT_EQ(ReadFileBytes(destination_), kOldContents);
    EXPECT_EQ(dir_.Names(), (std::vector<std::string>{"destination.exe", "source.exe"}));
  }

  TempDir dir_;
  std::string source_, destination_;
  TPEFile image_;
};

// A full disk, as the file-size limit makes it: every write past the limit fails.
// The limits fall in the header block, in the resource section and on the last byte.
TEST_F(SaveFaultTest, FullDiskGivesCannotWriteAndKeepsTheDestination) {
  const uint64_t image_size = std::filesystem::file_size(source_);
  for (const rlim_t limit : {rlim_t{100}, rlim_t{0x900}, rlim_t{image_size - 1}}) {
    SCOPED_TRACE(limit);
    struct rlimit old_limit {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old_limit), 0);
    void (*old_handler)(int) = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old_limit;
    small.rlim_cur = limit;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    std::string msg;
    image_.SaveToFile(destination_, msg);
    setrlimit(RLIMIT_FSIZE, &old_limit);
    std::signal(SIGXFSZ, old_handler);
    EXPECT_EQ(msg, CannotWriteMessage(destination_));
    ExpectUntouched();
  }
}

TEST_F(SaveFaultTest, UnwritableFolderGivesCannotSave) {
  const std::string under_a_file = source_ + "/out.exe";
  const std::string missing_folder = dir_.File("missing/out.exe");
  for (const std::string& path : {under_a_file, missing_folder, dir_.path()}) {
    SCOPED_TRACE(path);
    std::string msg;
    image_.SaveToFile(path, msg);
    EXPECT_EQ(msg, CannotSaveMessage(path));
    ExpectUntouched();
  }
}

// What a child process holds open: released (closed, its temporary file removed)
// when the pointer goes away; none when it could not be opened.
using Held = std::shared_ptr<void>;

Held SavingInstance(const std::string& path) {
  std::optional<sys::FileReplacement> r = sys::FileReplacement::Create(path);
  return r ? std::make_shared<sys::FileReplacement>(std::move(*r)) : nullptr;
}

Held ReadingInstance(const std::string& path) {
  std::optional<sys::File> f = sys::File::OpenRead(path);
  return f ? std::make_shared<sys::File>(std::move(*f)) : nullptr;
}

// Runs `hold` in a child process, which keeps what it opened until the parent lets
// it go, and releases it before it ends.
class Holder {
 public:
  explicit Holder(std::function<Held()> hold) {
    int ready[2], done[2];
    if (pipe(ready) != 0 || pipe(done) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      close(ready[0]);
      close(done[1]);
      int status = 1;
      {
        Held held = hold();
        const char answer = held ? 'y' : 'n';
        if (write(ready[1], &answer, 1) == 1) {
          char ignored;
          while (read(done[0], &ignored, 1) > 0) {
          }
          status = held ? 0 : 1;
        }
      }
      _exit(status);
    }
    close(ready[1]);
    close(done[0]);
    done_ = done[1];
    char answer = 'n';
    held_ = read(ready[0], &answer, 1) == 1 && answer == 'y';
    close(ready[0]);
  }
  ~Holder() { Release(); }

  bool held() const { return held_; }
  // Lets the child go and waits for it; true when it ended cleanly.
  bool Release() {
    if (pid_ <= 0) return false;
    close(done_);
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
  }

 private:
  pid_t pid_ = -1;
  int done_ = -1;
  bool held_ = false;
};

// Another running instance holds the destination: one in the middle of saving it,
// one reading it. Neither the save nor a load gets through meanwhile, and once the
// other instance is done, the save works.
TEST_F(SaveFaultTest, DestinationHeldByAnotherInstanceGivesCannotSave) {
  const struct {
    const char* name;
    Held (*hold)(const std::string&);
  } holders[] = {{"saving", SavingInstance}, {"reading", ReadingInstance}};
  for (const auto& h : holders) {
    SCOPED_TRACE(h.name);
    Holder holder([&] { return h.hold(destination_); });
    ASSERT_TRUE(holder.held());
    std::string msg;
    image_.SaveToFile(destination_, msg);
    EXPECT_EQ(msg, CannotSaveMessage(destination_));
    EXPECT_EQ(ReadFileBytes(destination_), kOldContents);
    ASSERT_TRUE(holder.Release());
    ExpectUntouched();
  }

  {
    Holder holder([&] { return SavingInstance(destination_); });
    ASSERT_TRUE(holder.held());
    TPEFile other;
    std::string msg;
    other.LoadFromFile(destination_, msg);
    EXPECT_EQ(msg, "ファイルを開くことができません。 \r\n" + destination_ + " ");
  }

  std::string msg;
  image_.SaveToFile(destination_, msg);
  EXPECT_EQ(msg, "");
  EXPECT_EQ(dir_.Names(), (std::vector<std::string>{"destination.exe", "source.exe"}));
}

}  // namespace
}  // namespace resgraft::testing
