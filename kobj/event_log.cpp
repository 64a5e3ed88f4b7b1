#include "kobj/event_log.h"

#include <windows.h>

void WriteEventLogEntry(const char* source, const char* text) {
  const DWORD savedError = GetLastError();
  HANDLE log = RegisterEventSourceA(nullptr, source);
  if (log != nullptr) {
    const char* strings[1] = {text};
    ReportEventA(log, EVENTLOG_INFORMATION_TYPE, 0, kEventLogEntryId, nullptr, 1, 0, strings, nullptr);
    DeregisterEventSource(log);
  }
  SetLastError(savedError);
}
