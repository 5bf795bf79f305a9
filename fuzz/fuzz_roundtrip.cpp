// Loads any bytes; an image that loads is saved, and the saved file must load again
// with the same tree, and saving that must write the very same bytes. A save may be
// refused (the cannot-save message) only before any file is made; a save is held to
// 256 MiB, and one that passes that fails to write (only a huge FileAlignment can).

#include <algorithm>
#include <csignal>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <sys/resource.h>

#include "engine/pe.h"
#include "fuzz_support.h"
#include "support/tree_dump.h"

namespace {

// No save may write more than this; a write past it fails as on a full disk.
constexpr rlim_t kLargestSave = rlim_t{256} << 20;
// Below this FileAlignment a save of any input up to -max_len stays far below the
// limit, so only a larger one may fail to write.
constexpr uint32_t kLargestHarmlessAlignment = 64u << 20;

bool LimitSaves() {
  std::signal(SIGXFSZ, SIG_IGN);
  struct rlimit limit {};
  getrlimit(RLIMIT_FSIZE, &limit);
  limit.rlim_cur = std::min(limit.rlim_max, kLargestSave);
  return setrlimit(RLIMIT_FSIZE, &limit) == 0;
}

// The whole file, read in one go: saves can be tens of megabytes.
std::vector<char> ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<char> bytes(static_cast<size_t>(std::filesystem::file_size(path)));
  in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  resgraft::fuzz::Check(in.gcount() == static_cast<std::streamsize>(bytes.size()), "cannot read a saved file");
  return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace resgraft;
  using fuzz::Check;
  static const bool limited = LimitSaves();
  Check(limited, "cannot limit the size of saved files");
  static fuzz::MemoryFile input;
  input.Fill({data, size});
  engine::TPEFile image;
  std::string msg;
  image.LoadFromFile(input.path(), msg);
  if (!msg.empty()) return 0;

  const std::string tree = testing::DumpTree(image.Resources);
  const std::string saved = fuzz::ScratchFolder() + "/saved.exe";
  const std::string again = fuzz::ScratchFolder() + "/again.exe";
  image.SaveToFile(saved, msg);
  if (!msg.empty()) {
    const bool may_pass_limit = image.OptionalHeader.FileAlignment() > kLargestHarmlessAlignment;
    Check(msg == fuzz::CannotSaveMessage(saved) ||
              (may_pass_limit && msg == fuzz::CannotWriteMessage(saved)),
          "a save failed with another message");
    Check(!std::filesystem::exists(saved), "a refused save left a file");
    return 0;
  }

  engine::TPEFile reloaded;
  reloaded.LoadFromFile(saved, msg);
  Check(msg.empty(), "a saved file does not load");
  Check(testing::DumpTree(reloaded.Resources) == tree, "a saved file loads another tree");
  reloaded.SaveToFile(again, msg);
  Check(msg.empty(), "a saved file cannot be saved again");
  Check(ReadAll(again) == ReadAll(saved), "saving a saved file changes its bytes");
  std::filesystem::remove(saved);
  std::filesystem::remove(again);
  return 0;
}
