#ifndef RESGRAFT_TESTS_HOSTILE_HOSTILE_CORPUS_H_
#define RESGRAFT_TESTS_HOSTILE_HOSTILE_CORPUS_H_

#include <cstdint>
#include <string>
#include <vector>

// A generated corpus of damaged and unusual images, each named for what it tests and
// paired with the exact outcome loading must give. The hostile tests load every one;
// the fuzzers take them as seeds.

namespace resgraft::testing {

enum class LoadOutcome { kLoads, kNotWin32Pe, kBadHeader, kPacked, kBadResources };
enum class SaveOutcome { kSaves, kCannotSave };

struct HostileCase {
  std::string name;  // a file name: letters, digits, '-', '_' and ".exe"
  std::vector<uint8_t> bytes;
  LoadOutcome load = LoadOutcome::kLoads;
  std::string packer;                       // with kPacked
  SaveOutcome save = SaveOutcome::kSaves;   // with kLoads: saving the tree back unchanged
};

// Every case, in a fixed order; names are unique.
std::vector<HostileCase> HostileCorpus();

// The message that loading the file at `path` must leave: empty when it loads. The
// texts are written out here rather than taken from the engine, so that a wrong
// text in the engine shows.
std::string ExpectedLoadMessage(const HostileCase& c, const std::string& path);

// The texts of the two save failures for `path`.
std::string CannotSaveMessage(const std::string& path);
std::string CannotWriteMessage(const std::string& path);

}  // namespace resgraft::testing

#endif  // RESGRAFT_TESTS_HOSTILE_HOSTILE_CORPUS_H_
