#include "shell/command_options.h"

#include <gtest/gtest.h>

namespace {

// The whole tail is compared, case-sensitively: no splitting, no trimming.
TEST(ParseCommandOption, KnowsTheEightOptionsAndNothingElse) {
  const struct { const char* text; CommandOption option; } cases[] = {
      {"-e", CommandOption::kEditRm},    {"-r", CommandOption::kRefreshRm}, {"-h", CommandOption::kHideRm},
      {"-s0", CommandOption::kHideIcon}, {"-s1", CommandOption::kShowIcon}, {"-q", CommandOption::kQuiet},
      {"-o", CommandOption::kRebootDone}, {"-x", CommandOption::kExit},     {nullptr, CommandOption::kNone},
      {"", CommandOption::kNone},        {"-x ", CommandOption::kNone},     {" -x", CommandOption::kNone},
      {"/x", CommandOption::kNone},      {"-X", CommandOption::kNone},      {"-x -e", CommandOption::kNone},
      {"-s", CommandOption::kNone},      {"-s01", CommandOption::kNone},    {"-e\t", CommandOption::kNone},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ParseCommandOption(c.text), c.option) << '"' << (c.text ? c.text : "(null)") << '"';
  }
}

}  // namespace
