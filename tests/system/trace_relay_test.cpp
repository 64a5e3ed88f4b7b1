// The trace relay end to end: the relay runs in this process, the NKO server, the trace
// viewer and the instrument libraries are the stand-ins, each a real process.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "bed/child_process.h"
#include "bed/service_standin.h"
#include "bed/viewer_standin.h"
#include "bed/wine_log.h"
#include "trace/named_pipe_m.h"
#include "trace/trace_control.h"
#include "trace/trace_relay.h"
#include "trace/xlate/event_translator_win32.h"
#include "trace/xlate/trace_record_builder.h"

namespace {

using namespace quorvel::xlate;

bed::ChildOptions CaptureOutput();

class TraceRelay : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { s_service = std::make_unique<bed::ServiceStandIn>(); }
  static void TearDownTestSuite() { s_service.reset(); }
  void TearDown() override { EXPECT_TRUE(StopTraceEvents()); }

  // Polls until pred holds; false after timeoutMs.
  template <typename Pred>
  static bool Eventually(Pred pred, DWORD timeoutMs) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    while (!pred()) {
      if (GetTickCount64() > deadline) return false;
      Sleep(20);
    }
    return true;
  }
  static bool TracingOn() {
    const TraceControlBlock* b = GetTraceControlView();
    return b != nullptr && LoadTraceFlag(b->enabled) == 1 && LoadTraceFlag(b->viewerEnabled) == 1;
  }
  // instrument-sim with args; returns its exit code and output.
  static std::string RunClient(const std::vector<std::string>& args, DWORD* exitCode = nullptr) {
    bed::ChildProcess client("instrument-sim.exe", args, CaptureOutput());
    const DWORD code = client.WaitExitCode(120000);
    if (exitCode != nullptr) *exitCode = code;
    return client.Output();
  }
  static std::string LogText(const char* message) {
    return "traceEvents(pid=" + std::to_string(GetCurrentProcessId()) + "): " + message;
  }
  static bool Logged(const char* message, DWORD timeoutMs) {
    const std::string text = LogText(message);
    return bed::WaitForWineLogEntry(GetCurrentProcessId(), [&](const bed::WineLogEntry& e) { return e.text == text; },
                                    timeoutMs)
        .has_value();
  }

  static std::unique_ptr<bed::ServiceStandIn> s_service;
};
std::unique_ptr<bed::ServiceStandIn> TraceRelay::s_service;

bed::ChildOptions CaptureOutput() {
  bed::ChildOptions options;
  options.captureOutput = true;
  return options;
}

// One raw exchange on the event pipe as a hostile or careless client makes it.
std::string Exchange(const std::vector<uint8_t>& message) {
  NamedPipeM* pipe = OpenNamedPipeM(kTraceEventPipeName);
  if (pipe == nullptr) return "(no pipe)";
  char reply[8] = {};
  uint32_t length = 0;
  const int result = TransactNamedPipeM(pipe, message.data(), static_cast<uint32_t>(message.size()), nullptr, reply,
                                        sizeof reply, &length, 5000);
  CloseNamedPipeM(pipe);
  reply[7] = '\0';
  return result == 0 ? std::string(reply) : "(no reply)";
}

std::vector<uint8_t> Framed(std::vector<uint8_t> traceMessage) {
  traceMessage.insert(traceMessage.begin(), 4, 0);
  return traceMessage;
}

std::vector<uint8_t> EnterMessage(const char* method) {
  return Framed(TraceMessageBuilder("VISA")
                    .Enter({.processId = 1, .threadId = 2, .appName = "t.exe", .methodName = method, .address = "GPIB0::1::INSTR", .timestamp = 5})
                    .Take());
}

