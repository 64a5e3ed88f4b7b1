// quorvel-trace report: a capture as one self-contained HTML page to open in any browser
// or send to a colleague: the capture's facts and closing counts, the summary tables, the
// timeline with a tooltip and a link on every call, and the call list with a filter whose
// state lives in the page address's fragment. Made in one pass over the capture (which may
// be standard input), with memory that does not grow with it.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>

#include "tools/quorvel-trace/call_filter.h"
#include "tools/quorvel-trace/call_line.h"

namespace qtrace {

struct ReportOptions {
  LineOptions line;
  size_t maxRows = 50'000;  // above this the list keeps the errors with their context
  size_t context = 2;         // calls kept before and after each such error, on its thread
};

// |output| "-" writes the page to standard output (and the closing line to |err|).
int RunReport(const std::string& capture, ReadOptions& options, const ReportOptions& report,
              const std::string& output, std::ostream& out, std::ostream& err);

}  // namespace qtrace
