#include "app/form_text.h"

#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

namespace resgraft::app {
namespace {

TEST(FormTextTest, ReadsObjectsPropertiesAndValuesInOrder) {
  std::string error;
  const std::optional<FormObject> form = ParseFormText(
      "object Form1: TForm1\n"
      "  Caption = 'it''s'#13#10'ok'\n"
      "  Font.Height = -12\n"
      "  BorderIcons = [biSystemMenu, biMinimize]\n"
      "  Font.Style = []\n"
      "  object Edit1: TEdit\n"
      "    ReadOnly = True\n"
      "  end\n"
      "  object Drop: TDropDst\n"
      "    Control = Edit1\n"
      "  end\n"
      "end\n",
      error);
  ASSERT_TRUE(form) << error;
  EXPECT_EQ(form->name, "Form1");
  EXPECT_EQ(form->class_name, "TForm1");
  ASSERT_EQ(form->properties.size(), 4u);
  EXPECT_EQ(form->properties[0].value.text, "it's\r\nok");
  EXPECT_EQ(form->properties[1].name, "Font.Height");
  EXPECT_EQ(form->properties[1].value.integer, -12);
  EXPECT_EQ(form->properties[2].value.items, (std::vector<std::string>{"biSystemMenu", "biMinimize"}));
  EXPECT_TRUE(form->properties[3].value.items.empty());
  ASSERT_EQ(form->children.size(), 2u);
  EXPECT_EQ(form->children[0].properties[0].value.text, "True");
  EXPECT_EQ(form->children[1].properties[0].value.kind, FormValue::Kind::kIdentifier);
}

TEST(FormTextTest, SaysWhereTheTextIsWrong) {
  struct Case {
    const char* text;
    const char* error;
  };
  const Case kCases[] = {
      {"object A: TA\n  X = 'open\nend\n", "unterminated string"},
      {"object A: TA\n  X 1\nend\n", "line 2: '=' expected"},
      {"object A: TA\n  X = [a b]\nend\n", "line 2: ',' or ']' expected"},
      {"object A: TA\n", "line 2: 'end' expected"},
      {"object A TA end", "line 1: ':' expected"},
      {"object A: TA\nend\nend\n", "line 3: text after the last 'end'"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.text);
    std::string error;
    EXPECT_FALSE(ParseFormText(c.text, error));
    EXPECT_EQ(error, c.error);
  }
}

TEST(FormTextTest, TheMainWindowsDescriptionReads) {
  std::ifstream in(std::string(RESGRAFT_SOURCE_DIR) + "/src/app/form1.dfm");
  std::stringstream text;
  text << in.rdbuf();
  std::string error;
  const std::optional<FormObject> form = ParseFormText(text.str(), error);
  ASSERT_TRUE(form) << error;
  std::vector<std::string> order;
  for (const FormObject& child : form->children) order.push_back(child.name);
  EXPECT_EQ(order, (std::vector<std::string>{"Label1", "Edit1", "Edit2", "SaveBtn1", "OpenBtn1",
                                              "OpenBtn2", "cbAVI", "cbBitmap", "cbCursor", "cbIcon",
                                              "OpenDialog1", "SaveDialog1", "DropDst1",
                                              "DropDst2"}));
}

}  // namespace
}  // namespace resgraft::app
