// The suite service stand-in seen from outside: its published objects, its NKO pipe and
// its fault options, driven through the raw pipe client of the test bed.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include "bed/nko_wire.h"
#include "bed/service_standin.h"

namespace {

using bed::NkoExchange;
using bed::ReplyHandle;
using bed::ServiceStandIn;

const int kPid = static_cast<int>(GetCurrentProcessId());

std::string CreateEvent(const std::string& escapedName, int pid = kPid) {
  return "<CreateEvent ProcId=\"" + std::to_string(pid) + "\" SecurityAttributes=\"1\" bManualReset=\"1\" "
         "bInitialState=\"0\" lpName=\"" + escapedName + "\"/>";
}

std::string CloseHandleRequest(int32_t handle, int pid = kPid) {
  return "<CloseHandle ProcId=\"" + std::to_string(pid) + "\" Handle=\"" + std::to_string(handle) + "\"/>";
}

bool EventExists(const char* name) {
  HANDLE h = OpenEventA(SYNCHRONIZE, FALSE, name);
  if (h) CloseHandle(h);
  return h != nullptr;
}

// 1 signalled, 0 present but not signalled, -1 absent.
int EventState(const char* name) {
  HANDLE h = OpenEventA(SYNCHRONIZE, FALSE, name);
  if (!h) return -1;
  int state = WaitForSingleObject(h, 0) == WAIT_OBJECT_0 ? 1 : 0;
  CloseHandle(h);
  return state;
}

constexpr char kServiceEvent[] = "Global\\__KorvaneOmbrixServiceIsRunning";
constexpr char kNkoEvent[] = "Global\\__KorvaneNkoServerRunningEvent";
constexpr char kBlock[] = "Global\\__KorvaneServiceSharedMemoryInfoName";

struct Block {
  int32_t hasMessage, refuseStart, showMessage;
  std::string message, statusLine;
  bool messageTerminated, statusTerminated;
};

std::optional<Block> ReadBlock() {
  HANDLE mapping = OpenFileMappingA(FILE_MAP_READ, FALSE, kBlock);
  if (!mapping) return std::nullopt;
  auto* view = static_cast<const char*>(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 2320));
  Block b{};
  std::memcpy(&b.hasMessage, view + 4, 4);
  std::memcpy(&b.refuseStart, view + 8, 4);
  std::memcpy(&b.showMessage, view + 12, 4);
  b.message.assign(view + 16, strnlen(view + 16, 2048));
  b.statusLine.assign(view + 2064, strnlen(view + 2064, 256));
  b.messageTerminated = b.message.size() < 2048;
  b.statusTerminated = b.statusLine.size() < 256;
  UnmapViewOfFile(view);
  CloseHandle(mapping);
  return b;
}

// --- published objects -------------------------------------------------------------

TEST(ServiceObjects, DefaultsPublishAnEmptyBlockAndSignalBothEvents) {
  {
    ServiceStandIn service;
    auto block = ReadBlock();
    ASSERT_TRUE(block);
    EXPECT_EQ(block->hasMessage, 0);
    EXPECT_EQ(block->refuseStart, 0);
    EXPECT_EQ(block->showMessage, 0);
    EXPECT_EQ(EventState(kServiceEvent), 1);
    EXPECT_EQ(EventState(kNkoEvent), 1);
    EXPECT_EQ(service.Stop(), 0u);
    EXPECT_NE(service.Output().find("0 requests served"), std::string::npos) << service.Output();
  }
  EXPECT_FALSE(ReadBlock()) << "the block goes with the service";
  EXPECT_EQ(EventState(kServiceEvent), -1);
}

TEST(ServiceObjects, OptionsSetTheBlockFields) {
  ServiceStandIn service({"--has-message", "1", "--refuse-start", "1", "--show-message", "-1", "--message",
                          "line one\\nline two", "--status-line", std::string(300, 's')});
  auto block = ReadBlock();
  ASSERT_TRUE(block);
  EXPECT_EQ(block->hasMessage, 1);
  EXPECT_EQ(block->refuseStart, 1);
  EXPECT_EQ(block->showMessage, -1);
  EXPECT_EQ(block->message, "line one\nline two");
  EXPECT_EQ(block->statusLine, std::string(255, 's')) << "cut to the field, NUL kept";
}

TEST(ServiceObjects, UnterminatedTextFillsTheFields) {
  ServiceStandIn service({"--message", "abc", "--unterminated-text"});
  auto block = ReadBlock();
  ASSERT_TRUE(block);
  EXPECT_FALSE(block->messageTerminated);
  EXPECT_FALSE(block->statusTerminated);
  EXPECT_EQ(block->message.substr(0, 7), "abcabca");
}

