#pragma once
// The two shared blocks that tie the instrument libraries of every process to this
// program: the trace control block (whether and what to trace) and the trace timer block
// (one clock for all processes' time stamps). The first process to create a block
// initialises it; later ones leave it alone. Each block's creation and first
// initialisation is serialised across processes by a named semaphore used as a lock.
#include <windows.h>

#include <atomic>
#include <cstdint>

#include "kobj/nko_handle.h"
#include "trace/named_pipe_m.h"

inline constexpr char kTraceControlName[] = "_Korvane_Ombrel_Trace_Control_Shm";
inline constexpr char kTraceControlLockName[] = "_Korvane_Ombrel_Trace_Control_Shm_Lock";
inline constexpr char kTraceTimerName[] = "_Korvane_Ombrel_Timer_Shm";
inline constexpr char kTraceTimerLockName[] = "_Korvane_Ombrel_Timer_Shm_Lock";
inline constexpr int32_t kTraceVersion = 20020228;
inline constexpr int32_t kDefaultMaxArraySize = 1024;
inline constexpr char kTraceLogFileName[] = "kvnIOTrace.bin";
// Used when the performance counter has no frequency.
inline constexpr double kFallbackTicksPerNanosecond = 962463.9076034649;

struct TraceControlBlock {
  int32_t traceVersion;
  int32_t enabled;
  int32_t visaEnabled;
  int32_t trilTopEnabled;
  int32_t trilBottomEnabled;
  int32_t llEnabled;
  int32_t logToFile;
  int32_t logToFilePerProc;
  int32_t viewerEnabled;
  int32_t maxArraySize;
  char logFilePath[256];
};
static_assert(sizeof(TraceControlBlock) == 296);

struct TraceTimerBlock {
  int32_t initialized;
  int32_t reserved;
  double ticksPerNanosecond;
  int64_t startWallClockNs;
  int64_t counterToWallClockNs;
};
static_assert(sizeof(TraceTimerBlock) == 32);

// The flags are shared with other processes and other threads without a lock; each is
// read and written as one aligned 32-bit access.
inline int32_t LoadTraceFlag(const int32_t& field) {
  return std::atomic_ref<int32_t>(const_cast<int32_t&>(field)).load(std::memory_order_relaxed);
}
inline void StoreTraceFlag(int32_t& field, int32_t value) {
  std::atomic_ref<int32_t>(field).store(value, std::memory_order_relaxed);
}

// What InitTraceControl and InitTraceTimer return.
enum TraceInitResult : int { kTraceInitFailed = -1, kTraceInitExisted = 0, kTraceInitCreated = 1 };
// What the shared-memory functions below return.
enum SharedMemoryResult : int { kSharedMemoryFailed = -1, kSharedMemoryOk = 0 };

// Created here, existed, or failure. Also makes the timer block and the trace event pipe
// available.
TraceInitResult InitTraceControl();
void ShutdownTraceControl();
// Created, existed (or already mapped here), or failure.
TraceInitResult InitTraceTimer();
void ShutdownTraceTimer();

// The mapped control block of this process; null when not mapped, which means tracing off.
TraceControlBlock* GetTraceControlView();
// True when the control block is mapped and its enabled flag is set.
bool IsTraceEnabled();

// Global named page-file-backed memory; kSharedMemoryOk with created 1 (new) or 0
// (existed), else kSharedMemoryFailed. The holder is stored in either case, and the caller
// owns it (UniqueNko); the view of MapSharedMemory is the caller's too (UniqueView).
SharedMemoryResult CreateSharedMemory(const char* baseName, DWORD size, NkoHandle** holder, int* created);
SharedMemoryResult MapSharedMemory(NkoHandle* holder, void** view);

// Trace time from a counter reading: counter / ticksPerNanosecond truncated toward zero,
// plus the offset; nanoseconds since 1970-01-01 UTC.
int64_t TraceTimeFromCounter(int64_t counter, double ticksPerNanosecond, int64_t counterToWallClockNs);
// The trace clock now, from a mapped timer block.
int64_t ReadTraceClock(const TraceTimerBlock& timer);
