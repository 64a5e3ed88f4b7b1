#include "trace/viewer_request_watch.h"

#include <gtest/gtest.h>

#include <vector>

#include "trace/viewer_link.h"

namespace {

// What the watch sees at one tick: the viewer's status, whether a viewer runs (its mutex
// exists), whether the served viewer has ended, and whether it must say "asked afresh".
struct Tick {
  int status;
  bool viewerRuns;
  bool servedEnded;
  bool asked;
};

TEST(ViewerRequestWatch, AsksAfreshOnlyAfterAnOffStatusOrANewViewer) {
  const struct {
    const char* name;
    int statusAtArm;
    bool servedKnown;
    std::vector<Tick> ticks;
  } cases[] = {
      {"the same viewer stays at 1", 1, true, {{1, true, false, false}, {1, true, false, false}}},
      {"status 0, then 1", 1, true, {{1, true, false, false}, {0, true, false, false}, {1, true, false, true}}},
      {"status 2 is not a 0", 1, true, {{2, true, false, false}, {1, true, false, false}}},
      {"off when armed, then 1", 0, true, {{1, true, false, true}}},
      // Killed and replaced between two ticks: the new viewer writes 1 into the same memory.
      {"served viewer replaced at once", 1, true, {{1, true, true, true}}},
      {"served viewer ended, a new one later", 1, true,
       {{1, false, true, false}, {1, false, true, false}, {1, true, true, true}}},
      {"new viewer, status still 0", 1, true, {{0, true, true, false}, {1, true, true, true}}},
      {"unknown viewer stays", 1, false, {{1, true, false, false}, {1, true, false, false}}},
      {"unknown viewer gone, then back", 1, false, {{1, true, false, false}, {1, false, false, false}, {1, true, false, true}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    // The served viewer's process: an event stands in for it, set once it has ended.
    UniqueHandle served(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    HANDLE servedEnd = served.Get();
    ViewerRequestWatch watch;
    watch.Arm(c.statusAtArm, c.servedKnown ? std::move(served) : UniqueHandle());
    UniqueHandle mutex;
    for (size_t i = 0; i < c.ticks.size(); ++i) {
      const Tick& t = c.ticks[i];
      if (t.viewerRuns && !mutex) mutex.Reset(CreateMutexA(nullptr, FALSE, kViewerMutexName));
      if (!t.viewerRuns) mutex.Reset();
      if (t.servedEnded) SetEvent(servedEnd);
      EXPECT_EQ(watch.AskedAfresh(t.status), t.asked) << "tick " << i;
    }
  }
}

}  // namespace
