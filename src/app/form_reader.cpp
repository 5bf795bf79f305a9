#include "app/form_reader.h"

#include <vector>

#include "vcl/dialogs.h"
#include "vcl/stdctrls.h"

namespace resgraft::app {
namespace {

using vcl::Exception;
using FormValueKind = FormValue::Kind;

[[noreturn]] void Fail(const FormObject& object, const FormProperty& property,
                       const std::string& what) {
  throw Exception("window description, line " + std::to_string(property.line) + ": " +
                  object.name + "." + property.name + ": " + what);
}

int AsInt(const FormObject& object, const FormProperty& property) {
  if (property.value.kind != FormValueKind::kInteger || property.value.integer < INT32_MIN ||
      property.value.integer > INT32_MAX) {
    Fail(object, property, "an integer is expected");
  }
  return static_cast<int>(property.value.integer);
}

const std::string& AsString(const FormObject& object, const FormProperty& property) {
  if (property.value.kind != FormValueKind::kString) Fail(object, property, "a string is expected");
  return property.value.text;
}

const std::string& AsIdentifier(const FormObject& object, const FormProperty& property) {
  if (property.value.kind != FormValueKind::kIdentifier) {
    Fail(object, property, "a name is expected");
  }
  return property.value.text;
}

bool AsBool(const FormObject& object, const FormProperty& property) {
  const std::string& word = AsIdentifier(object, property);
  if (word == "True") return true;
  if (word == "False") return false;
  Fail(object, property, "True or False is expected");
}

// An enumeration value, or one of a set's values, by its name.
template <class E>
E AsEnum(const FormObject& object, const FormProperty& property, const std::string& word,
         std::initializer_list<std::pair<const char*, E>> values) {
  for (const auto& [name, value] : values) {
    if (word == name) return value;
  }
  Fail(object, property, "unknown value " + word);
}

template <class E>
vcl::TSet<E> AsSet(const FormObject& object, const FormProperty& property,
                   std::initializer_list<std::pair<const char*, E>> values) {
  if (property.value.kind != FormValueKind::kSet) Fail(object, property, "a set is expected");
  vcl::TSet<E> set;
  for (const std::string& item : property.value.items) set.Include(AsEnum<E>(object, property, item, values));
  return set;
}

vcl::TColor AsColor(const FormObject& object, const FormProperty& property) {
  if (property.value.kind == FormValueKind::kInteger) return AsInt(object, property);
  return AsEnum<vcl::TColor>(object, property, AsIdentifier(object, property),
                             {{"clBtnFace", vcl::clBtnFace},
                              {"clWindow", vcl::clWindow},
                              {"clWindowText", vcl::clWindowText},
                              {"clBlack", vcl::clBlack},
                              {"clWhite", vcl::clWhite}});
}

class Reader {
 public:
  Reader(vcl::TCustomForm& root, const FormBindings& bindings) : root_(root), bindings_(bindings) {}

  void Read(const FormObject& description) {
    root_.Loading();
    root_.SetName(description.name);
    loaded_.push_back(&root_);
    for (const FormProperty& property : description.properties) {
      Apply(description, root_, property);
    }
    for (const FormObject& child : description.children) ReadChild(child);
    for (const Fixup& fixup : fixups_) fixup();
    for (vcl::TComponent* component : loaded_) component->Loaded();
  }

 private:
  using Fixup = std::function<void()>;

  void ReadChild(const FormObject& object) {
    if (!object.children.empty()) {
      throw Exception("window description, line " + std::to_string(object.line) + ": " +
                      object.name + " cannot hold components");
    }
    const vcl::TComponentFactory factory = vcl::FindComponentClass(object.class_name);
    if (factory == nullptr) {
      throw Exception("window description, line " + std::to_string(object.line) +
                      ": unknown class " + object.class_name);
    }
    vcl::TComponent* component = factory(&root_);
    component->Loading();
    component->SetName(object.name);
    loaded_.push_back(component);
    if (auto* control = dynamic_cast<vcl::TControl*>(component)) control->SetParent(&root_);
    if (const auto field = bindings_.fields.find(object.name); field != bindings_.fields.end()) {
      field->second(component);
    }
    for (const FormProperty& property : object.properties) Apply(object, *component, property);
  }

