#include "components/dropdst.h"

#include <memory>
#include <string>
#include <vector>

#include <QFile>
#include <QMimeData>
#include <QUrl>
#include <QString>
#include <QWidget>
#include <gtest/gtest.h>

#include "vcl/forms.h"
#include "vcl/seam.h"
#include "vcl/stdctrls.h"
#include "vcl/toolkit.h"
#include "vcl_test_support.h"

namespace resgraft::components {
namespace {

using vcl::HDROP;
using vcl::TEdit;
using vcl::TForm;
using vcl::testing::DragFiles;
using vcl::testing::FlushRetiredWidgets;
using vcl::testing::MessageLog;

// Receives drops as the main window's handlers do.
class Receiver {
 public:
  void FileDrop(vcl::TObject* Sender, vcl::TStrings& Files, int X, int Y) {
    ++calls;
    sender = Sender;
    files.clear();
    for (int i = 0; i < Files.Count(); ++i) files.push_back(Files[i]);
    x = X;
    y = Y;
    if (!raise.empty()) throw vcl::Exception(raise);
  }
  TFileDropEvent Handler() { return TFileDropEvent(this, &Receiver::FileDrop); }

  int calls = 0;
  vcl::TObject* sender = nullptr;
  std::vector<std::string> files;
  int x = -1;
  int y = -1;
  std::string raise;
};

// A form with two path boxes, the first served by a drop target read as from
// the form's description (the second box is there to move the target to).
struct DropScene {
  DropScene() : form_(std::make_unique<TForm>(nullptr)) {
    form_->SetBounds(0, 0, 377, 138);
    edit1_ = MakeEdit(16);
    edit2_ = MakeEdit(56);
    log_ = std::make_unique<MessageLog>(*edit1_);
    drop_ = new TDropDst(form_.get());
  }
  ~DropScene() {
    form_.reset();
    FlushRetiredWidgets();
  }

  TEdit* MakeEdit(int top) {
    auto* edit = new TEdit(form_.get());
    edit->SetParent(form_.get());
    edit->SetBounds(8, top, 305, 20);
    edit->SetReadOnly(true);
    edit->SetTabStop(false);
    return edit;
  }

  // As the reader of a form description does it.
  void Load(bool accept_drop = true) {
    drop_->Loading();
    drop_->SetControl(edit1_);
    drop_->SetOnFileDrop(receiver_.Handler());
    if (!accept_drop) drop_->SetAcceptDrop(false);
    drop_->SetTarget(htControl);
    drop_->Loaded();
  }

  QWidget* Window(TEdit* edit) { return vcl::toolkit::WidgetOf(edit->Handle()); }

