#pragma once
// This process's side of the link to the trace viewer: the viewer's status memory (does
// it want tracing, how many array elements), and the connection handshake that yields a
// write handle of the viewer's pipe. The viewer creates every object named here.
#include <windows.h>

#include <cstdint>

#include "base/unique.h"

inline constexpr char kViewerStatusMemoryName[] =
    "Global\\Korvane_Shared_Trace_Memory_{D5E05FB0-FF1C-446d-A87D-91C0675F6783}";
inline constexpr char kViewerMutexName[] = "Global\\Korvane_Shared_Trace_Mutex_{923C0762-076A-427a-91C4-35E39C12B8D7}";
inline constexpr char kViewerRequestEventName[] =
    "Global\\Korvane_Shared_Trace_Event_{C68CAA88-6446-4955-874D-7ABFBAD72E48}";
inline constexpr char kViewerReadyEventName[] =
    "Global\\Korvane_Shared_Trace_Event_{B5D40ED8-696E-4826-BF12-688AB369ABBB}";
inline constexpr char kViewerPipeName[] =
    "\\\\.\\pipe\\Global\\Korvane_Shared_Trace_Pipe_{CB335EBA-78B5-4CA2-9C00-67B4922B860B}";
inline constexpr char kTraceStatusLockMarkerName[] = "KvnTraceStatusCriticalSectionLock_20090807";

// The viewer's status block: traceStatus (one byte) at 4, viewerArraySizeLimit at 8.
inline constexpr DWORD kViewerStatusMemorySize = 412;
inline constexpr size_t kViewerTraceStatusOffset = 4;
inline constexpr size_t kViewerArraySizeLimitOffset = 8;

// How long the relay lets the viewer take one message before it gives the connection
// up: a base for any message and an allowance for each further MiB. A reading viewer takes
// about 40 ms per MiB on a quiet machine and up to about 120 ms per MiB with the cores
// loaded many times over (the largest messages, arrays of 256 KiB shown element by
// element, are about 14 MiB of UTF-16); the limit is several times that, so a viewer
// that exceeds it has stopped reading. Every traced call on the machine waits for its
// reply meanwhile, so the base stays a few seconds.
inline constexpr DWORD kViewerWriteLimitMs = 3000;
inline constexpr DWORD kViewerWriteLimitPerMiBMs = 1000;
constexpr DWORD ViewerWriteLimitMs(DWORD bytes) {
  return kViewerWriteLimitMs + (bytes >> 20) * kViewerWriteLimitPerMiBMs;
}

// Handshake limits: each wait, and the opens of the pipe with a pause after each failure.
inline constexpr DWORD kViewerHandshakeWaitMs = 8000;
inline constexpr int kViewerPipeOpenTries = 100;
inline constexpr DWORD kViewerPipeRetryMs = 100;

// The handshake; returns the write end of a new viewer-pipe connection, or an empty owner.
// Blocks up to about 26 s, and is given up as soon as cancel (when not null) is
// signalled. The pipe is opened with pipeFlags (FILE_FLAG_OVERLAPPED for
// WriteViewerPipeBounded).
UniqueFile ConnectTraceViewerCancellable(HANDLE cancel, DWORD pipeFlags = 0);

enum class ViewerWrite { kWritten, kFailed, kTimedOut };
// One write of bytes to a viewer pipe opened with FILE_FLAG_OVERLAPPED, waiting at most
// limitMs for the viewer to take it. A write that times out is cancelled and has ended
// when this returns. done is a manual-reset event the caller owns and reuses.
ViewerWrite WriteViewerPipeBounded(HANDLE pipe, HANDLE done, const void* data, DWORD bytes, DWORD limitMs);
// True while the viewer's connection mutex exists, that is while a viewer runs.
bool ViewerRunning();
// The process that serves a viewer pipe connection, opened for waiting: signalled once
// that viewer has ended, even when a new viewer has taken its objects' names meanwhile.
// Empty when the system cannot tell.
UniqueHandle OpenViewerProcess(HANDLE pipe);

// The viewer's status byte: on, off, or any other value, which leaves things as they are.
enum ViewerTraceStatus : int { kViewerTracingOff = 0, kViewerTracingOn = 1 };
// The viewer's current status byte; off while its status memory cannot be opened. Opens
// the memory on first use and keeps it.
int GetViewerTraceStatus();
// The viewer's array-size limit; meaningful right after GetViewerTraceStatus returned 1.
uint32_t GetViewerArraySizeLimit();

void OpenViewerStatusMemory();
// Must not run while another thread may call GetViewerTraceStatus.
void CloseViewerStatusMemory();
void InitTraceStatusLock();
void DeleteTraceStatusLock();
