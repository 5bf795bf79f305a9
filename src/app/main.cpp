// The program: the application object, the two loaded files, the main window and
// the message loop.

#include <span>

#include "app/unit1.h"
#include "vcl/forms.h"

namespace resgraft::app {
// The program's icon in six sizes, compiled into the program.
extern const std::span<const unsigned char> kIcon16, kIcon24, kIcon32, kIcon48, kIcon64, kIcon128;
}  // namespace resgraft::app

int main(int argc, char** argv) {
  using resgraft::app::Form1;
  // The component layer comes first: it creates the application and screen objects,
  // and destroys them, with the main window, last.
  resgraft::vcl::ApplicationScope toolkit(argc, argv);
  {
    using namespace resgraft::app;
    resgraft::vcl::SetApplicationIcon({kIcon16, kIcon24, kIcon32, kIcon48, kIcon64, kIcon128});
  }
  resgraft::app::InitializeUnit1();

  resgraft::vcl::Application->Initialize();
  resgraft::vcl::Application->CreateForm(Form1);
  resgraft::vcl::Application->Run();

  resgraft::app::FinalizeUnit1();
  return 0;
}
