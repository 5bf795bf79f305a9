#include "support/tree_dump.h"

#include <cstdio>

namespace resgraft::testing {
namespace {

std::string HeaderText(const engine::TResourceDirectory& dir) {
  char text[96];
  std::snprintf(text, sizeof text, " chars=0x%08x time=0x%08x ver=%u.%u", dir.Characteristics,
                dir.TimeDateStamp, unsigned{dir.MajorVersion}, unsigned{dir.MinorVersion});
  return text;
}

std::string KeyText(const engine::TResourceDirectoryEntry& entry) {
  if (!entry.IsNamed()) return "#" + std::to_string(entry.Name);
  std::string key = "\"";
  for (const char16_t unit : entry.NameString.NameText) {
    if (unit >= 0x20 && unit < 0x7F && unit != u'"' && unit != u'\\') {
      key += static_cast<char>(unit);
    } else {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", unsigned{unit});
      key += escape;
    }
  }
  return key + "\"";
}

void DumpDirectory(const engine::TResourceDirectory& dir, int depth, std::string& out) {
  for (int i = 0; i < dir.Count(); ++i) {
    const engine::TResourceDirectoryEntry& entry = *dir.Entry(i);
    out += std::string(static_cast<size_t>(2 * depth), ' ') + KeyText(entry);
    if (entry.Subdirectory) {
      out += HeaderText(*entry.Subdirectory) + "\n";
      DumpDirectory(*entry.Subdirectory, depth + 1, out);
    } else {
      char text[96];
      std::snprintf(text, sizeof text, " size=%u codepage=%u fnv1a64=%016llx\n", entry.DataSize,
                    entry.CodePage,
                    static_cast<unsigned long long>(Fnv1a64(entry.DataBytes())));
      out += text;
    }
  }
}

}  // namespace

uint64_t Fnv1a64(std::span<const uint8_t> bytes) {
  uint64_t hash = 0xcbf29ce484222325ull;
  for (const uint8_t b : bytes) {
    hash ^= b;
    hash *= 0x100000001b3ull;
  }
  return hash;
}

std::string DumpTree(const engine::TResourceDirectory& root) {
  std::string out = "root" + HeaderText(root) + "\n";
  DumpDirectory(root, 0, out);
  return out;
}

}  // namespace resgraft::testing
