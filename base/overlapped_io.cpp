#include "base/overlapped_io.h"

#include <array>

#include "base/results.h"

namespace {

// The result of the finished operation, after its event was set or its end waited for.
IoOutcome Result(HANDLE file, OVERLAPPED& ov, BOOL wait, DWORD& transferred) {
  if (GetOverlappedResult(file, &ov, &transferred, wait)) return IoOutcome::kDone;
  return GetLastError() == ERROR_MORE_DATA ? IoOutcome::kMoreData : IoOutcome::kFailed;
}

// Waits for the operation's event, a stop event or the limit.
IoOutcome WaitForEnd(HANDLE ioDone, std::initializer_list<HANDLE> stops, DWORD limitMs) {
  // On the stack: the trace relay comes here for every message the viewer does not take at once.
  std::array<HANDLE, MAXIMUM_WAIT_OBJECTS> waits{ioDone};
  if (stops.size() >= waits.size()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return IoOutcome::kFailed;
  }
  DWORD count = 1;
  for (const HANDLE stop : stops) waits[count++] = stop;
  const DWORD which = WaitForMultipleObjects(count, waits.data(), FALSE, limitMs);
  if (which == WAIT_OBJECT_0) return IoOutcome::kDone;
  if (which == WAIT_TIMEOUT) return IoOutcome::kTimedOut;
  if (which > WAIT_OBJECT_0 && which < WAIT_OBJECT_0 + count) return IoOutcome::kStopped;
  return IoOutcome::kFailed;
}

}  // namespace

IoOutcome FinishOverlapped(HANDLE file, OVERLAPPED& ov, BOOL started, std::initializer_list<HANDLE> stops,
                           DWORD limitMs, DWORD& transferred) {
  transferred = 0;
  if (!started) {
    const DWORD error = GetLastError();
    // A client that connected between CreateNamedPipe and ConnectNamedPipe.
    if (error == ERROR_PIPE_CONNECTED) return IoOutcome::kDone;
    if (error == ERROR_MORE_DATA) return Result(file, ov, FALSE, transferred);
    if (error != ERROR_IO_PENDING) return IoOutcome::kFailed;
    const IoOutcome waited = WaitForEnd(ov.hEvent, stops, limitMs);
    if (waited != IoOutcome::kDone) {
      IgnoreResult(CancelIoEx(file, &ov));  // fails only when the operation has ended already
      const IoOutcome ended = Result(file, ov, TRUE, transferred);
      return ended == IoOutcome::kFailed ? waited : ended;
    }
  }
  return Result(file, ov, FALSE, transferred);
}
