#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "trace/viewer_link.h"
#include "viewer_status_memory.h"

namespace {

TEST(ViewerStatus, FollowsTheViewersMemoryOnceItExists) {
  EXPECT_EQ(GetViewerTraceStatus(), 0);
  {
    ViewerStatusMemory viewer(2, 4096);
    ASSERT_TRUE(viewer.Ok());
    EXPECT_EQ(GetViewerTraceStatus(), 2);
    EXPECT_EQ(GetViewerArraySizeLimit(), 4096u);
    viewer.SetStatus(1);
    EXPECT_EQ(GetViewerTraceStatus(), 1);
  }
  // The memory stays mapped here after the viewer has gone, with its last value.
  EXPECT_EQ(GetViewerTraceStatus(), 1);
  CloseViewerStatusMemory();
  EXPECT_EQ(GetViewerTraceStatus(), 0);
  DeleteTraceStatusLock();
}

// Whether another thread can take the mutex (this one could even while holding it).
bool FreeForOthers(HANDLE mutex) {
  DWORD taken = WAIT_FAILED;
  std::thread([&] {
    taken = WaitForSingleObject(mutex, 0);
    if (taken == WAIT_OBJECT_0) ReleaseMutex(mutex);
  }).join();
  return taken == WAIT_OBJECT_0;
}

TEST(ViewerHandshake, ConnectsWhenOfferedElseGivesUpInTimeAndFreesTheMutex) {
  const struct {
    const char* name;
    bool mutex, request;  // which of the viewer's objects exist (the ready event always does)
    bool offer;           // the viewer creates its pipe and sets the ready event 300 ms in
    int cancelAfterMs;    // -1: never
    bool connects;
    ULONGLONG minMs, maxMs;
  } cases[] = {
      {"no viewer mutex", false, true, false, -1, false, 0, 500},
      {"no request event, ready set anyway", true, false, true, -1, true, 250, 5000},
      {"ready never set", true, true, false, -1, false, kViewerHandshakeWaitMs - 100, kViewerHandshakeWaitMs + 2000},
      {"cancelled while waiting", true, true, false, 200, false, 150, 2000},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    HANDLE mutex = c.mutex ? CreateMutexA(nullptr, FALSE, kViewerMutexName) : nullptr;
    HANDLE request = c.request ? CreateEventA(nullptr, FALSE, FALSE, kViewerRequestEventName) : nullptr;
    HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, kViewerReadyEventName);
    HANDLE cancel = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE viewerPipe = INVALID_HANDLE_VALUE;
    std::thread viewer([&] {
      if (c.cancelAfterMs >= 0) {
        Sleep(c.cancelAfterMs);
        SetEvent(cancel);
      }
      if (!c.offer) return;
      Sleep(300);
      viewerPipe = CreateNamedPipeA(kViewerPipeName, PIPE_ACCESS_INBOUND, PIPE_TYPE_BYTE | PIPE_WAIT, 4, 4096, 4096, 0, nullptr);
      SetEvent(ready);
    });
    const ULONGLONG start = GetTickCount64();
    HANDLE pipe = ConnectTraceViewerCancellable(cancel);
    const ULONGLONG elapsed = GetTickCount64() - start;
    viewer.join();
    EXPECT_EQ(pipe != INVALID_HANDLE_VALUE, c.connects);
    EXPECT_GE(elapsed, c.minMs);
    EXPECT_LT(elapsed, c.maxMs);
    if (pipe != INVALID_HANDLE_VALUE) CloseHandle(pipe);
    // Every attempt leaves the mutex free and the ready event reset.
    EXPECT_TRUE(mutex == nullptr || FreeForOthers(mutex));
    EXPECT_EQ(WaitForSingleObject(ready, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    for (HANDLE h : {mutex, request, ready, cancel, viewerPipe}) {
      if (h != nullptr && h != INVALID_HANDLE_VALUE) CloseHandle(h);
    }
  }
}

}  // namespace
