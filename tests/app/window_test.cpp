// The main window, offscreen: read back as built from its description, and driven
// through its handlers with dialogs and warning boxes answered by a script.

#include <QFontInfo>
#include <QWidget>

#include <gtest/gtest.h>

#include "app/unit1.h"
#include "fixture_tools.h"
#include "support/temp_dir.h"
#include "support/tree_dump.h"
#include "vcl/seam.h"
#include "../vcl/vcl_test_support.h"

namespace resgraft::app {
namespace {

using namespace resgraft::testing;
using vcl::ScriptedUi;

const char kFilter[] =
    "Win32 PEファイル (*.exe *.dll *.ocx *cpl)|*.exe; *.dll; *.ocx; *cpl;|すべてのファイル (*.*)|*.*;";

class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InitializeUnit1();
    Form1 = new TForm1(nullptr);
  }
  void TearDown() override {
    delete Form1;
    Form1 = nullptr;
    FinalizeUnit1();
    vcl::testing::FlushRetiredWidgets();
  }

  // Browses for `path` with the source's (1) or the destination's (2) button.
  void Browse(int box, const std::string& path) {
    ui_.AnswerFileDialog(true, path);
    (box == 1 ? Form1->OpenBtn1 : Form1->OpenBtn2)->Click();
  }
  void Save(const std::string& path) {
    ui_.AnswerFileDialog(true, path);
    Form1->SaveBtn1->Click();
  }

  ScriptedUi ui_;
  TempDir dir_;
  const std::string a_ = FixturePath("app_a.exe");
  const std::string b_ = FixturePath("app_b.exe");
};

