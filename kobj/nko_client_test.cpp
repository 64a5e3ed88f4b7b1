#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>

#include "support/wait_until.h"
#include "base/results.h"
#include "tests/bed/wine_log.h"
#include "kobj/nko_client.h"
#include "kobj/nko_protocol.h"
#include "kobj/testing/fake_nko_server.h"
#include "kobj/testing/nko_client_seams.h"

namespace {

// Every test but the first-request ones starts after the first request of the process.
class NkoClient : public ::testing::Test {
 protected:
  void SetUp() override { SpendFirstNkoRequest(); }
};

TEST(XmlEscape, NeverCutsAnEntityAndStaysInItsBuffer) {
  // The limit is size - 1; an entity is written only while it ends below the limit.
  const std::string n1018(1018, 'n'), n1019(1019, 'n');
  const struct { std::string in; int size; std::string expected; } cases[] = {
      {"a\"b&c'd<e>f", 32, "a&quot;b&amp;c&apos;d&lt;e&gt;f"},
      {"Global\\plain name_1", 32, "Global\\plain name_1"}, {"", 32, ""},
      {"abcdef", 4, "abc"}, {"ab&", 8, "ab"},      {"ab&", 9, "ab&amp;"}, {"ab&c", 9, "ab&amp;c"},
      {"&", 6, ""},         {"&", 7, "&amp;"},     {"x\"y", 8, "x"},      {"x\"y", 9, "x&quot;y"},
      {"abc", 1, ""},       {"<>", 9, "&lt;"},     {"<>", 10, "&lt;&gt;"},
      {n1019 + "<tail", 1024, n1019},  // "&lt;" would end at 1023 = the limit
      {n1018 + "<tail", 1024, n1018 + "&lt;t"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.in.substr(0, 40) + " in " + std::to_string(c.size));
    std::string out(static_cast<size_t>(c.size) + 1, '#');
    EXPECT_STREQ(XmlEscape(out.data(), c.size, c.in.c_str()), c.expected.c_str());
    EXPECT_EQ(out.back(), '#') << "wrote past the buffer";
  }
}

TEST(NkoReplyParsing, NumbersFollowAtoiRules) {
  struct Case { const char* text; int value; bool hasError; int error; } cases[] = {
      {"1234,183", 1234, true, 183}, {"1234", 1234, false, 0}, {"0,5", 0, true, 5},
      {"-2", -2, false, 0},          {"  77xyz", 77, false, 0}, {"+12,  -4", 12, true, -4},
      {"garbage", 0, false, 0},      {"", 0, false, 0},         {",183", 0, true, 183},
      {"99999999999", 2147483647, false, 0}, {"-99999999999", -2147483647 - 1, false, 0},
  };
  for (const auto& c : cases) {
    const NkoReply r = ParseNkoReply(c.text);
    EXPECT_EQ(r.value, c.value) << c.text;
    EXPECT_EQ(r.hasError, c.hasError) << c.text;
    EXPECT_EQ(r.error, c.error) << c.text;
  }
}

// What arrives on the wire, and what the caller sees: the value, and the last error
// (the stale 183 set before each call must never pass for the server's "object existed").
TEST_F(NkoClient, RepliesOnTheWireGiveValueAndLastError) {
  constexpr DWORD kStale = ERROR_ALREADY_EXISTS;
  constexpr DWORD kNotStale = 0;  // anything but the stale value
  struct Case { const char* what; FakeNkoReply reply; int value; DWORD lastError; } cases[] = {
      {"value and error", {"1234,183"}, 1234, 183},
      {"value alone", {"1234"}, 1234, kNotStale},
      {"failure with the server's error", {"0,5"}, 0, 5},
      {"negative value", {"-2"}, -2, kNotStale},
      {"100000 digits: 4095 kept", {std::string(100000, '7')}, 2147483647, kNotStale},
      {"count larger than the text", {"321,183", 4000000000u}, 321, 183},
      {"garbage", {"\x01\xff<not a number>"}, 0, kNotStale},
      {"dropped without a reply", {"", 0, true}, 0, kNotStale},
  };
  for (const auto& c : cases) {
    FakeNkoServer server([&c](const std::string&) { return c.reply; });
    SetLastError(kStale);
    EXPECT_EQ(NkoServerCommunicate("<x/>"), c.value) << c.what;
    if (c.lastError == kNotStale) {
      EXPECT_NE(GetLastError(), kStale) << c.what;
    } else {
      EXPECT_EQ(GetLastError(), c.lastError) << c.what;
    }
  }
}

TEST_F(NkoClient, NegativeHandleIsSignExtended) {
  FakeNkoServer server("-2");
  EXPECT_EQ(NkoServerCreateEvent(nullptr, TRUE, FALSE, "Global\\x"), intptr_t{-2});
}

TEST_F(NkoClient, RequestsAreSentInTheirExactFormats) {
  FakeNkoServer server("10");
  SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
  EXPECT_EQ(NkoServerCreateEvent(&sa, TRUE, FALSE, "Global\\ev"), 10);
  EXPECT_EQ(NkoServerCreateMutex(nullptr, FALSE, "Global\\a\"b&c'<d>"), 10);  // the name arrives escaped
  EXPECT_EQ(NkoServerCreateSemaphore(&sa, 1, 65535, "Global\\sem"), 10);
  EXPECT_EQ(NkoServerCreateFileMapping(INVALID_HANDLE_VALUE, &sa, PAGE_READWRITE, 0, 296, "Global\\shm"), 10);
  EXPECT_EQ(NkoServerCloseHandle(-7), 10);
  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 5u);
  const std::string p = std::to_string(GetCurrentProcessId());
  EXPECT_EQ(requests[0], "<CreateEvent ProcId=\"" + p +
                             "\" SecurityAttributes=\"1\" bManualReset=\"1\" bInitialState=\"0\" lpName=\"Global\\ev\"/>");
  EXPECT_EQ(requests[1], "<CreateMutex ProcId=\"" + p +
                             "\" SecurityAttributes=\"0\" bInitialOwner=\"0\" lpName=\"Global\\a&quot;b&amp;c&apos;&lt;d&gt;\"/>");
  EXPECT_EQ(requests[2], "<CreateSemaphore ProcId=\"" + p +
                             "\" SecurityAttributes=\"1\" lInitialCount=\"1\" lMaximumCount=\"65535\" lpName=\"Global\\sem\"/>");
  EXPECT_EQ(requests[3], "<CreateFileMapping ProcId=\"" + p +
                             "\" hFile=\"-1\" SecurityAttributes=\"1\" flProtect=\"4\" dwMaximumSizeHigh=\"0\" "
                             "dwMaximumSizeLow=\"296\" lpName=\"Global\\shm\"/>");
  EXPECT_EQ(requests[4], "<CloseHandle ProcId=\"" + p + "\" Handle=\"-7\"/>");
  EXPECT_EQ(server.UnterminatedRequests(), 0) << "the frame carries the text's NUL";
}

