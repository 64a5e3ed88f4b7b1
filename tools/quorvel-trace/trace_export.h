// A capture as Trace Event Format JSON: a track per process and thread named after the
// application, one complete slice per call from its enter to its exit message with the
// parameters and the return value as arguments, and calls without their other half as
// instant events. Written while the capture streams by; times are microseconds from the
// first message.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <unordered_set>

#include "tools/quorvel-trace/call_matcher.h"

namespace qtrace {

class TraceExport {
 public:
  explicit TraceExport(std::FILE* out) : m_out(out) {}
  // Every message in order, then Finish once.
  void Message(const TraceMessage& message);
  void Call(const MatchedCall& call, const CallMatcher& matcher);
  // Closes the JSON; false when a write failed.
  bool Finish();
  uint64_t Slices() const { return m_slices; }
  uint64_t Instants() const { return m_instants; }

 private:
  void Begin();
  void Tracks(const MatchedCall& call, const CallMatcher& matcher);
  void Time(const char* field, int64_t ns, bool relative);
  void Parameters(const char* field, std::string_view section);
  void Flush(bool force);

  std::FILE* m_out;
  std::string m_text;
  std::string m_value, m_returnValue;  // reused for every parameter
  bool m_started = false;
  bool m_first = true;
  int64_t m_origin = 0;
  bool m_haveOrigin = false;
  bool m_failed = false;
  uint64_t m_slices = 0, m_instants = 0;
  std::unordered_set<uint32_t> m_processes;
  std::unordered_set<uint64_t> m_threads;
};

}  // namespace qtrace
