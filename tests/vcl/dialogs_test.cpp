#include "vcl/dialogs.h"

#include <functional>
#include <string>
#include <vector>

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

#include "vcl/seam.h"
#include "vcl/toolkit.h"

namespace resgraft::vcl {
namespace {

// The filter of the program's two file dialogs.
constexpr const char* kPeFilter =
    "Win32 PEファイル (*.exe *.dll *.ocx *cpl)|*.exe; *.dll; *.ocx; *cpl;|すべてのファイル (*.*)|*.*;";

TEST(FilterTest, SplitsDescriptionsAndPatterns) {
  struct Case {
    const char* name;
    const char* filter;
    std::vector<TFilterEntry> entries;
  };
  const Case kCases[] = {
      {"two entries, blanks and a trailing ';'",
       kPeFilter,
       {{"Win32 PEファイル (*.exe *.dll *.ocx *cpl)", {"*.exe", "*.dll", "*.ocx", "*cpl"}},
        {"すべてのファイル (*.*)", {"*.*"}}}},
      {"empty patterns left out", "Text|;; *.txt ;;", {{"Text", {"*.txt"}}}},
      {"trailing bar", "All|*|", {{"All", {"*"}}}},
      {"description without patterns", "Only", {{"Only", {}}}},
      {"empty", "", {}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    const std::vector<TFilterEntry> entries = ParseFilter(c.filter);
    ASSERT_EQ(entries.size(), c.entries.size());
    for (size_t i = 0; i < entries.size(); ++i) {
      EXPECT_EQ(entries[i].description, c.entries[i].description);
      EXPECT_EQ(entries[i].patterns, c.entries[i].patterns);
    }
  }
}

TEST(FilterTest, MatchesNamesAsTheClassicDialogDoes) {
  struct Case {
    const char* name;
    const char* pattern;
    bool matches;
  };
  const Case kCases[] = {
      {"prog.exe", "*.exe", true},
      {"PROG.EXE", "*.exe", true},
      {"prog.exe.bak", "*.exe", false},
      {"applet.cpl", "*cpl", true},
      {"appletcpl", "*cpl", true},
      {"applet.cpl.old", "*cpl", false},
      {"README", "*.*", true},
      {"archive.tar.gz", "*.*", true},
      {".hidden", "*.*", true},
      {"readme", "readme.*", true},
      {"readme.txt", "readme.*", true},
      {"readmes", "readme.*", false},
      {"abc", "a?c", true},
      {"ac", "a?c", false},
      {"ＡＢＣ.exe", "ａｂｃ.EXE", true},
      {"日本語の名前.dll", "日本*.DLL", true},
      {"日本語の名前.dll", "*.exe", false},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(std::string(c.name) + " ~ " + c.pattern);
    EXPECT_EQ(MatchesPattern(c.name, c.pattern), c.matches);
  }
  EXPECT_TRUE(MatchesAnyPattern("x.ocx", {"*.exe", "*.ocx"}));
  EXPECT_TRUE(MatchesAnyPattern("anything", {}));
}

TEST(FileDialogTest, TheSeamAnswersAndRecords) {
  ScriptedUi script;
  script.AnswerFileDialog(true, "/tmp/選んだ.exe");
  script.AnswerFileDialog(false);
  TOpenDialog open(nullptr);
  open.SetFilter(kPeFilter);
  open.SetFilterIndex(0);
  open.SetOptions({ofHideReadOnly, ofPathMustExist, ofFileMustExist, ofEnableSizing});
  TSaveDialog save(nullptr);
  save.SetFileName("/tmp/dest.dll");
  save.SetOptions({ofOverwritePrompt, ofHideReadOnly, ofPathMustExist, ofEnableSizing});

  EXPECT_TRUE(open.Execute());
  EXPECT_EQ(open.FileName(), "/tmp/選んだ.exe");
  EXPECT_FALSE(save.Execute());
  EXPECT_EQ(save.FileName(), "/tmp/dest.dll") << "a cancelled dialog keeps its name";
  EXPECT_FALSE(open.Execute()) << "no answer left: cancelled";

  ASSERT_EQ(script.FileDialogs().size(), 3u);
  const ScriptedUi::FileDialogCall& first = script.FileDialogs()[0];
  EXPECT_EQ(first.kind, TFileDialogKind::kOpen);
  EXPECT_EQ(first.file_name, "");
  EXPECT_EQ(first.filter, kPeFilter);
  EXPECT_EQ(first.filter_index, 0);
  EXPECT_TRUE(first.options.Contains(ofFileMustExist));
  const ScriptedUi::FileDialogCall& second = script.FileDialogs()[1];
  EXPECT_EQ(second.kind, TFileDialogKind::kSave);
  EXPECT_EQ(second.file_name, "/tmp/dest.dll");
  EXPECT_TRUE(second.options.Contains(ofOverwritePrompt));
}

// Types `name` into a real dialog's name field, as the user would: what was
// picked in the list no longer counts.
void TypeName(QFileDialog* dialog, const QString& name) {
  dialog->findChild<QListView*>(QStringLiteral("listView"))->selectionModel()->clear();
  dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(name);
}

// Picks entry `index` of a real dialog's filter list, as the user would.
void PickFilterEntry(QFileDialog* dialog, int index) {
  auto* combo = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
  combo->setCurrentIndex(index);
  emit combo->activated(index);
  emit combo->textActivated(combo->itemText(index));
}

// The names a real dialog lists, waiting for the folder to be read.
QStringList ListedNames(QFileDialog* dialog, int expected) {
  auto* view = dialog->findChild<QListView*>(QStringLiteral("listView"));
  QStringList names;
  QElapsedTimer timer;
  timer.start();
  while (timer.elapsed() < 5000) {
    names.clear();
    const QModelIndex root = view->rootIndex();
    for (int row = 0; row < view->model()->rowCount(root); ++row) {
      names << view->model()->index(row, 0, root).data().toString();
    }
    if (names.size() >= expected) break;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  names.sort();
  return names;
}

// Closes a message box that shows up inside `action` (instead of waiting for a
// user) and returns its text; empty when none showed.
QString BoxDuring(const std::function<void()>& action) {
  QString text;
  QTimer timer;
  timer.setInterval(50);
  QObject::connect(&timer, &QTimer::timeout, [&text] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      text = box->text();
      box->done(QMessageBox::Ok);
    }
  });
  timer.start();
  action();
  return text;
}

class RealFileDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    for (const char* name : {"prog.exe", "LIB.DLL", "applet.cpl", "xcpl", "README", "notes.txt"}) {
      QFile file(dir_.filePath(QString::fromUtf8(name)));
      ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
  }
  std::string PathBytes(const char* name) const {
    return toolkit::ToPathBytes(dir_.filePath(QString::fromUtf8(name)));
  }

