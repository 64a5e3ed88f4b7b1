#include "trace/trace_control.h"

#include <cstring>

#include "base/os_class.h"
#include "base/results.h"
#include "kobj/object_names.h"

namespace {

constexpr int kObjectNameSize = 1024;
constexpr LONG kLockMaximum = 65535;
constexpr int64_t kFileTimeTo1970 = 116444736000000000LL;
// The longest wait for a block's lock, which is held only while a block is created and
// first initialised. Any local process can take its count and keep it, or die holding it
// (a semaphore's count is never given back for a dead holder); the relay's start and stop
// must not wait for that without end, so after this wait the work goes on without the
// lock, which at worst lets another process see a block before its first initialisation.
constexpr DWORD kBlockLockWaitMs = 2000;

// A cross-process lock: a named semaphore of count 1, taken by waiting.
class BlockLock {
 public:
  explicit BlockLock(const char* baseName) {
    char name[kObjectNameSize];
    BuildObjectName(1, baseName, name, sizeof name);
    m_holder.Reset(NkoCreateSemaphore(GetNullDaclSecurityAttributes(), 1, kLockMaximum, name));
    if (m_holder) m_taken = WaitForSingleObject(NkoGetHandle(m_holder.Get()), kBlockLockWaitMs) == WAIT_OBJECT_0;
  }
  // Gives the count back, when one was taken, before the holder closes.
  ~BlockLock() {
    // One count taken, one given back: this cannot exceed the maximum.
    if (m_taken) IgnoreResult(ReleaseSemaphore(NkoGetHandle(m_holder.Get()), 1, nullptr));
  }
  BlockLock(const BlockLock&) = delete;
  BlockLock& operator=(const BlockLock&) = delete;
  // The semaphore exists (its count may have been out of reach).
  bool Held() const { return static_cast<bool>(m_holder); }

 private:
  UniqueNko m_holder;
  bool m_taken = false;
};

// One shared block mapped in this process. Readers on other threads see the view only
// once it is published, that is after its first initialisation.
template <typename Block>
class MappedBlock {
 public:
  // Creates (or opens) and maps the block; on a mapping failure the holder is closed
  // again. Returns the view (null on failure) and whether this call created the block.
  Block* Map(const char* baseName, int& created) {
    created = 0;
    if (CreateSharedMemory(baseName, sizeof(Block), m_holder.Receive(), &created) != kSharedMemoryOk) {
      m_holder.Reset();
      return nullptr;
    }
    if (MapSharedMemory(m_holder.Get(), m_view.Receive()) != kSharedMemoryOk) {
      m_holder.Reset();
      created = 0;
      return nullptr;
    }
    return ViewAs<Block>(m_view);
  }
  void Publish() { m_published.store(ViewAs<Block>(m_view)); }
  Block* View() const { return m_published.load(); }
  // Hides the view from readers; true when one was published.
  bool Unpublish() { return m_published.exchange(nullptr) != nullptr; }
  // Unmaps the view, then closes the holder.
  void Release() {
    m_view.Reset();
    m_holder.Reset();
  }

