#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "trace/viewer_connector.h"
#include "base/results.h"
#include "trace/testing/mutex_probe.h"
#include "trace/viewer_link.h"

namespace {

// The viewer's connection objects, made by the test as the viewer makes them.
struct ViewerObjects {
  UniqueHandle mutex{CreateMutexA(nullptr, FALSE, kViewerMutexName)};
  UniqueHandle request{CreateEventA(nullptr, FALSE, FALSE, kViewerRequestEventName)};
  UniqueHandle ready{CreateEventA(nullptr, TRUE, FALSE, kViewerReadyEventName)};
};

TEST(ViewerConnector, HandsOverTheViewersPipeOnceTheAttemptHasEnded) {
  ViewerObjects viewer;
  UniqueFile server;
  std::thread offer([&] {
    if (WaitForSingleObject(viewer.request.Get(), 20000) != WAIT_OBJECT_0) return;
    server.Reset(CreateNamedPipeA(kViewerPipeName, PIPE_ACCESS_INBOUND, PIPE_TYPE_BYTE | PIPE_WAIT, 1, 4096, 4096, 0,
                                  nullptr));
    IgnoreResult(SetEvent(viewer.ready.Get()));
  });
  ViewerConnector connector;
  connector.Begin();
  EXPECT_TRUE(connector.Connecting());
  ASSERT_EQ(WaitForSingleObject(connector.Done(), 30000), WAIT_OBJECT_0);
  offer.join();
  const UniqueFile pipe = connector.End();
  ASSERT_TRUE(pipe);
  EXPECT_FALSE(connector.Connecting());
  EXPECT_EQ(WaitForSingleObject(connector.Done(), 0), static_cast<DWORD>(WAIT_TIMEOUT));  // ready for the next

  // What the relay writes through the handed-over end arrives at the viewer.
  UniqueHandle done(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  const std::string text = "relayed";
  EXPECT_EQ(WriteViewerPipeBounded(pipe.Get(), done.Get(), text.data(), static_cast<DWORD>(text.size()), 10000),
            ViewerWrite::kWritten);
  char got[16] = {};
  DWORD read = 0;
  ASSERT_TRUE(ReadFile(server.Get(), got, sizeof got, &read, nullptr));
  EXPECT_EQ(std::string(got, read), text);
}

TEST(ViewerConnector, DestroyedDuringAnAttemptJoinsItAndLeavesTheViewerFree) {
  ViewerObjects viewer;  // its ready event is never set
  {
    ViewerConnector connector;
    connector.Begin();
    // The attempt has taken the viewer's mutex and now waits for the ready event.
    ASSERT_EQ(WaitForSingleObject(viewer.request.Get(), 20000), WAIT_OBJECT_0);
    EXPECT_FALSE(FreeForOthers(viewer.mutex.Get()));
  }
  // The attempt was given up and joined before the connector went: the mutex is free.
  EXPECT_TRUE(FreeForOthers(viewer.mutex.Get()));
}

}  // namespace
