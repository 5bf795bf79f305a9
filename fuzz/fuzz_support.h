#ifndef RESGRAFT_FUZZ_FUZZ_SUPPORT_H_
#define RESGRAFT_FUZZ_FUZZ_SUPPORT_H_

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace resgraft::fuzz {

// A file that lives in memory (memfd) and that the engine opens by path like any
// other. One per process, refilled for every input.
class MemoryFile {
 public:
  MemoryFile();
  ~MemoryFile();
  MemoryFile(const MemoryFile&) = delete;
  MemoryFile& operator=(const MemoryFile&) = delete;

  // Replaces the contents with `bytes`; aborts when that fails.
  void Fill(std::span<const uint8_t> bytes);
  const std::string& path() const { return path_; }

 private:
  int fd_ = -1;
  std::string path_;
};

// A private folder for saved files (under /dev/shm when it exists), removed with its
// contents at exit.
const std::string& ScratchFolder();

// Reports a broken property with `what` and aborts, so that libFuzzer keeps the input.
[[noreturn]] void Fail(const char* what);
inline void Check(bool ok, const char* what) {
  if (!ok) Fail(what);
}

// The texts of the failures the targets expect, for `path`.
std::string CannotSaveMessage(const std::string& path);
std::string CannotWriteMessage(const std::string& path);
std::string BadResourcesMessage(const std::string& path);

}  // namespace resgraft::fuzz

#endif  // RESGRAFT_FUZZ_FUZZ_SUPPORT_H_
