#pragma once
// The program's diagnostic log is the Application event log: one informational entry
// (category 0, event identifier 0x40000002) with one string per line. Writing never
// changes the calling thread's last-error value; when the source cannot be registered
// nothing is written.

inline constexpr unsigned long kEventLogEntryId = 0x40000002UL;

void WriteEventLogEntry(const char* source, const char* text);
