#include "base/event_log.h"

#include <windows.h>

#include "base/results.h"
#include "base/unique.h"

void WriteEventLog(const char* text, const char* source) {
  const DWORD savedError = GetLastError();
  if (const UniqueEventSource log{RegisterEventSourceA(nullptr, source)}) {
    const char* strings[1] = {text};
    // A line that cannot be written has nowhere else to go.
    IgnoreResult(
        ReportEventA(log.Get(), EVENTLOG_INFORMATION_TYPE, 0, kEventLogEntryId, nullptr, 1, 0, strings, nullptr));
  }
  SetLastError(savedError);
}
