#include "vcl/stdctrls.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "vcl/toolkit.h"

namespace resgraft::vcl {

// ---- TEdit ----

TEdit::TEdit(TComponent* AOwner) : TWinControl(AOwner) {
  SetTabStop(true);
  SetColor(clWindow);
}

void TEdit::SetReadOnly(bool read_only) {
  read_only_ = read_only;
  if (widget_ != nullptr) static_cast<QLineEdit*>(widget_)->setReadOnly(read_only);
}

QWidget* TEdit::CreateWidget(QWidget* parent) { return new QLineEdit(parent); }

void TEdit::ConnectWidget(WindowBridge& bridge) {
  QObject::connect(static_cast<QLineEdit*>(widget_), &QLineEdit::textChanged, &bridge,
                   [this, &bridge](const QString& text) {
                     if (bridge.Control() == nullptr) return;
                     // Text set by the program shows as it decodes; only a real
                     // change replaces the bytes held.
                     if (text != toolkit::FromTextBytes(Text())) StoreCaption(toolkit::ToTextBytes(text));
                   });
}

void TEdit::UpdateWidget() {
  TWinControl::UpdateWidget();
  static_cast<QLineEdit*>(widget_)->setReadOnly(read_only_);
}

void TEdit::ApplyCaption() { static_cast<QLineEdit*>(widget_)->setText(toolkit::FromTextBytes(Text())); }

// ---- TButton ----

TButton::TButton(TComponent* AOwner) : TWinControl(AOwner) { SetTabStop(true); }

void TButton::Click() {
  if (on_click_) on_click_(this);
}

QWidget* TButton::CreateWidget(QWidget* parent) {
  auto* button = new QPushButton(parent);
  button->setAutoDefault(false);
  return button;
}

void TButton::ConnectWidget(WindowBridge& bridge) {
  QObject::connect(static_cast<QPushButton*>(widget_), &QPushButton::clicked, &bridge, [this, &bridge] {
    if (bridge.Control() == nullptr) return;
    try {
      Click();
    } catch (...) {
      toolkit::HandleDispatchException(this);
    }
  });
}

void TButton::ApplyCaption() { static_cast<QPushButton*>(widget_)->setText(toolkit::FromTextBytes(Caption())); }

// ---- TCheckBox ----

TCheckBox::TCheckBox(TComponent* AOwner) : TWinControl(AOwner) { SetTabStop(true); }

void TCheckBox::SetChecked(bool checked) {
  checked_ = checked;
  if (widget_ != nullptr) static_cast<QCheckBox*>(widget_)->setChecked(checked);
}

QWidget* TCheckBox::CreateWidget(QWidget* parent) { return new QCheckBox(parent); }

void TCheckBox::ConnectWidget(WindowBridge& bridge) {
  QObject::connect(static_cast<QCheckBox*>(widget_), &QCheckBox::toggled, &bridge, [this, &bridge](bool checked) {
    if (bridge.Control() != nullptr) checked_ = checked;
  });
}

void TCheckBox::UpdateWidget() {
  TWinControl::UpdateWidget();
  static_cast<QCheckBox*>(widget_)->setChecked(checked_);
}

void TCheckBox::ApplyCaption() { static_cast<QCheckBox*>(widget_)->setText(toolkit::FromTextBytes(Caption())); }

// ---- TLabel ----

QWidget* TLabel::CreateWidget(QWidget* parent) {
  auto* label = new QLabel(parent);
  label->setTextFormat(Qt::PlainText);
  return label;
}

void TLabel::ApplyCaption() { static_cast<QLabel*>(widget_)->setText(toolkit::FromTextBytes(Caption())); }

}  // namespace resgraft::vcl
