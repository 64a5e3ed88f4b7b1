#pragma once
// The program's diagnostic log: one informational Application event-log entry per line,
// under the source "Quorvel". Never changes the caller's last-error value.

inline constexpr char kEventLogSource[] = "Quorvel";

void WriteEventLog(const char* text);
