#include "tools/quorvel-trace/live_view.h"

namespace qtrace {

LiveView::LiveView(const CallFilter& filter, const LineOptions& options, std::ostream& out)
    : m_filter(filter),
      m_out(out),
      m_listing(m_filter, options, 0, CallListing::Order::Exit,
                [this](std::string_view text) {
                  m_out.write(text.data(), static_cast<std::streamsize>(text.size()));
                  m_out.flush();
                }),
      m_matcher([this](const MatchedCall& call) { m_listing.Call(call, m_matcher); }, true) {}

void LiveView::Feed(std::string_view line) {
  // The relay's own text always parses; anything else is only kept in the file.
  if (!ParseTraceMessage(line, m_message, m_error)) return;
  if (!m_begun) m_filter.Begin(m_message.timestamp);
  m_begun = true;
  m_listing.Message(m_message);
  m_matcher.Feed(m_message);
}

void LiveView::Finish() {
  m_matcher.Finish();
  m_listing.Finish();
  m_out << m_listing.Tally().Line();
  m_out.flush();
}

}  // namespace qtrace
