#include <gtest/gtest.h>

#include <string>

#include "base/os_class.h"
#include "base/results.h"
#include "kobj/nko_client.h"
#include "kobj/nko_handle.h"
#include "kobj/testing/fake_nko_server.h"

namespace {

// A server that really creates the object it is asked for (an event), so the local
// open after it can succeed, and reports 183 when the object existed.
FakeNkoReply CreateEventLikeAServer(const std::string& request, std::vector<HANDLE>& held) {
  if (request.rfind("<CloseHandle", 0) == 0) return {"1"};
  const auto at = request.find("lpName=\"");
  const std::string name = request.substr(at + 8, request.size() - at - 8 - 3);
  HANDLE h = CreateEventA(nullptr, TRUE, FALSE, name.c_str());
  const DWORD error = GetLastError();
  held.push_back(h);
  return {std::to_string(reinterpret_cast<uintptr_t>(h)) + (error == ERROR_ALREADY_EXISTS ? ",183" : ",0")};
}

class ServerPath : public ::testing::Test {
 protected:
  void SetUp() override { SpendFirstNkoRequest(); }
};

TEST_F(ServerPath, GlobalNameInAnyLetterCaseGoesThroughTheServer) {
  std::vector<HANDLE> held;
  FakeNkoServer server([&](const std::string& r) { return CreateEventLikeAServer(r, held); });
  const char* const names[] = {"Global\\kobj_case_a", "global\\kobj_case_b", "GLOBAL\\kobj_case_c"};
  for (const char* name : names) {
    // Wine, unlike Windows, knows the namespace only as "Global\": whether the object
    // can exist under another spelling is the platform's matter, the routing is ours.
    HANDLE probe = CreateEventA(nullptr, TRUE, FALSE, name);
    const bool platformAcceptsName = probe != nullptr;
    if (probe != nullptr) CloseHandle(probe);
    const size_t before = server.Requests().size();
    NkoHandle* h = NkoCreateEvent(GetNullDaclSecurityAttributes(), TRUE, FALSE, name);
    EXPECT_EQ(NkoIsValid(h), platformAcceptsName) << name;
    if (NkoIsValid(h)) {
      EXPECT_EQ(h->serverHandle, 0);
      EXPECT_EQ(GetLastError(), 0u) << name;
    }
    NkoClose(h);
    // The request's format is the client's matter; here only that it went to the server.
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), before + (platformAcceptsName ? 2 : 1)) << name;
    EXPECT_EQ(requests[before].rfind("<CreateEvent ", 0), 0u);
  }
  for (HANDLE h : held) CloseHandle(h);
}

TEST_F(ServerPath, ServerFailureGivesInvalidWithItsErrorAndNothingElse) {
  // An object of that name exists locally: a local open would succeed, so a valid
  // result would give the open away.
  HANDLE existing = CreateEventA(nullptr, TRUE, FALSE, "Global\\kobj_refused");
  FakeNkoServer server("0,5");
  NkoHandle* h = NkoCreateEvent(nullptr, TRUE, FALSE, "Global\\kobj_refused");
  EXPECT_EQ(h, InvalidNkoHandle);
  EXPECT_EQ(GetLastError(), 5u);
  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].rfind("<CreateEvent ", 0), 0u);
  IgnoreResult(CloseHandle(existing));
}

TEST_F(ServerPath, FailingOpenAfterServerSuccessStillReleasesTheServerHandle) {
  // The server claims success but made nothing: the local open fails with 2.
  FakeNkoServer server([](const std::string& r) {
    return FakeNkoReply{r.rfind("<CloseHandle", 0) == 0 ? "1" : "4321,183"};
  });
  NkoHandle* h = NkoCreateMutex(nullptr, FALSE, "Global\\kobj_phantom");
  EXPECT_EQ(h, InvalidNkoHandle);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[1], "<CloseHandle ProcId=\"" + std::to_string(GetCurrentProcessId()) + "\" Handle=\"4321\"/>");
}

