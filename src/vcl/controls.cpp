#include "vcl/controls.h"

#include <algorithm>
#include <cstdlib>

#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPalette>
#include <QWheelEvent>
#include <QWidget>

#include "vcl/toolkit.h"

namespace resgraft::vcl {

// ---- the table of live windows ----

namespace toolkit {
namespace {

HandleTable<WindowEntry>& Windows() {
  static HandleTable<WindowEntry> table;
  return table;
}

}  // namespace

HWND RegisterWindow(QWidget* widget, TWinControl* control) {
  return Windows().Add(WindowEntry{widget, control, false});
}

void UnregisterWindow(HWND handle) { Windows().Remove(handle); }

WindowEntry* FindWindow(HWND handle) { return Windows().Find(handle); }

QWidget* WidgetOf(HWND handle) {
  const WindowEntry* entry = FindWindow(handle);
  return entry == nullptr ? nullptr : entry->widget;
}

QWidget* WidgetOf(const TControl& control) { return control.widget_; }

void RetireWidget(QWidget* widget) {
  if (widget == nullptr) return;
  widget->hide();
  widget->setParent(nullptr);
  widget->deleteLater();
}

QString FromPathBytes(const std::string& bytes) { return QFile::decodeName(QByteArray::fromStdString(bytes)); }
std::string ToPathBytes(const QString& path) { return QFile::encodeName(path).toStdString(); }
QString FromTextBytes(const std::string& bytes) { return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size())); }
std::string ToTextBytes(const QString& text) { return text.toUtf8().toStdString(); }

QFont ToQFont(const TFont& font, const QFont& base) {
  QFont result = base;
  if (!font.Name().empty()) result.setFamily(FromTextBytes(font.Name()));
  if (font.Height() != 0) result.setPixelSize(std::abs(font.Height()));
  if (font.Style().Contains(fsBold)) result.setBold(true);
  if (font.Style().Contains(fsItalic)) result.setItalic(true);
  if (font.Style().Contains(fsUnderline)) result.setUnderline(true);
  if (font.Style().Contains(fsStrikeOut)) result.setStrikeOut(true);
  return result;
}

}  // namespace toolkit

TWinControl* FindControl(HWND handle) {
  const toolkit::WindowEntry* entry = toolkit::FindWindow(handle);
  return entry == nullptr ? nullptr : entry->control;
}

bool IsWindow(HWND handle) { return toolkit::FindWindow(handle) != nullptr; }

namespace toolkit {

QColor ToQColor(TColor color) {
  const auto bits = static_cast<uint32_t>(color);
  if ((bits & 0xFF000000u) == 0xFF000000u) {
    const QPalette palette = QApplication::palette();
    switch (bits & 0xFFu) {
      case 5:
        return palette.color(QPalette::Base);
      case 8:
        return palette.color(QPalette::WindowText);
      case 15:
        return palette.color(QPalette::Button);
      default:
        return palette.color(QPalette::Window);
    }
  }
  return QColor(static_cast<int>(bits & 0xFFu), static_cast<int>((bits >> 8) & 0xFFu),
                static_cast<int>((bits >> 16) & 0xFFu));
}

}  // namespace toolkit

