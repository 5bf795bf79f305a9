#include <map>
#include <string>

#include "vcl/classes.h"
#include "vcl/dialogs.h"
#include "vcl/forms.h"
#include "vcl/stdctrls.h"

namespace resgraft::vcl {
namespace {

using Registry = std::map<std::string, TComponentFactory, std::less<>>;

Registry& Classes() {
  static Registry registry = [] {
    Registry classes;
    auto add = [&classes]<class T>(const char* name, T*) {
      classes[name] = [](TComponent* owner) -> TComponent* { return new T(owner); };
    };
    add("TEdit", static_cast<TEdit*>(nullptr));
    add("TButton", static_cast<TButton*>(nullptr));
    add("TCheckBox", static_cast<TCheckBox*>(nullptr));
    add("TLabel", static_cast<TLabel*>(nullptr));
    add("TOpenDialog", static_cast<TOpenDialog*>(nullptr));
    add("TSaveDialog", static_cast<TSaveDialog*>(nullptr));
    add("TForm", static_cast<TForm*>(nullptr));
    return classes;
  }();
  return registry;
}

}  // namespace

void RegisterComponentClass(std::string_view class_name, TComponentFactory factory) {
  Classes()[std::string(class_name)] = factory;
}

TComponentFactory FindComponentClass(std::string_view class_name) {
  const Registry& registry = Classes();
  const auto it = registry.find(class_name);
  return it == registry.end() ? nullptr : it->second;
}

}  // namespace resgraft::vcl
