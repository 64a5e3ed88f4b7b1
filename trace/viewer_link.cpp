#include "trace/viewer_link.h"

#include <atomic>

namespace {

struct ViewerStatusMemory {
  HANDLE mapping = nullptr;
  const uint8_t* view = nullptr;
  const volatile uint8_t* status = nullptr;
  const volatile uint32_t* arrayLimit = nullptr;
  std::atomic<bool> mapped{false};
};

ViewerStatusMemory g_status;
CRITICAL_SECTION g_statusLock;
std::atomic<bool> g_statusLockInitialised{false};

// Closes a handle opened for one attempt, if it was opened.
void CloseIfOpen(HANDLE h) {
  if (h != nullptr) CloseHandle(h);
}

// Waits for one object or the cancel event; true only when the object itself was signalled.
bool WaitFor(HANDLE object, HANDLE cancel, DWORD ms) {
  if (cancel == nullptr) return WaitForSingleObject(object, ms) == WAIT_OBJECT_0;
  HANDLE both[2] = {object, cancel};
  return WaitForMultipleObjects(2, both, FALSE, ms) == WAIT_OBJECT_0;
}

HANDLE OpenViewerPipe(HANDLE cancel, DWORD flags) {
  for (int attempt = 0; attempt < kViewerPipeOpenTries; ++attempt) {
    HANDLE pipe = CreateFileA(kViewerPipeName, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, flags, nullptr);
    if (pipe != INVALID_HANDLE_VALUE) return pipe;
    if (cancel != nullptr ? WaitForSingleObject(cancel, kViewerPipeRetryMs) == WAIT_OBJECT_0
                          : (Sleep(kViewerPipeRetryMs), false)) {
      break;
    }
  }
  return INVALID_HANDLE_VALUE;
}

}  // namespace

HANDLE ConnectTraceViewer() { return ConnectTraceViewerCancellable(nullptr); }

HANDLE ConnectTraceViewerCancellable(HANDLE cancel, DWORD pipeFlags) {
  HANDLE mutex = OpenMutexA(MUTEX_ALL_ACCESS, FALSE, kViewerMutexName);
  HANDLE request = OpenEventA(EVENT_MODIFY_STATE, FALSE, kViewerRequestEventName);
  HANDLE ready = OpenEventA(SYNCHRONIZE | EVENT_MODIFY_STATE, FALSE, kViewerReadyEventName);
  HANDLE pipe = INVALID_HANDLE_VALUE;

  if (mutex != nullptr) {
    HANDLE waits[2] = {mutex, cancel};
    const DWORD taken = WaitForMultipleObjects(cancel != nullptr ? 2 : 1, waits, FALSE, kViewerHandshakeWaitMs);
    if (taken == WAIT_OBJECT_0) {
      if (ready != nullptr) ResetEvent(ready);
      if (request != nullptr) SetEvent(request);
      if (ready != nullptr && WaitFor(ready, cancel, kViewerHandshakeWaitMs)) {
        pipe = OpenViewerPipe(cancel, pipeFlags);
        ResetEvent(ready);
      }
      if (request != nullptr) ResetEvent(request);
      ReleaseMutex(mutex);
    } else if (taken == WAIT_ABANDONED_0) {
      // The previous owner died holding it; the attempt fails, but the mutex is ours now
      // and is given back so that the next attempt can take it normally.
      ReleaseMutex(mutex);
    }
  }
  CloseIfOpen(mutex);
  CloseIfOpen(request);
  CloseIfOpen(ready);
  return pipe;
}

