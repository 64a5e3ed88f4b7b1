#include "trace/trace_control.h"

#include <cstring>

#include "kobj/object_names.h"
#include "base/os_class.h"

namespace {

constexpr int kObjectNameSize = 1024;
constexpr LONG kLockMaximum = 65535;
constexpr int64_t kFileTimeTo1970 = 116444736000000000LL;

NkoHandle* g_controlHolder = nullptr;
std::atomic<TraceControlBlock*> g_controlView{nullptr};
NkoHandle* g_timerHolder = nullptr;
std::atomic<TraceTimerBlock*> g_timerView{nullptr};
NamedPipeM* g_eventPipe = nullptr;
// Readers on other threads (the tray icon) take it shared so that the control view is
// never unmapped under them.
SRWLOCK g_controlViewLock = SRWLOCK_INIT;

// A cross-process lock: a named semaphore of count 1, taken by waiting.
class BlockLock {
 public:
  explicit BlockLock(const char* baseName) {
    char name[kObjectNameSize];
    BuildObjectName(1, baseName, name, sizeof name);
    m_holder = NkoCreateSemaphore(GetNullDaclSecurityAttributes(), 1, kLockMaximum, name);
    if (NkoIsValid(m_holder)) WaitForSingleObject(NkoGetHandle(m_holder), INFINITE);
  }
  ~BlockLock() {
    if (!NkoIsValid(m_holder)) return;
    ReleaseSemaphore(NkoGetHandle(m_holder), 1, nullptr);
    NkoClose(m_holder);
  }
  BlockLock(const BlockLock&) = delete;
  BlockLock& operator=(const BlockLock&) = delete;
  bool Held() const { return NkoIsValid(m_holder); }