TEST_F(WindowTest, IsBuiltAsDescribed) {
  TForm1& form = *Form1;
  EXPECT_EQ(form.Caption(), "リソースのコピー");
  EXPECT_EQ(form.ClientWidth(), 377);
  EXPECT_EQ(form.ClientHeight(), 138);
  EXPECT_EQ(form.BorderStyle(), vcl::bsSingle);
  EXPECT_EQ(form.BorderIcons(), (vcl::TBorderIcons{vcl::biSystemMenu, vcl::biMinimize}));
  EXPECT_EQ(form.FormStyle(), vcl::fsStayOnTop);
  EXPECT_EQ(form.Position(), vcl::poScreenCenter);
  EXPECT_EQ(form.Font().Name(), "ＭＳ Ｐゴシック");
  EXPECT_EQ(form.Font().Height(), -12);
  EXPECT_EQ(form.Font().Charset(), vcl::SHIFTJIS_CHARSET);

  const QWidget* window = vcl::toolkit::WidgetOf(form);
  ASSERT_NE(window, nullptr) << "the window exists once the controls are hooked";
  // The Japanese face resolves to its metric-compatible stand-in, for every control.
  EXPECT_EQ(QFontInfo(vcl::toolkit::WidgetOf(*form.cbAVI)->font()).family(), "IPAPGothic");
  EXPECT_EQ(QFontInfo(window->font()).pixelSize(), 12);
  EXPECT_TRUE(window->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
  EXPECT_TRUE(window->windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
  EXPECT_FALSE(window->windowFlags().testFlag(Qt::WindowMaximizeButtonHint));

  struct Control {
    const char* name;
    int left, top, width, height;
    const char* caption;
    int tab_order;  // -1: not a windowed control
    bool enabled, checked;
  };
  const Control kControls[] = {
      {"Label1", 16, 40, 12, 12, "↓", -1, true, false},
      {"Edit1", 8, 16, 305, 20, "", 0, true, false},
      {"Edit2", 8, 56, 305, 20, "", 2, true, false},
      {"SaveBtn1", 296, 96, 75, 25, "保存...", 4, false, false},
      {"OpenBtn1", 320, 14, 49, 25, "参照...", 1, true, false},
      {"OpenBtn2", 319, 54, 49, 25, "参照...", 3, true, false},
      {"cbAVI", 8, 88, 97, 17, "AVI", 5, true, true},
      {"cbBitmap", 104, 88, 97, 17, "Bitmap", 6, true, true},
      {"cbCursor", 8, 112, 97, 17, "Cursor", 7, true, true},
      {"cbIcon", 104, 112, 97, 17, "Icon", 8, true, true},
  };
  int index = 0;
  for (const Control& c : kControls) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(form.Components(index++)->Name(), c.name) << "creation order";
    auto* control = dynamic_cast<vcl::TControl*>(form.FindComponent(c.name));
    ASSERT_NE(control, nullptr);
    EXPECT_EQ(control->Left(), c.left);
    EXPECT_EQ(control->Top(), c.top);
    EXPECT_EQ(control->Width(), c.width);
    EXPECT_EQ(control->Height(), c.height);
    EXPECT_EQ(control->Caption(), c.caption);
    EXPECT_EQ(control->Enabled(), c.enabled);
    if (auto* win = dynamic_cast<vcl::TWinControl*>(control)) {
      EXPECT_EQ(win->TabOrder(), c.tab_order);
    }
    if (auto* box = dynamic_cast<vcl::TCheckBox*>(control)) {
      EXPECT_EQ(box->Checked(), c.checked);
    }
  }
  for (vcl::TEdit* edit : {form.Edit1, form.Edit2}) {
    EXPECT_TRUE(edit->ReadOnly());
    EXPECT_FALSE(edit->TabStop());
  }
  for (const char* name : {"OpenDialog1", "SaveDialog1", "DropDst1", "DropDst2"}) {
    EXPECT_EQ(form.Components(index++)->Name(), name);
  }

  EXPECT_EQ(form.OpenDialog1->Filter(), kFilter);
  EXPECT_EQ(form.SaveDialog1->Filter(), kFilter);
  EXPECT_EQ(form.OpenDialog1->Options(),
            (vcl::TOpenOptions{vcl::ofHideReadOnly, vcl::ofPathMustExist, vcl::ofFileMustExist,
                               vcl::ofEnableSizing}));
  EXPECT_EQ(form.SaveDialog1->Options(),
            (vcl::TOpenOptions{vcl::ofOverwritePrompt, vcl::ofHideReadOnly, vcl::ofPathMustExist,
                               vcl::ofEnableSizing}));
  EXPECT_EQ(form.DropDst1->Control(), form.Edit1);
  EXPECT_EQ(form.DropDst2->Control(), form.Edit2);
  EXPECT_EQ(form.DropDst1->HookedControl(), form.Edit1);
  EXPECT_EQ(form.DropDst1->Target(), components::htControl);
  EXPECT_TRUE(form.DropDst2->AcceptDrop());
  EXPECT_TRUE(form.DropDst2->OnFileDrop().Assigned());
}

TEST_F(WindowTest, TheSaveButtonFollowsTheTwoBoxes) {
  Browse(1, a_);
  EXPECT_EQ(Form1->Edit1->Text(), a_);
  EXPECT_FALSE(Form1->SaveBtn1->Enabled());
  EXPECT_EQ(Form1->OpenDialog1->FileName(), "") << "every browse starts with an empty name";
  Browse(2, a_);  // the same file may be both
  EXPECT_EQ(Form1->Edit2->Text(), a_);
  EXPECT_TRUE(Form1->SaveBtn1->Enabled());
  ASSERT_EQ(ui_.FileDialogs().size(), 2u);
  EXPECT_EQ(ui_.FileDialogs()[1].file_name, "");
  EXPECT_EQ(ui_.FileDialogs()[1].kind, vcl::TFileDialogKind::kOpen);
  EXPECT_TRUE(ui_.MessageBoxes().empty());

  // A failed load empties only its own box, and shows the loader's message as built.
  const std::string broken = dir_.File("broken.exe");
  WriteFileBytes(broken, {'M', 'Z'});
  Browse(2, broken);
  ASSERT_EQ(ui_.MessageBoxes().size(), 1u);
  const ScriptedUi::MessageBoxCall& box = ui_.MessageBoxes()[0];
  EXPECT_EQ(box.text, "Win32 PEファイル形式ではありません。\r\n" + broken + " ");
  EXPECT_TRUE(box.default_caption);
  EXPECT_EQ(box.caption, "エラー");
  EXPECT_EQ(box.style, 0x30u);
  EXPECT_EQ(box.owner, vcl::Application->Handle());
  EXPECT_EQ(Form1->Edit2->Text(), "");
  EXPECT_TRUE(TargetFile->HeaderBlock.empty());
  EXPECT_EQ(Form1->Edit1->Text(), a_);
  EXPECT_FALSE(Form1->SaveBtn1->Enabled());

  // A cancelled browse changes nothing but the dialog's name.
  Form1->OpenDialog1->SetFileName("left over");
  ui_.AnswerFileDialog(false);
  Form1->OpenBtn1->Click();
  EXPECT_EQ(Form1->Edit1->Text(), a_);
  EXPECT_FALSE(SourceFile->HeaderBlock.empty());
  EXPECT_EQ(Form1->OpenDialog1->FileName(), "");
  EXPECT_EQ(vcl::Screen->Cursor(), vcl::crDefault);
}

TEST_F(WindowTest, OnlyTheFirstDroppedFileIsLoaded) {
  QWidget* box = vcl::toolkit::WidgetOf(*Form1->Edit2);
  ASSERT_NE(box, nullptr);
  const vcl::testing::DragResult result = vcl::testing::DragFiles(
      box, {QString::fromStdString(b_), QString::fromStdString(a_), "/nowhere/c.exe"},
      QPoint(5, 5));
  EXPECT_TRUE(result.enter_accepted);
  EXPECT_EQ(Form1->Edit2->Text(), b_);
  EXPECT_EQ(Form1->Edit1->Text(), "");
  EXPECT_EQ(DumpTree(TargetFile->Resources), PefileDump(b_));
  EXPECT_TRUE(ui_.MessageBoxes().empty());
}

TEST_F(WindowTest, SavesWhatIsTickedAndShowsOnlyFailures) {
  Browse(1, b_);
  Browse(2, a_);

  // All kinds cleared: the destination is written with its own resources.
  for (vcl::TCheckBox* box : {Form1->cbAVI, Form1->cbBitmap, Form1->cbCursor, Form1->cbIcon}) {
    box->SetChecked(false);
  }
  const std::string plain = dir_.File("plain.exe");
  Save(plain);
  EXPECT_TRUE(ui_.MessageBoxes().empty()) << "a successful save shows nothing";
  ASSERT_EQ(ui_.FileDialogs().back().kind, vcl::TFileDialogKind::kSave);
  EXPECT_EQ(ui_.FileDialogs().back().file_name, a_) << "the dialog offers the destination";
  EXPECT_EQ(PefileDump(plain), PefileDump(a_));

  // Every kind ticked, twice in a row: the second save starts from the first.
  for (vcl::TCheckBox* box : {Form1->cbAVI, Form1->cbBitmap, Form1->cbCursor, Form1->cbIcon}) {
    box->SetChecked(true);
  }
  Save(dir_.File("first.exe"));
  Save(dir_.File("second.exe"));
  EXPECT_TRUE(ui_.MessageBoxes().empty());
  EXPECT_NE(PefileDump(dir_.File("first.exe")), PefileDump(a_));
  EXPECT_EQ(ReadFileBytes(dir_.File("first.exe")), ReadFileBytes(dir_.File("second.exe")));
  EXPECT_EQ(Form1->Edit2->Text(), a_) << "a save changes neither box";
  EXPECT_TRUE(Form1->SaveBtn1->Enabled());

  // A failure is shown exactly as the engine built it.
  const std::string nowhere = dir_.File("missing/out.exe");
  Save(nowhere);
  ASSERT_EQ(ui_.MessageBoxes().size(), 1u);
  EXPECT_EQ(ui_.MessageBoxes()[0].text, "ファイルを保存できません。 \r\n" + nowhere + " ");

  // A cancelled save dialog does nothing.
  ui_.AnswerFileDialog(false);
  Form1->SaveBtn1->Click();
  EXPECT_EQ(ui_.MessageBoxes().size(), 1u);
  EXPECT_EQ(vcl::Screen->Cursor(), vcl::crDefault);
}

}  // namespace
}  // namespace resgraft::app
