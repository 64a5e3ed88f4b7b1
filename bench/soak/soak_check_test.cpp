// The soak's own instruments: a handle counter or a trace comparison that cannot see a
// fault would let a leak or a lost message through unnoticed.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <vector>

#include "bench/soak/process_meter.h"
#include "bench/soak/trace_check.h"

namespace {

TEST(SoakMeter, SeesThisProcessGainAndReleaseHandlesAndMemory) {
  soak::ProcessMeter meter(GetCurrentProcess(), GetCurrentProcessId());
  const soak::ProcessSample before = meter.Sample();
  ASSERT_GE(before.handles, 0);
  std::vector<HANDLE> events;
  for (int i = 0; i < 40; ++i) events.push_back(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  EXPECT_EQ(meter.Sample().handles, before.handles + 40);
  for (HANDLE h : events) CloseHandle(h);
  EXPECT_EQ(meter.Sample().handles, before.handles);

  std::vector<char> touched(16 * 1024 * 1024, 1);
  EXPECT_GE(meter.Sample().workingSet, before.workingSet + 12 * 1024 * 1024) << touched[12345];
}

std::string Text(int process, int thread, const char* body) {
  return "<M ThreadID=\"" + std::to_string(thread) + "\" ProcessID=\"" + std::to_string(process) + "\" " + body + "/>";
}

soak::TextsByThread Group(const std::vector<std::string>& texts) {
  soak::TextsByThread groups;
  for (const std::string& t : texts) soak::AddText(t, groups);
  return groups;
}

TEST(SoakTraceCheck, AcceptsOnlyEveryMessageOnceInItsThreadsOrder) {
  const std::string a1 = Text(7, 1, "a"), a2 = Text(7, 1, "b"), b1 = Text(7, 2, "a"), c1 = Text(9, 1, "a");
  const std::vector<std::string> sent{a1, b1, a2, c1};
  struct Case {
    const char* name;
    std::vector<std::string> captured;
    bool ok;
  };
  const Case cases[] = {
      {"same order", {a1, b1, a2, c1}, true},
      {"threads interleaved differently", {c1, b1, a1, a2}, true},
      {"one lost", {a1, b1, c1}, false},
      {"one twice", {a1, b1, a2, a2, c1}, false},
      {"swapped within a thread", {a2, b1, a1, c1}, false},
      {"a byte changed", {a1, b1, Text(7, 1, "c"), c1}, false},
      {"a thread never sent", {a1, b1, a2, c1, Text(8, 1, "a")}, false},
      {"thread ids swapped between processes", {a1, b1, a2, Text(1, 9, "a")}, false},
  };
  for (const Case& c : cases) {
    const soak::TraceVerdict v = soak::Compare(Group(sent), Group(c.captured));
    EXPECT_EQ(v.Ok(), c.ok) << c.name << ": " << v.firstProblem;
    EXPECT_EQ(v.captured, c.captured.size()) << c.name;
  }
}

TEST(SoakTraceCheck, CaptureReaderTakesOnlyCompletedLines) {
  char path[MAX_PATH];
  GetTempPathA(sizeof path, path);
  const std::string file = std::string(path) + "soak_capture_" + std::to_string(GetCurrentProcessId()) + ".txt";
  auto append = [&](const char* text) {
    std::FILE* f = std::fopen(file.c_str(), "ab");
    ASSERT_NE(f, nullptr);
    std::fputs(text, f);
    std::fclose(f);
  };
  soak::CaptureReader reader(file);
  append("first\nsec");
  EXPECT_EQ(reader.ReadNew(), std::vector<std::string>{"first"});
  EXPECT_TRUE(reader.ReadNew().empty());
  append("ond\nthird\n");
  EXPECT_EQ(reader.ReadNew(), (std::vector<std::string>{"second", "third"}));
  DeleteFileA(file.c_str());
}

}  // namespace
