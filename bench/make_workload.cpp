// resgraft-bench-workload OUTDIR UNITS [--interleaved]
//
// Writes a SOURCE and DESTINATION pair of PE32 images for the benchmarks into
// OUTDIR (src.exe, dst.exe) and a description of them (workload.txt, one
// `key value` per line). The resource sections are laid out as linkers lay them
// out: all directory tables, then the data-entry records, the names and the data.
// The images are built by the tests' image builder, whose layout puts each
// table's names, records and data right behind it, and then passed once through a
// load and a save of the engine with nothing carried, which writes the usual
// layout; --interleaved keeps the builder's layout instead. Both images have the same shape: a code and a data
// section, the resource section, then base relocations, and a non-zero CheckSum.
// Their resources come in UNITS units of 19 carried resources each (one AVI
// clip, five bitmaps, a cursor group of two cursors, two icon groups of four
// icons), so the two images hold equal counts of every carried type; the
// destination also holds one string table per unit and a version and a manifest,
// the source only a version. Contents are deterministic pseudo-random bytes shaped
// as the resource formats lay them out, different in the two images.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "engine/pe.h"
#include "support/pe_builder.h"

namespace {

using resgraft::testing::Dir;
using resgraft::testing::Leaf;
using resgraft::testing::PeBuilder;
using resgraft::testing::ResNode;

constexpr uint32_t kRtCursor = 1;
constexpr uint32_t kRtBitmap = 2;
constexpr uint32_t kRtIcon = 3;
constexpr uint32_t kRtString = 6;
constexpr uint32_t kRtGroupCursor = 12;
constexpr uint32_t kRtGroupIcon = 14;
constexpr uint32_t kRtVersion = 16;
constexpr uint32_t kRtManifest = 24;
constexpr uint32_t kEnglish = 1033;

// xorshift64*: fast, deterministic bytes.
class Random {
 public:
  explicit Random(uint64_t seed) : state_(seed * 0x9E3779B97F4A7C15ull + 1) {}

  uint64_t Next() {
    state_ ^= state_ >> 12;
    state_ ^= state_ << 25;
    state_ ^= state_ >> 27;
    return state_ * 0x2545F4914F6CDD1Dull;
  }
  // A number in [low, high].
  uint32_t Between(uint32_t low, uint32_t high) {
    return low + static_cast<uint32_t>(Next() % (uint64_t{high} - low + 1));
  }
  void Fill(std::vector<uint8_t>& out, size_t from) {
    size_t i = from;
    for (; i + 8 <= out.size(); i += 8) {
      const uint64_t v = Next();
      for (size_t k = 0; k < 8; ++k) out[i + k] = static_cast<uint8_t>(v >> (8 * k));
    }
    const uint64_t v = Next();
    for (size_t k = 0; i < out.size(); ++i, ++k) out[i] = static_cast<uint8_t>(v >> (8 * k));
  }

 private:
  uint64_t state_;
};

void Put16(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  b[at] = static_cast<uint8_t>(v);
  b[at + 1] = static_cast<uint8_t>(v >> 8);
}

void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  for (size_t k = 0; k < 4; ++k) b[at + k] = static_cast<uint8_t>(v >> (8 * k));
}

// A BITMAPINFOHEADER at `at`, then pseudo-random pixels up to the end of `b`.
void PutDib(std::vector<uint8_t>& b, size_t at, uint32_t width, uint32_t height,
            uint32_t bit_count, Random& random) {
  Put32(b, at, 40);
  Put32(b, at + 4, width);
  Put32(b, at + 8, height);
  Put16(b, at + 12, 1);
  Put16(b, at + 14, bit_count);
  Put32(b, at + 20, static_cast<uint32_t>(b.size() - at - 40));
  random.Fill(b, at + 40);
}

uint32_t RowBytes(uint32_t width, uint32_t bit_count) { return (width * bit_count + 31) / 32 * 4; }

// An icon image: a 32-bit colour DIB of twice the height (colour and mask).
std::vector<uint8_t> IconImage(uint32_t size, Random& random) {
  std::vector<uint8_t> b(40 + size_t{RowBytes(size, 32)} * size + size_t{RowBytes(size, 1)} * size);
  PutDib(b, 0, size, 2 * size, 32, random);
  return b;
}

// A cursor image: the hot spot, then a monochrome DIB of twice the height.
std::vector<uint8_t> CursorImage(uint32_t size, Random& random) {
  std::vector<uint8_t> b(4 + 40 + 8 + 2 * size_t{RowBytes(size, 1)} * size);
  Put16(b, 0, size / 2);
  Put16(b, 2, size / 2);
  PutDib(b, 4, size, 2 * size, 1, random);
  return b;
}

