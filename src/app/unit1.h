#ifndef RESGRAFT_APP_UNIT1_H_
#define RESGRAFT_APP_UNIT1_H_

#include <string>

#include "app/transfer.h"
#include "components/dropdst.h"
#include "vcl/dialogs.h"
#include "vcl/forms.h"
#include "vcl/stdctrls.h"

// The main window: two path boxes with their browse buttons, the kinds to carry
// over and the save button. The two loaded files are the globals of transfer.h;
// the window itself holds nothing but its controls.

namespace resgraft::app {

class TForm1 : public vcl::TForm {
 public:
  // Creates the window and its controls from the window's description.
  explicit TForm1(vcl::TComponent* AOwner);

  vcl::TEdit* Edit1 = nullptr;
  vcl::TEdit* Edit2 = nullptr;
  vcl::TLabel* Label1 = nullptr;
  vcl::TButton* SaveBtn1 = nullptr;
  vcl::TButton* OpenBtn1 = nullptr;
  vcl::TButton* OpenBtn2 = nullptr;
  vcl::TOpenDialog* OpenDialog1 = nullptr;
  vcl::TSaveDialog* SaveDialog1 = nullptr;
  components::TDropDst* DropDst1 = nullptr;
  components::TDropDst* DropDst2 = nullptr;
  vcl::TCheckBox* cbAVI = nullptr;
  vcl::TCheckBox* cbBitmap = nullptr;
  vcl::TCheckBox* cbCursor = nullptr;
  vcl::TCheckBox* cbIcon = nullptr;

  // Carries the ticked kinds from the source into the destination and saves the
  // destination under a name the user chooses.
  void SaveBtn1Click(vcl::TObject* Sender);
  // Browse for the source, or the destination.
  void OpenBtn1Click(vcl::TObject* Sender);
  void OpenBtn2Click(vcl::TObject* Sender);
  // A file dropped on the source's, or the destination's, path box: the first
  // dropped name is loaded.
  void DropDst1FileDrop(vcl::TObject* Sender, vcl::TStrings& Files, int X, int Y);
  void DropDst2FileDrop(vcl::TObject* Sender, vcl::TStrings& Files, int X, int Y);

  // Loads `FileName` into `File` afresh and shows it in `Edit`; on failure shows
  // the message and leaves both empty. The save button then follows the boxes.
  void LoadInto(engine::TPEFile& File, vcl::TEdit* Edit, const std::string& FileName);

 private:
  void UpdateSaveButton();
};

extern TForm1* Form1;

// Shows a non-empty result message in a warning box owned by the application's
// window; true when `Msg` is empty and nothing was shown.
bool ReportMessage(const std::string& Msg);

}  // namespace resgraft::app

#endif  // RESGRAFT_APP_UNIT1_H_
