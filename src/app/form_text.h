#ifndef RESGRAFT_APP_FORM_TEXT_H_
#define RESGRAFT_APP_FORM_TEXT_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The text form of a window's description:
//
//   object Form1: TForm1
//     Caption = 'text'           (quoted; '' is a quote, #nnn a character code)
//     ClientWidth = 377          (integers, optionally negative)
//     BorderStyle = bsSingle     (identifiers: enumeration values, True/False, names)
//     BorderIcons = [biSystemMenu, biMinimize]   (sets)
//     Font.Name = 'text'         (dotted property paths)
//     object Edit1: TEdit
//       ...
//     end
//   end
//
// Parsing only builds the tree; applying it to components is the caller's work.

namespace resgraft::app {

struct FormValue {
  enum class Kind { kInteger, kString, kIdentifier, kSet };
  Kind kind = Kind::kInteger;
  int64_t integer = 0;
  std::string text;               // the string's bytes, or the identifier
  std::vector<std::string> items;  // the set's identifiers
};

struct FormProperty {
  std::string name;  // may be dotted: "Font.Name"
  FormValue value;
  int line = 0;
};

struct FormObject {
  std::string name;
  std::string class_name;
  std::vector<FormProperty> properties;  // in the order written
  std::vector<FormObject> children;      // in the order written
  int line = 0;
};

// Parses `text`; on a syntax error, nothing, with `error` saying where and what.
std::optional<FormObject> ParseFormText(std::string_view text, std::string& error);

}  // namespace resgraft::app

#endif  // RESGRAFT_APP_FORM_TEXT_H_
