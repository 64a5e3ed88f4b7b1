#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "trace/viewer_link.h"
#include "viewer_status_memory.h"

namespace {

// The viewer's handshake objects, made by the test; serve() plays the viewer's side.
struct FakeViewer {
  HANDLE mutex = CreateMutexA(nullptr, FALSE, kViewerMutexName);
  HANDLE request = CreateEventA(nullptr, FALSE, FALSE, kViewerRequestEventName);
  HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, kViewerReadyEventName);
  HANDLE pipe = nullptr;
  ~FakeViewer() {
    for (HANDLE h : {mutex, request, ready, pipe}) {
      if (h != nullptr && h != INVALID_HANDLE_VALUE) CloseHandle(h);
    }
  }
  // Creates a pipe instance and says it is ready, as the viewer does on a request.
  void OfferPipe() {
    pipe = CreateNamedPipeA(kViewerPipeName, PIPE_ACCESS_INBOUND, PIPE_TYPE_BYTE | PIPE_WAIT, 4, 4096, 4096, 0, nullptr);
    SetEvent(ready);
  }
};

TEST(ViewerStatus, FollowsTheViewersMemoryOnceItExists) {
  EXPECT_EQ(GetViewerTraceStatus(), 0);
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

TEST(ViewerHandshake, NoMutexFailsAtOnce) {
  HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, kViewerReadyEventName);
  const ULONGLONG start = GetTickCount64();
  EXPECT_EQ(ConnectTraceViewer(), INVALID_HANDLE_VALUE);
  EXPECT_LT(GetTickCount64() - start, 500u);
  CloseHandle(ready);
}

TEST(ViewerHandshake, ViewerServesPipeOnRequest) {
  FakeViewer viewer;
  std::thread serve([&] {
    if (WaitForSingleObject(viewer.request, 5000) == WAIT_OBJECT_0) viewer.OfferPipe();
  });
  HANDLE pipe = ConnectTraceViewer();
  serve.join();
  ASSERT_NE(pipe, INVALID_HANDLE_VALUE);
  const char16_t text[] = u"<Message/>";
  DWORD written = 0;
  EXPECT_TRUE(WriteFile(pipe, text, sizeof text, &written, nullptr));
  char16_t read[16] = {};
  DWORD got = 0;
  EXPECT_TRUE(ReadFile(viewer.pipe, read, sizeof read, &got, nullptr));
  EXPECT_EQ(got, sizeof text);
  EXPECT_EQ(std::u16string(read), u"<Message/>");
  // The attempt leaves the mutex free and the ready event reset.
  EXPECT_EQ(WaitForSingleObject(viewer.mutex, 0), WAIT_OBJECT_0);
  ReleaseMutex(viewer.mutex);
  EXPECT_EQ(WaitForSingleObject(viewer.ready, 0), static_cast<DWORD>(WAIT_TIMEOUT));
  CloseHandle(pipe);
}

TEST(ViewerHandshake, MissingRequestEventStillWaitsForReady) {
  FakeViewer viewer;
  CloseHandle(viewer.request);
  viewer.request = nullptr;
  std::thread serve([&] {
    Sleep(300);
    viewer.OfferPipe();
  });
  HANDLE pipe = ConnectTraceViewer();
  serve.join();
  EXPECT_NE(pipe, INVALID_HANDLE_VALUE);
  if (pipe != INVALID_HANDLE_VALUE) CloseHandle(pipe);
}

TEST(ViewerHandshake, ReadyNeverSetGivesUpAfterItsWaitAndReleasesTheMutex) {
  FakeViewer viewer;
  const ULONGLONG start = GetTickCount64();
  EXPECT_EQ(ConnectTraceViewer(), INVALID_HANDLE_VALUE);
  const ULONGLONG elapsed = GetTickCount64() - start;
  EXPECT_GE(elapsed, kViewerHandshakeWaitMs - 100);
  EXPECT_LT(elapsed, kViewerHandshakeWaitMs + 2000);
  std::atomic<DWORD> taken{0};
  std::thread other([&] { taken = WaitForSingleObject(viewer.mutex, 0); if (taken == WAIT_OBJECT_0) ReleaseMutex(viewer.mutex); });
  other.join();
  EXPECT_EQ(taken.load(), WAIT_OBJECT_0);
}

TEST(ViewerHandshake, CancelEndsAWaitingAttempt) {
  FakeViewer viewer;
  HANDLE cancel = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  std::thread canceller([&] {
    Sleep(200);
    SetEvent(cancel);
  });
  const ULONGLONG start = GetTickCount64();
  EXPECT_EQ(ConnectTraceViewerCancellable(cancel), INVALID_HANDLE_VALUE);
  EXPECT_LT(GetTickCount64() - start, 2000u);
  canceller.join();
  CloseHandle(cancel);
}

}  // namespace
