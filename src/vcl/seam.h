#ifndef RESGRAFT_VCL_SEAM_H_
#define RESGRAFT_VCL_SEAM_H_

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "vcl/dialogs.h"
#include "vcl/messages.h"

namespace resgraft::vcl {

// While a ScriptedUi exists, nothing modal is shown: file dialogs take their
// answers from its script, message boxes and the application's exception
// display are recorded and answered at once, so that handlers run to their end
// in a test. Scripts nest: the newest one is in force.
class ScriptedUi {
 public:
  struct FileDialogCall {
    TFileDialogKind kind;
    std::string file_name;  // FileName when the dialog opened
    std::string filter;
    int filter_index;
    TOpenOptions options;
  };
  struct MessageBoxCall {
    HWND owner;
    std::string text;     // the very bytes passed
    std::string caption;  // the caption shown: the default one when none was passed
    bool default_caption;
    uint32_t style;
  };

  ScriptedUi();
  ~ScriptedUi();
  ScriptedUi(const ScriptedUi&) = delete;
  ScriptedUi& operator=(const ScriptedUi&) = delete;

  // The script in force, or null.
  static ScriptedUi* Active();

  // The next file dialog returns `confirmed`; when it is confirmed, its
  // FileName becomes `file_name`. A dialog with no answer left is cancelled.
  void AnswerFileDialog(bool confirmed, std::string file_name = {});

  const std::vector<FileDialogCall>& FileDialogs() const { return file_dialogs_; }
  const std::vector<MessageBoxCall>& MessageBoxes() const { return message_boxes_; }
  // The messages that the application's exception display showed.
  const std::vector<std::string>& Exceptions() const { return exceptions_; }

  // The layer's side: run a dialog, record a box or an exception.
  bool RunFileDialog(FileDialogCall call, std::string* file_name);
  void RecordMessageBox(MessageBoxCall call) { message_boxes_.push_back(std::move(call)); }
  void RecordException(std::string message) { exceptions_.push_back(std::move(message)); }

 private:
  struct Answer {
    bool confirmed;
    std::string file_name;
  };

  ScriptedUi* outer_;
  std::deque<Answer> answers_;
  std::vector<FileDialogCall> file_dialogs_;
  std::vector<MessageBoxCall> message_boxes_;
  std::vector<std::string> exceptions_;
};

}  // namespace resgraft::vcl

#endif  // RESGRAFT_VCL_SEAM_H_
