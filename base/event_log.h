#pragma once
// The program's diagnostic log is the Application event log: one informational entry
// (category 0, event identifier 0x40000002) with one string per line, under the source
// "Quorvel" unless another part of the suite's name is given. Writing never changes the
// calling thread's last-error value; when the source cannot be registered nothing is
// written.

inline constexpr unsigned long kEventLogEntryId = 0x40000002UL;
inline constexpr char kEventLogSource[] = "Quorvel";

void WriteEventLog(const char* text, const char* source = kEventLogSource);
