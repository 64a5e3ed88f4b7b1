// The relay recovers from what other processes do to it: a viewer killed while tracing, a
// viewer pipe broken in the middle of a message, a stop set by another process. The relay
// runs in this process; the NKO server, the viewers and the instrument libraries are
// stand-in processes.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "tests/bed/trace_clients.h"
#include "base/results.h"
#include "tests/bed/viewer_standin.h"
#include "support/wait_until.h"
#include "trace/named_pipe_m.h"

namespace {

using bed::RelayLog;
using bed::TracingOn;
using support::WaitUntil;

constexpr char kGivenUp[] = "; its connection is given up, messages given up: ";
constexpr char kWriteFailed[] = "WriteViewer: a write to the viewer failed (error ";
constexpr char kOutsideStop[] = "TraceEventsThread: the stop event was set by another process; ";
constexpr char kStartsAgain[] = "TraceEventsThread: a viewer asks for tracing; the relay starts again.";
constexpr char kDisabled[] = "UpdateTraceInfo: tracing has been disabled.";
constexpr DWORD kStepMs = 15000;

// The relay's give-up lines so far, whatever the cause.
size_t GiveUps() {
  const std::vector<std::string> lines = RelayLog("");
  return static_cast<size_t>(
      std::ranges::count_if(lines, [](const std::string& l) { return l.find(kGivenUp) != std::string::npos; }));
}

bool WaitForLog(const std::string& start, size_t count) {
  return WaitUntil([&] { return RelayLog(start).size() >= count; }, kStepMs);
}

const bed::ViewerOptions kCapturing{.status = 1, .arrayLimit = 4096, .capture = true};

bool StartRelay() {
  StartTraceEvents(GetModuleHandleA(nullptr));
  return WaitUntil(TracingOn, kStepMs);
}

// Two client processes post calls while tracing is on: every message of each reaches the
// viewer once and in its order.
void ExpectTwoClientsDelivered(const bed::ViewerStandIn& viewer, int seed) {
  constexpr int kCalls = 40;
  std::vector<std::string> dumps;
  std::vector<std::unique_ptr<bed::ChildProcess>> clients;
  for (int i = 0; i < 2; ++i) {
    dumps.push_back(bed::TempPath("recovery_dump"));
    clients.push_back(bed::StartInstrumentSim({"--calls", std::to_string(kCalls), "--seed", std::to_string(seed + i),
                                               "--dump", dumps.back(), "--timeout", "10000"}));
  }
  bed::TextsByProcess expected;
  for (int i = 0; i < 2; ++i) {
    bed::ExpectClientCounts(*clients[i], 2 * kCalls, 0, 120000);
    bed::AddByProcess(expected, bed::DumpedTexts(dumps[i]));
    IgnoreResult(DeleteFileA(dumps[i].c_str()));
  }
  ASSERT_EQ(expected.size(), 2u);
  bed::TextsByProcess got;
  const auto allThere = [&] {
    got = bed::ByProcess(viewer.Capture());
    return std::ranges::all_of(expected, [&](const auto& e) { return got[e.first].size() >= e.second.size(); });
  };
  EXPECT_TRUE(WaitUntil(allThere, 60000, 200));
  for (const auto& [process, texts] : expected) EXPECT_EQ(got[process], texts) << process;
}

using RelayRecovery = bed::RelaySuite;

// Killed between messages, the relay finds the viewer's process ended at its next tick;
// killed while messages flow, a write fails first. Either way the new viewer, which takes
// over the status memory that the relay still maps and writes 1 into it, is served
// without its status ever falling to 0.
TEST_F(RelayRecovery, KilledViewerIsGivenUpAndTheNextOneServedAtOnce) {
  for (const bool messagesFlow : {false, true}) {
    SCOPED_TRACE(messagesFlow ? "killed while messages flow" : "killed between messages");
    auto first = std::make_unique<bed::ViewerStandIn>(bed::ViewerOptions{.status = 1, .arrayLimit = 4096});
    ASSERT_TRUE(StartRelay());
    ASSERT_TRUE(first->WaitForOutput("sightline: connected", kStepMs));
    const size_t giveUpsBefore = GiveUps();
    std::unique_ptr<bed::ChildProcess> busy;
    if (messagesFlow) {
      busy = bed::StartInstrumentSim({"--calls", "100000000", "--seed", "9", "--timeout", "5000"});
      ASSERT_TRUE(WaitUntil([&] { return first->Messages() >= 20; }, kStepMs));
    }
    first->Kill();

    bed::ViewerStandIn second(kCapturing);
    ASSERT_TRUE(second.WaitForOutput("sightline: connected", kStepMs)) << second.Output();
    ASSERT_TRUE(WaitUntil(TracingOn, kStepMs));
    EXPECT_EQ(GiveUps(), giveUpsBefore + 1);
    busy.reset();
    ExpectTwoClientsDelivered(second, 20);
    EXPECT_TRUE(StopTraceEvents());
  }
}

// The viewer drops its connection while messages of hundreds of kilobytes stream, so that
// it goes in the middle of one: the failed write gives the connection up at once, as a
// frozen viewer's is after its limit. That viewer still runs and still says 1, so it is
// served again only once it asks afresh.
TEST_F(RelayRecovery, PipeBrokenMidMessageIsGivenUpAtOnce) {
  bed::ViewerStandIn viewer({.status = 1, .arrayLimit = 65536});
  ASSERT_TRUE(StartRelay());
  const size_t brokenBefore = RelayLog(kWriteFailed).size();
  const size_t giveUpsBefore = GiveUps();
  const size_t disabledBefore = RelayLog(kDisabled).size();
  auto client = bed::StartInstrumentSim({"--calls", "100000000", "--mix", "array64k", "--timeout", "5000"});
  ASSERT_TRUE(WaitUntil([&] { return viewer.Messages() >= 4; }, kStepMs));
  ASSERT_TRUE(viewer.Command("drop"));

  ASSERT_TRUE(WaitForLog(kWriteFailed, brokenBefore + 1));
  EXPECT_FALSE(TracingOn());
  client.reset();
  EXPECT_EQ(GiveUps(), giveUpsBefore + 1);

  ASSERT_TRUE(viewer.Command("status 0"));
  ASSERT_TRUE(WaitForLog(kDisabled, disabledBefore + 1));
  EXPECT_EQ(viewer.OutputCount("sightline: connected"), 1u);
  ASSERT_TRUE(viewer.Command("status 1"));
  EXPECT_TRUE(WaitUntil(TracingOn, kStepMs));
  EXPECT_TRUE(viewer.WaitForOutput("sightline: connected", kStepMs, 2));
}

// Another process sets the machine-wide stop event: the relay lets everything go and
// starts again when the viewer asks for tracing: status 1 after it was 0 at the stop, or
// a new viewer after the one that was served. Until then this process can still stop it.
TEST_F(RelayRecovery, StopSetByAnotherProcessLastsUntilTheViewerAsksAgain) {
  enum class Ask { kStatusOffThenOn, kNewViewer, kNever };
  for (const Ask ask : {Ask::kStatusOffThenOn, Ask::kNewViewer, Ask::kNever}) {
    SCOPED_TRACE(ask == Ask::kStatusOffThenOn ? "status off at the stop, then on"
                 : ask == Ask::kNewViewer     ? "a new viewer"
                                              : "stopped here before any request");
    auto viewer = std::make_unique<bed::ViewerStandIn>(kCapturing);
    ASSERT_TRUE(StartRelay());
    const size_t stopsBefore = RelayLog(kOutsideStop).size();
    const size_t startsBefore = RelayLog(kStartsAgain).size();
    if (ask == Ask::kStatusOffThenOn) {
      const size_t disabledBefore = RelayLog(kDisabled).size();
      ASSERT_TRUE(viewer->Command("status 0"));
      ASSERT_TRUE(WaitForLog(kDisabled, disabledBefore + 1));
    }
    const std::string stopEvent = std::string("Global\\") + kTraceShutdownEventName;
    const auto probe = bed::StartWithOutput("nko-probe.exe", {"open", "event", stopEvent, "--set"});
    ASSERT_EQ(probe->WaitExitCode(kStepMs), 0u) << probe->Output();

    ASSERT_TRUE(WaitForLog(kOutsideStop, stopsBefore + 1));
    EXPECT_EQ(GetTraceControlView(), nullptr);
    EXPECT_FALSE(UniqueNamedPipeM(OpenNamedPipeM(kTraceEventPipeName))) << "the event pipe is still served";
    if (ask == Ask::kNever) {
      EXPECT_TRUE(StopTraceEvents());
      continue;
    }
    if (ask == Ask::kStatusOffThenOn) {
      ASSERT_TRUE(viewer->Command("status 1"));
    } else {
      EXPECT_TRUE(viewer->WaitForOutput("sightline: disconnected", kStepMs));
      viewer->Kill();
      viewer = std::make_unique<bed::ViewerStandIn>(kCapturing);
    }
    ASSERT_TRUE(WaitForLog(kStartsAgain, startsBefore + 1));
    ASSERT_TRUE(WaitUntil(TracingOn, kStepMs));
    ExpectTwoClientsDelivered(*viewer, 30);
    EXPECT_TRUE(StopTraceEvents());
  }
}

}  // namespace
