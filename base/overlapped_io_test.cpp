#include "base/overlapped_io.h"

#include <gtest/gtest.h>

#include <string>

#include "base/unique.h"

namespace {

constexpr DWORD kShortMs = 200;
constexpr DWORD kLongMs = 10000;

// One pipe instance (overlapped, this end) and a client end, of the given type.
struct PipePair {
  // |type|: PIPE_TYPE_BYTE, or PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE.
  explicit PipePair(DWORD type, bool connect = true) {
    static int count = 0;
    name = "\\\\.\\pipe\\overlapped_io_test_" + std::to_string(GetCurrentProcessId()) + "_" + std::to_string(++count);
    server.Reset(CreateNamedPipeA(name.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED, type | PIPE_WAIT, 1, 4096,
                                  4096, 0, nullptr));
    if (connect) Connect();
  }
  void Connect() {
    client.Reset(CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  }
  bool Send(const std::string& text) const {
    DWORD written = 0;
    return WriteFile(client.Get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
           written == text.size();
  }
  std::string name;
  UniqueFile server;
  UniqueFile client;
};

struct Read {
  IoOutcome outcome;
  std::string text;
  bool ended;  // the system is done with the OVERLAPPED and the buffer (after a start)
};

// One bounded read of at most |size| bytes from the server end.
Read ReadBounded(const PipePair& pipe, DWORD size, std::initializer_list<HANDLE> stops, DWORD limitMs) {
  const UniqueHandle done(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  OVERLAPPED ov{};
  ov.hEvent = done.Get();
  std::string buffer(size, '\0');
  DWORD got = 0;
  const BOOL started = ReadFile(pipe.server.Get(), buffer.data(), size, nullptr, &ov);
  const IoOutcome outcome = FinishOverlapped(pipe.server.Get(), ov, started, stops, limitMs, got);
  // A read given up on but still running would write into the buffer after it is gone.
  const bool ended = HasOverlappedIoCompleted(&ov);
  buffer.resize(got);
  return {outcome, buffer, ended};
}

TEST(FinishOverlapped, ReadEndsWithDataTimeOutStopOrCut) {
  const UniqueHandle unset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  const UniqueHandle set(CreateEventA(nullptr, TRUE, TRUE, nullptr));
  {
    SCOPED_TRACE("data waiting");
    PipePair pipe(PIPE_TYPE_BYTE);
    ASSERT_TRUE(pipe.Send("hello"));
    const Read r = ReadBounded(pipe, 64, {unset.Get()}, kLongMs);
    EXPECT_EQ(r.outcome, IoOutcome::kDone);
    EXPECT_EQ(r.text, "hello");
  }
  {
    SCOPED_TRACE("nothing comes: the read is cancelled, and what comes later is there for the next read");
    PipePair pipe(PIPE_TYPE_BYTE);
    const Read r = ReadBounded(pipe, 64, {unset.Get()}, kShortMs);
    EXPECT_EQ(r.outcome, IoOutcome::kTimedOut);
    EXPECT_EQ(r.text, "");
    ASSERT_TRUE(r.ended);
    ASSERT_TRUE(pipe.Send("later"));
    EXPECT_EQ(ReadBounded(pipe, 64, {}, kLongMs).text, "later");
  }
  {
    SCOPED_TRACE("a stop event set");
    PipePair pipe(PIPE_TYPE_BYTE);
    const Read r = ReadBounded(pipe, 64, {unset.Get(), set.Get()}, kLongMs);
    EXPECT_EQ(r.outcome, IoOutcome::kStopped);
    EXPECT_TRUE(r.ended);
  }
  {
    SCOPED_TRACE("a message longer than the buffer");
    PipePair pipe(PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE);
    ASSERT_TRUE(pipe.Send("0123456789"));
    const Read r = ReadBounded(pipe, 4, {}, kLongMs);
    EXPECT_EQ(r.outcome, IoOutcome::kMoreData);
    EXPECT_EQ(r.text, "0123");
  }
  {
    SCOPED_TRACE("the other end gone");
    PipePair pipe(PIPE_TYPE_BYTE);
    pipe.client.Reset();
    const Read r = ReadBounded(pipe, 64, {}, kLongMs);
    EXPECT_EQ(r.outcome, IoOutcome::kFailed);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BROKEN_PIPE));
  }
}

TEST(FinishOverlapped, ConnectCountsAClientThatCameFirstAndWaitsForALaterOne) {
  const UniqueHandle done(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  DWORD unused = 0;
  {
    SCOPED_TRACE("client first");
    PipePair pipe(PIPE_TYPE_BYTE);
    OVERLAPPED ov{};
    ov.hEvent = done.Get();
    const BOOL started = ConnectNamedPipe(pipe.server.Get(), &ov);
    EXPECT_EQ(FinishOverlapped(pipe.server.Get(), ov, started, {}, kShortMs, unused), IoOutcome::kDone);
  }
  {
    SCOPED_TRACE("no client within the limit");
    PipePair pipe(PIPE_TYPE_BYTE, false);
    OVERLAPPED ov{};
    ov.hEvent = done.Get();
    const BOOL started = ConnectNamedPipe(pipe.server.Get(), &ov);
    EXPECT_EQ(FinishOverlapped(pipe.server.Get(), ov, started, {}, kShortMs, unused), IoOutcome::kTimedOut);
  }
}

}  // namespace
