#include "vcl/forms.h"

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <QApplication>
#include <QCursor>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <gtest/gtest.h>

#include "vcl/dialogs.h"
#include "vcl/seam.h"
#include "vcl/stdctrls.h"
#include "vcl/toolkit.h"
#include "vcl_test_support.h"

namespace resgraft::vcl {
namespace {

using testing::FlushRetiredWidgets;

TEST(GetParentFormTest, FollowsTheParentsToTheTop) {
  TForm form(nullptr);
  auto* panel = new TWinControl(&form);
  panel->SetParent(&form);
  auto* on_panel = new TEdit(&form);
  on_panel->SetParent(panel);
  auto* loose_top = new TWinControl(&form);
  auto* under_loose = new TEdit(&form);
  under_loose->SetParent(loose_top);
  auto* no_parent = new TEdit(&form);
  struct Case {
    const char* name;
    TControl* control;
    TCustomForm* form;
  };
  const Case kCases[] = {
      {"control on a panel on the form", on_panel, &form},
      {"the form itself", &form, &form},
      {"parents end in a control that is not a form, though a form owns it", under_loose, nullptr},
      {"no parent", no_parent, nullptr},
      {"none", nullptr, nullptr},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(GetParentForm(c.control), c.form);
  }
}

TEST(FormTest, WindowFollowsTheFormsSettings) {
  TForm form(nullptr);
  form.SetCaption("リソースのコピー");
  form.SetBorderStyle(bsSingle);
  form.SetBorderIcons({biSystemMenu, biMinimize});
  form.SetFormStyle(fsStayOnTop);
  form.SetPosition(poScreenCenter);
  form.SetBounds(192, 109, 377, 138);

  QWidget* window = toolkit::WidgetOf(form.Handle());
  EXPECT_FALSE(window->isVisible()) << "made hidden";
  form.Show();

  EXPECT_TRUE(window->isVisible());
  EXPECT_TRUE(window->isWindow());
  EXPECT_EQ(window->windowTitle(), QStringLiteral("リソースのコピー"));
  EXPECT_TRUE(window->windowFlags() & Qt::WindowStaysOnTopHint);
  EXPECT_TRUE(window->windowFlags() & Qt::WindowMinimizeButtonHint);
  EXPECT_FALSE(window->windowFlags() & Qt::WindowMaximizeButtonHint);
  EXPECT_EQ(window->size(), QSize(377, 138));
  EXPECT_EQ(window->minimumSize(), window->maximumSize()) << "a single border is not resizable";
  const QRect screen = window->screen()->availableGeometry();
  EXPECT_NEAR(window->frameGeometry().center().x(), screen.center().x(), 1);
  EXPECT_NEAR(window->frameGeometry().center().y(), screen.center().y(), 1);
  EXPECT_EQ(window->palette().color(QPalette::Window), QApplication::palette().color(QPalette::Button));

  form.Close();
  EXPECT_FALSE(window->isVisible());
  EXPECT_FALSE(form.Visible());
}

TEST(ApplicationTest, TheFirstFormCreatedIsTheMainFormAndItsClosingEndsTheLoop) {
  ASSERT_NE(Application, nullptr);
  TForm* first = nullptr;
  TForm* second = nullptr;
  Application->CreateForm(first);
  Application->CreateForm(second);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->Owner(), Application);
  EXPECT_EQ(Application->MainForm(), first);
  EXPECT_TRUE(first->HandleAllocated());
  EXPECT_FALSE(second->HandleAllocated());

  bool shown_while_running = false;
  QTimer::singleShot(0, [&] {
    shown_while_running = toolkit::WidgetOf(*first)->isVisible();
    second->Close();  // not the main form: the loop goes on
    QTimer::singleShot(0, [&] { first->Close(); });
  });
  Application->Run();

