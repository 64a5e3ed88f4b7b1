// Event-log entries as Wine shows them. Under Wine every ReportEvent string becomes a
// debug line on the Unix standard error that all processes of the prefix inherit:
//   0144:0148:trace:eventlog:ReportEventW L"text"      (pid:tid:class:channel with +pid)
// with C-style escapes (\n \r \t \" \\, \xxxx for any other character outside 0x20..0x7E)
// and the text cut at 300 characters ("..." after the closing quote). The test wrapper
// turns the channel on with process ids and copies that stream into the file named by
// QUORVEL_WINE_LOG, which these functions read.
#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace bed {

struct WineLogEntry {
  DWORD pid = 0;       // 0 when the line carries no process id (+pid off)
  DWORD tid = 0;
  std::string level;   // "trace" (information), "warn" or "err"
  std::string text;    // unescaped, in the ANSI code page
  bool truncated = false;
};

// The Windows path ("Z:\...") of the run's Wine log; empty when not run by the wrapper.
std::string WineLogPath();

// Turns Wine's escaped string body (between L" and the closing quote) back into UTF-16;
// nothing when the escapes are broken.
std::optional<std::wstring> UnescapeWineString(std::string_view escaped);

// One ReportEventW line; nothing for any other line.
std::optional<WineLogEntry> ParseWineLogLine(std::string_view line);

// Every event-log entry in the log so far, in order; only those of |pid| when given.
std::vector<WineLogEntry> WineLogEntries(std::optional<DWORD> pid = std::nullopt);

// Polls the log until |pid| has written at least |count| entries, and returns them all
// (fewer when the time-out passed first).
std::vector<WineLogEntry> WaitForWineLogEntries(DWORD pid, size_t count, DWORD timeoutMs);

// Polls the log until an entry of |pid| satisfies |match|; returns it, or nothing after
// the time-out.
std::optional<WineLogEntry> WaitForWineLogEntry(DWORD pid, const std::function<bool(const WineLogEntry&)>& match,
                                                DWORD timeoutMs);

// Environment for a child whose entries should reach the log.
inline constexpr const char kWineDebugWithEventLog[] = "-all,+pid,+eventlog";

}  // namespace bed
