#include "vcl/controls.h"

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QApplication>
#include <QCheckBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QWidget>
#include <gtest/gtest.h>

#include "vcl/forms.h"
#include "vcl/seam.h"
#include "vcl/stdctrls.h"
#include "vcl/toolkit.h"
#include "vcl_test_support.h"

namespace resgraft::vcl {
namespace {

using testing::FlushRetiredWidgets;
using testing::MessageLog;

class ControlsTest : public ::testing::Test {
 protected:
  ControlsTest() : form_(std::make_unique<TForm>(nullptr)) {
    form_->SetBounds(0, 0, 377, 138);
    edit_ = new TEdit(form_.get());
    edit_->SetParent(form_.get());
    edit_->SetBounds(8, 16, 305, 20);
  }
  ~ControlsTest() override {
    form_.reset();
    FlushRetiredWidgets();
  }

  std::unique_ptr<TForm> form_;
  TEdit* edit_;
};

TEST_F(ControlsTest, WindowIsCreatedOnDemandWithItsParentsFirst) {
  MessageLog form_log(*form_);
  MessageLog log(*edit_);
  EXPECT_FALSE(form_->HandleAllocated());
  EXPECT_FALSE(edit_->HandleAllocated());

  const HWND handle = edit_->Handle();

  EXPECT_TRUE(edit_->HandleAllocated());
  EXPECT_TRUE(form_->HandleAllocated());
  EXPECT_NE(handle, 0u);
  EXPECT_NE(handle, 0xFFFFFFFFu);
  EXPECT_NE(handle, form_->Handle());
  EXPECT_EQ(edit_->Handle(), handle) << "asking again makes no new window";
  EXPECT_TRUE(IsWindow(handle));
  EXPECT_EQ(FindControl(handle), edit_);
  // A new window hears of its creation first, then of its size and place.
  ASSERT_GE(log.messages.size(), 3u);
  EXPECT_EQ(log.messages[0].Msg, WM_CREATE);
  EXPECT_EQ(log.messages[1].Msg, WM_SIZE);
  EXPECT_EQ(LParamLow(log.messages[1].LParam), 305);
  EXPECT_EQ(LParamHigh(log.messages[1].LParam), 20);
  EXPECT_EQ(log.messages[2].Msg, WM_MOVE);
  EXPECT_EQ(form_log.messages[0].Msg, WM_CREATE);
  // The form's window exists but is not shown until the form is.
  EXPECT_FALSE(toolkit::WidgetOf(form_->Handle())->isVisible());
  QWidget* widget = toolkit::WidgetOf(handle);
  EXPECT_EQ(widget->parentWidget(), toolkit::WidgetOf(form_->Handle()));
  EXPECT_EQ(widget->geometry(), QRect(8, 16, 305, 20));
}

TEST_F(ControlsTest, DestroyingAWindowTellsItWhileItsHandleIsStillValid) {
  MessageLog form_log(*form_);
  MessageLog log(*edit_);
  const HWND form_handle = form_->Handle();
  const HWND handle = edit_->Handle();
  std::vector<std::string> order;
  bool valid_at_destroy = false;
  log.on_message = [&](TMessage& message) {
    if (message.Msg != WM_DESTROY) return;
    valid_at_destroy = IsWindow(handle);
    order.push_back("edit");
  };
  form_log.on_message = [&](TMessage& message) {
    if (message.Msg == WM_DESTROY) order.push_back("form");
  };

  form_->DestroyHandle();

  EXPECT_TRUE(valid_at_destroy);
  EXPECT_EQ(order, (std::vector<std::string>{"edit", "form"})) << "children first";
  EXPECT_FALSE(edit_->HandleAllocated());
  EXPECT_FALSE(form_->HandleAllocated());
  EXPECT_FALSE(IsWindow(handle));
  EXPECT_FALSE(IsWindow(form_handle));
  EXPECT_EQ(FindControl(handle), nullptr);
  // Asking again makes a new window with a new handle.
  const HWND again = edit_->Handle();
  EXPECT_NE(again, handle);
  EXPECT_TRUE(IsWindow(again));
}

// A window destroyed and made anew is built from the properties the control
// holds, what the user changed included.
TEST_F(ControlsTest, PropertiesSurviveANewWindow) {
  struct Case {
    const char* name;
    std::function<TWinControl*(TForm*)> make;
    std::function<void(QWidget*)> user;  // what the user does to the window
    std::function<void(TWinControl*, QWidget*)> check;
  };
  const Case kCases[] = {
      {"edit box with typed text",
       [](TForm* form) {
         auto* edit = new TEdit(form);
         edit->SetText("set");
         edit->SetReadOnly(true);
         return edit;
       },
       [](QWidget* widget) { static_cast<QLineEdit*>(widget)->setText(QStringLiteral("打った")); },
       [](TWinControl* control, QWidget* widget) {
         EXPECT_EQ(control->Text(), "打った");
         EXPECT_EQ(static_cast<QLineEdit*>(widget)->text(), QStringLiteral("打った"));
         EXPECT_TRUE(static_cast<QLineEdit*>(widget)->isReadOnly());
       }},
      {"check box the user cleared",
       [](TForm* form) {
         auto* box = new TCheckBox(form);
         box->SetCaption("Icon");
         box->SetChecked(true);
         return box;
       },
       [](QWidget* widget) { static_cast<QCheckBox*>(widget)->click(); },
       [](TWinControl* control, QWidget* widget) {
         EXPECT_FALSE(static_cast<TCheckBox*>(control)->Checked());
         EXPECT_FALSE(static_cast<QCheckBox*>(widget)->isChecked());
         EXPECT_EQ(static_cast<QCheckBox*>(widget)->text(), QStringLiteral("Icon"));
       }},
      {"disabled button",
       [](TForm* form) {
         auto* button = new TButton(form);
         button->SetCaption("保存...");
         button->SetEnabled(false);
         return button;
       },
       [](QWidget*) {},
       [](TWinControl*, QWidget* widget) {
         EXPECT_FALSE(widget->isEnabled());
         EXPECT_EQ(static_cast<QPushButton*>(widget)->text(), QStringLiteral("保存..."));
       }},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    TWinControl* control = c.make(form_.get());
    control->SetParent(form_.get());
    control->SetBounds(104, 88, 97, 17);
    const HWND before = control->Handle();
    c.user(toolkit::WidgetOf(before));

    control->RecreateWnd();

    ASSERT_TRUE(control->HandleAllocated());
    EXPECT_NE(control->Handle(), before);
    QWidget* widget = toolkit::WidgetOf(control->Handle());
    EXPECT_EQ(widget->geometry(), QRect(104, 88, 97, 17));
    c.check(control, widget);
    delete control;
  }
}

TEST_F(ControlsTest, TextSetByTheProgramKeepsItsBytes) {
  // Not valid UTF-8, as a file name may be; the window can only show it
  // approximately, but the property keeps it exactly.
  const std::string bytes = "/tmp/\xff\xfe.exe";
  edit_->SetText(bytes);
  edit_->HandleNeeded();
  EXPECT_EQ(edit_->Text(), bytes);
  edit_->RecreateWnd();
  EXPECT_EQ(edit_->Text(), bytes);
}

// Every event that reaches the widget travels through WindowProc as a message.
TEST_F(ControlsTest, ToolkitEventsArriveAsMessages) {
  MessageLog log(*edit_);
  QWidget* widget = toolkit::WidgetOf(edit_->Handle());
  QEvent custom(static_cast<QEvent::Type>(QEvent::User + 7));
  struct Case {
    const char* name;
    std::function<void()> send;
    uint32_t msg;
    uintptr_t wparam;
    intptr_t lparam;
  };
  const Case kCases[] = {
      {"key",
       [widget] {
         QKeyEvent key(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
         QCoreApplication::sendEvent(widget, &key);
       },
       WM_KEYDOWN, static_cast<uintptr_t>(Qt::Key_A), 0},
      {"left button",
       [widget] {
         QMouseEvent press(QEvent::MouseButtonPress, QPointF(3, 4), QPointF(3, 4), Qt::LeftButton, Qt::LeftButton,
                           Qt::NoModifier);
         QCoreApplication::sendEvent(widget, &press);
       },
       WM_LBUTTONDOWN, 0, MakeLParam(3, 4)},
      {"right button up",
       [widget] {
         QMouseEvent release(QEvent::MouseButtonRelease, QPointF(-2, 9), QPointF(-2, 9), Qt::RightButton,
                             Qt::NoButton, Qt::NoModifier);
         QCoreApplication::sendEvent(widget, &release);
       },
       WM_RBUTTONUP, 0, MakeLParam(-2, 9)},
      {"any other event", [widget, &custom] { QCoreApplication::sendEvent(widget, &custom); }, WM_TOOLKITEVENT,
       static_cast<uintptr_t>(QEvent::User + 7), reinterpret_cast<intptr_t>(&custom)},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    log.messages.clear();
    c.send();
    // The toolkit may send events of its own first (a key is offered as a
    // shortcut before it is pressed).
    const auto it = std::find_if(log.messages.begin(), log.messages.end(), [&c](const TMessage& message) {
      return message.Msg == c.msg && (c.msg != WM_TOOLKITEVENT || message.WParam == c.wparam);
    });
    ASSERT_NE(it, log.messages.end());
    EXPECT_EQ(it->WParam, c.wparam);
    EXPECT_EQ(it->LParam, c.lparam);
  }
}

// A procedure in front of the control decides whether the toolkit sees an event.
class Swallower {
 public:
  Swallower(TControl& control, uint32_t swallowed) : next_(control.WindowProc()), swallowed_(swallowed) {
    control.SetWindowProc(TWndMethod(this, &Swallower::Proc));
  }
  void Proc(TMessage& message) {
    if (message.Msg != swallowed_) next_(message);
  }

 private:
  TWndMethod next_;
  uint32_t swallowed_;
};

TEST_F(ControlsTest, AnEventKeptFromTheControlsOwnProcedureNeverReachesTheToolkit) {
  QWidget* widget = toolkit::WidgetOf(edit_->Handle());
  auto type = [widget](const char* text) {
    QKeyEvent key(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QString::fromUtf8(text));
    QCoreApplication::sendEvent(widget, &key);
  };
  {
    Swallower swallower(*edit_, WM_KEYDOWN);
    type("a");
    EXPECT_EQ(edit_->Text(), "");
    edit_->SetWindowProc(TWndMethod(static_cast<TControl*>(edit_), &TControl::WndProc));
  }
  type("b");
  EXPECT_EQ(edit_->Text(), "b");
}

class Responder {
 public:
  void Proc(TMessage& message) {
    seen = message;
    if (message.Msg == WM_APP + 1) message.Result = 42;
    if (message.Msg == WM_KEYDOWN || message.Msg == WM_APP + 2) throw Exception("窓で失敗");
  }
  TMessage seen;
};

TEST_F(ControlsTest, PerformSendsThroughWindowProcAndReturnsTheResult) {
  Responder responder;
  edit_->SetWindowProc(TWndMethod(&responder, &Responder::Proc));
  EXPECT_EQ(edit_->Perform(WM_APP + 1, 7, -9), 42);
  EXPECT_EQ(responder.seen.WParam, 7u);
  EXPECT_EQ(responder.seen.LParam, -9);
  // Perform hands an exception back to its caller ...
  EXPECT_THROW(edit_->Perform(WM_APP + 2, 0, 0), Exception);
}

TEST_F(ControlsTest, AnExceptionFromASystemMessageGoesToTheApplicationsDisplay) {
  ScriptedUi script;
  Responder responder;
  QWidget* widget = toolkit::WidgetOf(edit_->Handle());
  edit_->SetWindowProc(TWndMethod(&responder, &Responder::Proc));
  // ... while one raised by a toolkit event must never reach the toolkit.
  QKeyEvent key(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
  QCoreApplication::sendEvent(widget, &key);
  EXPECT_EQ(script.Exceptions(), std::vector<std::string>{"窓で失敗"});
  edit_->SetWindowProc(TWndMethod(static_cast<TControl*>(edit_), &TControl::WndProc));
}

// Deletes its control when a given toolkit event arrives.
class Destroyer {
 public:
  Destroyer(TEdit*& control, QEvent::Type type) : control_(control), type_(type) {}
  void Proc(TMessage& message) {
    if (message.Msg == WM_TOOLKITEVENT && message.WParam == static_cast<uintptr_t>(type_)) {
      delete control_;
      control_ = nullptr;
    }
  }

 private:
  TEdit*& control_;
  QEvent::Type type_;
};

TEST_F(ControlsTest, AControlMayBeDestroyedFromInsideItsOwnMessage) {
  const auto type = static_cast<QEvent::Type>(QEvent::User + 1);
  Destroyer destroyer(edit_, type);
  QWidget* widget = toolkit::WidgetOf(edit_->Handle());
  edit_->SetWindowProc(TWndMethod(&destroyer, &Destroyer::Proc));
  QEvent custom(type);

  QCoreApplication::sendEvent(widget, &custom);

  EXPECT_EQ(edit_, nullptr);
  EXPECT_EQ(form_->ControlCount(), 0);
  // The widget goes once the event is over.
  FlushRetiredWidgets();
}

TEST_F(ControlsTest, TheTabKeyFollowsTabOrderPastControlsThatAreNoStops) {
  auto* second = new TEdit(form_.get());
  second->SetParent(form_.get());
  auto* not_a_stop = new TEdit(form_.get());
  not_a_stop->SetParent(form_.get());
  not_a_stop->SetTabStop(false);
  auto* button = new TButton(form_.get());
  button->SetParent(form_.get());
  auto* label = new TLabel(form_.get());
  label->SetParent(form_.get());
  EXPECT_EQ(edit_->TabOrder(), 0);
  EXPECT_EQ(button->TabOrder(), 3);

  button->SetTabOrder(0);  // before the windows exist
  form_->Show();
  second->SetTabOrder(1);  // and after

  EXPECT_EQ(button->TabOrder(), 0);
  EXPECT_EQ(second->TabOrder(), 1);
  EXPECT_EQ(edit_->TabOrder(), 2);
  EXPECT_EQ(not_a_stop->TabOrder(), 3);
  ASSERT_NE(toolkit::WidgetOf(*label), nullptr) << "a label shows in its parent's window";
  EXPECT_EQ(toolkit::WidgetOf(*label)->parentWidget(), toolkit::WidgetOf(*form_));

  // The window may not be the active one here: its own focus child counts.
  QWidget* window = toolkit::WidgetOf(*form_);
  button->SetFocus();
  ASSERT_EQ(window->focusWidget(), toolkit::WidgetOf(*button));
  std::vector<const TWinControl*> visited;
  for (int i = 0; i < 4; ++i) {
    QKeyEvent tab(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier);
    QCoreApplication::sendEvent(window->focusWidget(), &tab);
    for (const TWinControl* control : std::initializer_list<const TWinControl*>{button, second, edit_, not_a_stop}) {
      if (window->focusWidget() == toolkit::WidgetOf(*control)) visited.push_back(control);
    }
  }
  EXPECT_EQ(visited, (std::vector<const TWinControl*>{second, edit_, button, second}));
  form_->Close();
}

}  // namespace
}  // namespace resgraft::vcl