  EXPECT_TRUE(shown_while_running);
  EXPECT_TRUE(Application->Terminated());
  delete second;
  delete first;
  EXPECT_EQ(Application->MainForm(), nullptr);
  FlushRetiredWidgets();
}

TEST(ScreenTest, CursorShowsOverEveryWindowUntilPutBack) {
  struct Case {
    const char* name;
    std::vector<TCursor> settings;
    bool overridden;
    Qt::CursorShape shape;
  };
  const Case kCases[] = {
      {"busy", {crAppStart}, true, Qt::BusyCursor},
      {"busy, then back", {crAppStart, crDefault}, false, Qt::ArrowCursor},
      {"busy twice, then back once", {crAppStart, crAppStart, crDefault}, false, Qt::ArrowCursor},
      {"hourglass after busy", {crAppStart, crHourGlass}, true, Qt::WaitCursor},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    for (TCursor cursor : c.settings) Screen->SetCursor(cursor);
    EXPECT_EQ(Screen->Cursor(), c.settings.back());
    const QCursor* cursor = QGuiApplication::overrideCursor();
    EXPECT_EQ(cursor != nullptr, c.overridden);
    if (cursor != nullptr) {
      EXPECT_EQ(cursor->shape(), c.shape);
    }
    Screen->SetCursor(crDefault);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
  }
}

TEST(ApplicationTest, ExceptionDisplayShowsTheMessageOfTheExceptionInFlight) {
  ScriptedUi script;
  try {
    throw Exception("フック先を特定できません。");
  } catch (...) {
    Application->HandleException(nullptr);
  }
  try {
    throw std::runtime_error("out of memory");
  } catch (...) {
    Application->HandleException(nullptr);
  }
  Application->HandleException(nullptr);  // nothing in flight: nothing shown
  EXPECT_EQ(script.Exceptions(), (std::vector<std::string>{"フック先を特定できません。", "out of memory"}));
  EXPECT_TRUE(script.MessageBoxes().empty());
}

TEST(MessageBoxTest, TheSeamSeesTheVeryBytes) {
  ScriptedUi script;
  const std::string text = "PEファイルではありません。\r\n/tmp/a b.exe ";
  EXPECT_EQ(MessageBoxA(Application->Handle(), text.c_str(), nullptr, MB_ICONWARNING | MB_OK), IDOK);
  EXPECT_EQ(MessageBoxA(0, "x", "題", MB_OK), IDOK);
  EXPECT_THROW(MessageBoxA(0, "x", nullptr, MB_ICONWARNING | 0x4 /* yes and no */), Exception);

  ASSERT_EQ(script.MessageBoxes().size(), 2u);
  const ScriptedUi::MessageBoxCall& call = script.MessageBoxes()[0];
  EXPECT_EQ(call.owner, Application->Handle());
  EXPECT_TRUE(IsWindow(call.owner));
  EXPECT_EQ(call.text, text);
  EXPECT_EQ(call.caption, "エラー");
  EXPECT_TRUE(call.default_caption);
  EXPECT_EQ(call.style, 0x30u);
  EXPECT_EQ(script.MessageBoxes()[1].caption, "題");
  EXPECT_FALSE(script.MessageBoxes()[1].default_caption);
}

// What a real box showed, read while it was open.
struct ShownBox {
  QString text;
  QString caption;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  int buttons = 0;
  bool stays_on_top = false;
  QWidget* parent = nullptr;
};

TEST(MessageBoxTest, ARealBoxShowsEachCrLfAsOneBreakAboveTheStayOnTopForm) {
  TForm form(nullptr);
  form.SetFormStyle(fsStayOnTop);
  form.Show();
  ShownBox shown;
  QTimer::singleShot(0, [&shown] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    shown = ShownBox{box->text(), box->windowTitle(), box->icon(), static_cast<int>(box->buttons().size()),
                     static_cast<bool>(box->windowFlags() & Qt::WindowStaysOnTopHint), box->parentWidget()};
    box->button(QMessageBox::Ok)->click();
  });

  EXPECT_EQ(MessageBoxA(Application->Handle(), "一行目\r\n二行目 ", nullptr, MB_ICONWARNING | MB_OK), IDOK);

  EXPECT_EQ(shown.text, QStringLiteral("一行目\n二行目 "));
  EXPECT_EQ(shown.caption, QStringLiteral("エラー"));
  EXPECT_EQ(shown.icon, QMessageBox::Warning);
  EXPECT_EQ(shown.buttons, 1);
  EXPECT_TRUE(shown.stays_on_top);
  // The application's window is hidden; the box belongs to the shown form.
  EXPECT_EQ(shown.parent, toolkit::WidgetOf(form));
  form.Close();
  FlushRetiredWidgets();
}

TEST(ApplicationTest, TheRealExceptionDisplayIsAWarningBoxWithTheMessage) {
  ShownBox shown;
  QTimer::singleShot(0, [&shown] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    shown.text = box->text();
    shown.caption = box->windowTitle();
    shown.icon = box->icon();
    box->button(QMessageBox::Ok)->click();
  });
  Application->ShowException(Exception("失敗しました。"));
  EXPECT_EQ(shown.text, QStringLiteral("失敗しました。"));
  EXPECT_EQ(shown.caption, toolkit::FromTextBytes(Application->Title()));
  EXPECT_EQ(shown.icon, QMessageBox::Warning);
}

}  // namespace
}  // namespace resgraft::vcl
