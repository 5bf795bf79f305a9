#include "fuzz_support.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include <sys/mman.h>
#include <unistd.h>

namespace resgraft::fuzz {

MemoryFile::MemoryFile() : fd_(memfd_create("resgraft-fuzz-input", MFD_CLOEXEC)) {
  Check(fd_ >= 0, "memfd_create failed");
  path_ = "/proc/self/fd/" + std::to_string(fd_);
}

MemoryFile::~MemoryFile() { close(fd_); }

void MemoryFile::Fill(std::span<const uint8_t> bytes) {
  Check(ftruncate(fd_, 0) == 0, "ftruncate failed");
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t put = pwrite(fd_, bytes.data() + done, bytes.size() - done,
                               static_cast<off_t>(done));
    Check(put > 0, "pwrite failed");
    done += static_cast<size_t>(put);
  }
}

namespace {

std::string MakeScratchFolder() {
  const char* base = std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : std::getenv("TMPDIR");
  // The process id in the name lets fuzz/run.sh remove the folder when libFuzzer ends
  // a run without the handlers at exit (a timeout, a crash).
  std::string pattern = std::string(base != nullptr ? base : "/tmp") + "/resgraft-fuzz-" +
                        std::to_string(getpid()) + "-XXXXXX";
  Check(mkdtemp(pattern.data()) != nullptr, "mkdtemp failed");
  return pattern;
}

void RemoveScratchFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(ScratchFolder(), ignored);
}

}  // namespace

const std::string& ScratchFolder() {
  // Never destroyed, so that the removal at exit can still read it.
  static const std::string* folder = [] {
    auto* made = new std::string(MakeScratchFolder());
    std::atexit(RemoveScratchFolder);
    return made;
  }();
  return *folder;
}

void Fail(const char* what) {
  std::fprintf(stderr, "\n*** property broken: %s\n", what);
  RemoveScratchFolder();  // abort skips the removal at exit
  std::abort();
}

std::string CannotSaveMessage(const std::string& path) {
  return "ファイルを保存できません。 \r\n" + path + " ";
}

std::string CannotWriteMessage(const std::string& path) {
  return "リソースを書き込むことができません。 \r\n" + path + " ";
}

std::string BadResourcesMessage(const std::string& path) {
  return "リソース構造が正しくありません。 \r\n" + path + " ";
}

}  // namespace resgraft::fuzz
