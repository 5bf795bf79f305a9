#ifndef RESGRAFT_COMPONENTS_CTLHOOK_H_
#define RESGRAFT_COMPONENTS_CTLHOOK_H_

#include <cstdint>

#include "vcl/classes.h"
#include "vcl/controls.h"
#include "vcl/forms.h"
#include "vcl/messages.h"

namespace resgraft::components {

// Which window a hook takes over.
enum THookTarget : uint8_t {
  htControl,  // the control named by Control
  htForm,     // the form holding Control; without Control, the form owning the hook
};

// Values of HookedHandle besides a live window's handle: 0 while no window is
// hooked or the hooked window is gone, this one while a new window is being
// created (-1 in 32 bits).
constexpr vcl::HWND kHandleBeingCreated = 0xFFFFFFFFu;

// The codes HandleChanged is called with.
constexpr uint8_t kHandleGone = 1;
constexpr uint8_t kHandleCreated = 2;

// Takes over the window procedure of a windowed control, or of the form that
// holds it: HookProc goes into the control's WindowProc and the procedure it
// held is kept in SavedWndProc, to which every message is passed on. A
// descendant sees every message first (HookedWndProc) and is told when the
// window goes and when a new one exists (HandleChanged).
//
// Several hooks on one control form a chain through their saved procedures and
// come off in the reverse order of their installation. At design time nothing
// is hooked or unhooked.
class TControlHook : public vcl::TComponent {
 public:
  explicit TControlHook(vcl::TComponent* AOwner);
  ~TControlHook() override;

  // Hooks once more, now that every property has been read.
  void Loaded() override;
  // Forgets the hooked control when it is removed (its WindowProc is left as
  // it is), and forgets Control when that is removed.
  void Notification(vcl::TComponent* AComponent, vcl::TOperation Operation) override;

  vcl::TWinControl* Control() const { return control_; }
  // Unhooks, stores Value, hooks again; also when Value is the current control.
  // With Target htForm and no form to be found, raises Exception
  // "フック先を特定できません。" and stays unhooked.
  virtual void SetControl(vcl::TWinControl* Value);
  THookTarget Target() const { return target_; }
  // Unhooks, stores Value, hooks again; raises as SetControl does.
  virtual void SetTarget(THookTarget Value);

  // What is hooked: the control (null when nothing is), its window handle (0
  // when it has none, kHandleBeingCreated while a new one is being made) and
  // the window procedure that the hook passes messages on to.
  vcl::TWinControl* HookedControl() const { return hooked_control_; }
  vcl::HWND HookedHandle() const { return hooked_handle_; }
  const vcl::TWndMethod& SavedWndProc() const { return saved_wnd_proc_; }

  // The window to hook after Target and Control, or null.
  vcl::TWinControl* GetHookTarget();
  // Hooks the target (creating its window when it has none) or unhooks. Hooking
  // does not check whether something is hooked already: callers unhook first.
  void SetHooked(bool Active);
  // The routine installed as the hooked control's window procedure.
  void HookProc(vcl::TMessage& Message);

 protected:
  // Change kHandleGone: the window is gone (HookedHandle 0); kHandleCreated: a
  // new window exists (HookedHandle its handle).
  virtual void HandleChanged(uint8_t Change);
  // Sees every message of the hooked window; the base passes it on to
  // SavedWndProc.
  virtual void HookedWndProc(vcl::TMessage& Message);

 private:
  THookTarget target_ = htControl;
  vcl::TWinControl* control_ = nullptr;
  vcl::TWinControl* hooked_control_ = nullptr;
  vcl::HWND hooked_handle_ = 0;
  vcl::TWndMethod saved_wnd_proc_;
};

// The form that AComponent belongs to: AComponent itself when it is a form; for
// a control, the form at the top of its parents (null when the top is not a
// form, whoever owns the control); else the first form among its owners.
vcl::TCustomForm* FindOwnerForm(vcl::TComponent* AComponent);

}  // namespace resgraft::components

#endif  // RESGRAFT_COMPONENTS_CTLHOOK_H_
