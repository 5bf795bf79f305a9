#ifndef RESGRAFT_APP_FORM_READER_H_
#define RESGRAFT_APP_FORM_READER_H_

#include <functional>
#include <map>
#include <string>

#include "app/form_text.h"
#include "components/dropdst.h"
#include "vcl/forms.h"

namespace resgraft::app {

// What the class of the window being read offers the reader: its component fields
// and its event handlers, by name.
struct FormBindings {
  std::map<std::string, std::function<void(vcl::TComponent*)>, std::less<>> fields;
  std::map<std::string, vcl::TNotifyEvent, std::less<>> notify_events;
  std::map<std::string, components::TFileDropEvent, std::less<>> file_drop_events;
};

// Applies a window's description to `root` the way a stored form is read: `root`
// and then each component, created in the order written with `root` as owner and
// parent, is marked as loading and gets its properties in the order written;
// references to components and events are resolved by name (a component not read
// yet is resolved once all are); last, every component read is told it is loaded,
// `root` first. Throws vcl::Exception for anything it cannot apply.
void ReadForm(vcl::TCustomForm& root, const FormObject& description,
              const FormBindings& bindings);

// Parses `text` and applies it as `ReadForm` does.
void ReadFormText(vcl::TCustomForm& root, std::string_view text, const FormBindings& bindings);

}  // namespace resgraft::app

#endif  // RESGRAFT_APP_FORM_READER_H_
