#ifndef RESGRAFT_COMPONENTS_DROPDST_H_
#define RESGRAFT_COMPONENTS_DROPDST_H_

#include <cstdint>

#include "components/ctlhook.h"
#include "vcl/classes.h"
#include "vcl/shellapi.h"

namespace resgraft::components {

// The handler of a drop: Sender, the dropped names (valid during the call only)
// and the drop point in client coordinates of the window that took the drop.
using TFileDropEvent = vcl::TMethod<vcl::TObject* /*Sender*/, vcl::TStrings& /*Files*/, int /*X*/, int /*Y*/>;

// Makes the hooked window (a control, or the form holding it) take files
// dragged from the desktop, and reports every drop through OnFileDrop.
//
// Read from a form description, the window is registered when the component is
// loaded; it is registered again whenever its window is created anew. A
// Control or Target assigned after loading registers the new window at once
// and revokes the window hooked before. Destroying the component unhooks it and
// leaves the window's registration alone.
class TDropDst : public TControlHook {
 public:
  explicit TDropDst(vcl::TComponent* AOwner);
  ~TDropDst() override;

  void Loaded() override;
  void SetControl(vcl::TWinControl* Value) override;
  void SetTarget(THookTarget Value) override;

  const TFileDropEvent& OnFileDrop() const { return on_file_drop_; }
  void SetOnFileDrop(TFileDropEvent on_file_drop) { on_file_drop_ = on_file_drop; }
  bool AcceptDrop() const { return accept_drop_; }
  // Registers or revokes the hooked window at once when the value changes;
  // nothing when it does not.
  void SetAcceptDrop(bool Value);

  // Registers the hooked window for drops, or revokes it, after AcceptDrop;
  // nothing while no live window is hooked.
  void UpdateAcceptFiles();
  // Collects every dropped name, whole, and the point, and fires OnFileDrop;
  // nothing at all without a handler.
  void DoFileDrop(vcl::HDROP Drop);

 protected:
  void HandleChanged(uint8_t Change) override;
  // Takes WM_DROPFILES for itself (never passed on): the drop is reported, an
  // exception from doing so goes to the application's display, and the drop is
  // finished in every case. Every other message is passed on unchanged.
  void HookedWndProc(vcl::TMessage& Message) override;

 private:
  // After an assignment at run time: revoke the window hooked before (when it
  // is no longer the one hooked) and register the one hooked now.
  void FollowAssignment(vcl::HWND previous);
  // Runs the inherited writer `assign`, then FollowAssignment, also when it raises.
  template <class Assign>
  void Reassign(Assign assign);

  TFileDropEvent on_file_drop_;
  bool accept_drop_ = true;
};

}  // namespace resgraft::components

#endif  // RESGRAFT_COMPONENTS_DROPDST_H_
