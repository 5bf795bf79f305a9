#include "components/dropdst.h"

#include <string>

#include "vcl/forms.h"

namespace resgraft::components {

using vcl::HDROP;
using vcl::HWND;
using vcl::TMessage;

TDropDst::TDropDst(vcl::TComponent* AOwner) : TControlHook(AOwner) { accept_drop_ = true; }

TDropDst::~TDropDst() = default;

void TDropDst::Loaded() {
  TControlHook::Loaded();
  UpdateAcceptFiles();
}

void TDropDst::HandleChanged(uint8_t Change) {
  TControlHook::HandleChanged(Change);
  UpdateAcceptFiles();
}

void TDropDst::HookedWndProc(TMessage& Message) {
  if (Message.Msg != vcl::WM_DROPFILES) {
    TControlHook::HookedWndProc(Message);
    return;
  }
  const auto drop = static_cast<HDROP>(Message.WParam);
  try {
    DoFileDrop(drop);
  } catch (...) {
    // Without an application object there is no display to show it on; the
    // drop is finished all the same and nothing leaves the window procedure.
    if (vcl::Application != nullptr) vcl::Application->HandleException(this);
  }
  vcl::DragFinish(drop);
}

void TDropDst::UpdateAcceptFiles() {
  const HWND handle = HookedHandle();
  // Also passes over the marker of a window being created.
  if (handle == 0 || !vcl::IsWindow(handle)) return;
  vcl::DragAcceptFiles(handle, accept_drop_);
}

void TDropDst::DoFileDrop(HDROP Drop) {
  if (!on_file_drop_) return;
  vcl::TStringList files;  // released on every way out, a raising handler's included
  const uint32_t count = vcl::DragQueryFileA(Drop, 0xFFFFFFFFu, nullptr, 0);
  for (uint32_t index = 0; index < count; ++index) {
    // Each name is read whole: its length first, then a buffer that holds it
    // and the terminating zero. A name is never cut at a fixed buffer size.
    const uint32_t length = vcl::DragQueryFileA(Drop, index, nullptr, 0);
    std::string name(static_cast<size_t>(length) + 1, '\0');
    vcl::DragQueryFileA(Drop, index, name.data(), length + 1);
    name.resize(name.find('\0'));
    files.Add(std::move(name));
  }
  vcl::TPoint point;
  vcl::DragQueryPoint(Drop, &point);
  on_file_drop_(this, files, point.X, point.Y);
}

void TDropDst::SetAcceptDrop(bool Value) {
  if (Value == accept_drop_) return;
  accept_drop_ = Value;
  UpdateAcceptFiles();
}

void TDropDst::FollowAssignment(HWND previous) {
  const vcl::TComponentState state = ComponentState();
  // While being read, or designed, registration waits for Loaded.
  if (state.Contains(vcl::csLoading) || state.Contains(vcl::csDesigning)) return;
  if (previous != HookedHandle() && previous != 0 && vcl::IsWindow(previous)) {
    vcl::DragAcceptFiles(previous, false);
  }
  UpdateAcceptFiles();
}

template <class Assign>
void TDropDst::Reassign(Assign assign) {
  const HWND previous = HookedHandle();
  try {
    assign();
  } catch (...) {
    // Unhooked before it failed: the window hooked before is revoked all the same.
    FollowAssignment(previous);
    throw;
  }
  FollowAssignment(previous);
}

void TDropDst::SetControl(vcl::TWinControl* Value) {
  Reassign([this, Value] { TControlHook::SetControl(Value); });
}

void TDropDst::SetTarget(THookTarget Value) {
  Reassign([this, Value] { TControlHook::SetTarget(Value); });
}

}  // namespace resgraft::components