 private:
  NkoHandle* m_holder;
};

// Creates and maps a block; on a mapping failure the holder is closed again.
// Returns the view (null on failure) and whether this call created the block.
void* CreateAndMap(const char* baseName, DWORD size, NkoHandle*& holder, int& created) {
  created = 0;
  if (CreateSharedMemory(baseName, size, &holder, &created) != 0) {
    NkoClose(holder);
    holder = nullptr;
    return nullptr;
  }
  void* view = nullptr;
  if (MapSharedMemory(holder, &view) != 0) {
    CloseSharedMemory(holder);
    holder = nullptr;
    created = 0;
    return nullptr;
  }
  return view;
}

void InitialiseControlBlock(TraceControlBlock* block) {
  std::memset(block, 0, sizeof *block);
  block->traceVersion = kTraceVersion;
  block->maxArraySize = kDefaultMaxArraySize;
  block->viewerEnabled = 0;
  // The temporary directory gets room for what is left after the file name; a longer one
  // is not written at all and the path is the bare file name.
  char path[256] = {};
  GetTempPathA(sizeof path - (sizeof kTraceLogFileName - 1) - 1, path);
  strcat_s(path, sizeof path, kTraceLogFileName);
  strcpy_s(block->logFilePath, sizeof block->logFilePath, path);
}

void InitialiseTimerBlock(TraceTimerBlock* block) {
  std::memset(block, 0, sizeof *block);
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  const int64_t fileTime = static_cast<int64_t>((static_cast<uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime);
  block->startWallClockNs = (fileTime - kFileTimeTo1970) * 100;
  LARGE_INTEGER counter;
  LARGE_INTEGER frequency;
  QueryPerformanceCounter(&counter);
  block->ticksPerNanosecond = QueryPerformanceFrequency(&frequency)
                                  ? static_cast<double>(frequency.QuadPart) / 1000000000.0
                                  : kFallbackTicksPerNanosecond;
  block->counterToWallClockNs =
      block->startWallClockNs - static_cast<int64_t>(static_cast<double>(counter.QuadPart) / block->ticksPerNanosecond);
  // Last, so that a reader that sees it set sees the fields above too.
  std::atomic_ref<int32_t>(block->initialized).store(1, std::memory_order_release);
}

}  // namespace

int CreateSharedMemory(const char* baseName, DWORD size, NkoHandle** holder, int* created) {
  char nameBuffer[kObjectNameSize];
  const char* name = BuildObjectName(1, baseName, nameBuffer, sizeof nameBuffer);
  SetLastError(0);
  *holder = NkoCreateFileMapping(INVALID_HANDLE_VALUE, GetNullDaclSecurityAttributes(), PAGE_READWRITE, 0, size, name);
  *created = 0;
  if (!NkoIsValid(*holder)) return -1;
  const DWORD error = GetLastError();
  if (error == 0) {
    *created = 1;
    return 0;
  }
  return error == ERROR_ALREADY_EXISTS ? 0 : -1;
}

int MapSharedMemory(NkoHandle* holder, void** view) {
  *view = MapViewOfFile(NkoGetHandle(holder), FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, 0);
  return *view != nullptr ? 0 : -1;
}

int UnmapSharedMemory(void* view) { return UnmapViewOfFile(view) ? 0 : -1; }

int CloseSharedMemory(NkoHandle* holder) { return NkoClose(holder) ? 0 : -1; }

int InitTraceTimer() {
  BlockLock lock(kTraceTimerLockName);
  if (!lock.Held()) return -1;
  if (g_timerView.load() != nullptr) return 0;
  int created = 0;
  auto* view = static_cast<TraceTimerBlock*>(CreateAndMap(kTraceTimerName, sizeof(TraceTimerBlock), g_timerHolder, created));
  if (view == nullptr) return -1;
  if (created) InitialiseTimerBlock(view);
  g_timerView.store(view);
  return created;
}

void ShutdownTraceTimer() {
  BlockLock lock(kTraceTimerLockName);
  if (!lock.Held()) return;
  if (TraceTimerBlock* view = g_timerView.exchange(nullptr)) {
    UnmapSharedMemory(view);
    CloseSharedMemory(g_timerHolder);
    g_timerHolder = nullptr;
  }
}

int InitTraceControl() {
  InitTraceTimer();
  if (g_eventPipe == nullptr) g_eventPipe = CreateNamedPipeM(kTraceEventPipeName, kTraceEventPipeCapacity);
  BlockLock lock(kTraceControlLockName);
  if (!lock.Held()) return -1;
  if (g_controlView.load() != nullptr) return 0;
  int created = 0;
  auto* view = static_cast<TraceControlBlock*>(
      CreateAndMap(kTraceControlName, sizeof(TraceControlBlock), g_controlHolder, created));
  if (view == nullptr) return -1;
  if (created) InitialiseControlBlock(view);
  g_controlView.store(view);
  return created;
}

void ShutdownTraceControl() {
  AcquireSRWLockExclusive(&g_controlViewLock);
  TraceControlBlock* view = g_controlView.exchange(nullptr);
  ReleaseSRWLockExclusive(&g_controlViewLock);
  if (view != nullptr) {
    UnmapSharedMemory(view);
    CloseSharedMemory(g_controlHolder);
    g_controlHolder = nullptr;
  }
  if (g_eventPipe != nullptr) {
    CloseNamedPipeM(g_eventPipe);
    g_eventPipe = nullptr;
  }
  ShutdownTraceTimer();
}

TraceControlBlock* GetTraceControlView() { return g_controlView.load(); }
TraceTimerBlock* GetTraceTimerView() { return g_timerView.load(); }

bool IsTraceEnabled() {
  AcquireSRWLockShared(&g_controlViewLock);
  const TraceControlBlock* block = g_controlView.load();
  const bool enabled = block != nullptr && LoadTraceFlag(block->enabled) != 0;
  ReleaseSRWLockShared(&g_controlViewLock);
  return enabled;
}

int64_t TraceTimeFromCounter(int64_t counter, double ticksPerNanosecond, int64_t counterToWallClockNs) {
  return static_cast<int64_t>(static_cast<double>(counter) / ticksPerNanosecond) + counterToWallClockNs;
}

int64_t ReadTraceClock(const TraceTimerBlock& timer) {
  LARGE_INTEGER counter;
  QueryPerformanceCounter(&counter);
  return TraceTimeFromCounter(counter.QuadPart, timer.ticksPerNanosecond, timer.counterToWallClockNs);
}