  // Resolves `name` to a component of the root now, or once all are read.
  void WithComponent(const FormObject& object, const FormProperty& property,
                     std::function<void(vcl::TComponent*)> use) {
    const std::string& name = AsIdentifier(object, property);
    if (vcl::TComponent* found = root_.FindComponent(name)) {
      use(found);
      return;
    }
    fixups_.push_back([this, &object, &property, name, use] {
      vcl::TComponent* found = root_.FindComponent(name);
      if (found == nullptr) Fail(object, property, "no component named " + name);
      use(found);
    });
  }

  void Apply(const FormObject& object, vcl::TComponent& component, const FormProperty& property) {
    const std::string& name = property.name;
    if (auto* form = dynamic_cast<vcl::TCustomForm*>(&component); form && ApplyForm(object, *form, property)) {
      return;
    }
    if (auto* control = dynamic_cast<vcl::TControl*>(&component); control && ApplyControl(object, *control, property)) {
      return;
    }
    if (auto* dialog = dynamic_cast<vcl::TOpenDialog*>(&component)) {
      if (name == "Filter") return dialog->SetFilter(AsString(object, property));
      if (name == "FilterIndex") return dialog->SetFilterIndex(AsInt(object, property));
      if (name == "Options") {
        return dialog->SetOptions(AsSet<vcl::TOpenOption>(object, property,
                                                          {{"ofHideReadOnly", vcl::ofHideReadOnly},
                                                           {"ofPathMustExist", vcl::ofPathMustExist},
                                                           {"ofFileMustExist", vcl::ofFileMustExist},
                                                           {"ofOverwritePrompt", vcl::ofOverwritePrompt},
                                                           {"ofEnableSizing", vcl::ofEnableSizing}}));
      }
    }
    if (auto* drop = dynamic_cast<components::TDropDst*>(&component)) {
      if (name == "Control") {
        return WithComponent(object, property, [&object, &property, drop](vcl::TComponent* found) {
          auto* control = dynamic_cast<vcl::TWinControl*>(found);
          if (control == nullptr) Fail(object, property, "a windowed control is expected");
          drop->SetControl(control);
        });
      }
      if (name == "Target") {
        return drop->SetTarget(AsEnum<components::THookTarget>(object, property, AsIdentifier(object, property),
                                      {{"htControl", components::htControl},
                                       {"htForm", components::htForm}}));
      }
      if (name == "AcceptDrop") return drop->SetAcceptDrop(AsBool(object, property));
      if (name == "OnFileDrop") {
        const auto handler = bindings_.file_drop_events.find(AsIdentifier(object, property));
        if (handler == bindings_.file_drop_events.end()) Fail(object, property, "no such handler");
        return drop->SetOnFileDrop(handler->second);
      }
    }
    // Where a component without a window was placed while the window was designed.
    if (dynamic_cast<vcl::TControl*>(&component) == nullptr && (name == "Left" || name == "Top")) {
      AsInt(object, property);
      return;
    }
    Fail(object, property, "unknown property");
  }

  bool ApplyForm(const FormObject& object, vcl::TCustomForm& form, const FormProperty& property) {
    const std::string& name = property.name;
    if (name == "BorderIcons") {
      form.SetBorderIcons(AsSet<vcl::TBorderIcon>(object, property,
                                                  {{"biSystemMenu", vcl::biSystemMenu},
                                                   {"biMinimize", vcl::biMinimize},
                                                   {"biMaximize", vcl::biMaximize}}));
    } else if (name == "BorderStyle") {
      form.SetBorderStyle(AsEnum<vcl::TFormBorderStyle>(object, property, AsIdentifier(object, property),
                                 {{"bsNone", vcl::bsNone},
                                  {"bsSingle", vcl::bsSingle},
                                  {"bsSizeable", vcl::bsSizeable},
                                  {"bsDialog", vcl::bsDialog}}));
    } else if (name == "FormStyle") {
      form.SetFormStyle(AsEnum<vcl::TFormStyle>(object, property, AsIdentifier(object, property),
                               {{"fsNormal", vcl::fsNormal}, {"fsStayOnTop", vcl::fsStayOnTop}}));
    } else if (name == "Position") {
      form.SetPosition(AsEnum<vcl::TPosition>(object, property, AsIdentifier(object, property),
                              {{"poDesigned", vcl::poDesigned},
                               {"poScreenCenter", vcl::poScreenCenter}}));
    } else if (name == "PixelsPerInch") {
      form.SetPixelsPerInch(AsInt(object, property));
    } else if (name == "TextHeight") {
      form.SetTextHeight(AsInt(object, property));
    } else if (name == "ClientWidth") {
      form.SetClientWidth(AsInt(object, property));
    } else if (name == "ClientHeight") {
      form.SetClientHeight(AsInt(object, property));
    } else {
      return false;
    }
    return true;
  }

