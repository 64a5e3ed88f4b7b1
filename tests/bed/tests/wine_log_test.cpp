#include "tests/bed/wine_log.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "tests/bed/child_process.h"

namespace {

using bed::ParseWineLogLine;

void WriteLogEntry(const char* text) {
  HANDLE source = RegisterEventSourceA(nullptr, "bed test");
  ReportEventA(source, EVENTLOG_INFORMATION_TYPE, 0, 0x40000002, nullptr, 1, 0, &text, nullptr);
  DeregisterEventSource(source);
}

TEST(ParseWineLogLine, ReadsIdsLevelAndUnescapedText) {
  const struct {
    const char* line;
    DWORD pid, tid;
    const char* level;
    const char* text;
    bool truncated;
  } cases[] = {
      {"0144:0148:trace:eventlog:ReportEventW L\"a \\\"b\\\" c\\\\d\\ne\\tf\\r\"\n", 0x144, 0x148, "trace",
       "a \"b\" c\\d\ne\tf\r", false},
      {"0228:err:eventlog:ReportEventW L\"disk on fire\"", 0, 0x228, "err", "disk on fire", false},
      {"441.917:02cc:02d0:warn:eventlog:ReportEventW L\"w\"", 0x2cc, 0x2d0, "warn", "w", false},
      // U+00E4 is 0xE4 in the ANSI code page (1252) of a Wine prefix.
      {"0010:0011:trace:eventlog:ReportEventW L\"Ger\\00e4t\\0001\"...", 0x10, 0x11, "trace", "Ger\xe4t\x01", true},
  };
  for (const auto& c : cases) {
    auto e = ParseWineLogLine(c.line);
    ASSERT_TRUE(e) << c.line;
    EXPECT_EQ(e->pid, c.pid) << c.line;
    EXPECT_EQ(e->tid, c.tid) << c.line;
    EXPECT_EQ(e->level, c.level) << c.line;
    EXPECT_EQ(e->text, c.text) << c.line;
    EXPECT_EQ(e->truncated, c.truncated) << c.line;
  }
}

TEST(ParseWineLogLine, IgnoresOtherLinesAndBrokenOnes) {
  const char* lines[] = {
      "00c0:00d0:trace:eventlog:ServiceMain starting Event Log Service",
      "0010:0011:fixme:advapi:ReportEventA (...)",
      "0010:0011:trace:eventlog:ReportEventW L\"unterminated",
      "0010:0011:trace:eventlog:ReportEventW L\"bad escape \\q\"",
      "0010:0011:trace:eventlog:ReportEventW L\"short hex \\00e\"",
      "0010:0011:trace:eventlog:ReportEventW L\"x\" trailing",
      "zz:trace:eventlog:ReportEventW L\"x\"",
  };
  for (const char* line : lines) EXPECT_FALSE(ParseWineLogLine(line)) << line;
}

// The whole path: this process and a child write entries, the wrapper's copy of the
// Unix standard error holds them, and each is found under its own pid.
TEST(WineLog, FindsTheEntriesOfThisProcessAndOfAChild) {
  ASSERT_FALSE(bed::WineLogPath().empty()) << "run through tests/bed/wine-run.sh (QUORVEL_WINE_LOG)";
  const char* mine = "bed self \"quoted\" back\\slash\nnext line\t\xe4";
  WriteLogEntry(mine);
  auto own = bed::WaitForWineLogEntries(GetCurrentProcessId(), 1, 10000);
  ASSERT_EQ(own.size(), 1u);
  EXPECT_EQ(own[0].text, mine);
  EXPECT_EQ(own[0].level, "trace");

  char self[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  std::string longText(400, 'L');
  bed::ChildOptions options;
  options.environment = {{"BED_LOG_TEXT", longText}, {"WINEDEBUG", bed::kWineDebugWithEventLog}};
  bed::ChildProcess child(self, {}, options);
  ASSERT_EQ(child.WaitExitCode(20000), 0u);
  auto entry = bed::WaitForWineLogEntry(
      child.Pid(), [](const bed::WineLogEntry& e) { return e.text.rfind("LLL", 0) == 0; }, 10000);
  ASSERT_TRUE(entry);
  EXPECT_TRUE(entry->truncated);
  EXPECT_LT(entry->text.size(), longText.size());
  EXPECT_EQ(entry->text, longText.substr(0, entry->text.size()));
  EXPECT_EQ(bed::WineLogEntries(GetCurrentProcessId()).size(), 1u) << "the child's entry is not ours";
}

}  // namespace

// Started by the test above with BED_LOG_TEXT set, the program writes that one entry and
// ends without running any test.
int main(int argc, char** argv) {
  if (const char* text = std::getenv("BED_LOG_TEXT")) {
    WriteLogEntry(text);
    return 0;
  }
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
