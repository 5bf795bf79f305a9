#include "sys/utf16.h"

#include <gtest/gtest.h>

namespace resgraft::sys {
namespace {

TEST(NamesEqualTest, ComparesTextAfterCanonicalComposition) {
  struct Case {
    const char* name;
    std::u16string a, b;
    bool equal;
  };
  const Case kCases[] = {
      {"same", u"AVI", u"AVI", true},
      {"case counts", u"AVI", u"avi", false},
      {"empty", u"", u"", true},
      {"prefix", u"AVI", u"AV", false},
      {"precomposed and decomposed", u"\u00e9", u"e\u0301", true},
      {"width counts", u"A", u"\uff21", false},
      {"kana type counts", u"\u3042", u"\u30a2", false},
      {"lone surrogate", u"\xd800", u"\xd800", true},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(NamesEqual(c.a, c.b), c.equal);
    EXPECT_EQ(NamesEqual(c.b, c.a), c.equal);
  }
}

}  // namespace
}  // namespace resgraft::sys
