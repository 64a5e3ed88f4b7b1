// The relay against a viewer that stops reading or reads slowly: the relay runs in this
// process, the NKO server, the viewer and the instrument libraries are stand-in processes.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "tests/bed/trace_clients.h"
#include "base/results.h"
#include "tests/bed/viewer_standin.h"
#include "support/wait_until.h"
#include "trace/viewer_link.h"

namespace {

using bed::RelayLog;
using bed::TracingOn;
using support::WaitUntil;

// A client's replies may take what a reply takes plus, once, the write limit.
constexpr DWORD kReplyMarginMs = 2000;
constexpr DWORD kClientTimeoutMs = kViewerWriteLimitMs + kReplyMarginMs;
constexpr char kGivenUp[] = "WriteViewer: the viewer has not taken a message of ";
constexpr char kDisabled[] = "UpdateTraceInfo: tracing has been disabled.";
constexpr char kEnabled[] = "UpdateTraceInfo: tracing has been enabled.";

bool WaitForRelayLog(const std::string& start, size_t count, DWORD timeoutMs) {
  return WaitUntil([&] { return RelayLog(start).size() >= count; }, timeoutMs);
}

// One client run: its arguments, its dump of every message it posted, its output.
struct Client {
  std::string dump = bed::TempPath("stall_dump");
  std::unique_ptr<bed::ChildProcess> process;