 private:
  UniqueNko m_holder;
  UniqueView m_view;
  std::atomic<Block*> m_published{nullptr};
};

// What this process holds of the trace control: both blocks and the trace event pipe.
struct TraceBlocks {
  MappedBlock<TraceControlBlock> control;
  MappedBlock<TraceTimerBlock> timer;
  UniqueNamedPipeM eventPipe;
  // Readers on other threads (the tray icon) take it shared so that the control view is
  // never unmapped under them.
  SRWLOCK controlViewLock = SRWLOCK_INIT;
};

// Never destroyed: the relay thread may still use the blocks while the process exits.
TraceBlocks& Blocks() {
  static TraceBlocks& blocks = *new TraceBlocks;
  return blocks;
}

void InitialiseControlBlock(TraceControlBlock* block) {
  std::memset(block, 0, sizeof *block);
  block->traceVersion = kTraceVersion;
  block->maxArraySize = kDefaultMaxArraySize;
  block->viewerEnabled = 0;
  // The temporary directory gets room for what is left after the file name; a longer one
  // is not written at all and the path is the bare file name.
  char path[256] = {};
  IgnoreResult(GetTempPathA(sizeof path - (sizeof kTraceLogFileName - 1) - 1, path));
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

SharedMemoryResult CreateSharedMemory(const char* baseName, DWORD size, NkoHandle** holder, int* created) {
  char nameBuffer[kObjectNameSize];
  const char* name = BuildObjectName(1, baseName, nameBuffer, sizeof nameBuffer);
  SetLastError(0);
  *holder = NkoCreateFileMapping(INVALID_HANDLE_VALUE, GetNullDaclSecurityAttributes(), PAGE_READWRITE, 0, size, name);
  *created = 0;
  if (!NkoIsValid(*holder)) return kSharedMemoryFailed;
  const DWORD error = GetLastError();
  if (error == 0) {
    *created = 1;
    return kSharedMemoryOk;
  }
  return error == ERROR_ALREADY_EXISTS ? kSharedMemoryOk : kSharedMemoryFailed;
}

SharedMemoryResult MapSharedMemory(NkoHandle* holder, void** view) {
  *view = MapViewOfFile(NkoGetHandle(holder), FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, 0);
  return *view != nullptr ? kSharedMemoryOk : kSharedMemoryFailed;
}

TraceInitResult InitTraceTimer() {
  BlockLock lock(kTraceTimerLockName);
  if (!lock.Held()) return kTraceInitFailed;
  MappedBlock<TraceTimerBlock>& timer = Blocks().timer;
  if (timer.View() != nullptr) return kTraceInitExisted;
  int created = 0;
  TraceTimerBlock* view = timer.Map(kTraceTimerName, created);
  if (view == nullptr) return kTraceInitFailed;
  if (created) InitialiseTimerBlock(view);
  timer.Publish();
  return created ? kTraceInitCreated : kTraceInitExisted;
}

void ShutdownTraceTimer() {
  BlockLock lock(kTraceTimerLockName);
  if (!lock.Held()) return;
  MappedBlock<TraceTimerBlock>& timer = Blocks().timer;
  if (timer.Unpublish()) timer.Release();
}

TraceInitResult InitTraceControl() {
  TraceBlocks& blocks = Blocks();
  IgnoreResult(InitTraceTimer());  // a missing clock leaves the libraries' time stamps at 0
  if (!blocks.eventPipe) blocks.eventPipe.Reset(CreateNamedPipeM(kTraceEventPipeName, kTraceEventPipeCapacity));
  BlockLock lock(kTraceControlLockName);
  if (!lock.Held()) return kTraceInitFailed;
  if (blocks.control.View() != nullptr) return kTraceInitExisted;
  int created = 0;
  TraceControlBlock* view = blocks.control.Map(kTraceControlName, created);
  if (view == nullptr) return kTraceInitFailed;
  if (created) InitialiseControlBlock(view);
  blocks.control.Publish();
  return created ? kTraceInitCreated : kTraceInitExisted;
}

void ShutdownTraceControl() {
  TraceBlocks& blocks = Blocks();
  AcquireSRWLockExclusive(&blocks.controlViewLock);
  const bool wasMapped = blocks.control.Unpublish();
  ReleaseSRWLockExclusive(&blocks.controlViewLock);
  // Released in this order: the control block, the event pipe, then the timer.
  if (wasMapped) blocks.control.Release();
  blocks.eventPipe.Reset();
  ShutdownTraceTimer();
}

TraceControlBlock* GetTraceControlView() { return Blocks().control.View(); }

bool IsTraceEnabled() {
  TraceBlocks& blocks = Blocks();
  AcquireSRWLockShared(&blocks.controlViewLock);
  const TraceControlBlock* block = blocks.control.View();
  const bool enabled = block != nullptr && LoadTraceFlag(block->enabled) != 0;
  ReleaseSRWLockShared(&blocks.controlViewLock);
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
