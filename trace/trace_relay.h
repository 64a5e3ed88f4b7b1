#pragma once
// The trace relay: instrument libraries in any process post one message per traced call
// on the trace event pipe; the relay thread translates each to XML and writes it to the
// trace viewer's pipe while the viewer wants tracing, and answers every message with an
// 8-byte "ack" (or "nack" when it did not fit). A poller thread ticks the relay every
// 500 ms to follow the viewer's status and tells the main window when tracing changes.
// The process has one relay; the functions below all act on it. It may be started again
// once a stop has finished.
//
//   StartTraceEvents(instance);   // once, before the main window is created
//   ...                           // message loop
//   StopTraceEvents();            // once, after the loop; at most 30000 ms
//
// StopTraceEvents stops only this process's relay. Another program may set the
// machine-wide event named below to stop the relay; that switches tracing off until a
// viewer asks for it again, when the relay starts anew by itself.
#include <windows.h>

#include <cstdarg>

inline constexpr char kTraceShutdownEventName[] = "TraceEventsShutdown_011030";
inline constexpr DWORD kTraceStatusTickMs = 500;
inline constexpr DWORD kTraceStopTimeoutMs = 30000;
inline constexpr char kTraceLogSource[] = "Sightline";
inline constexpr unsigned kTraceReplySize = 8;

// Starts the poller and the relay thread. Does nothing while a relay is already running.
void StartTraceEvents(HINSTANCE instance);
// Asks the relay to stop and waits until it has released everything, at most timeoutMs
// (the end of a session allows less than a normal exit). Returns true when it finished
// in time.
bool StopTraceEvents(DWORD timeoutMs = kTraceStopTimeoutMs);

// One diagnostic line under the source "Sightline", prefixed "traceEvents(pid=N): ".
void TraceEventsLog(const char* format, ...) __attribute__((format(gnu_printf, 1, 2)));