// A group directory: header, then one 14-byte entry per image naming its id.
std::vector<uint8_t> Group(uint16_t type, const std::vector<uint32_t>& sizes, uint32_t first_id,
                           const std::vector<uint32_t>& byte_counts) {
  std::vector<uint8_t> b(6 + 14 * sizes.size());
  Put16(b, 2, type);
  Put16(b, 4, static_cast<uint32_t>(sizes.size()));
  for (size_t i = 0; i < sizes.size(); ++i) {
    const size_t e = 6 + 14 * i;
    b[e] = static_cast<uint8_t>(sizes[i]);
    b[e + 1] = static_cast<uint8_t>(type == 1 ? sizes[i] : 2 * sizes[i]);
    Put16(b, e + 4, 1);
    Put16(b, e + 6, type == 1 ? 32 : 1);
    Put32(b, e + 8, byte_counts[i]);
    Put16(b, e + 12, first_id + static_cast<uint32_t>(i));
  }
  return b;
}

std::vector<uint8_t> Bitmap(uint32_t width, uint32_t height, Random& random) {
  std::vector<uint8_t> b(40 + size_t{RowBytes(width, 24)} * height);
  PutDib(b, 0, width, height, 24, random);
  return b;
}

// A RIFF "AVI " file of `size` bytes: the list headers, then stream bytes.
std::vector<uint8_t> AviClip(uint32_t size, Random& random) {
  std::vector<uint8_t> b(size);
  random.Fill(b, 0);
  const char* riff = "RIFF";
  for (size_t k = 0; k < 4; ++k) b[k] = static_cast<uint8_t>(riff[k]);
  Put32(b, 4, size - 8);
  const char* avi = "AVI LIST";
  for (size_t k = 0; k < 8; ++k) b[8 + k] = static_cast<uint8_t>(avi[k]);
  return b;
}

std::u16string Utf16(const std::string& text) { return std::u16string(text.begin(), text.end()); }

ResNode Resource(uint32_t id, std::vector<uint8_t> data) {
  return Dir(id, {Leaf(kEnglish, std::move(data))});
}
ResNode Resource(const std::string& name, std::vector<uint8_t> data) {
  return Dir(Utf16(name), {Leaf(kEnglish, std::move(data))});
}

struct Workload {
  std::vector<uint8_t> bytes;
  uint64_t resources = 0;
  uint64_t carried_bytes = 0;  // data bytes of the carried types
};

Workload Make(uint32_t units, bool destination, uint64_t seed) {
  Random random(seed);
  ResNode avi = Dir(u"AVI", {});
  ResNode bitmaps = Dir(kRtBitmap, {});
  ResNode cursors = Dir(kRtCursor, {});
  ResNode cursor_groups = Dir(kRtGroupCursor, {});
  ResNode icons = Dir(kRtIcon, {});
  ResNode icon_groups = Dir(kRtGroupIcon, {});
  ResNode strings = Dir(kRtString, {});
  Workload out;

  auto add = [&out](ResNode& type, ResNode resource) {
    out.carried_bytes += resource.children.front().data.size();
    ++out.resources;
    type.children.push_back(std::move(resource));
  };

  uint32_t next_cursor = 1;
  uint32_t next_icon = 1;
  for (uint32_t u = 0; u < units; ++u) {
    add(avi, Resource(u + 1, AviClip(random.Between(40'000, 160'000), random)));
    for (uint32_t k = 0; k < 5; ++k) {
      std::vector<uint8_t> data =
          Bitmap(random.Between(16, 128), random.Between(16, 96), random);
      if (k == 0) {
        add(bitmaps, Resource("BITMAP_" + std::to_string(u), std::move(data)));
      } else {
        add(bitmaps, Resource(5 * u + k + 1, std::move(data)));
      }
    }

    const std::vector<uint32_t> cursor_sizes = {32, 48};
    std::vector<uint32_t> cursor_bytes;
    const uint32_t first_cursor = next_cursor;
    for (uint32_t size : cursor_sizes) {
      std::vector<uint8_t> data = CursorImage(size, random);
      cursor_bytes.push_back(static_cast<uint32_t>(data.size()));
      add(cursors, Resource(next_cursor++, std::move(data)));
    }
    add(cursor_groups, Resource(u + 1, Group(2, cursor_sizes, first_cursor, cursor_bytes)));

    for (uint32_t g = 0; g < 2; ++g) {
      const std::vector<uint32_t> icon_sizes = {16, 24, 32, 48};
      std::vector<uint32_t> icon_bytes;
      const uint32_t first_icon = next_icon;
      for (uint32_t size : icon_sizes) {
        std::vector<uint8_t> data = IconImage(size, random);
        icon_bytes.push_back(static_cast<uint32_t>(data.size()));
        add(icons, Resource(next_icon++, std::move(data)));
      }
      std::vector<uint8_t> group = Group(1, icon_sizes, first_icon, icon_bytes);
      if (g == 0) {
        add(icon_groups, Resource("ICON_" + std::to_string(u), std::move(group)));
      } else {
        add(icon_groups, Resource(2 * u + 2, std::move(group)));
      }
    }

    if (destination) {
      std::vector<uint8_t> table(random.Between(200, 800));
      random.Fill(table, 0);
      strings.children.push_back(Resource(u + 1, std::move(table)));
      ++out.resources;
    }
  }

  ResNode root = Dir(0u, {});
  root.children.push_back(std::move(cursors));
  root.children.push_back(std::move(bitmaps));
  root.children.push_back(std::move(icons));
  if (destination) root.children.push_back(std::move(strings));
  root.children.push_back(std::move(cursor_groups));
  root.children.push_back(std::move(icon_groups));
  std::vector<uint8_t> version(random.Between(600, 900));
  random.Fill(version, 0);
  root.children.push_back(Dir(kRtVersion, {Resource(1, std::move(version))}));
  ++out.resources;
  if (destination) {
    const std::string manifest =
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n"
        "<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" manifestVersion=\"1.0\"/>\r\n";
    root.children.push_back(
        Dir(kRtManifest, {Resource(1, std::vector<uint8_t>(manifest.begin(), manifest.end()))}));
    ++out.resources;
  }
  // Named types come first in a directory table.
  root.children.insert(root.children.begin(), std::move(avi));

  std::vector<uint8_t> code(size_t{4096} * (units + 1));
  random.Fill(code, 0);
  std::vector<uint8_t> data(size_t{256} * (units + 16));
  random.Fill(data, 0);
  // One relocation block per page of code, each with a few entries.
  std::vector<uint8_t> relocations(size_t{16} * (units + 1));
  for (size_t page = 0; page <= units; ++page) {
    Put32(relocations, 16 * page, static_cast<uint32_t>(0x1000 + 0x1000 * page));
    Put32(relocations, 16 * page + 4, 16);
    for (size_t k = 0; k < 4; ++k) {
      Put16(relocations, 16 * page + 8 + 2 * k, 0x3000 | static_cast<uint32_t>(random.Between(0, 0xFFC)));
    }
  }

  out.bytes = PeBuilder()
                  .WithChecksum(true)
                  .Section(".text", resgraft::testing::kCodeSection, std::move(code))
                  .Section(".data", resgraft::testing::kDataSection, std::move(data))
                  .Resources(std::move(root))
                  .Relocations(std::move(relocations))
                  .Build()
                  .bytes;
  return out;
}

bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  out.close();
  return static_cast<bool>(out);
}

// Writes `bytes` to `path`, in the usual layout unless `interleaved`; the size of
// the written file, or 0 on failure.
uint64_t WriteImage(const std::string& path, const std::vector<uint8_t>& bytes, bool interleaved) {
  if (interleaved) return WriteFile(path, bytes) ? bytes.size() : 0;
  const std::string built = path + ".built";
  if (!WriteFile(built, bytes)) return 0;
  resgraft::engine::TPEFile image;
  std::string msg;
  image.LoadFromFile(built, msg);
  if (msg.empty()) image.SaveToFile(path, msg);
  std::remove(built.c_str());
  if (!msg.empty()) return 0;
  return image.FileSize;
}

}  // namespace

int main(int argc, char** argv) {
  const bool interleaved = argc == 4 && std::string(argv[3]) == "--interleaved";
  if (argc != 3 && !interleaved) {
    std::cerr << "usage: resgraft-bench-workload OUTDIR UNITS [--interleaved]\n";
    return 2;
  }
  const std::string folder = argv[1];
  const long units = std::strtol(argv[2], nullptr, 10);
  if (units < 1 || units > 3000) {
    std::cerr << "resgraft-bench-workload: UNITS must be 1 to 3000\n";
    return 2;
  }
  const auto count = static_cast<uint32_t>(units);

  const Workload source = Make(count, false, 1);
  const uint64_t source_size = WriteImage(folder + "/src.exe", source.bytes, interleaved);
  if (source_size == 0) {
    std::cerr << "resgraft-bench-workload: cannot write " << folder << "/src.exe\n";
    return 1;
  }
  const Workload destination = Make(count, true, 2);
  const uint64_t destination_size =
      WriteImage(folder + "/dst.exe", destination.bytes, interleaved);
  if (destination_size == 0) {
    std::cerr << "resgraft-bench-workload: cannot write " << folder << "/dst.exe\n";
    return 1;
  }

  std::ofstream info(folder + "/workload.txt", std::ios::trunc);
  info << "units " << count << "\n"
       << "layout " << (interleaved ? "interleaved" : "linker") << "\n"
       << "src_bytes " << source_size << "\n"
       << "dst_bytes " << destination_size << "\n"
       << "src_resources " << source.resources << "\n"
       << "dst_resources " << destination.resources << "\n"
       << "carried_bytes " << source.carried_bytes << "\n";
  info.close();
  if (!info) {
    std::cerr << "resgraft-bench-workload: cannot write " << folder << "/workload.txt\n";
    return 1;
  }
  return 0;
}