TEST_F(TraceRelay, FollowsTheViewerSwitch) {
  bed::ViewerStandIn viewer({.status = 0, .arrayLimit = 4096, .capture = true});
  StartTraceEvents(GetModuleHandleA(nullptr));
  ASSERT_TRUE(Eventually([] { return GetTraceControlView() != nullptr; }, 5000));
  Sleep(1200);
  EXPECT_FALSE(TracingOn());

  ASSERT_TRUE(viewer.Command("status 1"));
  ASSERT_TRUE(Eventually(TracingOn, 1500));
  const TraceControlBlock* block = GetTraceControlView();
  EXPECT_EQ(block->visaEnabled, 1);
  EXPECT_EQ(block->trilTopEnabled, 1);
  EXPECT_EQ(block->trilBottomEnabled, 1);
  EXPECT_EQ(block->maxArraySize, 4096);
  EXPECT_TRUE(viewer.WaitForOutput("sightline: connected", 2000));
  EXPECT_TRUE(Logged("UpdateTraceInfo: tracing has been enabled.", 3000));

  // Status 2: the pipe stays, the poller switches the libraries off, messages are dropped.
  ASSERT_TRUE(viewer.Command("status 2"));
  EXPECT_TRUE(Eventually([&] { return block->enabled == 0 && block->viewerEnabled == 0; }, 1200));
  EXPECT_EQ(Exchange(EnterMessage("viClear")), "ack");
  Sleep(300);
  EXPECT_TRUE(viewer.Capture().empty());
  EXPECT_EQ(viewer.OutputCount("sightline: disconnected"), 0u);

  // Back to 1 reconnects nothing (still connected) but writes again; 0 disconnects.
  ASSERT_TRUE(viewer.Command("status 1"));
  EXPECT_EQ(Exchange(EnterMessage("viClear")), "ack");
  EXPECT_EQ(viewer.WaitForCapture(1, 2000).size(), 1u);
  ASSERT_TRUE(viewer.Command("status 0"));
  EXPECT_TRUE(viewer.WaitForOutput("sightline: disconnected", 2000));
  EXPECT_TRUE(Logged("UpdateTraceInfo: tracing has been disabled.", 3000));
  EXPECT_EQ(block->enabled, 0);
  EXPECT_EQ(block->viewerEnabled, 0);
  EXPECT_EQ(block->visaEnabled, 1);
  EXPECT_EQ(block->trilTopEnabled, 1);
  EXPECT_EQ(block->trilBottomEnabled, 1);
}

// Groups the capture lines by the ProcessID and ThreadID attributes of their method element.
std::map<std::string, std::vector<std::string>> ByThread(const std::vector<std::string>& lines) {
  std::map<std::string, std::vector<std::string>> groups;
  for (const auto& line : lines) {
    const size_t t = line.find(" ThreadID=\"");
    const size_t p = line.find(" ProcessID=\"");
    const std::string key = t == std::string::npos || p == std::string::npos
                                ? "?"
                                : line.substr(p, line.find('"', p + 12) - p) + line.substr(t, line.find('"', t + 11) - t);
    groups[key].push_back(line);
  }
  return groups;
}

