// The trace relay end to end: the relay runs in this process, the NKO server, the trace
// viewer and the instrument libraries are the stand-ins, each a real process.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "base/unique.h"
#include "base/results.h"
#include "tests/bed/trace_clients.h"
#include "tests/bed/viewer_standin.h"
#include "support/wait_until.h"
#include "trace/named_pipe_m.h"
#include "trace/xlate/testing/xlate_test_support.h"

namespace {

using bed::StartInstrumentSim;
using bed::TracingOn;
using support::WaitUntil;
using quorvel::xlate::TraceMessageBuilder;
namespace xt = quorvel::xlate::testing;

// Starts the relay and waits until it has mapped the control block and, with tracing,
// switched tracing on.
bool StartRelay(bool tracing = true) {
  StartTraceEvents(GetModuleHandleA(nullptr));
  return WaitUntil([tracing] { return tracing ? TracingOn() : GetTraceControlView() != nullptr; }, 5000);
}

// The client exits with 0 after both messages of each of its calls were answered "ack".
void ExpectAllAcked(const bed::ChildProcess& client, int calls) {
  bed::ExpectClientCounts(client, 2 * calls, 0, 240000);
}

// True once the relay has logged exactly |message|.
bool Logged(const std::string& message) {
  return WaitUntil([&] { return std::ranges::count(bed::RelayLog(message), message) > 0; }, 3000);
}

// One raw exchange on the event pipe as a hostile or careless client makes it.
std::string Exchange(const std::vector<uint8_t>& message) {
  const UniqueNamedPipeM pipe(OpenNamedPipeM(kTraceEventPipeName));
  if (!pipe) return "(no pipe)";
  char reply[8] = {};
  const int result = TransactNamedPipeM(pipe.Get(), message.data(), static_cast<uint32_t>(message.size()), nullptr,
                                        reply, sizeof reply, nullptr, 5000);
  reply[7] = '\0';
  return result == 0 ? std::string(reply) : "(no reply)";
}

// A trace message behind the 4-byte field that libraries put before it.
std::vector<uint8_t> Framed(std::vector<uint8_t> traceMessage) {
  traceMessage.insert(traceMessage.begin(), 4, 0);
  return traceMessage;
}

const std::vector<uint8_t> kEnter = Framed(xt::Enter().Take());
const std::vector<uint8_t> kExit = Framed(xt::Exit().Take());
// The viewer's line for a framed message.
std::string ExpectedFramed(const std::vector<uint8_t>& message) {
  return bed::ReferenceLine(std::vector<uint8_t>(message.begin() + 4, message.end())).value_or("");
}

using TraceRelay = bed::RelaySuite;

// A message the relay must drop (the viewer's status 2) is sent before one it must write;
// once that one is captured, the capture shows whether the other was written.
TEST_F(TraceRelay, FollowsTheViewerSwitch) {
  bed::ViewerStandIn viewer({.status = 0, .arrayLimit = 4096, .capture = true});
  ASSERT_TRUE(StartRelay(false));
  EXPECT_FALSE(TracingOn());
  const TraceControlBlock* b = GetTraceControlView();
  auto flags = [b] {
    return std::vector<int32_t>{b->enabled, b->viewerEnabled, b->visaEnabled, b->trilTopEnabled, b->trilBottomEnabled};
  };

  ASSERT_TRUE(viewer.Command("status 1"));
  ASSERT_TRUE(WaitUntil(TracingOn, 5000));
  EXPECT_EQ(flags(), (std::vector<int32_t>{1, 1, 1, 1, 1}));
  EXPECT_EQ(b->maxArraySize, 4096);
  EXPECT_TRUE(viewer.WaitForOutput("sightline: connected", 5000));
  EXPECT_TRUE(Logged("UpdateTraceInfo: tracing has been enabled."));

  // Status 2: the pipe stays, the poller switches the libraries off, messages are dropped.
  ASSERT_TRUE(viewer.Command("status 2"));
  EXPECT_TRUE(WaitUntil([&] { return b->enabled == 0 && b->viewerEnabled == 0; }, 5000));
  EXPECT_EQ(Exchange(kEnter), "ack");

  // Back to 1 writes again on the same connection.
  ASSERT_TRUE(viewer.Command("status 1"));
  EXPECT_EQ(Exchange(kExit), "ack");
  EXPECT_TRUE(WaitUntil([&] { return !viewer.Capture().empty(); }, 5000));
  EXPECT_EQ(viewer.Capture(), std::vector<std::string>{ExpectedFramed(kExit)});
  EXPECT_EQ(viewer.OutputCount("sightline: connected"), 1u);
  EXPECT_EQ(viewer.OutputCount("sightline: disconnected"), 0u);

  // 0 disconnects and clears only the two switches of the whole.
  ASSERT_TRUE(viewer.Command("status 0"));
  EXPECT_TRUE(viewer.WaitForOutput("sightline: disconnected", 5000));
  EXPECT_TRUE(Logged("UpdateTraceInfo: tracing has been disabled."));
  EXPECT_EQ(flags(), (std::vector<int32_t>{0, 0, 1, 1, 1}));
}

TEST_F(TraceRelay, EveryMessageOfManyClientsArrivesOnceInOrder) {
  constexpr int kProcesses = 4, kCalls = 500;
  bed::ViewerStandIn viewer({.status = 1, .arrayLimit = 262144, .capture = true});
  ASSERT_TRUE(StartRelay());
  std::vector<std::unique_ptr<bed::ChildProcess>> clients;
  std::vector<std::string> dumps;
  for (int p = 0; p < kProcesses; ++p) {
    dumps.push_back(bed::TempPath("trace_dump"));
    clients.push_back(StartInstrumentSim({"--calls", std::to_string(kCalls), "--seed", std::to_string(p + 1), "--dump",
                                          dumps.back(), "--timeout", "10000"}));
  }
  bed::TextsByProcess expected;
  for (int p = 0; p < kProcesses; ++p) {
    ExpectAllAcked(*clients[p], kCalls);
    bed::AddByProcess(expected, bed::DumpedTexts(dumps[p]));
    IgnoreResult(DeleteFileA(dumps[p].c_str()));
  }
  // Every message of every client, exactly once, in its order, byte for byte. A last
  // message of this process comes after all of theirs: once it is captured, so is every
  // message written before it.
  EXPECT_EQ(Exchange(kExit), "ack");
  std::vector<std::string> lines;
  EXPECT_TRUE(WaitUntil([&] { return !(lines = viewer.Capture()).empty() && lines.back() == ExpectedFramed(kExit); },
                        60000, 200));
  ASSERT_EQ(lines.size(), size_t{kProcesses} * kCalls * 2 + 1);
  lines.pop_back();
  bed::TextsByProcess actual = bed::ByProcess(lines);
  ASSERT_EQ(expected.size(), size_t{kProcesses});
  ASSERT_EQ(actual.size(), expected.size());
  for (const auto& [process, texts] : expected) {
    const std::vector<std::string>& got = actual[process];
    ASSERT_EQ(got.size(), texts.size()) << process;
    for (size_t i = 0; i < texts.size(); ++i) ASSERT_EQ(got[i], texts[i]) << process << " message " << i;
  }
}

TEST_F(TraceRelay, BadInputIsAnsweredAndNeverWritten) {
  bed::ViewerStandIn viewer({.status = 1, .arrayLimit = 1024, .capture = true});
  ASSERT_TRUE(StartRelay());

  // A length field above the capacity, written straight into the block: "nack".
  const UniqueNamedPipeM owner(OpenNamedPipeM(kTraceEventPipeName));
  ASSERT_TRUE(owner);
  NamedPipeM* pipe = owner.Get();
  ASSERT_EQ(WaitForSingleObject(NkoGetHandle(pipe->mutex), 5000), WAIT_OBJECT_0);
  ASSERT_TRUE(ResetEvent(NkoGetHandle(pipe->replyEvent)));
  *pipe->length = kTraceEventPipeCapacity + 1;
  ASSERT_TRUE(SetEvent(NkoGetHandle(pipe->messageEvent)));
  ASSERT_EQ(WaitForSingleObject(NkoGetHandle(pipe->replyEvent), 5000), WAIT_OBJECT_0);
  EXPECT_EQ(*pipe->length, kTraceReplySize);
  EXPECT_STREQ(reinterpret_cast<const char*>(pipe->data), "nack");
  EXPECT_TRUE(ResetEvent(NkoGetHandle(pipe->replyEvent)));
  EXPECT_TRUE(ReleaseMutex(NkoGetHandle(pipe->mutex)));

  // 80 bytes or fewer, an unknown record kind, a record cut short: "ack", nothing written.
  const std::vector<uint8_t> cut(kEnter.begin(), kEnter.end() - 1);
  for (const auto& message : {std::vector<uint8_t>(80, 'x'), std::vector<uint8_t>(2, 0),
                              Framed(TraceMessageBuilder("VISA").Record(9, 300).Take()), cut}) {
    EXPECT_EQ(Exchange(message), "ack") << message.size() << " bytes";
  }
  // A good message afterwards is the only line of the capture.
  EXPECT_EQ(Exchange(kEnter), "ack");
  EXPECT_EQ(viewer.WaitForCapture(1, 5000), std::vector<std::string>{ExpectedFramed(kEnter)});
}

TEST_F(TraceRelay, StalledOrVanishedViewerNeverStopsTheReplies) {
  bed::ViewerStandIn viewer({.status = 0, .arrayLimit = 1024, .stallReady = true});
  ASSERT_TRUE(StartRelay(false));
  // The viewer wants tracing but never finishes a handshake: the relay keeps answering.
  ASSERT_TRUE(viewer.Command("status 1"));
  ASSERT_TRUE(viewer.WaitForOutput("connection request ignored", 3000));
  ExpectAllAcked(*StartInstrumentSim({"--calls", "200", "--always", "--timeout", "2000"}), 200);

  // Once it answers, tracing comes on; then it drops the pipe. The first write that fails
  // switches the libraries off; every message is still answered.
  ASSERT_TRUE(viewer.Command("stall off"));
  ASSERT_TRUE(WaitUntil(TracingOn, 20000));
  ASSERT_TRUE(viewer.Command("drop"));
  const auto client = StartInstrumentSim({"--calls", "200", "--timeout", "2000"});
  EXPECT_EQ(client->WaitExitCode(240000), 0u) << client->Output();
  EXPECT_NE(client->Output().find(" nack=0 noreply=0 "), std::string::npos) << client->Output();
  EXPECT_FALSE(TracingOn());
}

TEST_F(TraceRelay, StopsQuicklyUnderLoadAndStartsAgain) {
  bed::ViewerStandIn viewer({.status = 1, .arrayLimit = 65536});
  ASSERT_TRUE(StartRelay());
  std::vector<std::unique_ptr<bed::ChildProcess>> clients;
  for (int p = 0; p < 4; ++p) {
    clients.push_back(StartInstrumentSim({"--calls", "1000000", "--seed", std::to_string(p), "--timeout", "1000"}));
  }
  ASSERT_TRUE(WaitUntil([&] { return viewer.Messages() >= 200; }, 20000));
  EXPECT_TRUE(StopTraceEvents());
  EXPECT_EQ(GetTraceControlView(), nullptr);
  EXPECT_TRUE(viewer.WaitForOutput("sightline: disconnected", 3000));
  clients.clear();

  const int64_t before = viewer.Messages();
  ASSERT_TRUE(StartRelay());
  ExpectAllAcked(*StartInstrumentSim({"--calls", "50", "--timeout", "5000"}), 50);
  EXPECT_TRUE(WaitUntil([&] { return viewer.Messages() == before + 100; }, 5000));
}

}  // namespace
