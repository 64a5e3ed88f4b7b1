// quorvel.exe against an NKO server that accepts every request and never answers: from
// the start, start-up must still end in its status summary within a known time; once the
// server has gone silent after start-up, second instances must still do their options and
// "-x" must still close the running Quorvel.
#include <gmock/gmock.h>

#include <cstdio>

#include "base/unique.h"
#include "kobj/nko_client.h"
#include "tests/bed/service_standin.h"
#include "tests/system/quorvel_driver.h"

namespace {

using namespace quorvel_test;
using ::testing::Each;
using ::testing::Field;
using ::testing::HasSubstr;

// Beyond the NKO limits: a process start under Wine and the service probes, on a loaded
// machine.
constexpr DWORD kProcessSlackMs = 10000;
// A second instance makes no NKO exchange, so it takes as long against a silent server as
// against a healthy one; this is far below what a single try of the first request would
// add (its window alone).
constexpr DWORD kSecondInstanceBoundMs = kProcessSlackMs;
static_assert(kSecondInstanceBoundMs <= kNkoFirstRequestWindowMs);

DWORD MsSince(ULONGLONG start) { return static_cast<DWORD>(GetTickCount64() - start); }

using QuorvelSilentNko = RegistryTest;

TEST_F(QuorvelSilentNko, StartUpEndsInTheStatusSummaryWithinTheFirstRequestBound) {
  bed::ServiceStandIn service({"--silent"});
  const ULONGLONG start = GetTickCount64();
  auto quorvel = StartQuorvel();
  // The first request's window plus one try, which waits out the reply's limit: the
  // connect and the writes end at once against this server.
  const DWORD bound = kNkoFirstRequestWindowMs + kNkoReplyLimitMs + kProcessSlackMs;
  HWND box = WaitForMessageBox(quorvel->Pid(), bound);
  const DWORD elapsed = MsSince(start);
  ASSERT_NE(box, nullptr) << "no status summary within " << bound << " ms";
  std::printf("status summary %lu ms after the start (bound %lu ms)\n", elapsed, bound);
  EXPECT_THAT(MessageBoxText(box), HasSubstr("    2 = KorvaneOmbrixService status\n    2 = NkoServer status\n"
                                             "    0 = NkoServer working\n"));
  PressButton(box, IDOK);
  EXPECT_EQ(quorvel->WaitExitCode(kWaitMs), 1u);

  // Every try was held by the server, ran out of time and was retried.
  const auto requests = service.Requests();
  EXPECT_GE(requests.size(), 2u);
  EXPECT_THAT(requests, Each(Field(&bed::ServiceStandIn::Request::text, HasSubstr("__KorvaneHalvoricTestEventName"))));
  EXPECT_THAT(requests, Each(Field(&bed::ServiceStandIn::Request::reply, "(silent)")));
  const std::string quitting = "NkoServerCommunicate: Failed to establish communications with NkoServer.  Quitting after " +
                               std::to_string(requests.size()) + " tries. lastError=1460\n";
  EXPECT_THAT(LogLines(quorvel->Pid()), ::testing::Contains(::testing::StartsWith(quitting)));
}

TEST_F(QuorvelSilentNko, SecondInstancesDoTheirOptionsAfterTheServerFellSilent) {
  const std::string silentName = "Local\\" + bed::UniqueName("nko_silent");
  bed::ServiceStandIn service({"--silent-event", silentName});
  auto first = StartQuorvel();
  ASSERT_TRUE(WaitForLogLine(first->Pid(), kLoopEntered));

  const UniqueHandle silent(OpenEventA(EVENT_MODIFY_STATE, FALSE, silentName.c_str()));
  ASSERT_TRUE(silent && SetEvent(silent.Get()));
  // The server holds a request of our own now, until the exchange gives up.
  EXPECT_EQ(NkoServerCommunicate("<CloseHandle ProcId=\"1\" Handle=\"2\"/>"), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_TIMEOUT));
  ASSERT_FALSE(service.Requests().empty());
  EXPECT_EQ(service.Requests().back().reply, "(silent)");
  std::vector<std::string> secondIds;  // the ProcId attribute of each second instance

  const auto hidden = [](const char* flag) { return [flag] { return Suite("QuorvelHidden") == Sz(flag); }; };
  const struct {
    const char* option;
    std::vector<std::string> log;  // after the start line
    std::function<bool()> done;    // empty: the log lines are the whole check
  } cases[] = {
      {"-q", {"(-q) Silently making sure the Quorvel is running.", kReportWritten}, {}},
      {"-s0", {"(-s0) Posting WM_USER_SHOW_ICON message."}, hidden("1")},
      {"-s1", {"(-s1) Posting WM_USER_SHOW_ICON message."}, hidden("0")},
      {"-x", {"(-x) Posting the WM_CLOSE message."}, [&first] { return first->WaitExitCode(kWaitMs) == 0; }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.option);
    const ULONGLONG start = GetTickCount64();
    auto second = StartQuorvel(c.option);
    ASSERT_TRUE(second->Wait(kSecondInstanceBoundMs)) << "still running after " << kSecondInstanceBoundMs << " ms";
    std::printf("%s ended after %lu ms\n", c.option, MsSince(start));
    secondIds.push_back("ProcId=\"" + std::to_string(second->Pid()) + "\"");
    EXPECT_EQ(second->ExitCode(), 1u);
    std::vector<std::string> log{"Quorvel is starting"};
    log.insert(log.end(), c.log.begin(), c.log.end());
    EXPECT_THAT(LogLines(second->Pid()), ::testing::ElementsAreArray(log));
    if (c.done) {
      EXPECT_TRUE(c.done());
    }
  }
  for (const auto& request : service.Requests()) {
    for (const std::string& id : secondIds) {
      EXPECT_EQ(request.text.find(id), std::string::npos) << "a second instance asked the server: " << request.text;
    }
  }
}

}  // namespace
