#include "support/capture_line.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(CaptureLine, OneUtf8LinePerMessageWithLineEndsEscaped) {
  const struct {
    const char* name;
    std::u16string text;
    std::string line;
  } cases[] = {
      {"plain", u"<M a=\"1\"/>", "<M a=\"1\"/>\n"},
      {"empty", u"", "\n"},
      {"line ends inside", u"a\r\nb\nc\r", "a&#13;&#10;b&#10;c&#13;\n"},
      {"two and three bytes", u"\u00e9\u20ac", "\xc3\xa9\xe2\x82\xac\n"},
  };
  for (const auto& c : cases) {
    std::string out;
    support::AppendCaptureLine(out, c.text.data(), c.text.size());
    EXPECT_EQ(out, c.line) << c.name;
  }
}

TEST(CaptureLine, AppendsAfterWhatIsThere) {
  std::string out = "first\n";
  const std::u16string text = u"x\ny";
  support::AppendCaptureLine(out, text.data(), text.size());
  EXPECT_EQ(out, "first\nx&#10;y\n");
}

}  // namespace
