#ifndef RESGRAFT_VCL_FORMS_H_
#define RESGRAFT_VCL_FORMS_H_

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <span>
#include <string>

#include "vcl/classes.h"
#include "vcl/controls.h"

namespace resgraft::vcl {

enum TFormBorderStyle : uint8_t { bsNone, bsSingle, bsSizeable, bsDialog };
enum TBorderIcon : uint8_t { biSystemMenu, biMinimize, biMaximize };
using TBorderIcons = TSet<TBorderIcon>;
enum TFormStyle : uint8_t { fsNormal, fsStayOnTop };
enum TPosition : uint8_t { poDesigned, poScreenCenter };

// A form: a window of its own. Its window is made hidden (when Handle is first
// asked for, or when the form is shown) and shows when Visible is set. Closing
// it hides it; closing the application's main form ends the message loop.
class TCustomForm : public TWinControl {
 public:
  explicit TCustomForm(TComponent* AOwner);
  ~TCustomForm() override;

  // Only bsSizeable lets the user resize the window.
  TFormBorderStyle BorderStyle() const { return border_style_; }
  void SetBorderStyle(TFormBorderStyle border_style);
  TBorderIcons BorderIcons() const { return border_icons_; }
  void SetBorderIcons(TBorderIcons border_icons);
  // fsStayOnTop keeps the window above other windows; the layer's dialogs and
  // message boxes still come above it.
  TFormStyle FormStyle() const { return form_style_; }
  void SetFormStyle(TFormStyle form_style);
  // poScreenCenter centres the window on its screen each time it is shown.
  TPosition Position() const { return position_; }
  void SetPosition(TPosition position) { position_ = position; }
  // The resolution the form was designed at; kept, not used to scale.
  int PixelsPerInch() const { return pixels_per_inch_; }
  void SetPixelsPerInch(int pixels_per_inch) { pixels_per_inch_ = pixels_per_inch; }
  int TextHeight() const { return text_height_; }
  void SetTextHeight(int text_height) { text_height_ = text_height; }

  void SetVisible(bool visible) override;
  void SetBounds(int left, int top, int width, int height) override;
  // Asks the window to close, as the user would.
  void Close();

  void WndProc(TMessage& Message) override;

 protected:
  QWidget* CreateWidget(QWidget* parent) override;
  void UpdateWidget() override;
  void ApplyCaption() override;

 private:
  void ApplyFrame();
  void CenterOnScreen();
  void RecreateKeepingShown();

  TFormBorderStyle border_style_ = bsSizeable;
  TBorderIcons border_icons_{biSystemMenu, biMinimize, biMaximize};
  TFormStyle form_style_ = fsNormal;
  TPosition position_ = poDesigned;
  int pixels_per_inch_ = 96;
  int text_height_ = 13;
};

class TForm : public TCustomForm {
 public:
  explicit TForm(TComponent* AOwner) : TCustomForm(AOwner) {}
};

// The form at the top of `Control`'s chain of parents, or null when the top is
// not a form. A form without a parent is its own.
TCustomForm* GetParentForm(TControl* Control);

using TCursor = int16_t;
constexpr TCursor crDefault = 0;
constexpr TCursor crArrow = -2;
constexpr TCursor crHourGlass = -11;
constexpr TCursor crAppStart = -19;

// The application object: the message loop, the main form, the hidden window
// that owns message boxes, and the default display of exceptions.
class TApplication : public TComponent {
 public:
  explicit TApplication(TComponent* AOwner);
  ~TApplication() override;

  void Initialize() {}
  // Creates a form of class T owned by the application and stores it in
  // `Reference`. The first form created becomes the main form.
  template <class T>
  void CreateForm(T*& Reference) {
    T* form = new T(this);
    Reference = form;
    FormCreated(form);
  }
  TCustomForm* MainForm() const { return main_form_; }

  // Shows the main form and runs the message loop until it closes (or until
  // Terminate). Returns at once without a main form.
  void Run();
  void Terminate();
  bool Terminated() const { return terminated_; }
  // Handles the events that are waiting, then returns.
  void ProcessMessages();

  // The application's own window: hidden, never shown; the owner of message
  // boxes.
  HWND Handle();
  // The caption of the exception display; the program's name at first.
  const std::string& Title() const { return title_; }
  void SetTitle(std::string title) { title_ = std::move(title); }

  // Shows the exception in flight (called from a catch handler); nothing
  // outside one.
  void HandleException(TObject* Sender);
  // Shows the exception's message in a warning box owned by Handle.
  void ShowException(const Exception& E);

  void Notification(TComponent* AComponent, TOperation Operation) override;

 private:
  void FormCreated(TComponent* form);

  TCustomForm* main_form_ = nullptr;
  bool terminated_ = false;
  HWND handle_ = 0;
  std::string title_;
};

// The screen object: the application-wide cursor.
class TScreen : public TComponent {
 public:
  explicit TScreen(TComponent* AOwner) : TComponent(AOwner) {}
  ~TScreen() override;

  TCursor Cursor() const { return cursor_; }
  // crDefault puts back each window's own cursor; any other value shows over
  // every window (crAppStart: the busy cursor).
  void SetCursor(TCursor cursor);

 private:
  TCursor cursor_ = crDefault;
};

// The application and screen objects; they exist while an ApplicationScope does.
// The program's own icon, from PNG images of several sizes: every window of the
// program shows it. Call it once the ApplicationScope exists.
void SetApplicationIcon(std::initializer_list<std::span<const unsigned char>> png_images);

extern TApplication* Application;
extern TScreen* Screen;

// The life of the layer in a program: creates the toolkit's application (unless
// one exists already) and the application and screen objects; at the end
// destroys the application object with every form it owns, then the screen
// object, then the toolkit's application.
class ApplicationScope {
 public:
  ApplicationScope(int& argc, char** argv);
  ~ApplicationScope();
  ApplicationScope(const ApplicationScope&) = delete;
  ApplicationScope& operator=(const ApplicationScope&) = delete;

 private:
  struct Toolkit;
  std::unique_ptr<Toolkit> toolkit_;
};

}  // namespace resgraft::vcl

#endif  // RESGRAFT_VCL_FORMS_H_
