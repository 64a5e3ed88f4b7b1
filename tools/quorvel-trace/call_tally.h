// The counts every reading command closes with, over the calls it read after filtering:
// "N messages, C calls, E with an error; U calls without an exit, X exits without an enter."
// A call is one enter with its exit, an enter whose exit never came, or an exit without its
// enter; N counts the messages of those calls.
#pragma once

#include <cstdint>
#include <string>

#include "tools/quorvel-trace/call_matcher.h"

namespace qtrace {

class CallTally {
 public:
  void Add(const MatchedCall& call) {
    ++m_calls;
    m_messages += call.enter != nullptr && call.exit != nullptr ? 2 : 1;
    if (call.exit == nullptr) ++m_noExit;
    else if (call.exit->kind == MessageKind::Error) ++m_errors;
    if (call.enter == nullptr) ++m_noEnter;
  }
  uint64_t Calls() const { return m_calls; }
  uint64_t Errors() const { return m_errors; }
  uint64_t WithoutExit() const { return m_noExit; }
  uint64_t WithoutEnter() const { return m_noEnter; }
  // The closing line, with its line end.
  std::string Line() const {
    return std::to_string(m_messages) + " messages, " + std::to_string(m_calls) + " calls, " +
           std::to_string(m_errors) + " with an error; " + std::to_string(m_noExit) + " calls without an exit, " +
           std::to_string(m_noEnter) + " exits without an enter.\n";
  }

 private:
  uint64_t m_messages = 0, m_calls = 0, m_errors = 0, m_noExit = 0, m_noEnter = 0;
};

}  // namespace qtrace