TEST_F(NkoClient, CloseHandleForZeroSendsNothing) {
  FakeNkoServer server("1");
  EXPECT_EQ(NkoServerCloseHandle(0), 1);
  EXPECT_TRUE(server.Requests().empty());
}

TEST_F(NkoClient, BusyPipeIsWaitedFor) {
  // One instance, held by the first request until the second client has begun: the
  // second finds the pipe busy and waits for it to come free.
  HANDLE firstHeld = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  HANDLE secondBegun = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  FakeNkoServer server(
      [&](const std::string& request) {
        if (request.find("<a/>") != std::string::npos) {
          IgnoreResult(SetEvent(firstHeld));
          IgnoreResult(WaitForSingleObject(secondBegun, 30000));
        }
        return FakeNkoReply{"9"};
      },
      1);
  int first = 0;
  std::thread t([&] { first = NkoServerCommunicate("<a/>"); });
  ASSERT_EQ(WaitForSingleObject(firstHeld, 30000), WAIT_OBJECT_0);
  IgnoreResult(SetEvent(secondBegun));
  EXPECT_EQ(NkoServerCommunicate("<b/>"), 9);
  t.join();
  EXPECT_EQ(first, 9);
  EXPECT_EQ(server.Requests().size(), 2u);
  IgnoreResult(CloseHandle(firstHeld));
  IgnoreResult(CloseHandle(secondBegun));
}

