// Loads any bytes; an image that loads is saved, and the saved file must load again
// with the same tree, and saving that must write the very same bytes. A save may be
// refused (the cannot-save message) only before any file is made.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "engine/pe.h"
#include "fuzz_support.h"
#include "support/tree_dump.h"

namespace {

std::vector<char> ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<char>(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace resgraft;
  using fuzz::Check;
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
    Check(msg == fuzz::CannotSaveMessage(saved), "a save failed with another message");
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
