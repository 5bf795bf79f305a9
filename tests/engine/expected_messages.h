#ifndef RESGRAFT_TESTS_ENGINE_EXPECTED_MESSAGES_H_
#define RESGRAFT_TESTS_ENGINE_EXPECTED_MESSAGES_H_

#include <string>

// The result messages as a user sees them, written out here independently of the
// engine's own constants.
namespace resgraft::testing {

inline std::string CannotOpen(const std::string& path) {
  return "ファイルを開くことができません。 \r\n" + path + " ";
}
inline std::string NotWin32Pe(const std::string& path) {
  return "Win32 PEファイル形式ではありません。\r\n" + path + " ";
}
inline std::string BadHeader(const std::string& path) {
  return "PEヘッダが正しくありません。\r\n" + path + " ";
}
inline std::string Packed(const std::string& packer, const std::string& path) {
  return "\"" + packer + "\"で圧縮されています。 \r\n" + path + " ";
}
inline std::string BadResources(const std::string& path) {
  return "リソース構造が正しくありません。 \r\n" + path + " ";
}
inline std::string CannotSave(const std::string& path) {
  return "ファイルを保存できません。 \r\n" + path + " ";
}
inline std::string CannotWrite(const std::string& path) {
  return "リソースを書き込むことができません。 \r\n" + path + " ";
}

}  // namespace resgraft::testing

#endif  // RESGRAFT_TESTS_ENGINE_EXPECTED_MESSAGES_H_
