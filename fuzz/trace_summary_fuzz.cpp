// libFuzzer target for reading captures: every input is the contents of a capture file
// from an unknown source, summarised (table and CSV) and drawn as a timeline. Besides the
// sanitizers' checks: the summary never counts more calls than the reader read messages,
// and the picture is always a whole SVG document.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>

#include "call_matcher.h"
#include "trace_reader.h"
#include "trace_summary.h"
#include "trace_timeline.h"

namespace {

// Runs the capture in |data| through a matcher, calling |onCall| for every call.
template <typename OnCall>
uint64_t ReadCalls(const std::uint8_t* data, std::size_t size, OnCall onCall) {
  std::FILE* file = fmemopen(const_cast<std::uint8_t*>(data), size, "rb");
  if (file == nullptr) return 0;
  qtrace::TraceReader reader(file, "fuzz");
  const qtrace::CallMatcher* self = nullptr;
  qtrace::CallMatcher matcher([&](const qtrace::MatchedCall& call) { onCall(call, *self); }, false);
  self = &matcher;
  qtrace::TraceMessage message;
  while (reader.Next(message)) matcher.Feed(message);
  matcher.Finish();
  std::fclose(file);
  return reader.Messages();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;  // fmemopen refuses an empty buffer
  qtrace::TraceSummary summary;
  const uint64_t messages =
      ReadCalls(data, size, [&](const qtrace::MatchedCall& c, const qtrace::CallMatcher& m) { summary.Add(c, m); });
  if (summary.Calls() > messages || summary.OpenCalls() > messages) std::abort();
  std::ostringstream table, csv;
  summary.WriteTable(table, messages);
  summary.WriteCsv(csv);

  qtrace::TraceTimeline timeline;
  ReadCalls(data, size, [&](const qtrace::MatchedCall& c, const qtrace::CallMatcher& m) { timeline.Scan(c, m); });
  timeline.Layout();
  ReadCalls(data, size, [&](const qtrace::MatchedCall& c, const qtrace::CallMatcher&) { timeline.Draw(c); });
  std::ostringstream svg;
  timeline.Write(svg, "fuzz");
  if (svg.str().rfind("</svg>\n") != svg.str().size() - 7) std::abort();
  return 0;
}
