#include "tools/quorvel-trace/call_listing.h"

namespace qtrace {

void CallListing::Message(const TraceMessage& message) {
  if (m_order == Order::Enter && message.kind == MessageKind::Enter) m_open.insert(m_messages);
  ++m_messages;
}

void CallListing::Call(const MatchedCall& call, const CallMatcher& matcher) {
  if (call.enter != nullptr) m_open.erase(call.sequence);
  const bool chosen = m_filter.Matches(call, matcher);
  if (chosen) m_tally.Add(call);
  if (chosen || m_context > 0) {
    Held held{uint64_t{call.processId} << 32 | call.threadId, chosen, {}};
    if (m_render.call) {
      m_render.call(call, matcher, held.line);
    } else {
      DescribeCall(call, matcher, m_options, m_fields);
      AppendCallLine(m_fields, held.line);
    }
    if (m_order == Order::Exit) {
      Emit(held);
      return;
    }
    m_held.emplace(call.sequence, std::move(held));
  }
  Release(false);
}

void CallListing::Finish() { Release(true); }

void CallListing::Release(bool all) {
  const uint64_t oldestOpen = all || m_open.empty() ? UINT64_MAX : *m_open.begin();
  while (!m_held.empty() && (m_held.begin()->first < oldestOpen || m_held.size() > kMaxHeldCalls)) {
    Emit(m_held.begin()->second);
    m_held.erase(m_held.begin());
  }
}

void CallListing::WriteLine(const std::string& line, bool newGroup) {
  // With context, a group that does not follow its thread's last written line is set apart.
  if (newGroup && m_wroteAny) m_write(m_render.gap);
  m_wroteAny = true;
  m_write(line);
}

void CallListing::Emit(Held& held) {
  if (m_context == 0) {
    if (held.chosen) WriteLine(held.line, false);
    return;
  }
  ThreadContext& thread = m_threads[held.thread];
  if (held.chosen) {
    bool first = thread.skipped;
    for (const Held& before : thread.before) {
      WriteLine(before.line, first);
      first = false;
    }
    thread.before.clear();
    thread.skipped = false;
    WriteLine(held.line, first);
    thread.after = m_context;
  } else if (thread.after > 0) {
    --thread.after;
    WriteLine(held.line, false);
  } else {
    thread.before.push_back(std::move(held));
    if (thread.before.size() > m_context) {
      thread.before.pop_front();
      thread.skipped = true;
    }
  }
}

}  // namespace qtrace
