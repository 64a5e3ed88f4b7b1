#include "shell/event_log.h"

#include "kobj/event_log.h"

void WriteEventLog(const char* text) { WriteEventLogEntry(kEventLogSource, text); }