  QTemporaryDir dir_;
};

TEST_F(RealFileDialogTest, ListsWhatTheClassicPatternsMatchAboveEveryWindow) {
  TOpenDialog open(nullptr);
  open.SetFilter(std::string(kPeFilter) + "|テキスト (*.txt)|*.TXT");
  open.SetFilterIndex(0);
  open.SetOptions({ofHideReadOnly, ofPathMustExist, ofFileMustExist, ofEnableSizing});
  open.SetFileName(toolkit::ToPathBytes(dir_.path()) + "/");
  QStringList pe_files;
  QStringList text_files;
  QStringList all_files;
  bool stays_on_top = false;
  QTimer::singleShot(0, [&] {
    auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(dialog, nullptr);
    stays_on_top = dialog->windowFlags() & Qt::WindowStaysOnTopHint;
    pe_files = ListedNames(dialog, 4);
    PickFilterEntry(dialog, 2);
    text_files = ListedNames(dialog, 1);
    PickFilterEntry(dialog, 1);
    all_files = ListedNames(dialog, 6);
    TypeName(dialog, QStringLiteral("README"));
    EXPECT_EQ(BoxDuring([dialog] { QMetaObject::invokeMethod(dialog, "accept", Qt::DirectConnection); }),
              QString());
    if (dialog->isVisible()) dialog->reject();
  });

  EXPECT_TRUE(open.Execute());

  EXPECT_TRUE(stays_on_top);
  EXPECT_EQ(pe_files, (QStringList{"LIB.DLL", "applet.cpl", "prog.exe", "xcpl"}));
  EXPECT_EQ(text_files, (QStringList{"notes.txt"}));
  EXPECT_EQ(all_files, (QStringList{"LIB.DLL", "README", "applet.cpl", "notes.txt", "prog.exe", "xcpl"}));
  EXPECT_EQ(open.FileName(), PathBytes("README"));
  EXPECT_EQ(open.FilterIndex(), 2);
}

TEST_F(RealFileDialogTest, SaveStartsFromTheGivenNameAndWantsAnExistingFolder) {
  TSaveDialog save(nullptr);
  save.SetFilter(kPeFilter);
  save.SetOptions({ofOverwritePrompt, ofHideReadOnly, ofPathMustExist, ofEnableSizing});
  save.SetFileName(PathBytes("prog.exe"));
  QString offered_name;
  QString offered_folder;
  bool refused_missing_folder = false;
  QString missing_folder_box;
  QTimer::singleShot(0, [&] {
    auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(dialog, nullptr);
    offered_name = dialog->selectedFiles().value(0);
    offered_folder = dialog->directory().absolutePath();
    // A name in a folder that does not exist is refused with a warning.
    TypeName(dialog, dir_.filePath(QStringLiteral("no-such-folder/out.exe")));
    missing_folder_box = BoxDuring([dialog] { QMetaObject::invokeMethod(dialog, "accept", Qt::DirectConnection); });
    refused_missing_folder = dialog->isVisible();
    TypeName(dialog, QStringLiteral("new.exe"));
    EXPECT_EQ(BoxDuring([dialog] { QMetaObject::invokeMethod(dialog, "accept", Qt::DirectConnection); }),
              QString());
    if (dialog->isVisible()) dialog->reject();
  });

  EXPECT_TRUE(save.Execute());

  EXPECT_EQ(offered_name, dir_.filePath(QStringLiteral("prog.exe")));
  EXPECT_EQ(offered_folder, QDir(dir_.path()).absolutePath());
  EXPECT_TRUE(refused_missing_folder);
  EXPECT_TRUE(missing_folder_box.contains(QStringLiteral("no-such-folder"))) << missing_folder_box.toStdString();
  EXPECT_EQ(save.FileName(), PathBytes("new.exe"));
}

}  // namespace
}  // namespace resgraft::vcl
