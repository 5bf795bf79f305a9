#ifndef RESGRAFT_ENGINE_MESSAGES_H_
#define RESGRAFT_ENGINE_MESSAGES_H_

// The fixed texts of the result messages that loading and saving hand back. A
// message is one of these, then the file's path exactly as given, then a blank.

namespace resgraft::engine::messages {

inline constexpr char kCannotOpen[] = "ファイルを開くことができません。 \r\n";
inline constexpr char kNotWin32Pe[] = "Win32 PEファイル形式ではありません。";
inline constexpr char kBadPeHeader[] = "PEヘッダが正しくありません。";
inline constexpr char kPacked[] = "で圧縮されています。 \r\n";  // behind the packer's name
inline constexpr char kBadResources[] = "リソース構造が正しくありません。 \r\n";
inline constexpr char kCannotSave[] = "ファイルを保存できません。 \r\n";
inline constexpr char kCannotWrite[] = "リソースを書き込むことができません。 \r\n";
inline constexpr char kNoChecksum[] = "チェックサムを取得できません。 \r\n";

}  // namespace resgraft::engine::messages

#endif  // RESGRAFT_ENGINE_MESSAGES_H_
