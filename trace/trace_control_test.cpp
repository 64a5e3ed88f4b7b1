#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "base/unique.h"
#include "kobj/nko_handle.h"
#include "kobj/object_names.h"
#include "trace/testing/nko_object_server.h"
#include "trace/named_pipe_m.h"
#include "trace/trace_control.h"

namespace {

// The timer block as a library in another process sees it: opened by name and mapped;
// null while it does not exist.
class TimerFromOutside {
 public:
  TimerFromOutside() {
    char name[1024];
    BuildObjectName(1, kTraceTimerName, name, sizeof name);
    m_holder.Reset(NkoOpenFileMapping(FILE_MAP_READ, FALSE, name));
    if (m_holder) m_view.Reset(MapViewOfFile(NkoGetHandle(m_holder.Get()), FILE_MAP_READ, 0, 0, 0));
  }
  const TraceTimerBlock* Block() const { return ViewAs<const TraceTimerBlock>(m_view); }

 private:
  UniqueNko m_holder;
  UniqueView m_view;
};

class TraceControlTest : public ::testing::Test {
 protected:
  void TearDown() override { ShutdownTraceControl(); }
  NkoObjectServer m_server;
};

TEST_F(TraceControlTest, FirstInitCreatesBlocksWithTheirInitialValues) {
  ShutdownTraceControl();  // before any init: harmless
  ShutdownTraceTimer();
  EXPECT_EQ(GetTraceControlView(), nullptr);
  EXPECT_EQ(TimerFromOutside().Block(), nullptr);
  ASSERT_EQ(InitTraceControl(), kTraceInitCreated);
  const TraceControlBlock* block = GetTraceControlView();
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(block->traceVersion, 20020228);
  EXPECT_EQ(block->maxArraySize, 1024);
  for (int32_t flag : {block->enabled, block->visaEnabled, block->trilTopEnabled, block->trilBottomEnabled,
                       block->llEnabled, block->logToFile, block->logToFilePerProc, block->viewerEnabled})
    EXPECT_EQ(flag, 0);
  char temp[MAX_PATH] = {};
  GetTempPathA(sizeof temp, temp);
  EXPECT_EQ(std::string(block->logFilePath), std::string(temp) + "kvnIOTrace.bin");
  EXPECT_FALSE(IsTraceEnabled());

  const TimerFromOutside outside;
  const TraceTimerBlock* timer = outside.Block();
  ASSERT_NE(timer, nullptr);
  EXPECT_EQ(timer->initialized, 1);
  // The clock reads wall-clock time: compare with the system's own idea of now.
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  const int64_t wallNs =
      ((static_cast<int64_t>(now.dwHighDateTime) << 32 | now.dwLowDateTime) - 116444736000000000LL) * 100;
  EXPECT_NEAR(static_cast<double>(ReadTraceClock(*timer)), static_cast<double>(wallNs), 1e9);

  // The trace event pipe exists for clients with its full capacity.
  const UniqueNamedPipeM client(OpenNamedPipeM(kTraceEventPipeName));
  ASSERT_TRUE(client);
  EXPECT_EQ(client.Get()->capacity, kTraceEventPipeCapacity);
}

TEST_F(TraceControlTest, ExistingBlockIsAdoptedUnchanged) {
  // Another process (a library) made the block and has set flags in it.
  UniqueNko holder;
  int created = -1;
  ASSERT_EQ(CreateSharedMemory(kTraceControlName, sizeof(TraceControlBlock), holder.Receive(), &created),
            kSharedMemoryOk);
  EXPECT_EQ(created, 1);
  UniqueView view;
  ASSERT_EQ(MapSharedMemory(holder.Get(), view.Receive()), kSharedMemoryOk);
  auto* theirs = ViewAs<TraceControlBlock>(view);
  theirs->enabled = 1;
  theirs->maxArraySize = 77;

  EXPECT_EQ(InitTraceControl(), kTraceInitExisted);
  const TraceControlBlock* ours = GetTraceControlView();
  ASSERT_NE(ours, nullptr);
  EXPECT_EQ(ours->traceVersion, 0);
  EXPECT_EQ(ours->maxArraySize, 77);
  EXPECT_TRUE(IsTraceEnabled());
  // A second init in the same process keeps what is mapped.
  EXPECT_EQ(InitTraceControl(), kTraceInitExisted);
  EXPECT_EQ(InitTraceTimer(), kTraceInitExisted);
}

TEST_F(TraceControlTest, LockRefusedFailsAfterMakingTimerAndPipe) {
  m_server.RefuseSemaphores(true);
  EXPECT_EQ(InitTraceControl(), kTraceInitFailed);
  EXPECT_EQ(GetTraceControlView(), nullptr);
  // The timer's own lock was refused too, so the timer failed as well; the pipe needs no lock.
  EXPECT_EQ(TimerFromOutside().Block(), nullptr);
  EXPECT_TRUE(UniqueNamedPipeM(OpenNamedPipeM(kTraceEventPipeName)));
  m_server.RefuseSemaphores(false);
  EXPECT_EQ(InitTraceControl(), kTraceInitCreated);
}

// Another process has taken both locks' counts and keeps them (or died holding them). The
// blocks are still made and released, each after the bounded wait for its lock; with an
// unbounded wait this test does not end.
TEST_F(TraceControlTest, LocksKeptByAnotherHolderDelayButNeverStopTheBlocks) {
  UniqueNko taken[2];
  const char* locks[] = {kTraceControlLockName, kTraceTimerLockName};
  for (int i = 0; i < 2; ++i) {
    char name[1024];
    BuildObjectName(1, locks[i], name, sizeof name);
    taken[i].Reset(NkoCreateSemaphore(nullptr, 1, 65535, name));
    ASSERT_TRUE(taken[i]);
    ASSERT_EQ(WaitForSingleObject(NkoGetHandle(taken[i].Get()), 0), WAIT_OBJECT_0);
  }
  EXPECT_EQ(InitTraceControl(), kTraceInitCreated);
  EXPECT_NE(GetTraceControlView(), nullptr);
  EXPECT_NE(TimerFromOutside().Block(), nullptr);
  ShutdownTraceControl();
  EXPECT_EQ(GetTraceControlView(), nullptr);
  // Nothing was given back that was not taken: the counts are still out.
  for (const UniqueNko& lock : taken) EXPECT_EQ(WaitForSingleObject(NkoGetHandle(lock.Get()), 0), WAIT_TIMEOUT);
}

TEST_F(TraceControlTest, OverlongTempDirectoryGivesBareFileName) {
  char saved[2][1024] = {};
  const char* names[] = {"TMP", "TEMP"};
  for (int i = 0; i < 2; ++i) {
    GetEnvironmentVariableA(names[i], saved[i], sizeof saved[i]);
    SetEnvironmentVariableA(names[i], ("C:\\" + std::string(250, 'd')).c_str());
  }
  const int result = InitTraceControl();
  for (int i = 0; i < 2; ++i) SetEnvironmentVariableA(names[i], saved[i]);
  ASSERT_EQ(result, kTraceInitCreated);
  EXPECT_STREQ(GetTraceControlView()->logFilePath, "kvnIOTrace.bin");
}

TEST(TraceClock, CounterConvertsToNanosecondsPlusOffset) {
  // Ten million ticks a second is 0.01 ticks per nanosecond; the quotient is truncated
  // toward zero.
  EXPECT_EQ(TraceTimeFromCounter(5000000000LL, 0.01, 0), 500000000000LL);
  EXPECT_EQ(TraceTimeFromCounter(5000000000LL, 0.01, -7), 499999999993LL);
  EXPECT_EQ(TraceTimeFromCounter(7, 2.0, 0), 3);
  EXPECT_EQ(TraceTimeFromCounter(-7, 2.0, 0), -3);
}

}  // namespace
