// Reading a capture for a command: the file, or standard input for "-", message by message
// with the calls paired, the filter's time window fixed at the first message, and a cut last
// line or skipped damaged lines reported as warnings.
#pragma once

#include <cstdio>
#include <functional>
#include <ostream>
#include <string>

#include "tools/quorvel-trace/call_filter.h"
#include "tools/quorvel-trace/call_matcher.h"
#include "tools/quorvel-trace/trace_summary.h"

namespace qtrace {

class CaptureInput {
 public:
  CaptureInput() = default;
  CaptureInput(const CaptureInput&) = delete;
  CaptureInput& operator=(const CaptureInput&) = delete;
  ~CaptureInput();

  // Opens |path| ("-": standard input). False after reporting the reason to |err|.
  bool Open(const std::string& path, std::ostream& err);

  using OnMessage = std::function<void(const TraceMessage&)>;
  using OnCall = std::function<void(const MatchedCall&, const CallMatcher&)>;
  // Reads every message once, calling |onMessage| (may be empty) before the matcher
  // sees it and |onCall| for every call. False (reported) on a damaged file; warnings go to
  // |err| too.
  bool ForEachCall(ReadOptions& options, bool keepParameters, const OnMessage& onMessage, const OnCall& onCall,
                   std::ostream& err);

  const CaptureSpan& Span() const { return m_span; }

 private:
  std::string m_path;
  std::FILE* m_file = nullptr;  // owned unless it is stdin
  CaptureSpan m_span;
};

}  // namespace qtrace
