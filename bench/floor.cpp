// resgraft-bench-floor SOURCE DESTINATION OUTPUT
//
// The byte movements that a transfer cannot avoid, without any resource tree: both
// files read whole into fresh memory (one read each), a section-sized buffer of
// fresh memory filled from what was read, that buffer written once to the output,
// and one pass over the written file's mapping for the checksum. The same memory
// and the same system calls as the engine uses, so that bench/run can show how much
// of the driver's time is the engine's own and how much any program that holds
// both files in memory pays on this machine.

#include <algorithm>
#include <cstdint>
#include <iostream>
#include <optional>
#include <string>

#include "engine/pe.h"
#include "sys/file_io.h"
#include "sys/page_memory.h"

namespace {

using resgraft::sys::File;
using resgraft::sys::PageMemory;

std::optional<PageMemory> ReadWhole(const std::string& path) {
  std::optional<File> file = File::OpenRead(path);
  if (!file) return std::nullopt;
  const std::optional<uint64_t> size = file->Size();
  if (!size) return std::nullopt;
  PageMemory memory = PageMemory::Allocate(static_cast<size_t>(*size));
  if (!file->ReadExactAt(memory.bytes(), 0)) return std::nullopt;
  return memory;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::cerr << "usage: resgraft-bench-floor SOURCE DESTINATION OUTPUT\n";
    return 2;
  }
  const std::optional<PageMemory> source = ReadWhole(argv[1]);
  const std::optional<PageMemory> destination = ReadWhole(argv[2]);
  if (!source || !destination) {
    std::cerr << "resgraft-bench-floor: cannot read the inputs\n";
    return 1;
  }
  // The new file takes the destination's size; its bytes come from the source as
  // far as it reaches, as a rebuilt section takes them from the loaded trees.
  const PageMemory section = PageMemory::Allocate(destination->size());
  std::copy_n(source->data(), std::min(source->size(), section.size()), section.data());
  if (source->size() < section.size()) {
    std::copy(destination->data() + source->size(), destination->data() + section.size(),
              section.data() + source->size());
  }

  std::optional<resgraft::sys::FileReplacement> out =
      resgraft::sys::FileReplacement::Create(argv[3]);
  if (!out || !out->file().WriteExact(section.bytes())) {
    std::cerr << "resgraft-bench-floor: cannot write " << argv[3] << '\n';
    return 1;
  }
  const uint32_t checksum =
      resgraft::engine::ImageChecksum(out->file(), static_cast<uint32_t>(section.size()));
  if (!out->Commit()) {
    std::cerr << "resgraft-bench-floor: cannot write " << argv[3] << '\n';
    return 1;
  }
  return checksum == 0 ? 1 : 0;
}
