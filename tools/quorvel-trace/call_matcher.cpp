#include "tools/quorvel-trace/call_matcher.h"

namespace qtrace {

void CallMatcher::Unmatched(Thread& thread, size_t index) {
  const OpenCall& call = thread.open[index];
  m_sink(MatchedCall{thread.processId, thread.threadId, index, call.sequence, &call, nullptr});
}

void CallMatcher::Feed(const TraceMessage& m) {
  const uint64_t sequence = m_fed++;
  Thread& thread = m_threads[uint64_t{m.processId} << 32 | m.threadId];
  thread.processId = m.processId;
  thread.threadId = m.threadId;
  if (m.kind == MessageKind::Enter) {
    m_appNames.try_emplace(m.processId, m.appName);
    if (thread.open.size() == kMaxOpenCallsPerThread) {
      Unmatched(thread, 0);
      thread.open.erase(thread.open.begin());
    }
    OpenCall& call = thread.open.emplace_back();
    call.method.assign(m.method);
    call.address.assign(m.address);
    if (m_keepParameters) call.parameters.assign(m.parameters);
    call.timestamp = m.timestamp;
    call.sequence = sequence;
    return;
  }
  // The innermost open call of this key; calls opened after it never saw their exit.
  for (size_t i = thread.open.size(); i-- > 0;) {
    const std::string& method = thread.open[i].method;
    if (method.size() >= m.method.size() + 2 && method.starts_with(m.method) &&
        method.compare(m.method.size(), 2, "::") == 0) {
      for (size_t k = thread.open.size(); --k > i;) Unmatched(thread, k);
      m_sink(MatchedCall{m.processId, m.threadId, i, thread.open[i].sequence, &thread.open[i], &m});
      thread.open.resize(i);
      return;
    }
  }
  m_sink(MatchedCall{m.processId, m.threadId, thread.open.size(), sequence, nullptr, &m});
}

void CallMatcher::Finish() {
  for (auto& [key, thread] : m_threads) {
    for (size_t k = thread.open.size(); k-- > 0;) Unmatched(thread, k);
    thread.open.clear();
  }
}

const std::string& CallMatcher::AppName(uint32_t processId) const {
  static const std::string kNone;
  const auto it = m_appNames.find(processId);
  return it == m_appNames.end() ? kNone : it->second;
}

}  // namespace qtrace
