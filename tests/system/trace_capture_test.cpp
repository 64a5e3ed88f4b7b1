// quorvel-trace's capture against a running quorvel.exe, with the instrument-library
// stand-in as the traced programs: what it writes is what the relay sent, byte for byte;
// it ends on Ctrl-C and on its stop event and leaves tracing switched off; a second
// capture beside a running one is refused.
#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "base/results.h"
#include "base/unique.h"
#include "tests/bed/trace_clients.h"
#include "tests/system/running_quorvel.h"

namespace {

using bed::TempPath;
using namespace quorvel_test;

constexpr DWORD kSwitchMs = 15000;  // tracing switched on or off, a capture ending

std::vector<std::string> ReadLines(const std::string& path) {
  std::vector<std::string> lines;
  std::ifstream in(path, std::ios::binary);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// quorvel-trace capturing to |path|, its output captured.
std::unique_ptr<bed::ChildProcess> StartCapture(const std::string& path, std::vector<std::string> extra = {}) {
  std::vector<std::string> args{"capture", "-o", path, "--array-limit", "262144"};
  args.insert(args.end(), extra.begin(), extra.end());
  return bed::StartWithOutput("quorvel-trace.exe", args);
}

bool Started(const bed::ChildProcess& capture) {
  return capture.WaitForOutput("quorvel-trace: capturing to", kSwitchMs);
}

// The capture ends with 0 and says what it kept.
void ExpectKept(const bed::ChildProcess& capture, const std::string& kept) {
  EXPECT_EQ(capture.WaitExitCode(kSwitchMs), 0u) << capture.Output();
  EXPECT_NE(capture.Output().find("quorvel-trace: " + kept), std::string::npos) << capture.Output();
}

// An instrument-library client making |calls| calls once tracing is on (or, with
// waitMs 0, at once, untraced when it is off).
std::unique_ptr<bed::ChildProcess> StartClient(int calls, int seed, const std::string& dump, DWORD waitMs) {
  std::vector<std::string> args{"--calls", std::to_string(calls), "--seed", std::to_string(seed), "--timeout", "10000",
                                "--wait-enabled", std::to_string(waitMs)};
  if (!dump.empty()) args.insert(args.end(), {"--dump", dump});
  return bed::StartInstrumentSim(args);
}

// Once a capture has ended, the libraries see tracing off: a client's calls go untraced.
void ExpectTracingOff() { bed::ExpectClientCounts(*StartClient(3, 99, "", 0), 0, 3, kSwitchMs); }

using TraceCapture = RunningQuorvelTest;

TEST_F(TraceCapture, KeepsEveryMessageOfSeveralClientsAsTheRelaySentIt) {
  constexpr int kClients = 3, kCalls = 150;
  const std::string path = TempPath("capture") + ".qtrace";
  const std::string stopName = bed::UniqueName("capture_stop");
  const UniqueHandle stopEvent(CreateEventA(nullptr, TRUE, FALSE, stopName.c_str()));
  const auto capture = StartCapture(path, {"--stop-event", stopName});
  ASSERT_TRUE(Started(*capture)) << capture->Output();

  std::vector<std::string> dumps;
  std::vector<std::unique_ptr<bed::ChildProcess>> clients;
  for (int c = 0; c < kClients; ++c) {
    dumps.push_back(TempPath("dump"));
    clients.push_back(StartClient(kCalls, c + 1, dumps.back(), kSwitchMs));
  }
  bed::TextsByProcess expected;
  for (int c = 0; c < kClients; ++c) {
    bed::ExpectClientCounts(*clients[c], 2 * kCalls, 0, 120000);
    bed::AddByProcess(expected, bed::DumpedTexts(dumps[c]));
    EXPECT_TRUE(DeleteFileA(dumps[c].c_str()));
  }

  ASSERT_TRUE(SetEvent(stopEvent.Get()));
  ExpectKept(*capture, std::to_string(kClients * kCalls * 2) + " messages kept in " + path);
  // Per client process, every message in its order, byte for byte.
  ASSERT_EQ(expected.size(), size_t{kClients});
  EXPECT_EQ(bed::ByProcess(ReadLines(path)), expected);
  ExpectTracingOff();
  EXPECT_TRUE(DeleteFileA(path.c_str()));
}

TEST_F(TraceCapture, CtrlCEndsItAndASecondCaptureBesideItIsRefused) {
  // Ctrl-C travels through a console: give the capture one to share with this process.
  FreeConsole();
  ASSERT_TRUE(AllocConsole()) << GetLastError();
  const std::string path = TempPath("capture") + ".qtrace";
  const auto first = StartCapture(path);
  ASSERT_TRUE(Started(*first)) << first->Output();
  bed::ExpectClientCounts(*StartClient(5, 7, "", kSwitchMs), 10, 0, kSwitchMs * 2);

  const std::string secondPath = TempPath("second") + ".qtrace";
  const auto second = StartCapture(secondPath);
  EXPECT_EQ(second->WaitExitCode(kSwitchMs), 1u) << second->Output();
  EXPECT_TRUE(first->Running());

  // Ctrl-C reaches the capture's own process group (it was started in a new one).
  ASSERT_TRUE(GenerateConsoleCtrlEvent(CTRL_C_EVENT, first->Pid())) << GetLastError();
  ExpectKept(*first, "10 messages kept");
  EXPECT_EQ(ReadLines(path).size(), 10u);
  ExpectTracingOff();

  // The relay still maps the ended capture's status memory; a new capture takes it over.
  const auto again = StartCapture(secondPath, {"--for", "1"});
  ASSERT_TRUE(Started(*again)) << again->Output();
  ExpectKept(*again, "0 messages kept");
  IgnoreResult(DeleteFileA(path.c_str()));
  IgnoreResult(DeleteFileA(secondPath.c_str()));
}

TEST_F(TraceCapture, AnUnwritableFileIsAClearErrorBeforeAnythingStarts) {
  const auto capture = StartCapture(TempPath("no-such-folder") + "\\capture.qtrace");
  EXPECT_EQ(capture->WaitExitCode(kSwitchMs), 1u);
  EXPECT_EQ(capture->Output(), "");
  // Nothing was published: a capture can start at once.
  const auto next = StartCapture(TempPath("next") + ".qtrace", {"--for", "1"});
  EXPECT_TRUE(Started(*next)) << next->Output();
  EXPECT_EQ(next->WaitExitCode(kSwitchMs), 0u);
}

}  // namespace