// The log entries this process writes from now on.
struct LogWatch {
  size_t before = bed::WineLogEntries(GetCurrentProcessId()).size();
  std::vector<std::string> NewTexts() const {
    const auto all = bed::WineLogEntries(GetCurrentProcessId());
    std::vector<std::string> texts;
    for (size_t i = before; i < all.size(); ++i) texts.push_back(all[i].text);
    return texts;
  }
};

const char kProbeRequest[] = "<CloseHandle ProcId=\"1\" Handle=\"2\"/>";

// Upper bounds below are the stated limit plus this much for a loaded machine to notice
// the expiry, cancel and close.
constexpr DWORD kLimitSlackMs = 5000;

DWORD MsSince(ULONGLONG start) { return static_cast<DWORD>(GetTickCount64() - start); }

TEST(FirstRequest, AbsentServerIsTriedTenTimesThenLoggedOnce) {
  kobj_testing::ResetFirstRequest();
  LogWatch log;
  const DWORD start = GetTickCount();
  EXPECT_EQ(NkoRequest(kProbeRequest), 0);
  // Ten attempts with a pause after each: at least nine full pauses went by.
  EXPECT_GE(GetTickCount() - start, 9 * kNkoRetryDelayMs);
  const auto texts = log.NewTexts();
  ASSERT_EQ(texts.size(), 1u);
  EXPECT_EQ(texts[0], std::string("NkoServerCommunicate: Failed to establish communications with NkoServer.  "
                                  "Quitting after 10 tries. lastError=2\n") + kProbeRequest);

  // Only the first request retries: a later one fails at its first attempt, logged.
  LogWatch later;
  EXPECT_EQ(NkoRequest(kProbeRequest), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  const auto laterTexts = later.NewTexts();
  ASSERT_EQ(laterTexts.size(), 1u);
  EXPECT_EQ(laterTexts[0], std::string("NkoServerCommunicate: could not open pipe.  lastError=2\n") + kProbeRequest);
}

TEST(FirstRequest, ZeroRepliesAreRetriedAndTheSuccessIsLogged) {
  kobj_testing::ResetFirstRequest();
  int served = 0;
  FakeNkoServer server([&served](const std::string&) { return FakeNkoReply{++served < 3 ? "0,2" : "77"}; });
  LogWatch log;
  EXPECT_EQ(NkoRequest(kProbeRequest), 77);
  EXPECT_EQ(server.Requests().size(), 3u);
  const auto texts = log.NewTexts();
  ASSERT_EQ(texts.size(), 1u);
  EXPECT_EQ(texts[0], "NkoServerCommunicate: NkoServer communications established in 3 tries.");
}

TEST(FirstRequest, ImmediateSuccessWritesNothing) {
  kobj_testing::ResetFirstRequest();
  FakeNkoServer server("12");
  LogWatch log;
  EXPECT_EQ(NkoRequest(kProbeRequest), 12);
  EXPECT_TRUE(log.NewTexts().empty());
}

TEST_F(NkoClient, LongRequestIsCutInTheLogLine) {
  const std::string request = "<CreateEvent lpName=\"" + std::string(600, 'x') + "\"/>";
  LogWatch log;
  EXPECT_EQ(NkoRequest(request.c_str()), 0);
  const auto texts = log.NewTexts();
  ASSERT_EQ(texts.size(), 1u);
  EXPECT_EQ(texts[0].size(), kNkoLogBufferSize - 1);
  EXPECT_EQ(texts[0].rfind("NkoServerCommunicate: could not open pipe.  lastError=2\n<CreateEvent lpName=\"xxx", 0), 0u);
}

TEST_F(NkoClient, LaterFailuresAreLoggedWithTheirStep) {
  LogWatch log;
  {
    FakeNkoServer server([](const std::string&) { return FakeNkoReply{"", 0, true}; });
    EXPECT_EQ(NkoRequest("<dropped/>"), 0);
  }
  const auto texts = log.NewTexts();
  ASSERT_EQ(texts.size(), 1u);
  EXPECT_EQ(texts[0].rfind("NkoServerCommunicate: ReadFile failed.  lastError=", 0), 0u) << texts[0];
}

// A server that stops answering part-way is given up at the reply's limit, with the pipe
// closed (the server sees the client go) and the time-out as the failing step's error.
TEST_F(NkoClient, ServerSilentPartWayIsGivenUpAtTheReplyLimit) {
  const struct { const char* what; FakeNkoReply reply; } cases[] = {
      {"no reply at all", {"", 0, false, true}},
      {"the count, then nothing", {"", 12, false, false, true}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    FakeNkoServer server([&c](const std::string&) { return c.reply; });
    LogWatch log;
    const ULONGLONG start = GetTickCount64();
    EXPECT_EQ(NkoRequest(kProbeRequest), 0);
    const DWORD elapsed = MsSince(start);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_TIMEOUT));
    EXPECT_GE(elapsed + 50, kNkoReplyLimitMs) << "gave up before the limit";
    EXPECT_LT(elapsed, kNkoReplyLimitMs + kLimitSlackMs);
    EXPECT_TRUE(support::WaitUntil([&server] { return server.ClosedByClient() == 1; }, kLimitSlackMs))
        << "the client's end stayed open";
    EXPECT_EQ(log.NewTexts(), std::vector<std::string>{"NkoServerCommunicate: ReadFile failed.  lastError=1460"});
  }
}

