#include "vcl/seam.h"

namespace resgraft::vcl {
namespace {

ScriptedUi* active_script = nullptr;

}  // namespace

ScriptedUi::ScriptedUi() : outer_(active_script) { active_script = this; }

ScriptedUi::~ScriptedUi() { active_script = outer_; }

ScriptedUi* ScriptedUi::Active() { return active_script; }

void ScriptedUi::AnswerFileDialog(bool confirmed, std::string file_name) {
  answers_.push_back(Answer{confirmed, std::move(file_name)});
}

bool ScriptedUi::RunFileDialog(FileDialogCall call, std::string* file_name) {
  file_dialogs_.push_back(std::move(call));
  if (answers_.empty()) return false;
  Answer answer = std::move(answers_.front());
  answers_.pop_front();
  if (answer.confirmed) *file_name = std::move(answer.file_name);
  return answer.confirmed;
}

}  // namespace resgraft::vcl
