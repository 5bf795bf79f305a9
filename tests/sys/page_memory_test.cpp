#include "sys/page_memory.h"

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace resgraft::sys {
namespace {

constexpr size_t kMiB = size_t{1} << 20;

// The process's mapped address space in kilobytes, as the kernel counts it.
size_t MappedKilobytes() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmSize:", 0) == 0) return std::stoul(line.substr(7));
  }
  return 0;
}

TEST(PageMemoryTest, GivesZeroBytesOfTheSizeAskedFor) {
  const size_t kSizes[] = {0, 1, 4096, 2 * kMiB - 1, 2 * kMiB, 2 * kMiB + 1, 7 * kMiB + 5};
  for (const size_t size : kSizes) {
    SCOPED_TRACE(size);
    PageMemory memory = PageMemory::Allocate(size);
    ASSERT_NE(memory.data(), nullptr);
    EXPECT_EQ(memory.size(), size);
    EXPECT_EQ(memory.bytes().size(), size);
    if (size == 0) continue;
    EXPECT_EQ(memory.data()[0], 0);
    EXPECT_EQ(memory.data()[size - 1], 0);
    memory.data()[0] = 0xA5;
    memory.data()[size - 1] = 0x5A;
    EXPECT_EQ(memory.data()[size - 1], 0x5A);
    // Blocks that can take huge pages begin where one begins.
    if (size >= PageMemory::kHugePage) {
      EXPECT_EQ(reinterpret_cast<uintptr_t>(memory.data()) % PageMemory::kHugePage, 0u);
    }
  }
}

TEST(PageMemoryTest, KeepsNoMoreAddressSpaceThanItsBlocks) {
  // Aligning a block maps more than it keeps; what lies around the block must go
  // back at once. The blocks stay alive so that no later one reuses what an earlier
  // one failed to give back.
  constexpr size_t kBlock = 3 * kMiB + 5;
  constexpr size_t kBlocks = 32;
  std::vector<PageMemory> blocks;
  blocks.reserve(kBlocks);
  const size_t before = MappedKilobytes();
  for (size_t i = 0; i < kBlocks; ++i) blocks.push_back(PageMemory::Allocate(kBlock));
  const size_t kept = kBlocks * ((kBlock + 4095) / 4096) * 4;  // kilobytes
  EXPECT_LE(MappedKilobytes(), before + kept + 1024);
}

TEST(PageMemoryTest, MovesOwnership) {
  PageMemory first = PageMemory::Allocate(3 * kMiB);
  uint8_t* const data = first.data();
  PageMemory second(std::move(first));
  EXPECT_EQ(second.data(), data);
  EXPECT_EQ(first.data(), nullptr);  // NOLINT(bugprone-use-after-move): the moved-from state
  PageMemory third;
  third = std::move(second);
  EXPECT_EQ(third.data(), data);
  EXPECT_EQ(third.size(), 3 * kMiB);
}

}  // namespace
}  // namespace resgraft::sys
