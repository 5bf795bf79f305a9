#ifndef RESGRAFT_APP_TRANSFER_H_
#define RESGRAFT_APP_TRANSFER_H_

#include <cstdint>
#include <string_view>

#include "engine/pe.h"

// The part of the main window's unit that needs no window: the two loaded files and
// the rules by which resource types are carried from one into the other.

namespace resgraft::app {

// The file resources are copied from, and the file they are copied into and that is
// saved. Both exist from `InitializeUnit1` to `FinalizeUnit1`; an empty object
// stands for an empty path box.
extern engine::TPEFile* SourceFile;
extern engine::TPEFile* TargetFile;

// Creates SourceFile and then TargetFile, both empty.
void InitializeUnit1();
// Frees SourceFile and then TargetFile, leaving both null.
void FinalizeUnit1();

// Replaces TargetFile's directory of one resource type by a deep copy of
// SourceFile's, and marks each copied resource's first language as Japanese (0x411).
// The type is found by id, or by name when `TypeId` is 0. True when it was carried
// over; false, with nothing changed, when either file lacks the type or, with
// `CheckCount`, the two hold different numbers of resources of it.
bool CopyResourceType(int32_t TypeId, std::u16string_view TypeName, bool CheckCount);

// Which kinds of resource a save carries over.
struct TransferKinds {
  bool avi = true;
  bool bitmap = true;
  bool cursor = true;
  bool icon = true;
};

// Applies the transfer rules of the ticked kinds in their fixed order: AVI, bitmaps,
// cursor groups (then the cursor images, only when the groups were carried), icon
// groups (then the icon images, likewise).
void ApplyTransferRules(const TransferKinds& kinds);

inline constexpr int32_t kRtCursor = 1;
inline constexpr int32_t kRtBitmap = 2;
inline constexpr int32_t kRtIcon = 3;
inline constexpr int32_t kRtGroupCursor = 12;
inline constexpr int32_t kRtGroupIcon = 14;
inline constexpr uint32_t kJapanese = 0x411;
inline constexpr std::u16string_view kAviTypeName = u"AVI";

}  // namespace resgraft::app

#endif  // RESGRAFT_APP_TRANSFER_H_
