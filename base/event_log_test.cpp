#include "base/event_log.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "tests/bed/wine_log.h"

namespace {

// Callers log between a failing call and reading its error, so the log must not touch it.
TEST(WriteEventLog, WritesOneInformationalLineAndKeepsTheLastError) {
  SetLastError(1234);
  WriteEventLog("shell unit test line\twith a tab");
  EXPECT_EQ(GetLastError(), 1234u);
  const auto entries = bed::WineLogEntries(GetCurrentProcessId());
  ASSERT_FALSE(entries.empty());
  EXPECT_EQ(entries.back().text, "shell unit test line\twith a tab");
  EXPECT_EQ(entries.back().level, "trace");
}

}  // namespace
