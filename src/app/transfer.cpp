#include "app/transfer.h"

namespace resgraft::app {

engine::TPEFile* SourceFile = nullptr;
engine::TPEFile* TargetFile = nullptr;

void InitializeUnit1() {
  SourceFile = new engine::TPEFile();
  TargetFile = new engine::TPEFile();
}

void FinalizeUnit1() {
  delete SourceFile;
  SourceFile = nullptr;
  delete TargetFile;
  TargetFile = nullptr;
}

bool CopyResourceType(int32_t TypeId, std::u16string_view TypeName, bool CheckCount) {
  if (SourceFile == nullptr || TargetFile == nullptr) return false;
  const engine::TResourceDirectory* source = SourceFile->FindResourceType(TypeId, TypeName);
  engine::TResourceDirectory* target = TargetFile->FindResourceType(TypeId, TypeName);
  if (source == nullptr || target == nullptr) return false;
  if (CheckCount && source->Count() != target->Count()) return false;

  target->Assign(*source);
  for (int i = 0; i < target->Count(); ++i) {
    const engine::TResourceDirectory* languages = target->Entry(i)->Subdirectory.get();
    engine::TResourceDirectoryEntry* first =
        languages != nullptr ? languages->Entry(0) : nullptr;
    if (first != nullptr) first->Name = kJapanese;
  }
  return true;
}

void ApplyTransferRules(const TransferKinds& kinds) {
  if (kinds.avi) CopyResourceType(0, kAviTypeName, true);
  if (kinds.bitmap) CopyResourceType(kRtBitmap, u"", true);
  if (kinds.cursor && CopyResourceType(kRtGroupCursor, u"", true)) {
    CopyResourceType(kRtCursor, u"", false);
  }
  if (kinds.icon && CopyResourceType(kRtGroupIcon, u"", true)) {
    CopyResourceType(kRtIcon, u"", false);
  }
}

}  // namespace resgraft::app
