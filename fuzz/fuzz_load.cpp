// Loads any bytes as an image. The engine must answer with a message or a loaded
// image, never crash, read out of bounds, or run into undefined behaviour.

#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/pe.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace resgraft;
  static fuzz::MemoryFile input;
  input.Fill({data, size});
  engine::TPEFile image;
  std::string msg;
  image.LoadFromFile(input.path(), msg);
  // A failed load leaves a partly filled object that only Clear may touch.
  if (!msg.empty()) image.Clear();
  return 0;
}