  bool ApplyControl(const FormObject& object, vcl::TControl& control, const FormProperty& property) {
    const std::string& name = property.name;
    if (name == "Left") {
      control.SetLeft(AsInt(object, property));
    } else if (name == "Top") {
      control.SetTop(AsInt(object, property));
    } else if (name == "Width") {
      control.SetWidth(AsInt(object, property));
    } else if (name == "Height") {
      control.SetHeight(AsInt(object, property));
    } else if (name == "Caption" || name == "Text") {
      control.SetCaption(AsString(object, property));
    } else if (name == "Enabled") {
      control.SetEnabled(AsBool(object, property));
    } else if (name == "Color") {
      control.SetColor(AsColor(object, property));
    } else if (name == "Font.Name") {
      control.Font().SetName(AsString(object, property));
    } else if (name == "Font.Height") {
      control.Font().SetHeight(AsInt(object, property));
    } else if (name == "Font.Color") {
      control.Font().SetColor(AsColor(object, property));
    } else if (name == "Font.Charset") {
      control.Font().SetCharset(AsEnum<vcl::TFontCharset>(object, property, AsIdentifier(object, property),
                                       {{"DEFAULT_CHARSET", vcl::DEFAULT_CHARSET},
                                        {"SHIFTJIS_CHARSET", vcl::SHIFTJIS_CHARSET}}));
    } else if (name == "Font.Style") {
      control.Font().SetStyle(AsSet<vcl::TFontStyle>(object, property,
                                                     {{"fsBold", vcl::fsBold},
                                                      {"fsItalic", vcl::fsItalic},
                                                      {"fsUnderline", vcl::fsUnderline},
                                                      {"fsStrikeOut", vcl::fsStrikeOut}}));
    } else if (auto* win = dynamic_cast<vcl::TWinControl*>(&control); win && name == "TabOrder") {
      win->SetTabOrder(AsInt(object, property));
    } else if (win && name == "TabStop") {
      win->SetTabStop(AsBool(object, property));
    } else if (auto* edit = dynamic_cast<vcl::TEdit*>(&control); edit && name == "ReadOnly") {
      edit->SetReadOnly(AsBool(object, property));
    } else if (auto* box = dynamic_cast<vcl::TCheckBox*>(&control); box && name == "Checked") {
      box->SetChecked(AsBool(object, property));
    } else if (box && name == "State") {
      box->SetChecked(AsEnum<bool>(object, property, AsIdentifier(object, property),
                             {{"cbUnchecked", false}, {"cbChecked", true}}));
    } else if (auto* button = dynamic_cast<vcl::TButton*>(&control); button && name == "OnClick") {
      const auto handler = bindings_.notify_events.find(AsIdentifier(object, property));
      if (handler == bindings_.notify_events.end()) Fail(object, property, "no such handler");
      button->SetOnClick(handler->second);
    } else {
      return false;
    }
    return true;
  }

  vcl::TCustomForm& root_;
  const FormBindings& bindings_;
  std::vector<vcl::TComponent*> loaded_;
  std::vector<Fixup> fixups_;
};

}  // namespace

void ReadForm(vcl::TCustomForm& root, const FormObject& description,
              const FormBindings& bindings) {
  Reader(root, bindings).Read(description);
}

void ReadFormText(vcl::TCustomForm& root, std::string_view text, const FormBindings& bindings) {
  std::string error;
  const std::optional<FormObject> description = ParseFormText(text, error);
  if (!description) throw Exception("window description: " + error);
  ReadForm(root, *description, bindings);
}

}  // namespace resgraft::app
