#include "base/event_log.h"

#include <windows.h>

#include "base/results.h"

void WriteEventLog(const char* text, const char* source) {
  const DWORD savedError = GetLastError();
  HANDLE log = RegisterEventSourceA(nullptr, source);
  if (log != nullptr) {
    const char* strings[1] = {text};
    // A line that cannot be written has nowhere else to go.
    IgnoreResult(ReportEventA(log, EVENTLOG_INFORMATION_TYPE, 0, kEventLogEntryId, nullptr, 1, 0, strings, nullptr));
    IgnoreResult(DeregisterEventSource(log));
  }
  SetLastError(savedError);
}
