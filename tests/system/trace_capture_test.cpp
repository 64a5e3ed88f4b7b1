// quorvel-trace's capture against a running quorvel.exe, with the instrument-library
// stand-in as the traced programs: what it writes is what the relay sent, byte for byte;
// it ends on Ctrl-C and on its stop event and leaves tracing switched off; a second
// capture beside a running one is refused.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "bed/child_process.h"
#include "bed/service_standin.h"
#include "quorvel_driver.h"
#include "trace/xlate/reference/reference_translator.h"
#include "trace/xlate/xlate_test_support.h"

namespace {

using namespace quorvel_test;
namespace xt = quorvel::xlate::testing;

constexpr DWORD kSwitchMs = 15000;  // tracing switched on or off, a capture ending

std::string TempPath(const std::string& stem) {
  char temp[MAX_PATH];
  GetTempPathA(sizeof temp, temp);
  return std::string(temp) + bed::UniqueName(stem);
}

std::vector<std::string> ReadLines(const std::string& path) {
  std::vector<std::string> lines;
  std::ifstream in(path, std::ios::binary);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// What a capture must hold for the messages a client dumped, by the reference
// translator: UTF-8, line ends inside a message escaped.
std::vector<std::string> ExpectedLines(const std::string& dumpPath) {
  std::vector<std::string> lines;
  std::ifstream in(dumpPath, std::ios::binary);
  for (uint32_t n = 0; in.read(reinterpret_cast<char*>(&n), sizeof n);) {
    std::vector<uint8_t> message(n);
    in.read(reinterpret_cast<char*>(message.data()), n);
    const auto text = quorvel::xlate::reference::TranslateEvent(message.data(), message.data() + message.size(),
                                                               quorvel::xlate::AnsiCodePage());
    if (!text) continue;
    std::string line;
    for (const char c : xt::ToUtf8(*text)) line += c == '\r' ? "&#13;" : c == '\n' ? "&#10;" : std::string(1, c);
    lines.push_back(line);
  }
  return lines;
}

std::string ProcessOf(const std::string& line) {
  const size_t at = line.find(" ProcessID=\"");
  return at == std::string::npos ? "?" : line.substr(at + 12, line.find('"', at + 12) - at - 12);
}

class Capture {
 public:
  explicit Capture(const std::string& path, std::vector<std::string> extra = {}) : m_path(path) {
    std::vector<std::string> args{"capture", "-o", path, "--array-limit", "262144"};
    args.insert(args.end(), extra.begin(), extra.end());
    bed::ChildOptions options;
    options.captureOutput = true;
    m_process = std::make_unique<bed::ChildProcess>("quorvel-trace.exe", args, options);
  }
  bed::ChildProcess& Process() { return *m_process; }
  bool Started() { return m_process->WaitForOutput("quorvel-trace: capturing to", kSwitchMs); }

 private:
  std::string m_path;
  std::unique_ptr<bed::ChildProcess> m_process;
};

// An instrument-library client making |calls| calls once tracing is on (or, with
// waitMs 0, at once, untraced when it is off); its summary line.
std::unique_ptr<bed::ChildProcess> StartClient(int calls, int seed, const std::string& dump, DWORD waitMs) {
  bed::ChildOptions options;
  options.captureOutput = true;
  std::vector<std::string> args{"--calls", std::to_string(calls), "--seed", std::to_string(seed), "--timeout", "10000",
                                "--wait-enabled", std::to_string(waitMs)};
  if (!dump.empty()) args.insert(args.end(), {"--dump", dump});
  return std::make_unique<bed::ChildProcess>("instrument-sim.exe", args, options);
}

std::string Counts(int ack, int untraced) {
  return "ack=" + std::to_string(ack) + " nack=0 noreply=0 untraced=" + std::to_string(untraced);
}

// Once a capture has ended, the libraries see tracing off: a client's calls go untraced.
void ExpectTracingOff() {
  auto client = StartClient(3, 99, "", 0);
  EXPECT_EQ(client->WaitExitCode(kSwitchMs), 0u);
  EXPECT_NE(client->Output().find(Counts(0, 3)), std::string::npos) << client->Output();
}

class TraceCapture : public test_registry::RegistryTest {
 protected:
  void SetUp() override {
    RegistryTest::SetUp();
    m_quorvel = StartQuorvel();
    ASSERT_NE(WaitForMainWindow(m_quorvel->Pid()), nullptr) << "quorvel.exe did not start";
  }
  void TearDown() override {
    if (m_quorvel && m_quorvel->Running()) {
      EXPECT_EQ(RunQuorvel("-x"), 1u);
      EXPECT_EQ(m_quorvel->WaitExitCode(kWaitMs), 0u);
    }
  }

  bed::ServiceStandIn m_service;
  std::unique_ptr<bed::ChildProcess> m_quorvel;
};

TEST_F(TraceCapture, KeepsEveryMessageOfSeveralClientsAsTheRelaySentIt) {
  constexpr int kClients = 3, kCalls = 150;
  const std::string path = TempPath("capture") + ".qtrace";
  const std::string stopName = bed::UniqueName("capture_stop");
  HANDLE stopEvent = CreateEventA(nullptr, TRUE, FALSE, stopName.c_str());
  Capture capture(path, {"--stop-event", stopName});
  ASSERT_TRUE(capture.Started()) << capture.Process().Output();

  std::vector<std::string> dumps;
  std::vector<std::unique_ptr<bed::ChildProcess>> clients;
  for (int c = 0; c < kClients; ++c) {
    dumps.push_back(TempPath("dump"));
    clients.push_back(StartClient(kCalls, c + 1, dumps.back(), kSwitchMs));
  }
  std::map<std::string, std::vector<std::string>> expected, actual;
  for (int c = 0; c < kClients; ++c) {
    EXPECT_EQ(clients[c]->WaitExitCode(120000), 0u);
    EXPECT_NE(clients[c]->Output().find(Counts(2 * kCalls, 0)), std::string::npos) << clients[c]->Output();
    for (const std::string& line : ExpectedLines(dumps[c])) expected[ProcessOf(line)].push_back(line);
    DeleteFileA(dumps[c].c_str());
  }

  SetEvent(stopEvent);
  EXPECT_EQ(capture.Process().WaitExitCode(kSwitchMs), 0u);
  const std::string total = std::to_string(kClients * kCalls * 2);
  EXPECT_NE(capture.Process().Output().find("quorvel-trace: " + total + " messages kept in " + path), std::string::npos)
      << capture.Process().Output();
  // Per client process, every message in its order, byte for byte.
  for (const std::string& line : ReadLines(path)) actual[ProcessOf(line)].push_back(line);
  ASSERT_EQ(expected.size(), size_t{kClients});
  EXPECT_EQ(actual, expected);
  ExpectTracingOff();
  CloseHandle(stopEvent);
  DeleteFileA(path.c_str());
}

TEST_F(TraceCapture, CtrlCEndsItAndASecondCaptureBesideItIsRefused) {
  // Ctrl-C travels through a console: give the capture one to share with this process.
  FreeConsole();
  ASSERT_TRUE(AllocConsole()) << GetLastError();
  const std::string path = TempPath("capture") + ".qtrace";
  Capture first(path);
  ASSERT_TRUE(first.Started()) << first.Process().Output();
  auto client = StartClient(5, 7, "", kSwitchMs);
  EXPECT_EQ(client->WaitExitCode(kSwitchMs * 2), 0u);
  EXPECT_NE(client->Output().find(Counts(10, 0)), std::string::npos) << client->Output();

  const std::string secondPath = TempPath("second") + ".qtrace";
  Capture second(secondPath);
  EXPECT_EQ(second.Process().WaitExitCode(kSwitchMs), 1u) << second.Process().Output();
  EXPECT_TRUE(first.Process().Running());

  // Ctrl-C reaches the capture's own process group (it was started in a new one).
  ASSERT_TRUE(GenerateConsoleCtrlEvent(CTRL_C_EVENT, first.Process().Pid())) << GetLastError();
  EXPECT_EQ(first.Process().WaitExitCode(kSwitchMs), 0u);
  EXPECT_NE(first.Process().Output().find("quorvel-trace: 10 messages kept"), std::string::npos)
      << first.Process().Output();
  EXPECT_EQ(ReadLines(path).size(), 10u);
  ExpectTracingOff();

  // The relay still maps the ended capture's status memory; a new capture takes it over.
  Capture again(secondPath, {"--for", "1"});
  ASSERT_TRUE(again.Started()) << again.Process().Output();
  EXPECT_EQ(again.Process().WaitExitCode(kSwitchMs), 0u);
  EXPECT_NE(again.Process().Output().find("quorvel-trace: 0 messages kept"), std::string::npos)
      << again.Process().Output();
  DeleteFileA(path.c_str());
  DeleteFileA(secondPath.c_str());
}

TEST_F(TraceCapture, AnUnwritableFileIsAClearErrorBeforeAnythingStarts) {
  Capture capture(TempPath("no-such-folder") + "\\capture.qtrace");
  EXPECT_EQ(capture.Process().WaitExitCode(kSwitchMs), 1u);
  EXPECT_EQ(capture.Process().Output(), "");
  // Nothing was published: a capture can start at once.
  Capture next(TempPath("next") + ".qtrace", {"--for", "1"});
  EXPECT_TRUE(next.Started()) << next.Process().Output();
  EXPECT_EQ(next.Process().WaitExitCode(kSwitchMs), 0u);
}

}  // namespace
