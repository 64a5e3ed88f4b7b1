#include "trace/viewer_link.h"

#include <atomic>

#include "base/overlapped_io.h"
#include "base/results.h"

namespace {

// The viewer's status memory as this process sees it, and the lock around its opening.
class ViewerStatus {
 public:
  void Open() {
    UniqueHandle mapping(OpenFileMappingA(FILE_MAP_READ, FALSE, kViewerStatusMemoryName));
    if (!mapping) return;
    UniqueView view(MapViewOfFile(mapping.Get(), FILE_MAP_READ, 0, 0, kViewerStatusMemorySize));
    if (!view) return;
    const auto* base = ViewAs<const uint8_t>(view);
    m_status = base + kViewerTraceStatusOffset;
    m_arrayLimit = reinterpret_cast<const volatile uint32_t*>(base + kViewerArraySizeLimitOffset);
    m_mapping = std::move(mapping);
    m_view = std::move(view);
    m_mapped.store(true, std::memory_order_release);
  }

  // The mapping is closed before its view is unmapped; the memory lives on in the view
  // until then.
  void Close() {
    m_mapped.store(false, std::memory_order_release);
    m_mapping.Reset();
    m_view.Reset();
    m_status = nullptr;
    m_arrayLimit = nullptr;
  }

  int Read() {
    InitLock();
    if (m_lockInitialised) {
      EnterCriticalSection(&m_lock);
      if (!Mapped()) Open();
      LeaveCriticalSection(&m_lock);
    } else if (!Mapped()) {
      // Another holder of the marker is creating or deleting the lock right now; open
      // without it rather than report the viewer as off.
      Open();
    }
    if (!Mapped()) return kViewerTracingOff;
    return *m_status;
  }

  uint32_t ArrayLimit() const { return Mapped() ? *m_arrayLimit : 0; }

  // The lock's one-time creation is guarded by a marker event that exists only while a
  // thread creates or deletes the lock: whoever finds the marker already there keeps out.
  void InitLock() {
    if (m_lockInitialised) return;
    const Marker marker = TakeMarker();
    if (marker.alone) {
      InitializeCriticalSection(&m_lock);
      m_lockInitialised = true;
    }
  }

  void DeleteLock() {
    if (!m_lockInitialised) return;
    const Marker marker = TakeMarker();
    if (marker.alone) {
      m_lockInitialised = false;
      DeleteCriticalSection(&m_lock);
    }
  }

 private:
  bool Mapped() const { return m_mapped.load(std::memory_order_acquire); }

  // The marker, held until the lock has been created or deleted; alone unless another
  // thread holds it too.
  struct Marker {
    UniqueHandle handle;
    bool alone = false;
  };
  static Marker TakeMarker() {
    SetLastError(0);
    Marker marker{UniqueHandle(CreateEventA(nullptr, TRUE, FALSE, kTraceStatusLockMarkerName))};
    marker.alone = GetLastError() != ERROR_ALREADY_EXISTS || !marker.handle;
    return marker;
  }

  UniqueHandle m_mapping;
  UniqueView m_view;
  const volatile uint8_t* m_status = nullptr;
  const volatile uint32_t* m_arrayLimit = nullptr;
  std::atomic<bool> m_mapped{false};
  CRITICAL_SECTION m_lock{};
  std::atomic<bool> m_lockInitialised{false};
};

// Never destroyed: the relay's threads may read the status while the process exits.
ViewerStatus& TheStatus() {
  static ViewerStatus& status = *new ViewerStatus;
  return status;
}

// Waits for one object or the cancel event; true only when the object itself was signalled.
bool WaitFor(HANDLE object, HANDLE cancel, DWORD ms) {
  if (cancel == nullptr) return WaitForSingleObject(object, ms) == WAIT_OBJECT_0;
  HANDLE both[2] = {object, cancel};
  return WaitForMultipleObjects(2, both, FALSE, ms) == WAIT_OBJECT_0;
}

// True when cancel (when not null) was signalled within the pause.
bool PauseOrCancel(HANDLE cancel, DWORD ms) {
  if (cancel != nullptr) return WaitForSingleObject(cancel, ms) == WAIT_OBJECT_0;
  Sleep(ms);
  return false;
}

UniqueFile OpenViewerPipe(HANDLE cancel, DWORD flags) {
  for (int attempt = 0; attempt < kViewerPipeOpenTries; ++attempt) {
    UniqueFile pipe(CreateFileA(kViewerPipeName, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, flags, nullptr));
    if (pipe) return pipe;
    if (PauseOrCancel(cancel, kViewerPipeRetryMs)) break;
  }
  return UniqueFile();
}

}  // namespace

