// The live view of a capture: each captured line is read back as a message, paired with its
// calls, and every call that passes the filter is written as a listing line as soon as its
// exit arrives; calls still open when the capture ends are written then.
#pragma once

#include <ostream>
#include <string_view>

#include "tools/quorvel-trace/call_listing.h"
#include "tools/quorvel-trace/call_matcher.h"

namespace qtrace {

class LiveView {
 public:
  LiveView(const CallFilter& filter, const LineOptions& options, std::ostream& out);
  // One captured line (without its line end).
  void Feed(std::string_view line);
  // At the end of the capture: the open calls, then the closing line.
  void Finish();

 private:
  CallFilter m_filter;
  std::ostream& m_out;
  CallListing m_listing;
  CallMatcher m_matcher;
  bool m_begun = false;
  TraceMessage m_message;
  std::string m_error;
};

}  // namespace qtrace
