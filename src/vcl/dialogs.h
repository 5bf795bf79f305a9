#ifndef RESGRAFT_VCL_DIALOGS_H_
#define RESGRAFT_VCL_DIALOGS_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "vcl/classes.h"
#include "vcl/messages.h"

namespace resgraft::vcl {

enum TOpenOption : uint8_t {
  ofHideReadOnly,     // no read-only check box
  ofPathMustExist,    // only a name in an existing folder is taken
  ofFileMustExist,    // only an existing file is taken
  ofOverwritePrompt,  // asks before an existing file is replaced
  ofEnableSizing,     // the user may resize the dialog
};
using TOpenOptions = TSet<TOpenOption>;

// One entry of a classic filter string.
struct TFilterEntry {
  std::string description;
  std::vector<std::string> patterns;
};

// Splits a filter string "description|patterns|description|patterns...".
// Patterns are separated by ';', blanks around them are dropped and empty ones
// are left out. A trailing description without patterns is an entry without
// patterns.
std::vector<TFilterEntry> ParseFilter(std::string_view filter);

// Whether the file name `name` (no folder) matches `pattern`: '*' stands for
// any run of characters, '?' for one; letters match in either case; and a
// pattern ending in ".*" also matches the name without that part, so "*.*"
// matches every name, one without a dot included.
bool MatchesPattern(std::string_view name, std::string_view pattern);

// Whether `name` matches any of `patterns`; an empty list matches every name.
bool MatchesAnyPattern(std::string_view name, const std::vector<std::string>& patterns);

enum class TFileDialogKind : uint8_t { kOpen, kSave };

// The common file dialog: modal, above every window. FileName (file-system
// bytes) goes in as the proposed name and comes out as the chosen one.
class TOpenDialog : public TComponent {
 public:
  explicit TOpenDialog(TComponent* AOwner) : TComponent(AOwner) {}

  const std::string& FileName() const { return file_name_; }
  void SetFileName(std::string file_name) { file_name_ = std::move(file_name); }
  const std::string& Filter() const { return filter_; }
  void SetFilter(std::string filter) { filter_ = std::move(filter); }
  // 1-based index of the filter entry shown first; 0 or an index past the
  // entries shows the first. Set to the entry in use when the dialog closes
  // with a choice.
  int FilterIndex() const { return filter_index_; }
  void SetFilterIndex(int filter_index) { filter_index_ = filter_index; }
  TOpenOptions Options() const { return options_; }
  void SetOptions(TOpenOptions options) { options_ = options; }

  // Runs the dialog; true when the user chose a file.
  virtual bool Execute();

 protected:
  virtual TFileDialogKind Kind() const { return TFileDialogKind::kOpen; }

 private:
  std::string file_name_;
  std::string filter_;
  int filter_index_ = 1;
  TOpenOptions options_{ofHideReadOnly, ofEnableSizing};
};

class TSaveDialog : public TOpenDialog {
 public:
  explicit TSaveDialog(TComponent* AOwner) : TOpenDialog(AOwner) {}

 protected:
  TFileDialogKind Kind() const override { return TFileDialogKind::kSave; }
};

constexpr uint32_t MB_OK = 0x00000000;
constexpr uint32_t MB_ICONHAND = 0x00000010;
constexpr uint32_t MB_ICONQUESTION = 0x00000020;
constexpr uint32_t MB_ICONWARNING = 0x00000030;
constexpr uint32_t MB_ICONINFORMATION = 0x00000040;
constexpr uint32_t MB_TYPEMASK = 0x0000000F;
constexpr uint32_t MB_ICONMASK = 0x000000F0;
constexpr int IDOK = 1;

// The caption a message box shows when it is given none.
inline constexpr std::string_view kDefaultMessageBoxCaption = "エラー";

// A modal message box owned by the window `owner`, above every window: `text`
// exactly as given (each CR LF shows as one line break), `caption` (null: the
// default caption), the icon of `style`. Only the single OK button (MB_OK) is
// provided; other button sets raise Exception. Returns IDOK.
int MessageBoxA(HWND owner, const char* text, const char* caption, uint32_t style);

}  // namespace resgraft::vcl

#endif  // RESGRAFT_VCL_DIALOGS_H_