namespace {

bool IsDefaultFont(const TFont& font) {
  return font.Name().empty() && font.Height() == 0 && font.Style().Empty() &&
         font.Color() == clWindowText;
}

// The message that stands for a toolkit event.
TMessage TranslateEvent(QEvent* event, const QWidget* widget) {
  TMessage message;
  auto mouse_lparam = [](const QMouseEvent* mouse) {
    const QPoint point = mouse->position().toPoint();
    return MakeLParam(point.x(), point.y());
  };
  auto button_message = [](Qt::MouseButton button, uint32_t left, uint32_t right, uint32_t middle) {
    switch (button) {
      case Qt::LeftButton:
        return left;
      case Qt::RightButton:
        return right;
      case Qt::MiddleButton:
        return middle;
      default:
        return WM_TOOLKITEVENT;
    }
  };
  switch (event->type()) {
    case QEvent::Paint:
      message.Msg = WM_PAINT;
      break;
    case QEvent::FocusIn:
      message.Msg = WM_SETFOCUS;
      break;
    case QEvent::FocusOut:
      message.Msg = WM_KILLFOCUS;
      break;
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
      message.Msg = event->type() == QEvent::KeyPress ? WM_KEYDOWN : WM_KEYUP;
      message.WParam = static_cast<uint32_t>(static_cast<QKeyEvent*>(event)->key());
      break;
    case QEvent::MouseMove:
      message.Msg = WM_MOUSEMOVE;
      message.LParam = mouse_lparam(static_cast<QMouseEvent*>(event));
      break;
    case QEvent::MouseButtonPress:
      message.Msg = button_message(static_cast<QMouseEvent*>(event)->button(), WM_LBUTTONDOWN,
                                   WM_RBUTTONDOWN, WM_MBUTTONDOWN);
      message.LParam = mouse_lparam(static_cast<QMouseEvent*>(event));
      break;
    case QEvent::MouseButtonRelease:
      message.Msg = button_message(static_cast<QMouseEvent*>(event)->button(), WM_LBUTTONUP,
                                   WM_RBUTTONUP, WM_MBUTTONUP);
      message.LParam = mouse_lparam(static_cast<QMouseEvent*>(event));
      break;
    case QEvent::MouseButtonDblClick:
      message.Msg = button_message(static_cast<QMouseEvent*>(event)->button(), WM_LBUTTONDBLCLK,
                                   WM_RBUTTONDBLCLK, WM_MBUTTONDBLCLK);
      message.LParam = mouse_lparam(static_cast<QMouseEvent*>(event));
      break;
    case QEvent::Wheel: {
      const int delta = static_cast<QWheelEvent*>(event)->angleDelta().y();
      message.Msg = WM_MOUSEWHEEL;
      message.WParam = (static_cast<uint32_t>(delta) & 0xFFFFu) << 16;
      break;
    }
    case QEvent::Resize:
      message.Msg = WM_SIZE;
      message.LParam = MakeLParam(widget->width(), widget->height());
      break;
    case QEvent::Move:
      message.Msg = WM_MOVE;
      message.LParam = MakeLParam(widget->x(), widget->y());
      break;
    case QEvent::Show:
    case QEvent::Hide:
      message.Msg = WM_SHOWWINDOW;
      message.WParam = event->type() == QEvent::Show ? 1 : 0;
      break;
    case QEvent::EnabledChange:
      message.Msg = WM_ENABLE;
      message.WParam = widget->isEnabled() ? 1 : 0;
      break;
    case QEvent::Close:
      message.Msg = WM_CLOSE;
      break;
    case QEvent::ContextMenu:
      message.Msg = WM_CONTEXTMENU;
      break;
    default:
      message.Msg = WM_TOOLKITEVENT;
      break;
  }
  if (message.Msg == WM_TOOLKITEVENT) {
    message.WParam = static_cast<uint32_t>(event->type());
    message.LParam = reinterpret_cast<intptr_t>(event);
  }
  return message;
}

}  // namespace

// ---- WindowBridge ----

WindowBridge::WindowBridge(TWinControl* control, QWidget* widget) : QObject(widget), control_(control) {}

void WindowBridge::Attach() { parent()->installEventFilter(this); }

void WindowBridge::Detach() {
  control_ = nullptr;
  if (QObject* widget = parent()) widget->removeEventFilter(this);
}

bool WindowBridge::eventFilter(QObject* watched, QEvent* event) {
  TWinControl* control = control_;
  auto* widget = static_cast<QWidget*>(parent());
  if (control == nullptr || watched != widget) return false;

  // The properties follow what happened to the window.
  if (event->type() == QEvent::Resize || event->type() == QEvent::Move) {
    control->StoreBounds(widget->x(), widget->y(), widget->width(), widget->height());
  }

  HDROP drop = 0;
  if (toolkit::HandleShellDragEvent(control->handle_, event, &drop)) {
    if (drop != 0) {
      TMessage message{WM_DROPFILES, drop, 0, 0};
      control->Deliver(message, false, true);
      // The drop handle lives no longer than its message.
      DragFinish(drop);
    }
    return true;
  }

  TMessage message = TranslateEvent(event, widget);
  const bool to_toolkit = control->Deliver(message, true, true);
  // A close that the window procedure kept from the control is refused.
  if (!to_toolkit && event->type() == QEvent::Close) event->ignore();
  return !to_toolkit;
}

// ---- TFont ----

void TFont::Changed() {
  if (on_change_) on_change_();
}

void TFont::SetName(std::string name) {
  name_ = std::move(name);
  Changed();
}

void TFont::SetHeight(int height) {
  height_ = height;
  Changed();
}

void TFont::SetCharset(TFontCharset charset) {
  charset_ = charset;
  Changed();
}

