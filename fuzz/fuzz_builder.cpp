// Builds a random resource tree from the bytes, mostly of the three-level shape and
// sometimes not. Whatever Measure accepts must be written by WriteDirectory, with
// every region filled exactly, and the section, put into an image, must read back as
// the same tree. Measure must accept exactly the trees of the right shape.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/pe.h"
#include "fuzz_support.h"
#include "support/pe_builder.h"
#include "support/tree_dump.h"

namespace {

using resgraft::engine::TResourceDirectory;
using resgraft::engine::TResourceDirectoryEntry;

struct TreeFacts {
  bool right_shape = true;  // what Measure must accept
  bool readable = true;     // what the reader accepts besides: no empty directory, Reserved 0
  int entries_left = 256;
};

void FillDirectory(FuzzedDataProvider& p, TResourceDirectory& dir, int depth, TreeFacts& facts) {
  dir.Characteristics = p.ConsumeIntegral<uint32_t>();
  dir.TimeDateStamp = p.ConsumeIntegral<uint32_t>();
  dir.MajorVersion = p.ConsumeIntegral<uint16_t>();
  dir.MinorVersion = p.ConsumeIntegral<uint16_t>();
  // Stale counts: the writer counts anew.
  dir.NumberOfNamedEntries = p.ConsumeIntegral<uint16_t>();
  dir.NumberOfIdEntries = p.ConsumeIntegral<uint16_t>();
  const int count = p.ConsumeIntegralInRange<int>(0, 6);
  if (count == 0) facts.readable = false;
  for (int i = 0; i < count && facts.entries_left > 0; ++i, --facts.entries_left) {
    TResourceDirectoryEntry& entry = *dir.AddEntry();
    const uint8_t kind = p.ConsumeIntegral<uint8_t>();
    entry.OffsetToData = p.ConsumeIntegral<uint32_t>();  // stale: rewritten
    if ((kind & 1) != 0) {
      const uint16_t length = p.ConsumeIntegralInRange<uint16_t>(1, 12);
      entry.NameString.NameLength = length;
      for (uint16_t k = 0; k < length; ++k) {
        entry.NameString.NameText.push_back(static_cast<char16_t>(p.ConsumeIntegral<uint16_t>()));
      }
      entry.Name = p.ConsumeIntegral<uint32_t>();  // stale: rewritten
    } else {
      entry.Name = p.ConsumeIntegral<uint32_t>();
      // An id entry still holding a string offset points at no string.
      if ((entry.Name & resgraft::engine::kHighBit) != 0) facts.right_shape = false;
    }
    // Now and then a leaf or a branch on the wrong level.
    bool branch = depth < 2;
    if ((kind & 0xF0) == 0xF0) {
      branch = !branch;
      facts.right_shape = false;
    }
    if (branch) {
      entry.Subdirectory = std::make_unique<TResourceDirectory>();
      if (depth < 3) FillDirectory(p, *entry.Subdirectory, depth + 1, facts);
    } else {
      entry.CodePage = p.ConsumeIntegral<uint32_t>();
      entry.DataRva = p.ConsumeIntegral<uint32_t>();  // stale: rewritten
      if ((kind & 0x0E) == 0x0E) {
        entry.Reserved = p.ConsumeIntegral<uint32_t>();
        if (entry.Reserved != 0) facts.readable = false;
      }
      const std::vector<uint8_t> data = p.ConsumeBytes<uint8_t>(p.ConsumeIntegralInRange<size_t>(0, 70));
      entry.DataSize = static_cast<uint32_t>(data.size());
      if (!data.empty()) {
        entry.Data = std::make_unique<uint8_t[]>(data.size());
        std::copy(data.begin(), data.end(), entry.Data.get());
      }
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace resgraft;
  using fuzz::Check;
  FuzzedDataProvider provider(data, size);
  TreeFacts facts;
  TResourceDirectory tree;
  FillDirectory(provider, tree, 0, facts);

  engine::ResourceLayout sizes{};
  const bool measured = tree.Measure(sizes, 0);
  Check(measured == facts.right_shape, "Measure disagrees with the tree's shape");
  if (!measured) return 0;
  uint32_t section_size = 0;
  engine::ResourceLayout ends{};
  Check(engine::SectionSize(sizes, section_size), "a measured tree has no section size");
  Check(engine::RegionEnds(sizes, ends), "a measured tree has no region ends");
  Check(ends[engine::kDataRegion] == section_size, "the section size is not the data end");

  // An image whose resource section has room for the new one: its single leaf holds
  // as many bytes as the new section needs.
  static fuzz::MemoryFile file;
  testing::Image placeholder =
      testing::PeBuilder()
          .Section(".text", testing::kCodeSection, testing::Pattern(0x10, 1))
          .Resources(testing::Dir(0, {testing::Dir(1, {testing::Dir(1, {testing::Leaf(0, std::vector<uint8_t>(section_size))})})}))
          .Section(".data", testing::kDataSection, testing::Pattern(0x10, 2))
          .Build();
  file.Fill(placeholder.bytes);
  engine::TPEFile image;
  std::string msg;
  image.LoadFromFile(file.path(), msg);
  Check(msg.empty(), "the placeholder image does not load");
  const uint32_t raw_size =
      placeholder.Le32(placeholder.SectionHeader(1) + testing::SectionHeaderField::kSizeOfRawData);

  std::vector<uint8_t> section(raw_size, 0);
  engine::ResourceLayout cursors = ends;
  Check(image.WriteDirectory(section, tree, cursors, 0), "WriteDirectory refuses a measured tree");
  // Every region is filled from its end down to its start.
  const engine::ResourceLayout starts = {0,        ends[0], ends[1], ends[2], ends[3],
                                         (ends[4] + 3) / 4 * 4};
  Check(cursors == starts, "a region is not filled exactly");
  for (size_t i = section_size; i < section.size(); ++i) {
    Check(section[i] == 0, "bytes behind the section are not zero");
  }
  // The same tree written again against the same table gives the same bytes.
  std::vector<uint8_t> second(raw_size, 0);
  cursors = ends;
  Check(image.WriteDirectory(second, tree, cursors, 0) && second == section,
        "writing the same tree again differs");

  std::copy(section.begin(), section.end(), placeholder.bytes.begin() + placeholder.resource_offset);
  file.Fill(placeholder.bytes);
  engine::TPEFile rebuilt;
  rebuilt.LoadFromFile(file.path(), msg);
  if (!facts.readable) {
    Check(msg == fuzz::BadResourcesMessage(file.path()), "an unreadable tree loads");
    return 0;
  }
  Check(msg.empty(), "a written tree does not load");
  Check(testing::DumpTree(rebuilt.Resources) == testing::DumpTree(tree),
        "a written tree reads back differently");
  return 0;
}
