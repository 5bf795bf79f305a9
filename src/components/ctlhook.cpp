#include "components/ctlhook.h"

namespace resgraft::components {

using vcl::TComponent;
using vcl::TMessage;
using vcl::TWinControl;

namespace {

constexpr const char* kNoHookTarget = "フック先を特定できません。";

}  // namespace

TControlHook::TControlHook(TComponent* AOwner) : TComponent(AOwner) {}

TControlHook::~TControlHook() { SetHooked(false); }

void TControlHook::Loaded() {
  TComponent::Loaded();
  // This class's own writer: a descendant's extras on assignment are not
  // wanted here, it follows up in its own Loaded.
  TControlHook::SetControl(control_);
}

void TControlHook::Notification(TComponent* AComponent, vcl::TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
  if (Operation != vcl::opRemove || AComponent == nullptr) return;
  if (AComponent == hooked_control_) {
    HandleChanged(kHandleGone);
    hooked_control_ = nullptr;
  }
  // Control is forgotten too, so that hooking again cannot reach a control
  // that no longer exists.
  if (AComponent == control_) control_ = nullptr;
}

vcl::TCustomForm* FindOwnerForm(TComponent* AComponent) {
  for (TComponent* component = AComponent; component != nullptr; component = component->Owner()) {
    if (auto* form = dynamic_cast<vcl::TCustomForm*>(component)) return form;
    if (auto* control = dynamic_cast<vcl::TControl*>(component)) return vcl::GetParentForm(control);
  }
  return nullptr;
}

TWinControl* TControlHook::GetHookTarget() {
  if (target_ == htForm) return control_ != nullptr ? FindOwnerForm(control_) : FindOwnerForm(this);
  return control_;
}

void TControlHook::SetHooked(bool Active) {
  if (ComponentState().Contains(vcl::csDesigning)) return;
  if (Active) {
    TWinControl* target = GetHookTarget();
    if (target == nullptr || target->Handle() == 0) {
      if (target_ == htForm) throw vcl::Exception(kNoHookTarget);
      return;
    }
    hooked_handle_ = target->Handle();
    hooked_control_ = target;
    target->FreeNotification(this);
    saved_wnd_proc_ = target->WindowProc();
    target->SetWindowProc(vcl::TWndMethod(this, &TControlHook::HookProc));
    return;
  }
  if (hooked_control_ == nullptr) return;
  hooked_control_->SetWindowProc(saved_wnd_proc_);
  hooked_handle_ = 0;
  hooked_control_ = nullptr;
}

void TControlHook::HookProc(TMessage& Message) {
  if (Message.Msg == vcl::WM_CREATE) {
    hooked_handle_ = kHandleBeingCreated;
  } else if (Message.Msg == vcl::WM_DESTROY) {
    HandleChanged(kHandleGone);
  } else if (hooked_handle_ == kHandleBeingCreated && hooked_control_ != nullptr &&
             hooked_control_->HandleAllocated()) {
    HandleChanged(kHandleCreated);
  }
  HookedWndProc(Message);
}

void TControlHook::HookedWndProc(TMessage& Message) { saved_wnd_proc_(Message); }

void TControlHook::HandleChanged(uint8_t Change) {
  if (Change == kHandleGone) {
    hooked_handle_ = 0;
  } else {
    hooked_handle_ = hooked_control_->Handle();
  }
}

void TControlHook::SetControl(TWinControl* Value) {
  SetHooked(false);
  control_ = Value;
  // Told of the control's removal even when the hook is on its form.
  if (Value != nullptr) Value->FreeNotification(this);
  SetHooked(true);
}

void TControlHook::SetTarget(THookTarget Value) {
  SetHooked(false);
  target_ = Value;
  SetHooked(true);
}

}  // namespace resgraft::components