void TFont::SetColor(TColor color) {
  color_ = color;
  Changed();
}

void TFont::SetStyle(TFontStyles style) {
  style_ = style;
  Changed();
}

void TFont::Assign(const TFont& source) {
  name_ = source.name_;
  height_ = source.height_;
  charset_ = source.charset_;
  color_ = source.color_;
  style_ = source.style_;
  Changed();
}

// ---- TControl ----

TControl::TControl(TComponent* AOwner) : TComponent(AOwner) {
  window_proc_ = TWndMethod(this, &TControl::WndProc);
  font_.on_change_ = [this] {
    if (!taking_parent_font_) parent_font_ = false;
    FontChanged();
  };
}

TControl::~TControl() {
  Destroying();
  font_.on_change_ = nullptr;
  if (widget_ != nullptr) {
    toolkit::RetireWidget(widget_);
    widget_ = nullptr;
  }
  if (parent_ != nullptr) parent_->RemoveControl(this);
}

void TControl::SetParent(TWinControl* AParent) {
  if (AParent == parent_) return;
  for (const TControl* ancestor = AParent; ancestor != nullptr; ancestor = ancestor->parent_) {
    if (ancestor == this) throw Exception("A control cannot be placed inside itself");
  }
  if (widget_ != nullptr) ParentWindowDestroying();
  if (parent_ != nullptr) parent_->RemoveControl(this);
  parent_ = AParent;
  if (parent_ == nullptr) return;
  parent_->InsertControl(this);
  if (parent_font_) TakeParentFont();
  if (parent_->HandleAllocated()) ParentWindowCreated();
}

void TControl::StoreBounds(int left, int top, int width, int height) {
  left_ = left;
  top_ = top;
  width_ = width;
  height_ = height;
}

void TControl::SetBounds(int left, int top, int width, int height) {
  StoreBounds(left, top, width, height);
  if (widget_ != nullptr) ApplyGeometry();
}

void TControl::ApplyGeometry() {
  if (widget_->isWindow()) {
    widget_->move(left_, top_);
    widget_->resize(width_, height_);
  } else {
    widget_->setGeometry(left_, top_, width_, height_);
  }
}

void TControl::SetCaption(std::string caption) {
  caption_ = std::move(caption);
  if (widget_ != nullptr) ApplyCaption();
}

void TControl::SetEnabled(bool enabled) {
  enabled_ = enabled;
  if (widget_ != nullptr) widget_->setEnabled(enabled);
}

void TControl::SetVisible(bool visible) {
  visible_ = visible;
  if (widget_ != nullptr) widget_->setVisible(visible);
}

void TControl::SetParentFont(bool parent_font) {
  parent_font_ = parent_font;
  if (parent_font) TakeParentFont();
}

void TControl::TakeParentFont() {
  if (parent_ == nullptr) return;
  taking_parent_font_ = true;
  font_.Assign(parent_->font_);
  taking_parent_font_ = false;
}

void TControl::SetColor(TColor color) {
  color_ = color;
  if (widget_ != nullptr) UpdateWidget();
}

void TControl::FontChanged() {
  if (widget_ != nullptr) ApplyFont();
}

void TControl::ApplyFont() {
  if (IsDefaultFont(font_)) {
    widget_->setFont(QFont());
    widget_->setPalette(QPalette());
    return;
  }
  widget_->setFont(toolkit::ToQFont(font_, QApplication::font()));
  if (font_.Color() != clWindowText) {
    QPalette palette = widget_->palette();
    palette.setColor(QPalette::WindowText, toolkit::ToQColor(font_.Color()));
    palette.setColor(QPalette::Text, toolkit::ToQColor(font_.Color()));
    palette.setColor(QPalette::ButtonText, toolkit::ToQColor(font_.Color()));
    widget_->setPalette(palette);
  }
}

void TControl::UpdateWidget() {
  ApplyGeometry();
  widget_->setEnabled(enabled_);
  ApplyFont();
  ApplyCaption();
}

void TControl::WndProc(TMessage& /*Message*/) {}

void TControl::Send(TMessage& message, bool from_system) {
  const TWndMethod procedure = window_proc_;
  if (!from_system) {
    procedure(message);
    return;
  }
  try {
    procedure(message);
  } catch (...) {
    toolkit::HandleDispatchException(this);
  }
}

intptr_t TControl::Perform(uint32_t Msg, uintptr_t WParam, intptr_t LParam) {
  TMessage message{Msg, WParam, LParam, 0};
  Send(message, false);
  return message.Result;
}