TEST_F(NkoClient, ServerThatReadsNothingIsGivenUpAtTheWriteLimit) {
  FakeNkoServer server("1");
  server.StopReading();
  // Far more than the pipe's buffer, so that the write waits for a reader.
  const std::string request = "<CreateEvent lpName=\"" + std::string(1 << 20, 'x') + "\"/>";
  LogWatch log;
  const ULONGLONG start = GetTickCount64();
  EXPECT_EQ(NkoServerCommunicate(request.c_str()), 0);
  EXPECT_LT(MsSince(start), kNkoWriteLimitMs + kLimitSlackMs);
  server.ResumeReading();
  EXPECT_TRUE(support::WaitUntil([&server] { return server.ClosedByClient() == 1; }, kLimitSlackMs));
  EXPECT_EQ(log.NewTexts(),
            std::vector<std::string>{"NkoServerCommunicate: WriteFile(message) failed.  lastError=1460"});
}

// Each try against a silent server waits out the reply's limit and counts as failed; the
// retries end once their window has passed, so start-up is held at most that window and
// one exchange.
TEST(FirstRequest, SilentServerEndsTheRetriesSoonAfterTheWindow) {
  kobj_testing::ResetFirstRequest();
  FakeNkoServer server([](const std::string&) { return FakeNkoReply{"", 0, false, true}; });
  LogWatch log;
  const ULONGLONG start = GetTickCount64();
  EXPECT_EQ(NkoRequest(kProbeRequest), 0);
  EXPECT_LT(MsSince(start), kNkoFirstRequestWindowMs + kNkoReplyLimitMs + kLimitSlackMs);
  const size_t tries = server.Requests().size();
  EXPECT_GE(tries, 2u) << "a timed-out try was not retried";
  EXPECT_EQ(log.NewTexts(), std::vector<std::string>{
                                "NkoServerCommunicate: Failed to establish communications with NkoServer.  Quitting after " +
                                std::to_string(tries) + " tries. lastError=1460\n" + kProbeRequest});
}

}  // namespace