  explicit Client(std::vector<std::string> args) {
    args.insert(args.end(), {"--dump", dump, "--timeout", std::to_string(kClientTimeoutMs)});
    process = bed::StartInstrumentSim(args);
  }
  ~Client() { DeleteFileA(dump.c_str()); }
  // Every exchange was answered within the client's time-out (it exits 1 otherwise).
  void ExpectAnswered(DWORD deadlineMs) const {
    ASSERT_TRUE(process->Wait(deadlineMs)) << "client still waiting for replies";
    EXPECT_EQ(process->ExitCode(), 0u) << process->Output();
    EXPECT_NE(process->Output().find("noreply=0 "), std::string::npos) << process->Output();
  }
  // The texts the relay must write for the messages this client posted, in order.
  std::vector<std::string> Expected() const { return bed::DumpedTexts(dump); }
};

std::vector<std::string> Slice(const std::vector<std::string>& v, size_t from, size_t count) {
  from = std::min(from, v.size());
  return {v.begin() + static_cast<std::ptrdiff_t>(from),
          v.begin() + static_cast<std::ptrdiff_t>(std::min(v.size(), from + count))};
}

using ViewerStall = bed::RelaySuite;

TEST_F(ViewerStall, FrozenViewerIsGivenUpOnceAndAsksAgainForACleanStream) {
  bed::ViewerStandIn viewer({.status = 1, .arrayLimit = 65536, .capture = true});
  const size_t givenUpBefore = RelayLog(kGivenUp).size();
  const size_t enabledBefore = RelayLog(kEnabled).size();
  const size_t disabledBefore = RelayLog(kDisabled).size();
  StartTraceEvents(GetModuleHandleA(nullptr));
  ASSERT_TRUE(WaitUntil(TracingOn, 5000));

  // A healthy start.
  Client before({"--calls", "10", "--seed", "1"});
  before.ExpectAnswered(30000);
  const std::vector<std::string> expectedBefore = before.Expected();
  ASSERT_EQ(viewer.WaitForCapture(expectedBefore.size(), 10000), expectedBefore);

  // The viewer stops reading; large messages fill its pipe. One reply waits for the
  // limit, the others come as usual; the libraries are switched off.
  ASSERT_TRUE(viewer.Command("pause on"));
  Client frozen({"--calls", "12", "--mix", "array64k", "--seed", "2"});
  frozen.ExpectAnswered(30000);
  ASSERT_TRUE(WaitForRelayLog(kGivenUp, givenUpBefore + 1, 5000));
  EXPECT_FALSE(TracingOn());
  const std::vector<std::string> givenUp = RelayLog(kGivenUp);
  ASSERT_EQ(givenUp.size(), givenUpBefore + 1);
  // The messages of this mix are below 1 MiB, which the base limit covers.
  EXPECT_THAT(givenUp.back(), ::testing::EndsWith(" bytes within " + std::to_string(kViewerWriteLimitMs) +
                                                  " ms; its connection is given up, messages given up: 1."));

  // Reading again, the viewer gets what was in its pipe, in order, nothing twice, and
  // then finds the connection closed.
  ASSERT_TRUE(viewer.Command("pause off"));
  ASSERT_TRUE(viewer.WaitForOutput("sightline: disconnected", 20000));
  const std::vector<std::string> expectedFrozen = frozen.Expected();
  const std::vector<std::string> captured = viewer.Capture();
  ASSERT_GT(captured.size(), expectedBefore.size());
  const size_t delivered = captured.size() - expectedBefore.size();
  EXPECT_LT(delivered, expectedFrozen.size());
  EXPECT_EQ(Slice(captured, expectedBefore.size(), delivered), Slice(expectedFrozen, 0, delivered));

  // The status still says 1, but that viewer is not connected again until it asks
  // afresh: status 0 ends the connection as usual (the line proves the relay has ticked
  // since), and only status 1 after it connects again.
  ASSERT_TRUE(viewer.Command("status 0"));
  ASSERT_TRUE(WaitForRelayLog(kDisabled, disabledBefore + 1, 5000));
  EXPECT_EQ(viewer.OutputCount("sightline: connected"), 1u);
  EXPECT_EQ(RelayLog(kEnabled).size(), enabledBefore + 1);
  ASSERT_TRUE(viewer.Command("status 1"));
  ASSERT_TRUE(WaitUntil(TracingOn, 5000));
  EXPECT_TRUE(viewer.WaitForOutput("sightline: connected", 5000, 2));

  // The new connection carries exactly the new messages.
  Client after({"--calls", "10", "--seed", "3"});
  after.ExpectAnswered(30000);
  const std::vector<std::string> expectedAfter = after.Expected();
  const std::vector<std::string> all = viewer.WaitForCapture(captured.size() + expectedAfter.size(), 10000);
  EXPECT_EQ(all.size(), captured.size() + expectedAfter.size());
  EXPECT_EQ(Slice(all, captured.size(), expectedAfter.size()), expectedAfter);
}

TEST_F(ViewerStall, SlowViewerFallsBehindButLosesNothing) {
  constexpr int kProcesses = 2;
  bed::ViewerStandIn viewer({.status = 1, .arrayLimit = 4096, .capture = true});
  ASSERT_TRUE(viewer.Command("delay 100"));
  const size_t givenUpBefore = RelayLog(kGivenUp).size();
  StartTraceEvents(GetModuleHandleA(nullptr));
  ASSERT_TRUE(WaitUntil(TracingOn, 5000));

  Client clients({"--calls", "300", "--processes", std::to_string(kProcesses), "--seed", "4"});
  clients.ExpectAnswered(120000);
  std::vector<std::string> expected;
  for (int p = 0; p < kProcesses; ++p) {
    const std::vector<std::string> texts = bed::DumpedTexts(clients.dump + "." + std::to_string(p));
    ASSERT_EQ(texts.size(), 600u);
    expected.insert(expected.end(), texts.begin(), texts.end());
    IgnoreResult(DeleteFileA((clients.dump + "." + std::to_string(p)).c_str()));
  }
  // Every reply came while the viewer still had messages to read: it was behind.
  const int64_t atClientEnd = viewer.Messages();
  EXPECT_LT(atClientEnd, static_cast<int64_t>(expected.size()));

  const std::vector<std::string> captured = viewer.WaitForCapture(expected.size(), 120000);
  EXPECT_EQ(RelayLog(kGivenUp).size(), givenUpBefore);
  EXPECT_EQ(viewer.OutputCount("sightline: disconnected"), 0u);
  ASSERT_EQ(captured.size(), expected.size());
  // Each process's messages in its order; the two processes interleave freely.
  EXPECT_EQ(bed::ByProcess(captured), bed::ByProcess(expected));
}

}  // namespace
