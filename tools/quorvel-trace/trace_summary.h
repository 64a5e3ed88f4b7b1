// The summary of a capture: per method and per instrument address the calls, the calls
// that returned an error, and the total, mean, p50, p99 and maximum duration (from the
// exit messages' elapsed time), sorted by total time; and the busiest processes and
// threads; and the calls that returned an error by status. Built while the capture streams by.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <ostream>
#include <string>
#include <vector>

#include "tools/quorvel-trace/call_matcher.h"
#include "tools/quorvel-trace/duration_histogram.h"

namespace qtrace {

// Calls that returned one error status, and the instrument addresses they went to.
struct StatusRow {
  uint64_t calls = 0;
  std::set<std::string> addresses;
};

// When the capture begins and ends: its first and last message.
struct CaptureSpan {
  bool any = false;
  int64_t first = 0, last = 0;
  void Add(int64_t timestamp) {
    if (!any) first = timestamp;
    any = true;
    last = timestamp;
  }
};

struct SummaryRow {
  std::string key;
  uint64_t errors = 0;
  DurationHistogram durations;
};

class TraceSummary {
 public:
  // One call, as the matcher reports it; calls without an exit only count as open.
  void Add(const MatchedCall& call, const CallMatcher& matcher);
  // Rows sorted by total time (then by key), at most |limit| of them.
  std::vector<const SummaryRow*> Methods() const { return Sorted(m_methods, SIZE_MAX); }
  std::vector<const SummaryRow*> Addresses() const { return Sorted(m_addresses, SIZE_MAX); }
  std::vector<const SummaryRow*> Processes(size_t limit) const { return Sorted(m_processes, limit); }
  std::vector<const SummaryRow*> Threads(size_t limit) const { return Sorted(m_threads, limit); }
  // Calls that returned an error, by (status, of a VISA call).
  const std::map<std::pair<int32_t, bool>, StatusRow>& Statuses() const { return m_statuses; }

  // The tables; the caller closes with the shared closing line.
  void WriteTable(std::ostream& out, const CaptureSpan& span, bool utc) const;
  void WriteCsv(std::ostream& out) const;

 private:
  using Rows = std::map<std::string, SummaryRow>;
  static std::vector<const SummaryRow*> Sorted(const Rows& rows, size_t limit);
  static void AddTo(Rows& rows, const std::string& key, const TraceMessage& exit);

  void WriteStatuses(std::ostream& out) const;

  Rows m_methods, m_addresses, m_processes, m_threads;
  std::map<std::pair<int32_t, bool>, StatusRow> m_statuses;  // (status, of a VISA call)
};

// "950 ns", "12.35 us", "1.5 ms", "2.000 s": four significant digits at most.
std::string FormatDuration(double ns);

}  // namespace qtrace