void TControl::ParentWindowCreated() {}
void TControl::ParentWindowDestroying() {}

// ---- TGraphicControl ----

TGraphicControl::~TGraphicControl() {
  if (widget_ != nullptr) {
    toolkit::RetireWidget(widget_);
    widget_ = nullptr;
  }
}

void TGraphicControl::ParentWindowCreated() {
  widget_ = CreateWidget(toolkit::WidgetOf(*Parent()));
  UpdateWidget();
  widget_->setVisible(Visible());
}

void TGraphicControl::ParentWindowDestroying() {
  toolkit::RetireWidget(widget_);
  widget_ = nullptr;
}

// ---- TWinControl ----

TWinControl::TWinControl(TComponent* AOwner) : TControl(AOwner) {}

TWinControl::~TWinControl() {
  Destroying();
  DestroyHandle();
  // Child controls go with their parent, whoever owns them.
  while (!controls_.empty()) delete controls_.back();
  // A dispatch that is still running on this control must not touch it again.
  for (DispatchFrame* frame = frame_; frame != nullptr; frame = frame->outer) frame->control_gone = true;
}

HWND TWinControl::Handle() {
  if (handle_ == 0) {
    // A child's window lives inside its parent's: making the parent's window
    // makes the windows of all its children, this one included.
    if (Parent() != nullptr && !Parent()->HandleAllocated()) Parent()->HandleNeeded();
    if (handle_ == 0) CreateHandle();
  }
  return handle_;
}

QWidget* TWinControl::CreateWidget(QWidget* parent) { return new QWidget(parent); }

void TWinControl::ConnectWidget(WindowBridge& /*bridge*/) {}

void TWinControl::CreateHandle() {
  QWidget* parent_widget = Parent() != nullptr ? Parent()->widget_ : nullptr;
  widget_ = CreateWidget(parent_widget);
  // A new window takes no drops until it is registered for them.
  widget_->setAcceptDrops(false);
  bridge_ = new WindowBridge(this, widget_);
  ConnectWidget(*bridge_);
  UpdateWidget();
  handle_ = toolkit::RegisterWindow(widget_, this);
  // Events come through WindowProc from here on: the first message a window
  // gets is WM_CREATE.
  bridge_->Attach();

  TMessage create{WM_CREATE, 0, 0, 0};
  Deliver(create, false, true);
  if (handle_ == 0) return;  // destroyed while being created
  // As a new window learns its size and place right after it is created.
  TMessage size{WM_SIZE, 0, MakeLParam(Width(), Height()), 0};
  Deliver(size, false, true);
  TMessage move{WM_MOVE, 0, MakeLParam(Left(), Top()), 0};
  Deliver(move, false, true);
  if (handle_ == 0) return;

  for (TControl* control : std::vector<TControl*>(controls_)) {
    if (control->widget_ == nullptr && control->parent_ == this) control->ParentWindowCreated();
  }
  // A child shows with its parent; a window of its own (a form's) shows when
  // it is shown.
  if (Parent() != nullptr && widget_ != nullptr) widget_->setVisible(Visible());
}

void TWinControl::DestroyHandle() {
  if (handle_ == 0) return;
  for (TControl* control : std::vector<TControl*>(controls_)) {
    if (control->widget_ != nullptr) control->ParentWindowDestroying();
  }
  TMessage destroy{WM_DESTROY, 0, 0, 0};
  Deliver(destroy, false, true);
  if (handle_ == 0) return;  // destroyed from inside WM_DESTROY
  toolkit::UnregisterWindow(handle_);
  handle_ = 0;
  bridge_->Detach();
  bridge_ = nullptr;
  QWidget* widget = widget_;
  widget_ = nullptr;
  toolkit::RetireWidget(widget);
}

void TWinControl::RecreateWnd() {
  if (!HandleAllocated()) return;
  DestroyHandle();
  HandleNeeded();
}

void TWinControl::UpdateWidget() {
  TControl::UpdateWidget();
  if (!widget_->isWindow()) widget_->setFocusPolicy(tab_stop_ ? Qt::StrongFocus : Qt::ClickFocus);
}

void TWinControl::ParentWindowCreated() {
  if (handle_ == 0) CreateHandle();
}

void TWinControl::ParentWindowDestroying() { DestroyHandle(); }

TControl* TWinControl::Controls(int index) const {
  if (index < 0 || index >= ControlCount()) {
    throw Exception("Control index out of bounds (" + std::to_string(index) + ")");
  }
  return controls_[static_cast<size_t>(index)];
}

