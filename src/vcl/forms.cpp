#include "vcl/forms.h"

#include <cstdio>

#include <QApplication>
#include <QCursor>
#include <QFileInfo>
#include <QFont>
#include <QIcon>
#include <QPixmap>
#include <QScreen>
#include <QWidget>

#include "vcl/dialogs.h"
#include "vcl/seam.h"
#include "vcl/toolkit.h"

namespace resgraft::vcl {

TApplication* Application = nullptr;
TScreen* Screen = nullptr;

// ---- TCustomForm ----

TCustomForm::TCustomForm(TComponent* AOwner) : TWinControl(AOwner) { StoreVisible(false); }

TCustomForm::~TCustomForm() { Destroying(); }

namespace {

// A form's window: the Tab key moves along the form's own tab order (the
// toolkit's focus chain follows the order the widgets were made in).
class FormWindow : public QWidget {
 public:
  FormWindow() : QWidget(nullptr, Qt::Window) {}

 protected:
  bool focusNextPrevChild(bool next) override {
    const auto* bridge = findChild<const WindowBridge*>(QString(), Qt::FindDirectChildrenOnly);
    TWinControl* form = bridge != nullptr ? bridge->Control() : nullptr;
    if (form != nullptr && form->SelectNext(next)) return true;
    return QWidget::focusNextPrevChild(next);
  }
};

}  // namespace

QWidget* TCustomForm::CreateWidget(QWidget* /*parent*/) {
  // A form is always a window of its own.
  return new FormWindow;
}

void TCustomForm::ApplyFrame() {
  Qt::WindowFlags flags = Qt::Window;
  if (border_style_ == bsNone) {
    flags |= Qt::FramelessWindowHint;
  } else {
    flags |= Qt::CustomizeWindowHint | Qt::WindowTitleHint;
    if (border_icons_.Contains(biSystemMenu)) flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    if (border_icons_.Contains(biMinimize) && border_style_ != bsDialog) flags |= Qt::WindowMinimizeButtonHint;
    if (border_icons_.Contains(biMaximize) && border_style_ == bsSizeable) flags |= Qt::WindowMaximizeButtonHint;
  }
  if (form_style_ == fsStayOnTop) flags |= Qt::WindowStaysOnTopHint;
  widget_->setWindowFlags(flags);
}

void TCustomForm::UpdateWidget() {
  ApplyFrame();
  TWinControl::UpdateWidget();
  if (border_style_ == bsSizeable) {
    widget_->setMinimumSize(0, 0);
    widget_->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
  } else {
    widget_->setFixedSize(Width(), Height());
  }
  QPalette palette = widget_->palette();
  palette.setColor(QPalette::Window, toolkit::ToQColor(Color()));
  widget_->setPalette(palette);
  widget_->setAutoFillBackground(true);
}

void TCustomForm::ApplyCaption() { widget_->setWindowTitle(toolkit::FromTextBytes(Caption())); }

void TCustomForm::SetBounds(int left, int top, int width, int height) {
  StoreBounds(left, top, width, height);
  if (widget_ == nullptr) return;
  if (border_style_ != bsSizeable) widget_->setFixedSize(width, height);
  widget_->move(left, top);
  widget_->resize(width, height);
}

void TCustomForm::RecreateKeepingShown() {
  if (!HandleAllocated()) return;
  RecreateWnd();
  if (Visible()) SetVisible(true);
}

void TCustomForm::SetBorderStyle(TFormBorderStyle border_style) {
  border_style_ = border_style;
  RecreateKeepingShown();
}

void TCustomForm::SetBorderIcons(TBorderIcons border_icons) {
  border_icons_ = border_icons;
  RecreateKeepingShown();
}

void TCustomForm::SetFormStyle(TFormStyle form_style) {
  form_style_ = form_style;
  RecreateKeepingShown();
}

void TCustomForm::SetVisible(bool visible) {
  StoreVisible(visible);
  if (!visible) {
    if (widget_ != nullptr) widget_->hide();
    return;
  }
  HandleNeeded();
  CenterOnScreen();
  widget_->show();
  // Again, now that the frame the window manager adds is known.
  CenterOnScreen();
  widget_->activateWindow();
}

void TCustomForm::CenterOnScreen() {
  if (position_ != poScreenCenter) return;
  QScreen* screen = widget_->screen();
  if (screen == nullptr) return;
  const QRect area = screen->availableGeometry();
  const QSize size = widget_->frameGeometry().size();
  widget_->move(area.x() + (area.width() - size.width()) / 2, area.y() + (area.height() - size.height()) / 2);
}

void TCustomForm::Close() {
  if (widget_ != nullptr) {
    widget_->close();
    return;
  }
  TMessage message{WM_CLOSE, 0, 0, 0};
  Send(message, true);
}

void TCustomForm::WndProc(TMessage& Message) {
  TWinControl::WndProc(Message);
  if (Message.Msg != WM_CLOSE) return;
  StoreVisible(false);
  if (widget_ != nullptr) widget_->hide();
  if (Application != nullptr && Application->MainForm() == this) Application->Terminate();
}

TCustomForm* GetParentForm(TControl* Control) {
  if (Control == nullptr) return nullptr;
  while (Control->Parent() != nullptr) Control = Control->Parent();
  return dynamic_cast<TCustomForm*>(Control);
}

// ---- TApplication ----

TApplication::TApplication(TComponent* AOwner) : TComponent(AOwner) {
  if (QCoreApplication::instance() != nullptr) {
    title_ = toolkit::ToTextBytes(QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName());
  }
}

TApplication::~TApplication() {
  Destroying();
  DestroyComponents();
  if (handle_ != 0) {
    QWidget* window = toolkit::WidgetOf(handle_);
    toolkit::UnregisterWindow(handle_);
    delete window;
  }
}

void TApplication::FormCreated(TComponent* form) {
  auto* custom_form = dynamic_cast<TCustomForm*>(form);
  if (main_form_ == nullptr && custom_form != nullptr) {
    custom_form->HandleNeeded();
    main_form_ = custom_form;
  }
}

void TApplication::Notification(TComponent* AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent == main_form_) main_form_ = nullptr;
}

