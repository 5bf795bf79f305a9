#include "app/unit1.h"

#include <string_view>

#include "app/form_reader.h"

namespace resgraft::app {

// The window's description, compiled into the program.
extern const std::span<const unsigned char> kForm1Description;

TForm1* Form1 = nullptr;

namespace {

// The busy cursor for as long as the object lives, the default one after it on
// every way out.
class BusyCursor {
 public:
  BusyCursor() { vcl::Screen->SetCursor(vcl::crAppStart); }
  ~BusyCursor() { vcl::Screen->SetCursor(vcl::crDefault); }
  BusyCursor(const BusyCursor&) = delete;
  BusyCursor& operator=(const BusyCursor&) = delete;
};

}  // namespace

bool ReportMessage(const std::string& Msg) {
  if (Msg.empty()) return true;
  vcl::MessageBoxA(vcl::Application->Handle(), Msg.c_str(), nullptr, vcl::MB_ICONWARNING);
  return false;
}

TForm1::TForm1(vcl::TComponent* AOwner) : vcl::TForm(AOwner) {
  vcl::RegisterComponentClass<components::TDropDst>("TDropDst");
  FormBindings bindings;
  auto field = [&bindings]<class T>(const char* name, T*& member) {
    bindings.fields[name] = [&member](vcl::TComponent* component) {
      member = dynamic_cast<T*>(component);
    };
  };
  field("Edit1", Edit1);
  field("Edit2", Edit2);
  field("Label1", Label1);
  field("SaveBtn1", SaveBtn1);
  field("OpenBtn1", OpenBtn1);
  field("OpenBtn2", OpenBtn2);
  field("OpenDialog1", OpenDialog1);
  field("SaveDialog1", SaveDialog1);
  field("DropDst1", DropDst1);
  field("DropDst2", DropDst2);
  field("cbAVI", cbAVI);
  field("cbBitmap", cbBitmap);
  field("cbCursor", cbCursor);
  field("cbIcon", cbIcon);
  bindings.notify_events["SaveBtn1Click"] = vcl::TNotifyEvent(this, &TForm1::SaveBtn1Click);
  bindings.notify_events["OpenBtn1Click"] = vcl::TNotifyEvent(this, &TForm1::OpenBtn1Click);
  bindings.notify_events["OpenBtn2Click"] = vcl::TNotifyEvent(this, &TForm1::OpenBtn2Click);
  bindings.file_drop_events["DropDst1FileDrop"] =
      components::TFileDropEvent(this, &TForm1::DropDst1FileDrop);
  bindings.file_drop_events["DropDst2FileDrop"] =
      components::TFileDropEvent(this, &TForm1::DropDst2FileDrop);

  ReadFormText(*this,
               std::string_view(reinterpret_cast<const char*>(kForm1Description.data()),
                                kForm1Description.size()),
               bindings);
}

void TForm1::UpdateSaveButton() {
  SaveBtn1->SetEnabled(!Edit1->Text().empty() && !Edit2->Text().empty());
}

void TForm1::LoadInto(engine::TPEFile& File, vcl::TEdit* Edit, const std::string& FileName) {
  BusyCursor busy;
  File.Clear();
  try {
    std::string Msg;
    File.LoadFromFile(FileName, Msg);
    if (ReportMessage(Msg)) {
      Edit->SetText(FileName);
    } else {
      File.Clear();
      Edit->SetText("");
    }
  } catch (...) {
    // The object was reset: its box must not keep showing an earlier path.
    File.Clear();
    Edit->SetText("");
    UpdateSaveButton();
    throw;
  }
  UpdateSaveButton();
}

void TForm1::OpenBtn1Click(vcl::TObject*) {
  struct EmptyNameAfterwards {
    vcl::TOpenDialog* dialog;
    ~EmptyNameAfterwards() { dialog->SetFileName(""); }
  } empty_name{OpenDialog1};
  if (OpenDialog1->Execute()) LoadInto(*SourceFile, Edit1, OpenDialog1->FileName());
}

void TForm1::OpenBtn2Click(vcl::TObject*) {
  struct EmptyNameAfterwards {
    vcl::TOpenDialog* dialog;
    ~EmptyNameAfterwards() { dialog->SetFileName(""); }
  } empty_name{OpenDialog1};
  if (OpenDialog1->Execute()) LoadInto(*TargetFile, Edit2, OpenDialog1->FileName());
}

void TForm1::DropDst1FileDrop(vcl::TObject*, vcl::TStrings& Files, int, int) {
  if (Files.Count() > 0) LoadInto(*SourceFile, Edit1, Files[0]);
}

void TForm1::DropDst2FileDrop(vcl::TObject*, vcl::TStrings& Files, int, int) {
  if (Files.Count() > 0) LoadInto(*TargetFile, Edit2, Files[0]);
}

void TForm1::SaveBtn1Click(vcl::TObject*) {
  if (Edit1->Text().empty() || Edit2->Text().empty()) return;
  SaveDialog1->SetFileName(Edit2->Text());
  if (!SaveDialog1->Execute()) return;

  BusyCursor busy;
  ApplyTransferRules({cbAVI->Checked(), cbBitmap->Checked(), cbCursor->Checked(),
                      cbIcon->Checked()});
  std::string Msg;
  TargetFile->SaveToFile(SaveDialog1->FileName(), Msg);
  ReportMessage(Msg);
}

}  // namespace resgraft::app