// Every reset, set and release below is of an object the viewer made and this attempt
// opened with the rights they need; a failure leaves nothing to do but go on.
UniqueFile ConnectTraceViewerCancellable(HANDLE cancel, DWORD pipeFlags) {
  UniqueHandle mutex(OpenMutexA(MUTEX_ALL_ACCESS, FALSE, kViewerMutexName));
  UniqueHandle request(OpenEventA(EVENT_MODIFY_STATE, FALSE, kViewerRequestEventName));
  UniqueHandle ready(OpenEventA(SYNCHRONIZE | EVENT_MODIFY_STATE, FALSE, kViewerReadyEventName));
  UniqueFile pipe;
  if (!mutex) return pipe;

  HANDLE waits[2] = {mutex.Get(), cancel};
  const DWORD taken = WaitForMultipleObjects(cancel != nullptr ? 2 : 1, waits, FALSE, kViewerHandshakeWaitMs);
  if (taken == WAIT_OBJECT_0) {
    if (ready) IgnoreResult(ResetEvent(ready.Get()));
    if (request) IgnoreResult(SetEvent(request.Get()));
    if (ready && WaitFor(ready.Get(), cancel, kViewerHandshakeWaitMs)) {
      pipe = OpenViewerPipe(cancel, pipeFlags);
      IgnoreResult(ResetEvent(ready.Get()));
    }
    if (request) IgnoreResult(ResetEvent(request.Get()));
    IgnoreResult(ReleaseMutex(mutex.Get()));
  } else if (taken == WAIT_ABANDONED_0) {
    // The previous owner died holding it; the attempt fails, but the mutex is ours now
    // and is given back so that the next attempt can take it normally.
    IgnoreResult(ReleaseMutex(mutex.Get()));
  }
  return pipe;
}

ViewerWrite WriteViewerPipeBounded(HANDLE pipe, HANDLE done, const void* data, DWORD bytes, DWORD limitMs) {
  OVERLAPPED overlapped{};
  overlapped.hEvent = done;
  DWORD written = 0;
  const BOOL started = WriteFile(pipe, data, bytes, nullptr, &overlapped);
  switch (FinishOverlapped(pipe, overlapped, started, {}, limitMs, written)) {
    case IoOutcome::kDone:
      return ViewerWrite::kWritten;
    case IoOutcome::kTimedOut:
      return ViewerWrite::kTimedOut;
    default:
      return ViewerWrite::kFailed;
  }
}

bool ViewerRunning() { return static_cast<bool>(UniqueHandle(OpenMutexA(SYNCHRONIZE, FALSE, kViewerMutexName))); }

UniqueHandle OpenViewerProcess(HANDLE pipe) {
  ULONG pid = 0;
  if (!GetNamedPipeServerProcessId(pipe, &pid) || pid == 0) return UniqueHandle();
  return UniqueHandle(OpenProcess(SYNCHRONIZE, FALSE, pid));
}

void OpenViewerStatusMemory() { TheStatus().Open(); }
void CloseViewerStatusMemory() { TheStatus().Close(); }
int GetViewerTraceStatus() { return TheStatus().Read(); }
uint32_t GetViewerArraySizeLimit() { return TheStatus().ArrayLimit(); }
void InitTraceStatusLock() { TheStatus().InitLock(); }
void DeleteTraceStatusLock() { TheStatus().DeleteLock(); }
