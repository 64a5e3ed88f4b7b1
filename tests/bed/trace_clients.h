// The instrument-library stand-in as a client of the trace relay: starting it, reading
// back the messages it dumped, and what the relay must make of them.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tests/bed/child_process.h"
#include "tests/bed/service_standin.h"
#include "tests/bed/wine_log.h"
#include "trace/trace_control.h"
#include "trace/trace_relay.h"
#include "trace/xlate/event_translator_win32.h"
#include "trace/xlate/reference/reference_translator.h"
#include "trace/xlate/testing/xlate_test_support.h"

namespace bed {

// |program| started with |args|, its output captured.
inline std::unique_ptr<ChildProcess> StartWithOutput(const std::string& program, const std::vector<std::string>& args) {
  ChildOptions options;
  options.captureOutput = true;
  return std::make_unique<ChildProcess>(program, args, options);
}
inline std::unique_ptr<ChildProcess> StartInstrumentSim(const std::vector<std::string>& args) {
  return StartWithOutput("instrument-sim.exe", args);
}

// The client exits with 0 and its summary counts |ack| answered messages, every other
// one untraced, none refused or unanswered.
inline void ExpectClientCounts(const ChildProcess& client, int ack, int untraced, DWORD timeoutMs) {
  EXPECT_EQ(client.WaitExitCode(timeoutMs), 0u) << client.Output();
  const std::string counts =
      "ack=" + std::to_string(ack) + " nack=0 noreply=0 untraced=" + std::to_string(untraced);
  EXPECT_NE(client.Output().find(counts), std::string::npos) << client.Output();
}

// True while the relay's control block has the libraries and the viewer switched on.
inline bool TracingOn() {
  const TraceControlBlock* b = GetTraceControlView();
  return b != nullptr && LoadTraceFlag(b->enabled) == 1 && LoadTraceFlag(b->viewerEnabled) == 1;
}

// The text the relay must write for a trace message, made by the reference translator
// (written independently of the relay's), as UTF-8; nullopt for a message without output.
inline std::optional<std::string> ReferenceText(const std::vector<uint8_t>& traceMessage) {
  const auto text = quorvel::xlate::reference::TranslateEvent(
      traceMessage.data(), traceMessage.data() + traceMessage.size(), quorvel::xlate::AnsiCodePage());
  if (!text) return std::nullopt;
  return quorvel::xlate::testing::ToUtf8(*text);
}

// The reference texts of the messages a client dumped (length, bytes; in order).
inline std::vector<std::string> DumpedTexts(const std::string& dumpPath) {
  std::ifstream in(dumpPath, std::ios::binary);
  std::vector<std::string> texts;
  for (uint32_t n = 0; in.read(reinterpret_cast<char*>(&n), sizeof n);) {
    std::vector<uint8_t> message(n);
    in.read(reinterpret_cast<char*>(message.data()), n);
    if (auto text = ReferenceText(message)) texts.push_back(*text);
  }
  return texts;
}

// Texts grouped by the client process they name ("?" for none), each group in its order.
using TextsByProcess = std::map<std::string, std::vector<std::string>>;
inline void AddByProcess(TextsByProcess& groups, const std::vector<std::string>& texts) {
  constexpr char kId[] = " ProcessID=\"";
  for (const std::string& t : texts) {
    const size_t at = t.find(kId);
    groups[at == std::string::npos ? "?" : t.substr(at, t.find('"', at + sizeof kId - 1) - at)].push_back(t);
  }
}
inline TextsByProcess ByProcess(const std::vector<std::string>& texts) {
  TextsByProcess groups;
  AddByProcess(groups, texts);
  return groups;
}

// The relay's log lines so far that begin with |start|, from |start| on.
inline std::vector<std::string> RelayLog(const std::string& start) {
  const std::string prefix = "traceEvents(pid=" + std::to_string(GetCurrentProcessId()) + "): " + start;
  std::vector<std::string> lines;
  for (const WineLogEntry& e : WineLogEntries(GetCurrentProcessId())) {
    if (e.text.rfind(prefix, 0) == 0) lines.push_back(e.text.substr(prefix.size() - start.size()));
  }
  return lines;
}

// Tests of the relay in this process: the NKO server stand-in runs for the whole suite,
// and every test leaves the relay stopped.
class RelaySuite : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { s_service = std::make_unique<ServiceStandIn>(); }
  static void TearDownTestSuite() { s_service.reset(); }
  void TearDown() override { EXPECT_TRUE(StopTraceEvents()); }
  static inline std::unique_ptr<ServiceStandIn> s_service;
};

}  // namespace bed
