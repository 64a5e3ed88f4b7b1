// Pairs each method-exit message with its method-enter message. An exit names only the
// source key, so the pair is found per process and thread: the innermost open call of
// the same key (calls of one thread nest, a library's lower layer inside its upper one).
// Open calls left behind (their exit never came, or a deeper call's exit skipped them)
// and exits without an open call are reported as unmatched.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

#include "tools/quorvel-trace/trace_message.h"

namespace qtrace {

struct OpenCall {
  std::string method;      // "KEY::name", escaped as captured
  std::string address;
  std::string parameters;  // kept only when the matcher is asked to
  int64_t timestamp = 0;
  uint64_t sequence = 0;   // index of the enter message among all messages fed
};

struct MatchedCall {
  uint32_t processId = 0, threadId = 0;
  size_t depth = 0;               // open calls of the thread below this one
  uint64_t sequence = 0;          // index of the enter message, or of the exit when there is no enter
  const OpenCall* enter = nullptr;     // null: an exit without its enter
  const TraceMessage* exit = nullptr;  // null: an enter whose exit never came
};

// Deepest nesting kept per thread; a deeper enter pushes out the oldest open call.
inline constexpr size_t kMaxOpenCallsPerThread = 256;

class CallMatcher {
 public:
  using Sink = std::function<void(const MatchedCall&)>;
  CallMatcher(Sink sink, bool keepParameters) : m_sink(std::move(sink)), m_keepParameters(keepParameters) {}

  void Feed(const TraceMessage& message);
  // Reports every call still open as unmatched.
  void Finish();
  // The application name of a process, from its first enter message ("" when none came).
  const std::string& AppName(uint32_t processId) const;

 private:
  struct Thread {
    uint32_t processId = 0, threadId = 0;
    std::vector<OpenCall> open;
  };
  void Unmatched(Thread& thread, size_t index);

  Sink m_sink;
  bool m_keepParameters;
  uint64_t m_fed = 0;
  std::unordered_map<uint64_t, Thread> m_threads;
  std::unordered_map<uint32_t, std::string> m_appNames;
};

}  // namespace qtrace
