#pragma once
// Waiting for an overlapped read, write or pipe connection with a bound: the caller starts
// the operation with an OVERLAPPED whose hEvent is a manual-reset event and hands the call's
// result here, which waits until the operation ends, a stop event is set or the time limit
// passes. An operation given up on is cancelled and its end waited for, because the system
// uses the OVERLAPPED and the buffer until then.
//
//   OVERLAPPED ov{};
//   ov.hEvent = ioDone;
//   DWORD written = 0;
//   const IoOutcome outcome = FinishOverlapped(pipe, ov, WriteFile(pipe, data, size, nullptr, &ov),
//                                              {stop}, kWriteLimitMs, written);
#include <windows.h>

#include <initializer_list>

enum class IoOutcome {
  kDone,      // the operation completed (for ConnectNamedPipe: a client is connected)
  kMoreData,  // a read of a message pipe got the part of a longer message that fitted
  kFailed,    // the operation failed; GetLastError() says why
  kStopped,   // one of the stop events was set first
  kTimedOut,  // the time limit passed first
};

// |started| is what ReadFile, WriteFile or ConnectNamedPipe returned for |ov|; |transferred|
// receives the bytes moved. An operation that completed while it was being cancelled
// counts as done.
IoOutcome FinishOverlapped(HANDLE file, OVERLAPPED& ov, BOOL started, std::initializer_list<HANDLE> stops,
                           DWORD limitMs, DWORD& transferred);