TEST(ServiceObjects, EventModesAndAMissingBlock) {
  ServiceStandIn service({"--no-info-block", "--service-event", "unsignalled", "--nko-event", "after:700"});
  EXPECT_FALSE(ReadBlock());
  EXPECT_EQ(EventState(kServiceEvent), 0);
  HANDLE nko = OpenEventA(SYNCHRONIZE, FALSE, kNkoEvent);
  ASSERT_TRUE(nko) << "a delayed event exists from the start";
  EXPECT_EQ(WaitForSingleObject(nko, 0), static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_EQ(WaitForSingleObject(nko, 10000), WAIT_OBJECT_0);
  CloseHandle(nko);
}

TEST(ServiceObjects, AbsentEventsAndAbsentPipe) {
  ServiceStandIn service({"--service-event", "absent", "--nko-event", "absent", "--no-pipe"});
  EXPECT_EQ(EventState(kServiceEvent), -1);
  EXPECT_EQ(EventState(kNkoEvent), -1);
  EXPECT_EQ(NkoExchange(CreateEvent("Global\\x")).openError, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST(ServiceObjects, ASecondServiceRefusesToStart) {
  ServiceStandIn first;
  EXPECT_THROW(ServiceStandIn second, std::runtime_error);
  EXPECT_EQ(EventState(kServiceEvent), 1) << "the failed start must not harm the first service";
}

TEST(ServiceObjects, BadCommandLinesExitWithCode2) {
  for (std::vector<std::string> args : {std::vector<std::string>{"--bogus"}, {"--instances", "0"},
                                        {"--service-event", "sometimes"}, {"--message"}}) {
    bed::ChildProcess child("ombrix-service.exe", args);
    EXPECT_EQ(child.WaitExitCode(20000), 2u) << args[0];
  }
}

// --- the NKO pipe ------------------------------------------------------------------

TEST(NkoPipe, CreatesObjectsTheRequesterCanOpenUntilItsCloseHandle) {
  ServiceStandIn service;
  auto first = NkoExchange(CreateEvent("Global\\Bed_Event"));
  ASSERT_TRUE(first.Complete());
  int32_t handle = ReplyHandle(first.Text());
  ASSERT_GT(handle, 0) << first.Text();
  EXPECT_EQ(first.Text(), std::to_string(handle));

  HANDLE opened = OpenEventA(EVENT_ALL_ACCESS, FALSE, "Global\\Bed_Event");
  ASSERT_TRUE(opened) << "full access for the requester";
  EXPECT_EQ(WaitForSingleObject(opened, 0), static_cast<DWORD>(WAIT_TIMEOUT)) << "bInitialState 0";
  EXPECT_TRUE(SetEvent(opened));
  EXPECT_TRUE(ResetEvent(opened));
  EXPECT_EQ(WaitForSingleObject(opened, 0), static_cast<DWORD>(WAIT_TIMEOUT)) << "bManualReset 1 keeps it reset";
  CloseHandle(opened);

  auto again = NkoExchange(CreateEvent("Global\\Bed_Event"));
  int32_t second = ReplyHandle(again.Text());
  EXPECT_EQ(again.Text(), std::to_string(second) + ",183");

  EXPECT_EQ(NkoExchange(CloseHandleRequest(handle)).Text(), "1");
  EXPECT_TRUE(EventExists("Global\\Bed_Event")) << "the second create still holds it";
  EXPECT_EQ(NkoExchange(CloseHandleRequest(second, kPid + 4)).Text(), "0,6") << "only its own ProcId closes it";
  EXPECT_EQ(NkoExchange(CloseHandleRequest(second)).Text(), "1");
  EXPECT_FALSE(EventExists("Global\\Bed_Event"));
  EXPECT_EQ(NkoExchange(CloseHandleRequest(second)).Text(), "0,6");
}

TEST(NkoPipe, CreatesEachKindWithItsParametersAndResolvesEntities) {
  ServiceStandIn service;
  auto mapping = NkoExchange("<CreateFileMapping ProcId=\"" + std::to_string(kPid) +
                             "\" hFile=\"-1\" SecurityAttributes=\"0\" flProtect=\"4\" dwMaximumSizeHigh=\"0\" "
                             "dwMaximumSizeLow=\"65536\" lpName=\"Global\\Bed&amp;Map&quot;&apos;&lt;&gt;\"/>");
  ASSERT_GT(ReplyHandle(mapping.Text()), 0) << mapping.Text();
  HANDLE m = OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, "Global\\Bed&Map\"'<>");
  ASSERT_TRUE(m);
  void* view = MapViewOfFile(m, FILE_MAP_WRITE, 0, 0, 65536);
  EXPECT_TRUE(view) << "the whole requested size is there";
  if (view) UnmapViewOfFile(view);
  CloseHandle(m);

  auto mutex = NkoExchange("<CreateMutex ProcId=\"" + std::to_string(kPid) +
                           "\" SecurityAttributes=\"1\" bInitialOwner=\"1\" lpName=\"Global\\Bed_Mutex\"/>");
  ASSERT_GT(ReplyHandle(mutex.Text()), 0) << mutex.Text();
  HANDLE mx = OpenMutexA(SYNCHRONIZE, FALSE, "Global\\Bed_Mutex");
  ASSERT_TRUE(mx);
  EXPECT_EQ(WaitForSingleObject(mx, 0), static_cast<DWORD>(WAIT_TIMEOUT)) << "owned by the server";
  CloseHandle(mx);

  auto semaphore = NkoExchange("<CreateSemaphore ProcId=\"" + std::to_string(kPid) +
                               "\" SecurityAttributes=\"1\" lInitialCount=\"0\" lMaximumCount=\"1\" "
                               "lpName=\"Global\\Bed_Sem\"/>");
  ASSERT_GT(ReplyHandle(semaphore.Text()), 0) << semaphore.Text();
  HANDLE s = OpenSemaphoreA(SEMAPHORE_ALL_ACCESS, FALSE, "Global\\Bed_Sem");
  ASSERT_TRUE(s);
  EXPECT_EQ(WaitForSingleObject(s, 0), static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_TRUE(ReleaseSemaphore(s, 1, nullptr));
  EXPECT_FALSE(ReleaseSemaphore(s, 1, nullptr)) << "maximum 1";
  CloseHandle(s);

  EXPECT_EQ(NkoExchange("<CreateMutex ProcId=\"1\" SecurityAttributes=\"1\" bInitialOwner=\"0\" "
                        "lpName=\"Global\\Bed_Sem\"/>")
                .Text(),
            "0,6")
      << "the name belongs to another kind of object";
}

TEST(NkoPipe, MalformedRequestsGet87AndTheServerGoesOn) {
  ServiceStandIn service;
  bed::NkoWireOptions noNul;
  noNul.appendNul = false;
  bed::NkoWireOptions zeroCount;
  zeroCount.countOverride = 0;
  bed::NkoWireOptions hugeCount;
  hugeCount.countOverride = 0x7fffffff;
  const std::pair<std::string, bed::NkoWireOptions> cases[] = {
      {"<CloseHandle ProcId=\"1\" Handle=\"4\" />", {}},
      {"<CreateEvent ProcId=\"1\" SecurityAttributes=\"1\" bManualReset=\"1\" lpName=\"Global\\m\"/>", {}},
      {"garbage", {}},
      {CloseHandleRequest(4), noNul},
      {std::string("<CloseHandle ProcId=\"1\"\0 Handle=\"4\"/>", 37), {}},
      {CloseHandleRequest(4), zeroCount},
      {CloseHandleRequest(4), hugeCount},
  };
  for (const auto& [text, options] : cases) {
    auto result = NkoExchange(text, options);
    EXPECT_EQ(result.Text(), "0,87") << text;
  }
  EXPECT_FALSE(EventExists("Global\\m"));

  bed::NkoWireOptions oneMessage;
  oneMessage.oneMessage = true;
  EXPECT_GT(ReplyHandle(NkoExchange(CreateEvent("Global\\Bed_After"), oneMessage).Text()), 0)
      << "count and text in one message are served too";
}

TEST(NkoPipe, ServesManyClientsAtOnce) {
  ServiceStandIn service({"--instances", "4"});
  constexpr int kThreads = 12;
  constexpr int kEach = 4;
  std::atomic<int> succeeded{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t, &succeeded] {
      for (int i = 0; i < kEach; ++i) {
        std::string name = "Global\\Bed_Many_" + std::to_string(t) + "_" + std::to_string(i);
        auto r = NkoExchange(CreateEvent(name));
        if (ReplyHandle(r.Text()) > 0 && EventExists(name.c_str())) ++succeeded;
      }
    });
  }
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(succeeded.load(), kThreads * kEach);
  EXPECT_EQ(service.Requests().size(), static_cast<size_t>(kThreads * kEach));
}

TEST(NkoPipe, TheRequestLogShowsExactlyWhatArrived) {
  ServiceStandIn service;
  std::string request = CreateEvent("Global\\a&amp;b\tc");
  NkoExchange(request);
  NkoExchange("junk\x01");
  auto logged = service.WaitForRequests(2, 5000);
  ASSERT_EQ(logged.size(), 2u);
  EXPECT_EQ(logged[0].text, request);
  EXPECT_GT(ReplyHandle(logged[0].reply), 0) << logged[0].reply;
  EXPECT_EQ(logged[1].text, "junk\x01");
  EXPECT_EQ(logged[1].reply, "0,87");
}

TEST(NkoPipe, StopsPromptlyWithAClientConnectedAndObjectsHeld) {
  ServiceStandIn service;
  ASSERT_GT(ReplyHandle(NkoExchange(CreateEvent("Global\\Bed_Held")).Text()), 0);
  HANDLE idle = CreateFileA(bed::kNkoPipeName, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(idle, INVALID_HANDLE_VALUE);
  EXPECT_EQ(service.Stop(5000), 0u);
  CloseHandle(idle);
  EXPECT_NE(service.Output().find("1 objects still held"), std::string::npos) << service.Output();
  EXPECT_FALSE(EventExists("Global\\Bed_Held"));
}

// --- fault options -----------------------------------------------------------------

TEST(NkoFaults, RefuseCreateAnswers5AndCreatesNothing) {
  ServiceStandIn service({"--refuse-create"});
  EXPECT_EQ(NkoExchange(CreateEvent("Global\\Bed_Refused")).Text(), "0,5");
  EXPECT_FALSE(EventExists("Global\\Bed_Refused"));
  EXPECT_EQ(NkoExchange(CloseHandleRequest(8)).Text(), "0,6") << "CloseHandle is still served";
}

TEST(NkoFaults, ReplyShapes) {
  {
    ServiceStandIn service({"--reply-text", "-2"});
    auto r = NkoExchange(CreateEvent("Global\\Bed_Text"));
    EXPECT_EQ(r.Text(), "-2");
    EXPECT_FALSE(EventExists("Global\\Bed_Text")) << "a canned reply carries out nothing";
  }
  {
    ServiceStandIn service({"--garbage-reply"});
    auto r = NkoExchange(CreateEvent("Global\\Bed_Garbage"));
    ASSERT_TRUE(r.Complete());
    EXPECT_FALSE(r.Text().empty());
    EXPECT_EQ(std::atoi(r.Text().c_str()), 0) << "no number at the start: " << r.Text();
  }
  {
    ServiceStandIn service({"--oversized-reply", "100000"});
    auto r = NkoExchange(CreateEvent("Global\\Bed_Big"));
    ASSERT_TRUE(r.Complete());
    EXPECT_EQ(r.count, 100000u);
    EXPECT_GT(ReplyHandle(r.Text()), 0) << "the real reply leads the filler";
    EXPECT_EQ(r.raw.back(), 'x');
  }
}

TEST(NkoFaults, DroppedRepliesAndAFaultCount) {
  ServiceStandIn service({"--drop-reply", "--fault-count", "2"});
  auto dropped = NkoExchange(CreateEvent("Global\\Bed_Drop"));
  EXPECT_FALSE(dropped.gotCount);
  EXPECT_NE(dropped.readError, 0u);
  EXPECT_FALSE(NkoExchange(CreateEvent("Global\\Bed_Drop")).gotCount);
  EXPECT_GT(ReplyHandle(NkoExchange(CreateEvent("Global\\Bed_Drop")).Text()), 0) << "the third is served";
  auto logged = service.WaitForRequests(3, 5000);
  ASSERT_EQ(logged.size(), 3u);
  EXPECT_EQ(logged[0].reply, "(dropped)");
  EXPECT_EQ(logged[1].reply, "(dropped)");
}

TEST(NkoFaults, DelayedRepliesAndALatePipe) {
  ServiceStandIn service({"--reply-delay", "400", "--pipe-after", "1000"});
  EXPECT_EQ(NkoExchange(CreateEvent("Global\\Bed_Late")).openError, static_cast<DWORD>(ERROR_FILE_NOT_FOUND))
      << "no pipe before its time";
  bed::NkoWireResult r;
  for (int i = 0; i < 100 && (r = NkoExchange(CreateEvent("Global\\Bed_Late"))).openError != 0; ++i) Sleep(100);
  ASSERT_EQ(r.openError, 0u) << "the pipe appears";
  ULONGLONG start = GetTickCount64();
  auto delayed = NkoExchange(CloseHandleRequest(ReplyHandle(r.Text())));
  EXPECT_EQ(delayed.Text(), "1");
  EXPECT_GE(GetTickCount64() - start, 390u) << "the reply waits at least the delay";
}

}  // namespace