void TWinControl::InsertControl(TControl* control) {
  controls_.push_back(control);
  if (auto* windowed = dynamic_cast<TWinControl*>(control)) tab_list_.push_back(windowed);
}

void TWinControl::RemoveControl(TControl* control) {
  std::erase(controls_, control);
  // A control that is going away is no longer a TWinControl by the time it
  // leaves its parent, so the tab list is searched by address.
  tab_list_.erase(std::remove_if(tab_list_.begin(), tab_list_.end(),
                                 [control](TWinControl* c) { return static_cast<TControl*>(c) == control; }),
                  tab_list_.end());
}

int TWinControl::TabOrder() const {
  if (Parent() == nullptr) return -1;
  const auto& list = Parent()->tab_list_;
  const auto it = std::find(list.begin(), list.end(), this);
  return it == list.end() ? -1 : static_cast<int>(it - list.begin());
}

void TWinControl::SetTabOrder(int tab_order) {
  if (Parent() == nullptr) return;
  auto& list = Parent()->tab_list_;
  std::erase(list, this);
  const int position = std::clamp(tab_order, 0, static_cast<int>(list.size()));
  list.insert(list.begin() + position, this);
}

void TWinControl::CollectTabStops(std::vector<TWinControl*>& stops) const {
  for (TWinControl* control : tab_list_) {
    if (control->widget_ == nullptr || !control->Visible() || !control->Enabled()) continue;
    if (control->tab_stop_) stops.push_back(control);
    control->CollectTabStops(stops);
  }
}

bool TWinControl::SelectNext(bool forward) {
  std::vector<TWinControl*> stops;
  CollectTabStops(stops);
  if (stops.empty()) return false;
  // The window's own focus child: it is kept while the window is not active.
  const QWidget* focus = widget_ != nullptr ? widget_->window()->focusWidget() : nullptr;
  // The stop that holds the focus (a compound widget's part counts), or none.
  auto current = std::find_if(stops.begin(), stops.end(), [focus](const TWinControl* control) {
    return focus != nullptr && (control->widget_ == focus || control->widget_->isAncestorOf(focus));
  });
  size_t next = 0;
  if (current != stops.end()) {
    const auto index = static_cast<size_t>(current - stops.begin());
    next = forward ? (index + 1) % stops.size() : (index + stops.size() - 1) % stops.size();
  } else if (!forward) {
    next = stops.size() - 1;
  }
  stops[next]->widget_->setFocus(forward ? Qt::TabFocusReason : Qt::BacktabFocusReason);
  return true;
}

void TWinControl::SetTabStop(bool tab_stop) {
  tab_stop_ = tab_stop;
  if (widget_ != nullptr && !widget_->isWindow()) {
    widget_->setFocusPolicy(tab_stop ? Qt::StrongFocus : Qt::ClickFocus);
  }
}

void TWinControl::SetVisible(bool visible) {
  StoreVisible(visible);
  // A window of its own shows only when it is a form being shown.
  if (widget_ != nullptr && Parent() != nullptr) widget_->setVisible(visible);
}

bool TWinControl::Focused() const { return widget_ != nullptr && widget_->hasFocus(); }

void TWinControl::SetFocus() {
  HandleNeeded();
  widget_->setFocus(Qt::OtherFocusReason);
}

void TWinControl::FontChanged() {
  TControl::FontChanged();
  for (TControl* control : controls_) {
    if (control->parent_font_) control->TakeParentFont();
  }
}

void TWinControl::WndProc(TMessage& Message) {
  if (frame_ != nullptr && frame_->toolkit_event) frame_->default_reached = true;
  TControl::WndProc(Message);
}

void TWinControl::Send(TMessage& message, bool from_system) { Deliver(message, false, from_system); }

bool TWinControl::Deliver(TMessage& message, bool toolkit_event, bool guarded) {
  DispatchFrame frame;
  frame.outer = frame_;
  frame.toolkit_event = toolkit_event;
  frame_ = &frame;
  const TWndMethod procedure = WindowProc();
  try {
    procedure(message);
  } catch (...) {
    if (!frame.control_gone) frame_ = frame.outer;
    if (!guarded) throw;
    toolkit::HandleDispatchException(frame.control_gone ? nullptr : this);
    return false;
  }
  if (frame.control_gone) return false;
  frame_ = frame.outer;
  return frame.default_reached;
}

}  // namespace resgraft::vcl
