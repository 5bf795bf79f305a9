#ifndef RESGRAFT_VCL_STDCTRLS_H_
#define RESGRAFT_VCL_STDCTRLS_H_

#include "vcl/classes.h"
#include "vcl/controls.h"

namespace resgraft::vcl {

// A single-line edit box. Text is what the box holds, what the user typed
// included; text set by the program keeps its exact bytes.
class TEdit : public TWinControl {
 public:
  explicit TEdit(TComponent* AOwner);

  bool ReadOnly() const { return read_only_; }
  void SetReadOnly(bool read_only);

 protected:
  QWidget* CreateWidget(QWidget* parent) override;
  void ConnectWidget(WindowBridge& bridge) override;
  void UpdateWidget() override;
  void ApplyCaption() override;

 private:
  bool read_only_ = false;
};

// A push button. A click, by the user or through Click, fires OnClick; an
// exception from a click by the user goes to the application's display.
class TButton : public TWinControl {
 public:
  explicit TButton(TComponent* AOwner);

  const TNotifyEvent& OnClick() const { return on_click_; }
  void SetOnClick(TNotifyEvent on_click) { on_click_ = on_click; }
  // Fires OnClick when it is assigned.
  void Click();

 protected:
  QWidget* CreateWidget(QWidget* parent) override;
  void ConnectWidget(WindowBridge& bridge) override;
  void ApplyCaption() override;

 private:
  TNotifyEvent on_click_;
};

// A check box. Checked follows the user's clicks.
class TCheckBox : public TWinControl {
 public:
  explicit TCheckBox(TComponent* AOwner);

  bool Checked() const { return checked_; }
  void SetChecked(bool checked);

 protected:
  QWidget* CreateWidget(QWidget* parent) override;
  void ConnectWidget(WindowBridge& bridge) override;
  void UpdateWidget() override;
  void ApplyCaption() override;

 private:
  bool checked_ = false;
};

// A label: text drawn in its parent's window, at the size given.
class TLabel : public TGraphicControl {
 public:
  explicit TLabel(TComponent* AOwner) : TGraphicControl(AOwner) {}

 protected:
  QWidget* CreateWidget(QWidget* parent) override;
  void ApplyCaption() override;
};

}  // namespace resgraft::vcl

#endif  // RESGRAFT_VCL_STDCTRLS_H_
