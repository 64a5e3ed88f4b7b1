#include "standin/options.h"

#include <gtest/gtest.h>

namespace {

using standin::OptionParser;
using Outcome = OptionParser::Outcome;

TEST(ParseInteger, AcceptsOnlyWholeDecimalsWithinBounds) {
  struct Case {
    const char* text;
    int64_t min, max;
    bool ok;
    int64_t value;
  };
  const Case cases[] = {
      {"0", 0, 10, true, 0},          {"-5", -10, 10, true, -5},       {"10", 0, 10, true, 10},
      {"11", 0, 10, false, 0},        {"-1", 0, 10, false, 0},         {"", 0, 10, false, 0},
      {"-", -5, 5, false, 0},         {"+3", 0, 10, false, 0},         {" 3", 0, 10, false, 0},
      {"3x", 0, 10, false, 0},        {"-9223372036854775808", INT64_MIN, 0, true, INT64_MIN},
      {"9223372036854775808", 0, INT64_MAX, false, 0},
  };
  for (const Case& c : cases) {
    int64_t value = 12345;
    EXPECT_EQ(standin::ParseInteger(c.text, c.min, c.max, value), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(value, c.value) << c.text;
    }
  }
}

struct Parsed {
  bool flag = false;
  std::string text;
  int64_t number = -1;
};

OptionParser MakeParser(Parsed& p) {
  OptionParser parser("prog", "[options]", "Test program.");
  parser.AddFlag("--flag", "a flag", [&p] { p.flag = true; });
  parser.AddValue("--text", "TEXT", "some text", [&p](std::string_view v) {
    p.text = std::string(v);
    return std::string();
  });
  parser.AddInteger("--number", "N", "a number", 1, 100, [&p](int64_t n) { p.number = n; });
  return parser;
}

TEST(OptionParser, AppliesSeparateAndInlineValuesAndFlags) {
  Parsed p;
  OptionParser parser = MakeParser(p);
  EXPECT_EQ(parser.Parse({"--flag", "--text", "a b=c", "--number=42"}), Outcome::Run);
  EXPECT_TRUE(p.flag);
  EXPECT_EQ(p.text, "a b=c");
  EXPECT_EQ(p.number, 42);

  Parsed q;
  OptionParser other = MakeParser(q);
  EXPECT_EQ(other.Parse({"--text=", "--number", "7"}), Outcome::Run);
  EXPECT_EQ(q.text, "");
  EXPECT_EQ(q.number, 7);
  EXPECT_FALSE(q.flag);
}

TEST(OptionParser, RejectsBadCommandLinesWithAMessageNamingTheProblem) {
  struct Case {
    std::vector<std::string> args;
    const char* mentions;
  };
  const Case cases[] = {
      {{"--nope"}, "--nope"},          {{"stray"}, "stray"},
      {{"--text"}, "TEXT"},            {{"--flag=1"}, "takes no value"},
      {{"--number", "0"}, "1 to 100"}, {{"--number", "abc"}, "abc"},
  };
  for (const Case& c : cases) {
    Parsed p;
    OptionParser parser = MakeParser(p);
    EXPECT_EQ(parser.Parse(c.args), Outcome::Error) << c.args[0];
    EXPECT_NE(parser.LastError().find(c.mentions), std::string::npos) << parser.LastError();
  }
}

TEST(OptionParser, HelpStopsParsingAndListsEveryOption) {
  Parsed p;
  OptionParser parser = MakeParser(p);
  EXPECT_EQ(parser.Parse({"--help", "--flag"}), Outcome::HelpShown);
  EXPECT_FALSE(p.flag);
  std::string help = parser.HelpText();
  for (const char* name : {"--flag", "--text TEXT", "--number N", "--help"}) {
    EXPECT_NE(help.find(name), std::string::npos) << name;
  }
}

}  // namespace
