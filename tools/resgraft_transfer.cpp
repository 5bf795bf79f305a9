// resgraft-transfer SOURCE DESTINATION OUTPUT [--kinds=avi,bitmap,cursor,icon]
//
// Does what the window's save does once the save dialog is confirmed: loads both
// files into the same two globals the window uses, carries the chosen kinds over in
// their fixed order and saves the destination under OUTPUT. A result message is
// printed to standard error exactly as built. Exit status: 0 on success, 1 on a
// result message, 2 on a usage error.

#include <cstdio>
#include <iostream>
#include <string>
#include <string_view>

#include "app/transfer.h"

namespace {

using resgraft::app::TransferKinds;

bool ParseKinds(std::string_view list, TransferKinds& kinds) {
  kinds = TransferKinds{false, false, false, false};
  while (!list.empty()) {
    const size_t comma = list.find(',');
    const std::string_view kind = list.substr(0, comma);
    if (kind == "avi") {
      kinds.avi = true;
    } else if (kind == "bitmap") {
      kinds.bitmap = true;
    } else if (kind == "cursor") {
      kinds.cursor = true;
    } else if (kind == "icon") {
      kinds.icon = true;
    } else {
      return false;
    }
    if (comma == std::string_view::npos) break;
    list.remove_prefix(comma + 1);
  }
  return true;
}

// Loads `path` into `file` as the window does: from an empty object, and emptied
// again when the load fails.
bool Load(resgraft::engine::TPEFile& file, const std::string& path) {
  std::string msg;
  file.Clear();
  file.LoadFromFile(path, msg);
  if (msg.empty()) return true;
  std::cerr << msg << '\n';
  file.Clear();
  return false;
}

int Run(const std::string& source, const std::string& destination, const std::string& output,
        const TransferKinds& kinds) {
  using resgraft::app::SourceFile;
  using resgraft::app::TargetFile;
  if (!Load(*SourceFile, source) || !Load(*TargetFile, destination)) return 1;
  resgraft::app::ApplyTransferRules(kinds);
  std::string msg;
  TargetFile->SaveToFile(output, msg);
  if (msg.empty()) return 0;
  std::cerr << msg << '\n';
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  TransferKinds kinds;
  std::string paths[3];
  int path_count = 0;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg.starts_with("--kinds=")) {
      if (!ParseKinds(arg.substr(8), kinds)) {
        std::cerr << "resgraft-transfer: unknown kind in " << arg << '\n';
        return 2;
      }
    } else if (path_count < 3) {
      paths[path_count++] = std::string(arg);
    } else {
      path_count = 4;
    }
  }
  if (path_count != 3) {
    std::cerr << "usage: resgraft-transfer SOURCE DESTINATION OUTPUT"
                 " [--kinds=avi,bitmap,cursor,icon]\n";
    return 2;
  }
  resgraft::app::InitializeUnit1();
  const int status = Run(paths[0], paths[1], paths[2], kinds);
  resgraft::app::FinalizeUnit1();
  return status;
}