  std::unique_ptr<TForm> form_;
  TEdit* edit1_;
  TEdit* edit2_;
  std::unique_ptr<MessageLog> log_;
  TDropDst* drop_;
  Receiver receiver_;
};

class DropTargetTest : public ::testing::Test, protected DropScene {};

TEST_F(DropTargetTest, ARealDropOfThreeFilesArrivesAsOneEvent) {
  Load();
  form_->Show();
  const QStringList paths{"/tmp/source.exe", "/tmp/空白 のある/名前.dll", "/tmp/third.ocx"};

  const vcl::testing::DragResult result = DragFiles(Window(edit1_), paths, QPoint(17, 5));

  EXPECT_TRUE(result.enter_accepted);
  EXPECT_TRUE(result.drop_accepted);
  EXPECT_EQ(receiver_.calls, 1);
  EXPECT_EQ(receiver_.sender, drop_);
  EXPECT_EQ(receiver_.files, (std::vector<std::string>{"/tmp/source.exe", "/tmp/空白 のある/名前.dll",
                                                        "/tmp/third.ocx"}));
  EXPECT_EQ(receiver_.x, 17);
  EXPECT_EQ(receiver_.y, 5);
  EXPECT_FALSE(log_->Saw(vcl::WM_DROPFILES));
}

TEST_F(DropTargetTest, NamesArriveWholeWhateverTheirLength) {
  Load();
  // 90 Japanese characters are 270 bytes; the other name passes any buffer a
  // path was ever given.
  QString japanese = QStringLiteral("/tmp/");
  for (int i = 0; i < 90; ++i) japanese += QChar(0x3042 + i % 80);
  japanese += QStringLiteral(".exe");
  const QString very_long = QStringLiteral("/tmp/") + QString(5000, QLatin1Char('n')) + QStringLiteral(".dll");
  ASSERT_GT(QFile::encodeName(japanese).size(), 259);

  DragFiles(Window(edit1_), {japanese, very_long}, QPoint(1, 1));

  ASSERT_EQ(receiver_.files.size(), 2u);
  EXPECT_EQ(receiver_.files[0], QFile::encodeName(japanese).toStdString());
  EXPECT_EQ(receiver_.files[1], QFile::encodeName(very_long).toStdString());
}

// WM_DROPFILES is the drop target's; every other message goes on unchanged.
TEST_F(DropTargetTest, OnlyDropsAreKeptFromTheControl) {
  Load();
  struct Case {
    const char* name;
    uint32_t msg;
    uintptr_t wparam;
    intptr_t lparam;
    bool reaches_control;
  };
  const HDROP drop = vcl::toolkit::NewDrop({"/tmp/a.exe"}, vcl::TPoint{2, 3});
  const Case kCases[] = {
      {"key", vcl::WM_KEYDOWN, 0x41, 0x001E0001, true},
      {"paint", vcl::WM_PAINT, 0, 0, true},
      {"private", vcl::WM_APP + 5, 7, -3, true},
      {"drop", vcl::WM_DROPFILES, drop, 0, false},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    log_->messages.clear();
    edit1_->Perform(c.msg, c.wparam, c.lparam);
    ASSERT_EQ(log_->messages.size(), c.reaches_control ? 1u : 0u);
    if (c.reaches_control) {
      EXPECT_EQ(log_->messages[0].Msg, c.msg);
      EXPECT_EQ(log_->messages[0].WParam, c.wparam);
      EXPECT_EQ(log_->messages[0].LParam, c.lparam);
    }
  }
  EXPECT_EQ(receiver_.files, std::vector<std::string>{"/tmp/a.exe"});
  EXPECT_FALSE(vcl::toolkit::IsDrop(drop)) << "the drop is finished";
}

TEST_F(DropTargetTest, AHandlerThatRaisesIsShownAndTheDropStillFinished) {
  vcl::ScriptedUi script;
  Load();
  receiver_.raise = "読み込めません。";
  const HDROP drop = vcl::toolkit::NewDrop({"/tmp/a.exe", "/tmp/b.exe"}, vcl::TPoint{4, 4});

  EXPECT_NO_THROW(edit1_->Perform(vcl::WM_DROPFILES, drop, 0));
  EXPECT_EQ(script.Exceptions(), std::vector<std::string>{"読み込めません。"});
  EXPECT_FALSE(vcl::toolkit::IsDrop(drop));

  // The same through a real drop.
  const vcl::testing::DragResult result = DragFiles(Window(edit1_), {"/tmp/c.exe"}, QPoint(1, 1));
  EXPECT_TRUE(result.drop_accepted);
  EXPECT_EQ(script.Exceptions().size(), 2u);
  EXPECT_EQ(receiver_.calls, 2);
}

TEST_F(DropTargetTest, ADropWithoutAHandlerIsOnlyFinished) {
  Load();
  drop_->SetOnFileDrop(nullptr);
  const HDROP drop = vcl::toolkit::NewDrop({"/tmp/a.exe"}, vcl::TPoint{});
  edit1_->Perform(vcl::WM_DROPFILES, drop, 0);
  EXPECT_FALSE(vcl::toolkit::IsDrop(drop));
  EXPECT_FALSE(log_->Saw(vcl::WM_DROPFILES));
}

TEST_F(DropTargetTest, AcceptDropDecidesWhetherTheWindowTakesDrags) {
  struct Case {
    const char* name;
    bool described;              // AcceptDrop in the description
    std::vector<bool> run_time;  // then set at run time, in order
    bool accepted;
  };
  const Case kCases[] = {
      {"default", true, {}, true},
      {"False in the description", false, {}, false},
      {"set False at run time", true, {false}, false},
      {"set False, then True again", true, {false, true}, true},
      {"True in the description, assigned True again", true, {true}, true},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    DropScene scene;
    scene.Load(c.described);
    for (bool value : c.run_time) scene.drop_->SetAcceptDrop(value);

    const vcl::testing::DragResult result =
        DragFiles(scene.Window(scene.edit1_), {"/tmp/a.exe"}, QPoint(1, 1));

    EXPECT_EQ(scene.drop_->AcceptDrop(), c.run_time.empty() ? c.described : c.run_time.back());
    EXPECT_EQ(result.enter_accepted, c.accepted);
    EXPECT_EQ(result.drop_accepted, c.accepted);
    EXPECT_EQ(scene.receiver_.calls, c.accepted ? 1 : 0);
  }
  // A drop that arrives anyway is handled whatever AcceptDrop says.
  Load();
  drop_->SetAcceptDrop(false);
  edit1_->Perform(vcl::WM_DROPFILES, vcl::toolkit::NewDrop({"/tmp/late.exe"}, vcl::TPoint{}), 0);
  EXPECT_EQ(receiver_.files, std::vector<std::string>{"/tmp/late.exe"});
}

TEST_F(DropTargetTest, AssigningTheCurrentAcceptDropMakesNoCall) {
  Load();
  // Revoked behind the component's back: only a call would register it again.
  vcl::DragAcceptFiles(edit1_->Handle(), false);
  drop_->SetAcceptDrop(true);
  EXPECT_FALSE(DragFiles(Window(edit1_), {"/tmp/a.exe"}, QPoint(1, 1)).enter_accepted);
}

TEST_F(DropTargetTest, DropsArriveOnTheNewWindowAfterItIsCreatedAnew) {
  Load();
  const vcl::HWND old_handle = edit1_->Handle();
  edit1_->RecreateWnd();
  ASSERT_NE(edit1_->Handle(), old_handle);
  EXPECT_EQ(drop_->HookedHandle(), edit1_->Handle());

  const vcl::testing::DragResult result = DragFiles(Window(edit1_), {"/tmp/again.exe"}, QPoint(3, 2));

  EXPECT_TRUE(result.enter_accepted);
  EXPECT_EQ(receiver_.files, std::vector<std::string>{"/tmp/again.exe"});
}

TEST_F(DropTargetTest, AControlAssignedAtRunTimeIsRegisteredAndTheOldOneRevoked) {
  Load();
  drop_->SetControl(edit2_);

  EXPECT_FALSE(DragFiles(Window(edit1_), {"/tmp/old.exe"}, QPoint(1, 1)).enter_accepted);
  EXPECT_TRUE(DragFiles(Window(edit2_), {"/tmp/new.exe"}, QPoint(1, 1)).enter_accepted);
  EXPECT_EQ(receiver_.files, std::vector<std::string>{"/tmp/new.exe"});
  EXPECT_EQ(edit1_->WindowProc(), log_->Method()) << "the old box is unhooked";

  // The form as target: the box no longer takes drops itself, so a drop on it
  // reaches the form, at the point in the form's client coordinates.
  drop_->SetTarget(htForm);
  EXPECT_EQ(drop_->HookedControl(), form_.get());
  EXPECT_FALSE(Window(edit2_)->acceptDrops());
  EXPECT_TRUE(DragFiles(Window(edit2_), {"/tmp/x.exe"}, QPoint(1, 1)).drop_accepted);
  EXPECT_EQ(receiver_.files, std::vector<std::string>{"/tmp/x.exe"});
  EXPECT_EQ(receiver_.x, 8 + 1);
  EXPECT_EQ(receiver_.y, 56 + 1);
}

TEST_F(DropTargetTest, DragsWithoutLocalFilesAreRefused) {
  Load();
  QMimeData mime;
  mime.setUrls({QUrl(QStringLiteral("https://example.org/a.exe"))});
  mime.setText(QStringLiteral("text"));
  QDragEnterEvent enter(QPoint(1, 1), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(Window(edit1_), &enter);
  EXPECT_FALSE(enter.isAccepted());
  EXPECT_EQ(edit1_->Text(), "") << "the box takes no text drop either";
}

}  // namespace
}  // namespace resgraft::components