TEST(LocalPath, NonGlobalNamesNeverReachTheServer) {
  FakeNkoServer server("0,5");  // would refuse everything
  NkoHandle* local = NkoCreateEvent(nullptr, TRUE, FALSE, "Local\\kobj_local");
  NkoHandle* plain = NkoCreateSemaphore(GetNullDaclSecurityAttributes(), 1, 65535, "kobj_plain");
  NkoHandle* unnamed = NkoCreateEvent(nullptr, FALSE, FALSE, nullptr);
  NkoHandle* mapping = NkoCreateFileMapping(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 32, "Local\\kobj_map");
  NkoHandle* mutex = NkoCreateMutex(nullptr, FALSE, "kobj_mutex");
  for (NkoHandle* h : {local, plain, unnamed, mapping, mutex}) {
    EXPECT_TRUE(NkoIsValid(h));
    NkoClose(h);
  }
  EXPECT_TRUE(server.Requests().empty());
}

TEST(LocalPath, ExistingObjectLeaves183AndClashingKindFails) {
  NkoHandle* first = NkoCreateEvent(nullptr, TRUE, FALSE, "Local\\kobj_twice");
  ASSERT_TRUE(NkoIsValid(first));
  NkoHandle* second = NkoCreateEvent(nullptr, TRUE, FALSE, "Local\\kobj_twice");
  ASSERT_TRUE(NkoIsValid(second));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  NkoHandle* clash = NkoCreateMutex(nullptr, FALSE, "Local\\kobj_twice");
  EXPECT_EQ(clash, InvalidNkoHandle);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  NkoClose(first);
  NkoClose(second);
}

TEST(Holders, InvalidHolderIsNeverValidAndSurvivesClose) {
  EXPECT_FALSE(NkoIsValid(InvalidNkoHandle));
  EXPECT_FALSE(NkoIsValid(nullptr));
  EXPECT_EQ(NkoClose(InvalidNkoHandle), 0);
  EXPECT_EQ(NkoDetach(InvalidNkoHandle), nullptr);
  EXPECT_EQ(NkoClose(nullptr), 0);
  NkoHandle allOnes{INVALID_HANDLE_VALUE, 0};
  EXPECT_FALSE(NkoIsValid(&allOnes));
}

TEST(Holders, DetachHandsOverTheHandle) {
  NkoHandle* h = NkoCreateEvent(nullptr, TRUE, FALSE, nullptr);
  ASSERT_TRUE(NkoIsValid(h));
  HANDLE raw = NkoDetach(h);
  ASSERT_NE(raw, nullptr);
  EXPECT_TRUE(SetEvent(raw));
  EXPECT_TRUE(CloseHandle(raw));
}

TEST(Holders, OwnerClosesItsObjectUnlessItHandsItOver) {
  const char* name = "Local\\kobj_owned_event";
  {
    const UniqueNko owned(NkoCreateEvent(nullptr, TRUE, FALSE, name));
    ASSERT_TRUE(NkoIsValid(owned.Get()));
  }
  // The owner held the only handle: the named object went with it.
  EXPECT_EQ(OpenEventA(SYNCHRONIZE, FALSE, name), nullptr);

  UniqueNko handedOver(NkoCreateEvent(nullptr, TRUE, FALSE, name));
  NkoHandle* const taken = handedOver.Release();
  handedOver.Reset();
  const UniqueHandle stillThere(OpenEventA(SYNCHRONIZE, FALSE, name));
  EXPECT_TRUE(stillThere);
  EXPECT_TRUE(NkoClose(taken));
}

TEST(Opens, FailuresAreTheInvalidHolderWithTheOpensError) {
  EXPECT_EQ(NkoOpenEvent(EVENT_ALL_ACCESS, FALSE, "Local\\kobj_missing"), InvalidNkoHandle);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  HANDLE m = CreateMutexA(nullptr, FALSE, "Local\\kobj_open_me");
  HANDLE f = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 64, "Local\\kobj_open_map");
  for (NkoHandle* h : {NkoOpenMutex(SYNCHRONIZE, FALSE, "Local\\kobj_open_me"),
                       NkoOpenFileMapping(FILE_MAP_ALL_ACCESS, FALSE, "Local\\kobj_open_map")}) {
    EXPECT_TRUE(NkoIsValid(h));
    NkoClose(h);
  }
  IgnoreResult(CloseHandle(m));
  IgnoreResult(CloseHandle(f));
}

}  // namespace
