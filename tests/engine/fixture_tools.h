#ifndef RESGRAFT_TESTS_ENGINE_FIXTURE_TOOLS_H_
#define RESGRAFT_TESTS_ENGINE_FIXTURE_TOOLS_H_

#include <array>
#include <cstdio>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

// Access to the realistic fixtures and to the independent tools that read them.
namespace resgraft::testing {

inline std::string SourceDir() { return RESGRAFT_SOURCE_DIR; }
inline std::string Python() { return RESGRAFT_PYTHON; }
inline std::string SupportScript(const std::string& name) {
  return SourceDir() + "/tests/support/" + name;
}

// The fixture images, sorted by name.
inline std::vector<std::string> FixturePaths() {
  std::vector<std::string> paths;
  const std::filesystem::path folder = SourceDir() + "/tests/fixtures";
  if (!std::filesystem::is_directory(folder)) return paths;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    const std::string ext = entry.path().extension().string();
    if (ext == ".exe" || ext == ".dll") paths.push_back(entry.path().string());
  }
  std::sort(paths.begin(), paths.end());
  return paths;
}

inline std::string FixturePath(const std::string& name) {
  return SourceDir() + "/tests/fixtures/" + name;
}

// What the command prints on standard output (standard error too).
inline std::string RunCommand(const std::string& command) {
  std::string out;
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return "cannot run: " + command;
  std::array<char, 4096> chunk;
  size_t got;
  while ((got = fread(chunk.data(), 1, chunk.size(), pipe)) > 0) out.append(chunk.data(), got);
  pclose(pipe);
  return out;
}

inline bool HavePefile() {
  return !Python().empty() && RunCommand(Python() + " -c 'import pefile'").empty();
}

inline bool HaveWrestool() { return std::string(RESGRAFT_WRESTOOL).find('/') != std::string::npos; }

inline std::string PefileDump(const std::string& path) {
  return RunCommand(Python() + " " + SupportScript("pefile_dump.py") + " '" + path + "'");
}

// wrestool's list of the resources, without the file offsets, which a save moves.
inline std::string WrestoolListing(const std::string& path) {
  const std::string listing = RunCommand(std::string(RESGRAFT_WRESTOOL) + " -l '" + path + "'");
  return std::regex_replace(listing, std::regex("offset=0x[0-9a-f]+"), "offset");
}

}  // namespace resgraft::testing

#endif  // RESGRAFT_TESTS_ENGINE_FIXTURE_TOOLS_H_