ViewerWrite WriteViewerPipeBounded(HANDLE pipe, HANDLE done, const void* data, DWORD bytes, DWORD limitMs) {
  OVERLAPPED overlapped{};
  overlapped.hEvent = done;
  DWORD written = 0;
  if (WriteFile(pipe, data, bytes, &written, &overlapped)) return ViewerWrite::kWritten;
  if (GetLastError() != ERROR_IO_PENDING) return ViewerWrite::kFailed;
  if (WaitForSingleObject(done, limitMs) == WAIT_OBJECT_0) {
    return GetOverlappedResult(pipe, &overlapped, &written, FALSE) ? ViewerWrite::kWritten : ViewerWrite::kFailed;
  }
  // The system uses the data and the OVERLAPPED until the write has ended, so the
  // cancellation is waited for; a write that completed meanwhile counts as written.
  CancelIoEx(pipe, &overlapped);
  return GetOverlappedResult(pipe, &overlapped, &written, TRUE) ? ViewerWrite::kWritten : ViewerWrite::kTimedOut;
}

bool ViewerRunning() {
  HANDLE mutex = OpenMutexA(SYNCHRONIZE, FALSE, kViewerMutexName);
  CloseIfOpen(mutex);
  return mutex != nullptr;
}

void OpenViewerStatusMemory() {
  HANDLE mapping = OpenFileMappingA(FILE_MAP_READ, FALSE, kViewerStatusMemoryName);
  if (mapping == nullptr) return;
  void* view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, kViewerStatusMemorySize);
  if (view == nullptr) {
    CloseHandle(mapping);
    return;
  }
  g_status.mapping = mapping;
  g_status.view = static_cast<const uint8_t*>(view);
  g_status.status = g_status.view + kViewerTraceStatusOffset;
  g_status.arrayLimit = reinterpret_cast<const volatile uint32_t*>(g_status.view + kViewerArraySizeLimitOffset);
  g_status.mapped.store(true, std::memory_order_release);
}

void CloseViewerStatusMemory() {
  g_status.mapped.store(false, std::memory_order_release);
  if (g_status.mapping != nullptr) {
    CloseHandle(g_status.mapping);
    if (g_status.view != nullptr) UnmapViewOfFile(g_status.view);
    g_status.mapping = nullptr;
    g_status.view = nullptr;
  }
  g_status.status = nullptr;
  g_status.arrayLimit = nullptr;
}

int GetViewerTraceStatus() {
  InitTraceStatusLock();
  if (g_statusLockInitialised) {
    EnterCriticalSection(&g_statusLock);
    if (!g_status.mapped.load(std::memory_order_acquire)) OpenViewerStatusMemory();
    LeaveCriticalSection(&g_statusLock);
  } else if (!g_status.mapped.load(std::memory_order_acquire)) {
    // Another holder of the marker is creating or deleting the lock right now; open
    // without it rather than report the viewer as off.
    OpenViewerStatusMemory();
  }
  if (!g_status.mapped.load(std::memory_order_acquire)) return 0;
  return *g_status.status;
}

uint32_t GetViewerArraySizeLimit() {
  return g_status.mapped.load(std::memory_order_acquire) ? *g_status.arrayLimit : 0;
}

// The lock's one-time creation is guarded by a marker event that exists only while a
// thread creates or deletes the lock: whoever finds the marker already there keeps out.
void InitTraceStatusLock() {
  if (g_statusLockInitialised) return;
  SetLastError(0);
  HANDLE marker = CreateEventA(nullptr, TRUE, FALSE, kTraceStatusLockMarkerName);
  const DWORD error = GetLastError();
  if (error != ERROR_ALREADY_EXISTS || marker == nullptr) {
    InitializeCriticalSection(&g_statusLock);
    g_statusLockInitialised = true;
  }
  CloseIfOpen(marker);
}

void DeleteTraceStatusLock() {
  if (!g_statusLockInitialised) return;
  SetLastError(0);
  HANDLE marker = CreateEventA(nullptr, TRUE, FALSE, kTraceStatusLockMarkerName);
  const DWORD error = GetLastError();
  if (error != ERROR_ALREADY_EXISTS || marker == nullptr) {
    g_statusLockInitialised = false;
    DeleteCriticalSection(&g_statusLock);
  }
  CloseIfOpen(marker);
}
