// quorvel-trace's live view against a running quorvel.exe: while a capture runs, each call
// of an instrument-library client appears on its standard output as soon as it returns, as
// exactly the line that "quorvel-trace list" gives for the saved capture, and the filter
// of the live view leaves the file whole.
#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "base/results.h"
#include "tests/bed/trace_clients.h"
#include "tests/system/running_quorvel.h"

namespace {

using bed::TempPath;
using namespace quorvel_test;

constexpr DWORD kSwitchMs = 15000;
constexpr int kCalls = 40;
constexpr char kProgram[] = "live.exe";

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

// The call lines of the client among a command's output.
std::vector<std::string> CallLines(const std::string& output) {
  std::vector<std::string> calls;
  for (const std::string& line : Lines(output)) {
    if (line.find(std::string(" ") + kProgram + "  ") != std::string::npos) calls.push_back(line);
  }
  return calls;
}

using TraceLiveView = RunningQuorvelTest;

TEST_F(TraceLiveView, ShowsEachChosenCallAsItsListLineWhileCapturing) {
  const std::string path = TempPath("live") + ".qtrace";
  const std::string stopName = bed::UniqueName("live_stop");
  const UniqueHandle stopEvent(CreateEventA(nullptr, TRUE, FALSE, stopName.c_str()));
  const auto capture = bed::StartWithOutput(
      "quorvel-trace.exe", {"capture", "-o", path, "--stop-event", stopName, "--show", "--method", "viWrite"});
  ASSERT_TRUE(capture->WaitForOutput("quorvel-trace: capturing to", kSwitchMs)) << capture->Output();

  const auto client = bed::StartInstrumentSim({"--calls", std::to_string(kCalls), "--seed", "5", "--timeout", "10000",
                                               "--wait-enabled", std::to_string(kSwitchMs), "--app-name", kProgram});
  bed::ExpectClientCounts(*client, 2 * kCalls, 0, 120000);
  // The client has ended and the capture still runs: its writes are on the output already.
  ASSERT_TRUE(capture->WaitForOutput("viWrite(", kSwitchMs)) << capture->Output();
  EXPECT_TRUE(capture->Running());
  const size_t shownWhileCapturing = CallLines(capture->Output()).size();

  IgnoreResult(SetEvent(stopEvent.Get()));
  ASSERT_EQ(capture->WaitExitCode(kSwitchMs), 0u) << capture->Output();
  EXPECT_NE(capture->Output().find(std::to_string(2 * kCalls) + " messages kept"), std::string::npos)
      << "the filter of the live view must not thin out the file";

  const auto list = bed::StartWithOutput("quorvel-trace.exe", {"list", path, "--method", "viWrite"});
  ASSERT_EQ(list->WaitExitCode(kSwitchMs), 0u) << list->Output();
  const std::vector<std::string> listed = CallLines(list->Output());
  ASSERT_FALSE(listed.empty()) << list->Output();
  // One client thread: its calls end in the order they began, so the order is the same too.
  EXPECT_EQ(CallLines(capture->Output()), listed);
  EXPECT_EQ(shownWhileCapturing, listed.size());
  // The closing lines agree as well.
  EXPECT_EQ(Lines(capture->Output()).size() >= 2 ? Lines(capture->Output()).end()[-2] : "",
            Lines(list->Output()).back());
  IgnoreResult(DeleteFileA(path.c_str()));
}

}  // namespace
