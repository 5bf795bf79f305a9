#include "vcl/dialogs.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QMessageBox>
#include <QSortFilterProxyModel>

#include "vcl/seam.h"
#include "vcl/toolkit.h"

namespace resgraft::vcl {
namespace {

std::string_view Trim(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

// Glob matching over code points: '*' any run, '?' one.
bool Glob(std::u32string_view name, std::u32string_view pattern) {
  size_t n = 0;
  size_t p = 0;
  size_t star = std::u32string_view::npos;
  size_t resume = 0;
  while (n < name.size()) {
    if (p < pattern.size() && (pattern[p] == U'?' || pattern[p] == name[n])) {
      ++n;
      ++p;
    } else if (p < pattern.size() && pattern[p] == U'*') {
      star = p++;
      resume = n;
    } else if (star != std::u32string_view::npos) {
      p = star + 1;
      n = ++resume;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == U'*') ++p;
  return p == pattern.size();
}

std::u32string Folded(const QString& text) {
  const QList<uint> points = text.toCaseFolded().toUcs4();
  return std::u32string(points.begin(), points.end());
}

bool MatchesFolded(const std::u32string& name, const std::u32string& pattern) {
  if (Glob(name, pattern)) return true;
  // "name.*" also stands for "name" without an extension.
  const std::u32string_view dot_star = U".*";
  if (pattern.size() >= 2 && std::u32string_view(pattern).substr(pattern.size() - 2) == dot_star) {
    return Glob(name, std::u32string_view(pattern).substr(0, pattern.size() - 2));
  }
  return false;
}

bool MatchesAny(const QString& name, const std::vector<std::string>& patterns) {
  if (patterns.empty()) return true;
  const std::u32string folded_name = Folded(name);
  for (const std::string& pattern : patterns) {
    if (MatchesFolded(folded_name, Folded(toolkit::FromTextBytes(pattern)))) return true;
  }
  return false;
}

// Shows the files of a folder that match the patterns of the filter entry in
// use, as the classic dialog matches them; folders always show.
class ClassicFilterProxy : public QSortFilterProxyModel {
 public:
  explicit ClassicFilterProxy(QObject* parent) : QSortFilterProxyModel(parent) {}

  void SetPatterns(std::vector<std::string> patterns) {
    patterns_ = std::move(patterns);
    invalidateFilter();
  }

 protected:
  bool filterAcceptsRow(int row, const QModelIndex& parent) const override {
    const auto* model = qobject_cast<const QFileSystemModel*>(sourceModel());
    if (model == nullptr) return true;
    const QModelIndex index = model->index(row, 0, parent);
    return model->isDir(index) || MatchesAny(model->fileName(index), patterns_);
  }

 private:
  std::vector<std::string> patterns_;
};

class ClassicFileDialog : public QFileDialog {
 public:
  ClassicFileDialog(QWidget* parent, bool path_must_exist) : QFileDialog(parent), path_must_exist_(path_must_exist) {}

  void accept() override {
    const QStringList files = selectedFiles();
    if (path_must_exist_ && !files.isEmpty() && !QFileInfo(files.first()).dir().exists()) {
      QMessageBox::warning(this, windowTitle(),
                           QDir::toNativeSeparators(QFileInfo(files.first()).path()) +
                               QStringLiteral("\nフォルダが見つかりません。"));
      return;
    }
    QFileDialog::accept();
  }

 private:
  bool path_must_exist_;
};

QString DisplayText(const std::string& text) {
  QString display = toolkit::FromTextBytes(text);
  display.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  return display;
}

}  // namespace

std::vector<TFilterEntry> ParseFilter(std::string_view filter) {
  std::vector<TFilterEntry> entries;
  std::vector<std::string_view> fields;
  for (size_t start = 0;;) {
    const size_t bar = filter.find('|', start);
    fields.push_back(filter.substr(start, bar == std::string_view::npos ? std::string_view::npos : bar - start));
    if (bar == std::string_view::npos) break;
    start = bar + 1;
  }
  if (filter.empty()) return entries;
  for (size_t i = 0; i < fields.size(); i += 2) {
    TFilterEntry entry;
    entry.description = std::string(fields[i]);
    if (i + 1 < fields.size()) {
      std::string_view patterns = fields[i + 1];
      for (size_t start = 0;;) {
        const size_t semicolon = patterns.find(';', start);
        const std::string_view pattern = Trim(patterns.substr(
            start, semicolon == std::string_view::npos ? std::string_view::npos : semicolon - start));
        if (!pattern.empty()) entry.patterns.emplace_back(pattern);
        if (semicolon == std::string_view::npos) break;
        start = semicolon + 1;
      }
    }
    // A trailing '|' leaves an empty description with nothing after it.
    if (entry.description.empty() && entry.patterns.empty() && i + 1 >= fields.size()) break;
    entries.push_back(std::move(entry));
  }
  return entries;
}

bool MatchesPattern(std::string_view name, std::string_view pattern) {
  return MatchesFolded(Folded(toolkit::FromTextBytes(std::string(name))),
                       Folded(toolkit::FromTextBytes(std::string(pattern))));
}

bool MatchesAnyPattern(std::string_view name, const std::vector<std::string>& patterns) {
  return MatchesAny(toolkit::FromTextBytes(std::string(name)), patterns);
}

bool TOpenDialog::Execute() {
  if (ScriptedUi* script = ScriptedUi::Active()) {
    return script->RunFileDialog(
        ScriptedUi::FileDialogCall{Kind(), file_name_, filter_, filter_index_, options_}, &file_name_);
  }

  const std::vector<TFilterEntry> entries = ParseFilter(filter_);
  ClassicFileDialog dialog(toolkit::DialogParent(0), options_.Contains(ofPathMustExist));
  dialog.setOption(QFileDialog::DontUseNativeDialog, true);
  dialog.setWindowFlag(Qt::WindowStaysOnTopHint, true);
  if (Kind() == TFileDialogKind::kSave) {
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, !options_.Contains(ofOverwritePrompt));
  } else {
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(options_.Contains(ofFileMustExist) ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
  }
  dialog.setSizeGripEnabled(options_.Contains(ofEnableSizing));

  // The toolkit would match the patterns itself, differently ("*.*" wants a
  // dot); it is given "(*)" for every entry, hidden from view, and the proxy
  // matches the entry's own patterns.
  auto* proxy = new ClassicFilterProxy(&dialog);
  dialog.setProxyModel(proxy);
  QStringList name_filters;
  for (const TFilterEntry& entry : entries) {
    name_filters << toolkit::FromTextBytes(entry.description) + QStringLiteral(" (*)");
  }
  const int first = filter_index_ >= 1 && filter_index_ <= static_cast<int>(entries.size()) ? filter_index_ - 1 : 0;
  // The toolkit names the entry in use by its full filter or by the text it
  // shows for it, depending on its version; either leads back to the entry.
  auto entry_index = [&entries, &name_filters](const QString& name_filter) {
    for (qsizetype i = 0; i < name_filters.size(); ++i) {
      const QString shown = toolkit::FromTextBytes(entries[static_cast<size_t>(i)].description).simplified();
      if (name_filter == name_filters[i] || name_filter.simplified() == shown) return static_cast<int>(i);
    }
    return -1;
  };
  auto use_entry = [&entries, proxy](int index) {
    proxy->SetPatterns(index >= 0 && index < static_cast<int>(entries.size()) ? entries[static_cast<size_t>(index)].patterns
                                                                             : std::vector<std::string>{});
  };
  if (!name_filters.isEmpty()) {
    dialog.setOption(QFileDialog::HideNameFilterDetails, true);
    dialog.setNameFilters(name_filters);
    dialog.selectNameFilter(name_filters[first]);
  }
  use_entry(entries.empty() ? -1 : first);
  QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog,
                   [use_entry, entry_index](const QString& name_filter) { use_entry(entry_index(name_filter)); });
  if (!file_name_.empty()) {
    // A folder (or a name ending in '/') is where the dialog starts, with no
    // name proposed; anything else is the proposed file.
    const QString proposed = toolkit::FromPathBytes(file_name_);
    if (file_name_.back() == '/' || QFileInfo(proposed).isDir()) {
      dialog.setDirectory(proposed);
    } else {
      dialog.selectFile(proposed);
    }
  }
  if (!options_.Contains(ofEnableSizing)) dialog.setFixedSize(dialog.sizeHint());

  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
  file_name_ = toolkit::ToPathBytes(dialog.selectedFiles().first());
  const int chosen = entry_index(dialog.selectedNameFilter());
  if (chosen >= 0) filter_index_ = chosen + 1;
  return true;
}

int MessageBoxA(HWND owner, const char* text, const char* caption, uint32_t style) {
  if ((style & MB_TYPEMASK) != MB_OK) throw Exception("Only the OK button is provided");
  std::string text_bytes = text != nullptr ? text : "";
  std::string caption_bytes = caption != nullptr ? caption : std::string(kDefaultMessageBoxCaption);
  if (ScriptedUi* script = ScriptedUi::Active()) {
    script->RecordMessageBox(
        ScriptedUi::MessageBoxCall{owner, std::move(text_bytes), std::move(caption_bytes), caption == nullptr, style});
    return IDOK;
  }
  return toolkit::ShowMessageBox(owner, text_bytes, caption_bytes, style);
}

namespace toolkit {

int ShowMessageBox(HWND owner, const std::string& text, const std::string& caption, uint32_t style) {
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  switch (style & MB_ICONMASK) {
    case MB_ICONHAND:
      icon = QMessageBox::Critical;
      break;
    case MB_ICONQUESTION:
      icon = QMessageBox::Question;
      break;
    case MB_ICONWARNING:
      icon = QMessageBox::Warning;
      break;
    case MB_ICONINFORMATION:
      icon = QMessageBox::Information;
      break;
    default:
      break;
  }
  QMessageBox box(icon, FromTextBytes(caption), DisplayText(text), QMessageBox::Ok, DialogParent(owner));
  box.setTextFormat(Qt::PlainText);
  box.setWindowFlag(Qt::WindowStaysOnTopHint, true);
  box.exec();
  return IDOK;
}

}  // namespace toolkit
}  // namespace resgraft::vcl
