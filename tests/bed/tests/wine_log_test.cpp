#include "bed/wine_log.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "bed/child_process.h"

namespace {

using bed::ParseWineLogLine;

TEST(ParseWineLogLine, ReadsIdsLevelAndUnescapedText) {
  auto e = ParseWineLogLine("0144:0148:trace:eventlog:ReportEventW L\"a \\\"b\\\" c\\\\d\\ne\\tf\\r\"\n");
  ASSERT_TRUE(e);
  EXPECT_EQ(e->pid, 0x144u);
  EXPECT_EQ(e->tid, 0x148u);
  EXPECT_EQ(e->level, "trace");
  EXPECT_EQ(e->text, "a \"b\" c\\d\ne\tf\r");
  EXPECT_FALSE(e->truncated);

  auto noPid = ParseWineLogLine("0228:err:eventlog:ReportEventW L\"disk on fire\"");
  ASSERT_TRUE(noPid);
  EXPECT_EQ(noPid->pid, 0u);
  EXPECT_EQ(noPid->tid, 0x228u);
  EXPECT_EQ(noPid->level, "err");

  auto stamped = ParseWineLogLine("441.917:02cc:02d0:warn:eventlog:ReportEventW L\"w\"");
  ASSERT_TRUE(stamped);
  EXPECT_EQ(stamped->pid, 0x2ccu);
  EXPECT_EQ(stamped->tid, 0x2d0u);
  EXPECT_EQ(stamped->level, "warn");
}

TEST(ParseWineLogLine, TurnsHexEscapesIntoAnsiAndNotesTruncation) {
  // U+00E4 is 0xE4 in the ANSI code page (1252) of a Wine prefix.
  auto e = ParseWineLogLine("0010:0011:trace:eventlog:ReportEventW L\"Ger\\00e4t\\0001\"...");
  ASSERT_TRUE(e);
  EXPECT_EQ(e->text, "Ger\xe4t\x01");
  EXPECT_TRUE(e->truncated);
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

// Run as a child (BED_CHILD_MODE=log) by the test below: writes one entry and exits.
TEST(ChildHelper, Act) {
  const char* mode = std::getenv("BED_CHILD_MODE");
  if (mode == nullptr) GTEST_SKIP() << "only meaningful as a child of the test below";
  HANDLE source = RegisterEventSourceA(nullptr, "bed test");
  const char* text = std::getenv("BED_LOG_TEXT");
  ReportEventA(source, EVENTLOG_INFORMATION_TYPE, 0, 0x40000002, nullptr, 1, 0, &text, nullptr);
  DeregisterEventSource(source);
  std::exit(0);
}

// The whole path: this process and a child write entries, the wrapper's copy of the
// Unix standard error holds them, and each is found under its own pid.
TEST(WineLog, FindsTheEntriesOfThisProcessAndOfAChild) {
  ASSERT_FALSE(bed::WineLogPath().empty()) << "run through tests/bed/wine-run.sh (QUORVEL_WINE_LOG)";
  const char* mine = "bed self \"quoted\" back\\slash\nnext line\t\xe4";
  HANDLE source = RegisterEventSourceA(nullptr, "bed test");
  ReportEventA(source, EVENTLOG_INFORMATION_TYPE, 0, 0x40000002, nullptr, 1, 0, &mine, nullptr);
  DeregisterEventSource(source);
  auto own = bed::WaitForWineLogEntries(GetCurrentProcessId(), 1, 10000);
  ASSERT_EQ(own.size(), 1u);
  EXPECT_EQ(own[0].text, mine);
  EXPECT_EQ(own[0].level, "trace");

  char self[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  std::string longText(400, 'L');
  bed::ChildOptions options;
  options.environment = {{"BED_CHILD_MODE", "log"}, {"BED_LOG_TEXT", longText},
                         {"WINEDEBUG", bed::kWineDebugWithEventLog}};
  bed::ChildProcess child(self, {"--gtest_filter=ChildHelper.Act"}, options);
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
