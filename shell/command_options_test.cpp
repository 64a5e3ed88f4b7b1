#include "shell/command_options.h"

#include <gtest/gtest.h>

namespace {

TEST(ParseCommandOption, KnowsTheEightOptions) {
  EXPECT_EQ(ParseCommandOption("-e"), CommandOption::kEditRm);
  EXPECT_EQ(ParseCommandOption("-r"), CommandOption::kRefreshRm);
  EXPECT_EQ(ParseCommandOption("-h"), CommandOption::kHideRm);
  EXPECT_EQ(ParseCommandOption("-s0"), CommandOption::kHideIcon);
  EXPECT_EQ(ParseCommandOption("-s1"), CommandOption::kShowIcon);
  EXPECT_EQ(ParseCommandOption("-q"), CommandOption::kQuiet);
  EXPECT_EQ(ParseCommandOption("-o"), CommandOption::kRebootDone);
  EXPECT_EQ(ParseCommandOption("-x"), CommandOption::kExit);
}

TEST(ParseCommandOption, ComparesTheWholeTailCaseSensitively) {
  for (const char* text : {"", "-x ", " -x", "/x", "-X", "-x -e", "-s", "-s01", "-e\t", "x"}) {
    EXPECT_EQ(ParseCommandOption(text), CommandOption::kNone) << '"' << text << '"';
  }
  EXPECT_EQ(ParseCommandOption(nullptr), CommandOption::kNone);
}

}  // namespace
