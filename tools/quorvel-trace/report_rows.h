// The report's call list: one HTML row per call, in the order of the enters. Up to the row
// limit every chosen call has its row; above it the list keeps the calls that returned an
// error with the calls around each on its thread, so that a capture of millions of calls
// still makes a page a browser opens in seconds. Both lists are built at once while the
// capture streams by, their calls going to scratch files and each list stopping at the
// limit, so memory and scratch space do not grow with the capture; only the list that is
// shown becomes HTML, once the capture has been read.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

#include "tools/quorvel-trace/call_filter.h"
#include "tools/quorvel-trace/call_line.h"
#include "tools/quorvel-trace/call_listing.h"
#include "tools/quorvel-trace/report_spool.h"

namespace qtrace {

// The row of one call: "<tr class="call[ err][ unmatched]" id="cN">" with the cells time,
// process/thread (and |appName|, escaped as captured), address, method with its in-parameters, out-parameters, status name and
// duration, all escaped; parameters holding byte buffers carry their hex for the page to
// show on demand. N is the call's number (CallNumber).
void AppendCallRow(const MatchedCall& call, std::string_view appName, const LineOptions& options, std::string& out);
// A call's number in the page, shared by its row and its bar in the timeline.
inline uint64_t CallNumber(const MatchedCall& call) { return call.sequence + 1; }

class ReportRows {
 public:
  // |context|: calls kept before and after each error above the limit.
  ReportRows(const CallFilter& filter, const LineOptions& options, uint64_t maxRows, size_t context);
  // False with the reason when a scratch file cannot be made.
  bool Open(std::string& error);
  // Every message of the capture, in its order.
  void Message(const TraceMessage& message);
  // |chosen|: whether the command's filter chose the call (the caller has asked it already).
  void Call(const MatchedCall& call, const CallMatcher& matcher, bool chosen);
  void Finish();

  // Renders the rows to show, in order and cut into the page's blocks, handing the HTML to
  // |put| piece by piece.
  void Render(const std::function<void(std::string_view)>& put);
  // What the list leaves out of the |calls| the filter chose; empty when nothing.
  std::string Note(uint64_t calls) const;
  bool Failed() const { return m_failed; }

 private:
  // One list: its rows go to a scratch file until the limit is reached.
  struct List {
    CallFilter filter;
    SpoolFile spool;
    CallListing listing;
    uint64_t rows = 0;
    uint64_t chosen = 0;  // rows of calls the filter chose, not context
    bool full = false;
    List(const CallFilter& f, const LineOptions& options, size_t context, ReportRows& owner);
  };
  void Write(List& list, std::string_view packed);

  LineOptions m_options;
  uint64_t m_maxRows;
  size_t m_context;
  bool m_failed = false;
  bool m_begun = false;   // the first message was seen
  bool m_chosen = false;  // the call being listed was chosen by the command's filter
  std::string m_record;  // the record being written, reused
  List m_all, m_errors;
};

}  // namespace qtrace
