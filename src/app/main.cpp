// The program: the application object, the two loaded files, the main window and
// the message loop.

#include "app/unit1.h"
#include "vcl/forms.h"

int main(int argc, char** argv) {
  using resgraft::app::Form1;
  // The component layer comes first: it creates the application and screen objects,
  // and destroys them, with the main window, last.
  resgraft::vcl::ApplicationScope toolkit(argc, argv);
  resgraft::app::InitializeUnit1();

  resgraft::vcl::Application->Initialize();
  resgraft::vcl::Application->CreateForm(Form1);
  resgraft::vcl::Application->Run();

  resgraft::app::FinalizeUnit1();
  return 0;
}
