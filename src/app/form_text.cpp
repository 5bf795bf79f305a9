#include "app/form_text.h"

#include <cctype>
#include <charconv>

namespace resgraft::app {
namespace {

struct Token {
  enum class Kind { kEnd, kIdentifier, kInteger, kString, kSymbol };
  Kind kind = Kind::kEnd;
  std::string text;
  int64_t integer = 0;
  int line = 1;
};

// Appends the UTF-8 form of `code` (a character code written as #nnn).
void AppendUtf8(std::string& out, uint32_t code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

bool IsNameChar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_' || c == '.';
}

class Lexer {
 public:
  explicit Lexer(std::string_view text) : text_(text) {}

  // The next token; false with `error` set on a malformed one.
  bool Next(Token& token, std::string& error) {
    SkipBlanks();
    token = Token();
    token.line = line_;
    if (pos_ >= text_.size()) return true;
    const char c = text_[pos_];
    if (std::isalpha(static_cast<unsigned char>(c)) != 0 || c == '_') {
      const size_t start = pos_;
      while (pos_ < text_.size() && IsNameChar(text_[pos_])) ++pos_;
      token.kind = Token::Kind::kIdentifier;
      token.text = std::string(text_.substr(start, pos_ - start));
      return true;
    }
    if (std::isdigit(static_cast<unsigned char>(c)) != 0 || c == '-') {
      const size_t start = pos_++;
      while (pos_ < text_.size() && std::isdigit(static_cast<unsigned char>(text_[pos_])) != 0) ++pos_;
      const std::string_view digits = text_.substr(start, pos_ - start);
      const auto [end, status] =
          std::from_chars(digits.data(), digits.data() + digits.size(), token.integer);
      if (status != std::errc() || end != digits.data() + digits.size()) {
        error = "bad number";
        return false;
      }
      token.kind = Token::Kind::kInteger;
      return true;
    }
    if (c == '\'' || c == '#') return ReadString(token, error);
    if (c == '=' || c == ':' || c == '[' || c == ']' || c == ',') {
      token.kind = Token::Kind::kSymbol;
      token.text = std::string(1, c);
      ++pos_;
      return true;
    }
    error = std::string("unexpected character '") + c + "'";
    return false;
  }

 private:
  void SkipBlanks() {
    while (pos_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[pos_])) != 0) {
      if (text_[pos_] == '\n') ++line_;
      ++pos_;
    }
  }

  // 'quoted'#13#10'parts' run together into one string.
  bool ReadString(Token& token, std::string& error) {
    token.kind = Token::Kind::kString;
    while (pos_ < text_.size()) {
      if (text_[pos_] == '\'') {
        ++pos_;
        while (true) {
          if (pos_ >= text_.size() || text_[pos_] == '\n') {
            error = "unterminated string";
            return false;
          }
          if (text_[pos_] == '\'') {
            if (pos_ + 1 < text_.size() && text_[pos_ + 1] == '\'') {
              token.text += '\'';
              pos_ += 2;
              continue;
            }
            ++pos_;
            break;
          }
          token.text += text_[pos_++];
        }
      } else if (text_[pos_] == '#') {
        const size_t start = ++pos_;
        while (pos_ < text_.size() && std::isdigit(static_cast<unsigned char>(text_[pos_])) != 0) ++pos_;
        uint32_t code = 0;
        const auto [end, status] = std::from_chars(text_.data() + start, text_.data() + pos_, code);
        if (start == pos_ || status != std::errc() || code > 0x10FFFF) {
          error = "bad character code";
          return false;
        }
        AppendUtf8(token.text, code);
      } else {
        break;
      }
    }
    return true;
  }

  std::string_view text_;
  size_t pos_ = 0;
  int line_ = 1;
};

class Parser {
 public:
  explicit Parser(std::string_view text) : lexer_(text) {}

  std::optional<FormObject> Parse(std::string& error) {
    if (!Advance(error)) return std::nullopt;
    FormObject root;
    if (!ParseObject(root, error)) return std::nullopt;
    if (token_.kind != Token::Kind::kEnd) {
      Fail("text after the last 'end'", error);
      return std::nullopt;
    }
    return root;
  }

 private:
  bool Advance(std::string& error) { return lexer_.Next(token_, error); }

  bool Fail(const std::string& what, std::string& error) const {
    error = "line " + std::to_string(token_.line) + ": " + what;
    return false;
  }

  bool IsWord(const char* word) const {
    return token_.kind == Token::Kind::kIdentifier && token_.text == word;
  }
  bool IsSymbol(char symbol) const {
    return token_.kind == Token::Kind::kSymbol && token_.text[0] == symbol;
  }

  bool ParseObject(FormObject& object, std::string& error) {
    object.line = token_.line;
    if (!IsWord("object")) return Fail("'object' expected", error);
    if (!Advance(error)) return false;
    if (token_.kind != Token::Kind::kIdentifier) return Fail("component name expected", error);
    object.name = token_.text;
    if (!Advance(error)) return false;
    if (!IsSymbol(':')) return Fail("':' expected", error);
    if (!Advance(error)) return false;
    if (token_.kind != Token::Kind::kIdentifier) return Fail("class name expected", error);
    object.class_name = token_.text;
    if (!Advance(error)) return false;

    while (!IsWord("end")) {
      if (token_.kind == Token::Kind::kEnd) return Fail("'end' expected", error);
      if (IsWord("object")) {
        object.children.emplace_back();
        if (!ParseObject(object.children.back(), error)) return false;
        continue;
      }
      if (token_.kind != Token::Kind::kIdentifier) return Fail("property name expected", error);
      FormProperty property;
      property.name = token_.text;
      property.line = token_.line;
      if (!Advance(error)) return false;
      if (!IsSymbol('=')) return Fail("'=' expected", error);
      if (!Advance(error)) return false;
      if (!ParseValue(property.value, error)) return false;
      object.properties.push_back(std::move(property));
    }
    return Advance(error);
  }

  bool ParseValue(FormValue& value, std::string& error) {
    switch (token_.kind) {
      case Token::Kind::kInteger:
        value.kind = FormValue::Kind::kInteger;
        value.integer = token_.integer;
        return Advance(error);
      case Token::Kind::kString:
        value.kind = FormValue::Kind::kString;
        value.text = token_.text;
        return Advance(error);
      case Token::Kind::kIdentifier:
        value.kind = FormValue::Kind::kIdentifier;
        value.text = token_.text;
        return Advance(error);
      default:
        break;
    }
    if (!IsSymbol('[')) return Fail("value expected", error);
    value.kind = FormValue::Kind::kSet;
    if (!Advance(error)) return false;
    while (!IsSymbol(']')) {
      if (token_.kind != Token::Kind::kIdentifier) return Fail("set item expected", error);
      value.items.push_back(token_.text);
      if (!Advance(error)) return false;
      if (IsSymbol(',')) {
        if (!Advance(error)) return false;
      } else if (!IsSymbol(']')) {
        return Fail("',' or ']' expected", error);
      }
    }
    return Advance(error);
  }

  Lexer lexer_;
  Token token_;
};

}  // namespace

std::optional<FormObject> ParseFormText(std::string_view text, std::string& error) {
  return Parser(text).Parse(error);
}

}  // namespace resgraft::app
