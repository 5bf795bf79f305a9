// Writes the hostile corpus into a folder, one file per case, to seed the fuzzers.
// With --check it then loads every file it wrote and reports any file whose message
// is not the expected one, or that took a second or more, so that a run under
// `/usr/bin/time -v` gives the peak memory of loading the whole corpus.
//
//   write_corpus [--check] FOLDER

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include "engine/pe.h"
#include "hostile/hostile_corpus.h"

int main(int argc, char** argv) {
  using namespace resgraft;
  const bool check = argc == 3 && std::strcmp(argv[1], "--check") == 0;
  if (argc != 2 && !check) {
    std::fprintf(stderr, "usage: %s [--check] FOLDER\n", argv[0]);
    return 2;
  }
  const std::string folder = argv[argc - 1];
  int failures = 0;
  size_t count = 0;
  for (const testing::HostileCase& c : testing::HostileCorpus()) {
    const std::string path = folder + "/" + c.name;
    {
      std::ofstream out(path, std::ios::binary | std::ios::trunc);
      out.write(reinterpret_cast<const char*>(c.bytes.data()),
                static_cast<std::streamsize>(c.bytes.size()));
      if (!out) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        return 1;
      }
    }
    ++count;
    if (!check) continue;
    const auto start = std::chrono::steady_clock::now();
    engine::TPEFile image;
    std::string msg;
    image.LoadFromFile(path, msg);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (msg != testing::ExpectedLoadMessage(c, path) || seconds >= 1.0) {
      std::fprintf(stderr, "%s: got \"%s\" in %.3f s\n", c.name.c_str(), msg.c_str(), seconds);
      ++failures;
    }
  }
  std::printf("%zu files written to %s", count, folder.c_str());
  if (check) std::printf(", %d wrong", failures);
  std::printf("\n");
  return failures == 0 ? 0 : 1;
}
