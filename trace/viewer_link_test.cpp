#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "trace/testing/mutex_probe.h"
#include "base/results.h"
#include "trace/viewer_link.h"
#include "trace/testing/viewer_status_memory.h"

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

// Waits (at most 20 s) until another thread holds the mutex: the attempt has taken it and
// now waits for the viewer's ready event.
bool WaitUntilTaken(HANDLE mutex) {
  for (int i = 0; i < 2000; ++i) {
    if (!FreeForOthers(mutex)) return true;
    Sleep(10);
  }
  return false;
}

TEST(ViewerHandshake, ConnectsWhenOfferedElseGivesUpAndFreesTheMutex) {
  enum class Viewer { kSilent, kOffersLate, kCancels };
  // mutex, request: which of the viewer's objects exist (the ready event always does).
  const struct { const char* name; bool mutex, request; Viewer viewer; bool connects; } cases[] = {
      {"no viewer mutex", false, true, Viewer::kSilent, false},
      // The pipe and the ready event come only once the attempt holds the mutex, so the
      // attempt must wait for them.
      {"no request event, ready set late", true, false, Viewer::kOffersLate, true},
      {"ready never set", true, true, Viewer::kSilent, false},
      {"cancelled while waiting for ready", true, true, Viewer::kCancels, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    HANDLE mutex = c.mutex ? CreateMutexA(nullptr, FALSE, kViewerMutexName) : nullptr;
    HANDLE request = c.request ? CreateEventA(nullptr, FALSE, FALSE, kViewerRequestEventName) : nullptr;
    HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, kViewerReadyEventName);
    HANDLE cancel = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE viewerPipe = INVALID_HANDLE_VALUE;
    bool viewerSawAttempt = c.viewer == Viewer::kSilent;
    std::thread viewer([&] {
      if (c.viewer == Viewer::kCancels) {
        viewerSawAttempt = WaitForSingleObject(request, 20000) == WAIT_OBJECT_0;
        IgnoreResult(SetEvent(cancel));
      } else if (c.viewer == Viewer::kOffersLate) {
        viewerSawAttempt = WaitUntilTaken(mutex);
        viewerPipe = CreateNamedPipeA(kViewerPipeName, PIPE_ACCESS_INBOUND, PIPE_TYPE_BYTE | PIPE_WAIT, 4, 4096, 4096, 0, nullptr);
        IgnoreResult(SetEvent(ready));
      }
    });
    const ULONGLONG start = GetTickCount64();
    const UniqueFile pipe = ConnectTraceViewerCancellable(cancel);
    const ULONGLONG elapsed = GetTickCount64() - start;
    viewer.join();
    EXPECT_TRUE(viewerSawAttempt);
    EXPECT_EQ(static_cast<bool>(pipe), c.connects);
    // Without a ready event the attempt gives up only after the whole handshake wait; a
    // cancelled one never waits that long.
    if (c.mutex && c.viewer == Viewer::kSilent) {
      EXPECT_GE(elapsed + 100, kViewerHandshakeWaitMs);
    }
    if (c.viewer == Viewer::kCancels) {
      EXPECT_LT(elapsed, kViewerHandshakeWaitMs);
    }
    // Every attempt leaves the mutex free and the ready event reset.
    EXPECT_TRUE(mutex == nullptr || FreeForOthers(mutex));
    EXPECT_EQ(WaitForSingleObject(ready, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    for (HANDLE h : {mutex, request, ready, cancel, viewerPipe})
      if (h != nullptr && h != INVALID_HANDLE_VALUE) CloseHandle(h);
  }
}

}  // namespace
