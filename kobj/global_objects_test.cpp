// Global\ objects made through the suite service stand-in's NKO server, and used from
// other processes: the whole path across real processes and real kernel objects.
#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "tests/bed/child_process.h"
#include "tests/bed/service_standin.h"
#include "kobj/nko_client.h"
#include "kobj/nko_handle.h"
#include "base/os_class.h"

namespace {

NkoHandle* CreateKind(const std::string& kind, const std::string& name) {
  SECURITY_ATTRIBUTES* sa = GetNullDaclSecurityAttributes();
  if (kind == "event") return NkoCreateEvent(sa, TRUE, FALSE, name.c_str());
  if (kind == "mutex") return NkoCreateMutex(sa, FALSE, name.c_str());
  if (kind == "semaphore") return NkoCreateSemaphore(sa, 1, 65535, name.c_str());
  return NkoCreateFileMapping(INVALID_HANDLE_VALUE, sa, PAGE_READWRITE, 0, 4096, name.c_str());
}

DWORD ProbeOpen(const std::string& kind, const std::string& name) {
  bed::ChildOptions quiet;
  quiet.captureOutput = true;
  return bed::ChildProcess("nko-probe.exe", {"open", kind, name}, quiet).WaitExitCode(20000);
}

TEST(GlobalObjects, EveryKindIsMadeByTheServerAndOpenedByAnotherProcess) {
  bed::ServiceStandIn service;
  for (const std::string kind : {"event", "mutex", "semaphore", "mapping"}) {
    const std::string name = "Global\\kobj_sys_" + kind;
    SetLastError(1234);
    NkoHandle* h = CreateKind(kind, name);
    ASSERT_TRUE(NkoIsValid(h)) << kind << " error " << GetLastError();
    EXPECT_EQ(GetLastError(), 0u) << kind;
    EXPECT_EQ(ProbeOpen(kind, name), 0u) << kind;

    NkoHandle* again = CreateKind(kind, name);
    ASSERT_TRUE(NkoIsValid(again)) << kind;
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS)) << kind;
    NkoClose(again);
    NkoClose(h);
  }
  // Each creation is a create request followed by the CloseHandle of the value it got.
  const auto requests = service.Requests();
  ASSERT_EQ(requests.size(), 16u);
  const std::regex closeRequest("<CloseHandle ProcId=\"" + std::to_string(GetCurrentProcessId()) + "\" Handle=\"(-?[0-9]+)\"/>");
  for (size_t i = 0; i < requests.size(); i += 2) {
    std::smatch m;
    ASSERT_TRUE(std::regex_match(requests[i + 1].text, m, closeRequest)) << requests[i + 1].text;
    EXPECT_EQ(requests[i].reply.substr(0, requests[i].reply.find(',')), m[1].str()) << requests[i].text;
  }
}

TEST(GlobalObjects, ManyThreadsAtOnceAllSucceed) {
  bed::ServiceStandIn service;
  constexpr int kThreads = 8;
  constexpr int kEach = 20;
  std::vector<int> failures(kThreads, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t, &failures] {
      for (int i = 0; i < kEach; ++i) {
        const std::string name = "Global\\kobj_sys_many_" + std::to_string(t) + "_" + std::to_string(i);
        NkoHandle* h = NkoCreateSemaphore(nullptr, 1, 65535, name.c_str());
        if (!NkoIsValid(h) || GetLastError() != 0) ++failures[static_cast<size_t>(t)];
        NkoClose(h);
      }
    });
  }
  for (auto& t : threads) t.join();
  for (int t = 0; t < kThreads; ++t) EXPECT_EQ(failures[static_cast<size_t>(t)], 0) << "thread " << t;
  EXPECT_EQ(service.Requests().size(), static_cast<size_t>(2 * kThreads * kEach));
}

// A server that answers and then falls silent costs a creation one reply's limit, not
// the caller's thread.
TEST(GlobalObjects, ServerFallenSilentFailsTheCreationWithinTheLimit) {
  bed::ServiceStandIn service({"--silent-after", "2"});
  const UniqueNko answered(NkoCreateEvent(nullptr, TRUE, FALSE, "Global\\kobj_sys_before_silence"));
  EXPECT_TRUE(NkoIsValid(answered.Get()));
  const ULONGLONG start = GetTickCount64();
  const UniqueNko held(NkoCreateEvent(nullptr, TRUE, FALSE, "Global\\kobj_sys_after_silence"));
  const DWORD elapsed = static_cast<DWORD>(GetTickCount64() - start);
  EXPECT_FALSE(NkoIsValid(held.Get()));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_TIMEOUT));
  EXPECT_LT(elapsed, kNkoReplyLimitMs + 5000);
  const auto requests = service.Requests();
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_NE(requests[1].reply, "(silent)");
  EXPECT_EQ(requests[2].reply, "(silent)");
}

}  // namespace
