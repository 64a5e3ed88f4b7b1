#pragma once
// Writes of the suite's configuration that the registry refuses. A standard user may read
// the suite key but not write it; every such write is lost, and the log says so once per
// value name for the life of the process, so that a value written at every timer tick or
// every message does not flood the log.
#include <windows.h>

// Logs that the value of key (a path under HKLM) could not be written, when status is
// ERROR_ACCESS_DENIED and the value's name has not been logged before; otherwise nothing.
void ReportDeniedWrite(const char* key, const char* valueName, LONG status);