void TApplication::Run() {
  if (main_form_ == nullptr || terminated_) return;
  main_form_->Show();
  if (!terminated_) QApplication::exec();
}

void TApplication::Terminate() {
  terminated_ = true;
  QCoreApplication::exit(0);
}

void TApplication::ProcessMessages() { QCoreApplication::processEvents(); }

HWND TApplication::Handle() {
  if (handle_ == 0) {
    auto* window = new QWidget(nullptr, Qt::Window);
    window->setAttribute(Qt::WA_DontShowOnScreen, true);
    handle_ = toolkit::RegisterWindow(window, nullptr);
  }
  return handle_;
}

void TApplication::HandleException(TObject* /*Sender*/) {
  const std::exception_ptr exception = std::current_exception();
  if (!exception) return;
  try {
    std::rethrow_exception(exception);
  } catch (const Exception& e) {
    ShowException(e);
  } catch (const std::exception& e) {
    ShowException(Exception(e.what()));
  } catch (...) {
    ShowException(Exception("Unknown exception"));
  }
}

void TApplication::ShowException(const Exception& E) {
  if (ScriptedUi* script = ScriptedUi::Active()) {
    script->RecordException(E.Message());
    return;
  }
  toolkit::ShowMessageBox(Handle(), E.Message(), title_, MB_ICONWARNING | MB_OK);
}

// ---- TScreen ----

namespace {

Qt::CursorShape ToQtCursor(TCursor cursor) {
  switch (cursor) {
    case crAppStart:
      return Qt::BusyCursor;
    case crHourGlass:
      return Qt::WaitCursor;
    default:
      return Qt::ArrowCursor;
  }
}

}  // namespace

TScreen::~TScreen() { SetCursor(crDefault); }

void TScreen::SetCursor(TCursor cursor) {
  if (cursor == cursor_) return;
  if (cursor_ != crDefault) QApplication::restoreOverrideCursor();
  cursor_ = cursor;
  if (cursor != crDefault) QApplication::setOverrideCursor(QCursor(ToQtCursor(cursor)));
}

// ---- toolkit helpers that need the application ----

namespace toolkit {

QWidget* DialogParent(HWND owner) {
  if (QWidget* widget = WidgetOf(owner); widget != nullptr && widget->isVisible()) return widget->window();
  if (QWidget* active = QApplication::activeWindow()) return active;
  if (Application != nullptr && Application->MainForm() != nullptr) {
    QWidget* main = WidgetOf(*Application->MainForm());
    if (main != nullptr && main->isVisible()) return main;
  }
  // Any shown form, one that stays on top first: the box must not fall behind it.
  QWidget* shown = nullptr;
  for (QWidget* window : QApplication::topLevelWidgets()) {
    if (!window->isVisible() || dynamic_cast<FormWindow*>(window) == nullptr) continue;
    if (window->windowFlags() & Qt::WindowStaysOnTopHint) return window;
    if (shown == nullptr) shown = window;
  }
  return shown;
}

void HandleDispatchException(TObject* sender) {
  if (Application != nullptr) {
    Application->HandleException(sender);
    return;
  }
  // No application object: nothing can show it; the toolkit must not see it.
  try {
    throw;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
  } catch (...) {
    std::fprintf(stderr, "Unknown exception\n");
  }
}

}  // namespace toolkit

// ---- ApplicationScope ----

struct ApplicationScope::Toolkit {
  std::unique_ptr<QApplication> application;
};

ApplicationScope::ApplicationScope(int& argc, char** argv) : toolkit_(std::make_unique<Toolkit>()) {
  if (QCoreApplication::instance() == nullptr) toolkit_->application = std::make_unique<QApplication>(argc, argv);
  // The loop ends when the main form closes, not when the last window does.
  QApplication::setQuitOnLastWindowClosed(false);
  // Japanese faces that Windows programs name, mapped to the metric-compatible IPA
  // faces (fonts-ipafont-gothic); fontconfig alone has no alias for these names.
  const QStringList proportional = {QStringLiteral("IPAPGothic"), QStringLiteral("IPAexGothic")};
  const QStringList fixed = {QStringLiteral("IPAGothic")};
  QFont::insertSubstitutions(QStringLiteral("ＭＳ Ｐゴシック"), proportional);
  QFont::insertSubstitutions(QStringLiteral("MS PGothic"), proportional);
  QFont::insertSubstitutions(QStringLiteral("ＭＳ ゴシック"), fixed);
  QFont::insertSubstitutions(QStringLiteral("MS Gothic"), fixed);
  Application = new TApplication(nullptr);
  Screen = new TScreen(nullptr);
}

void SetApplicationIcon(std::initializer_list<std::span<const unsigned char>> png_images) {
  QIcon icon;
  for (const std::span<const unsigned char> image : png_images) {
    QPixmap pixmap;
    if (pixmap.loadFromData(image.data(), static_cast<uint>(image.size()), "PNG")) icon.addPixmap(pixmap);
  }
  QApplication::setWindowIcon(icon);
}

ApplicationScope::~ApplicationScope() {
  delete Application;
  Application = nullptr;
  delete Screen;
  Screen = nullptr;
  // Windows retired while events were being handled are deleted now.
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  toolkit_->application.reset();
}

}  // namespace resgraft::vcl