std::string Utf8(std::u16string_view text) {
  const auto* wide = reinterpret_cast<const wchar_t*>(text.data());
  const int n = WideCharToMultiByte(CP_UTF8, 0, wide, static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide, static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
  return out;
}

// What the relay should have written for every message a client dumped, in its order.
std::vector<std::string> ExpectedFromDump(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<std::string> texts;
  EventTranslator translator(AnsiCodePage());
  uint32_t n = 0;
  while (in.read(reinterpret_cast<char*>(&n), sizeof n)) {
    std::vector<uint8_t> message(n);
    in.read(reinterpret_cast<char*>(message.data()), n);
    if (auto text = translator.TranslateEvent(message.data(), message.data() + message.size())) {
      texts.push_back(Utf8(*text));
    }
  }
  return texts;
}

TEST_F(TraceRelay, EveryMessageOfManyClientsArrivesOnceInOrder) {
  constexpr int kProcesses = 4;
  constexpr int kCalls = 1000;
  bed::ViewerStandIn viewer({.status = 1, .arrayLimit = 262144, .capture = true});
  StartTraceEvents(GetModuleHandleA(nullptr));
  ASSERT_TRUE(Eventually(TracingOn, 3000));

  char temp[MAX_PATH];
  GetTempPathA(sizeof temp, temp);
  std::vector<std::unique_ptr<bed::ChildProcess>> clients;
  std::vector<std::string> dumps;
  for (int p = 0; p < kProcesses; ++p) {
    dumps.push_back(std::string(temp) + bed::UniqueName("trace_dump"));
    clients.push_back(std::make_unique<bed::ChildProcess>(
        "instrument-sim.exe",
        std::vector<std::string>{"--calls", std::to_string(kCalls), "--seed", std::to_string(p + 1), "--dump",
                                 dumps.back(), "--timeout", "10000"},
        CaptureOutput()));
  }
  std::map<std::string, std::vector<std::string>> expected;
  size_t total = 0;
  for (int p = 0; p < kProcesses; ++p) {
    ASSERT_EQ(clients[p]->WaitExitCode(240000), 0u) << clients[p]->Output();
    EXPECT_NE(clients[p]->Output().find("ack=2000 nack=0 noreply=0 untraced=0"), std::string::npos)
        << clients[p]->Output();
    for (auto& [key, texts] : ByThread(ExpectedFromDump(dumps[p]))) {
      total += texts.size();
      expected[key] = std::move(texts);
    }
    DeleteFileA(dumps[p].c_str());
  }
  ASSERT_EQ(total, size_t{kProcesses} * kCalls * 2);
  const std::vector<std::string> capture = viewer.WaitForCapture(total, 60000);
  ASSERT_EQ(capture.size(), total);
  const auto actual = ByThread(capture);
  ASSERT_EQ(actual.size(), expected.size());
  for (const auto& [key, texts] : expected) {
    const auto it = actual.find(key);
    ASSERT_NE(it, actual.end()) << key;
    ASSERT_EQ(it->second.size(), texts.size()) << key;
    for (size_t i = 0; i < texts.size(); ++i) ASSERT_EQ(it->second[i], texts[i]) << key << " message " << i;
  }
}

TEST_F(TraceRelay, BadInputIsAnsweredAndNeverWritten) {
  bed::ViewerStandIn viewer({.status = 1, .arrayLimit = 1024, .capture = true});
  StartTraceEvents(GetModuleHandleA(nullptr));
  ASSERT_TRUE(Eventually(TracingOn, 3000));

  // A length field above the capacity, written straight into the block.
  NamedPipeM* pipe = OpenNamedPipeM(kTraceEventPipeName);
  ASSERT_NE(pipe, nullptr);
  ASSERT_EQ(WaitForSingleObject(NkoGetHandle(pipe->mutex), 5000), WAIT_OBJECT_0);
  ResetEvent(NkoGetHandle(pipe->replyEvent));
  *pipe->length = kTraceEventPipeCapacity + 1;
  SetEvent(NkoGetHandle(pipe->messageEvent));
  ASSERT_EQ(WaitForSingleObject(NkoGetHandle(pipe->replyEvent), 5000), WAIT_OBJECT_0);
  EXPECT_EQ(*pipe->length, kTraceReplySize);
  EXPECT_STREQ(reinterpret_cast<const char*>(pipe->data), "nack");
  ResetEvent(NkoGetHandle(pipe->replyEvent));
  ReleaseMutex(NkoGetHandle(pipe->mutex));
  CloseNamedPipeM(pipe);

  // 80 bytes or fewer, an unknown record kind, a record cut short: "ack", nothing written.
  EXPECT_EQ(Exchange(std::vector<uint8_t>(80, 'x')), "ack");
  EXPECT_EQ(Exchange(std::vector<uint8_t>(2, 0)), "ack");
  EXPECT_EQ(Exchange(Framed(TraceMessageBuilder("VISA").Record(9, 300).Take())), "ack");
  std::vector<uint8_t> cut = EnterMessage("viClear");
  cut.pop_back();
  EXPECT_EQ(Exchange(cut), "ack");
  // A good message afterwards is the only line of the capture.
  EXPECT_EQ(Exchange(EnterMessage("viClear")), "ack");
  const auto lines = viewer.WaitForCapture(1, 3000);
  Sleep(300);
  ASSERT_EQ(viewer.Capture().size(), 1u);
  EXPECT_NE(lines[0].find("MethodName=\"VISA::viClear\""), std::string::npos);
}

TEST_F(TraceRelay, StalledOrVanishedViewerNeverStopsTheReplies) {
  bed::ViewerStandIn viewer({.status = 0, .arrayLimit = 1024, .stallReady = true});
  StartTraceEvents(GetModuleHandleA(nullptr));
  ASSERT_TRUE(Eventually([] { return GetTraceControlView() != nullptr; }, 5000));
  // The viewer wants tracing but never finishes a handshake: the relay keeps answering.
  ASSERT_TRUE(viewer.Command("status 1"));
  ASSERT_TRUE(viewer.WaitForOutput("connection request ignored", 3000));
  DWORD code = 0;
  std::string out = RunClient({"--calls", "200", "--always", "--timeout", "2000"}, &code);
  EXPECT_EQ(code, 0u) << out;
  EXPECT_NE(out.find("ack=400 nack=0 noreply=0"), std::string::npos) << out;

  // Once it answers, tracing comes on; then it drops the pipe mid-stream.
  ASSERT_TRUE(viewer.Command("stall off"));
  ASSERT_TRUE(Eventually(TracingOn, 20000));
  ASSERT_TRUE(viewer.Command("drop"));
  out = RunClient({"--calls", "200", "--timeout", "2000"}, &code);
  EXPECT_EQ(code, 0u) << out;
  EXPECT_NE(out.find("ack=400 nack=0 noreply=0"), std::string::npos) << out;
}

TEST_F(TraceRelay, StopsQuicklyUnderLoadAndStartsAgain) {
  bed::ViewerStandIn viewer({.status = 1, .arrayLimit = 65536, .capture = true});
  StartTraceEvents(GetModuleHandleA(nullptr));
  ASSERT_TRUE(Eventually(TracingOn, 3000));
  std::vector<std::unique_ptr<bed::ChildProcess>> clients;
  for (int p = 0; p < 4; ++p) {
    clients.push_back(std::make_unique<bed::ChildProcess>(
        "instrument-sim.exe", std::vector<std::string>{"--calls", "1000000", "--seed", std::to_string(p), "--timeout", "1000"},
        CaptureOutput()));
  }
  ASSERT_TRUE(viewer.WaitForCapture(200, 20000).size() >= 200);
  const ULONGLONG start = GetTickCount64();
  EXPECT_TRUE(StopTraceEvents());
  const ULONGLONG elapsed = GetTickCount64() - start;
  EXPECT_LT(elapsed, 5000u);
  EXPECT_EQ(GetTraceControlView(), nullptr);
  EXPECT_TRUE(viewer.WaitForOutput("sightline: disconnected", 3000));
  for (auto& c : clients) c->Kill();
  clients.clear();

  const size_t before = viewer.Capture().size();
  StartTraceEvents(GetModuleHandleA(nullptr));
  ASSERT_TRUE(Eventually(TracingOn, 3000));
  DWORD code = 0;
  const std::string out = RunClient({"--calls", "50", "--timeout", "5000"}, &code);
  EXPECT_EQ(code, 0u) << out;
  EXPECT_NE(out.find("ack=100 nack=0 noreply=0"), std::string::npos) << out;
  EXPECT_EQ(viewer.WaitForCapture(before + 100, 5000).size(), before + 100);
}

}  // namespace
