#include "tools/quorvel-trace/trace_commands.h"

#include <sstream>

#include "tools/quorvel-trace/call_listing.h"
#include "tools/quorvel-trace/call_tally.h"
#include "tools/quorvel-trace/document_output.h"
#include "tools/quorvel-trace/trace_export.h"
#include "tools/quorvel-trace/trace_summary.h"
#include "tools/quorvel-trace/trace_timeline.h"

namespace qtrace {

int RunList(const std::string& capture, ReadOptions& options, const ListOptions& list, std::ostream& out,
            std::ostream& err) {
  CaptureInput input;
  if (!input.Open(capture, err)) return kExitFailed;
  LineOptions line = list.line;
  line.utc = options.filter.utc;
  CallListing listing(options.filter, line, list.context, CallListing::Order::Enter,
                      [&](std::string_view text) { out.write(text.data(), static_cast<std::streamsize>(text.size())); });
  const bool ok = input.ForEachCall(
      options, true, [&](const TraceMessage& m) { listing.Message(m); },
      [&](const MatchedCall& call, const CallMatcher& m) { listing.Call(call, m); }, err);
  if (!ok) return kExitFailed;
  listing.Finish();
  out << listing.Tally().Line();
  return kExitOk;
}

int RunSummary(const std::string& capture, ReadOptions& options, bool csv, std::ostream& out, std::ostream& err) {
  CaptureInput input;
  if (!input.Open(capture, err)) return kExitFailed;
  TraceSummary summary;
  CallTally tally;
  const bool ok = input.ForEachCall(options, false, nullptr, [&](const MatchedCall& call, const CallMatcher& m) {
    if (!options.filter.Matches(call, m)) return;
    tally.Add(call);
    summary.Add(call, m);
  }, err);
  if (!ok) return kExitFailed;
  if (csv) {
    summary.WriteCsv(out);
    err << tally.Line();
  } else {
    summary.WriteTable(out, input.Span(), options.filter.utc);
    out << tally.Line();
  }
  return kExitOk;
}

int RunExport(const std::string& capture, ReadOptions& options, const std::string& output, std::ostream& out,
              std::ostream& err) {
  OutputFile file;
  CaptureInput input;
  if (!OpenDocument(capture, output, file, input, err)) return kExitFailed;
  TraceExport exporter(file.Get());
  CallTally tally;
  const bool read = input.ForEachCall(
      options, true, [&](const TraceMessage& m) { exporter.Message(m); },
      [&](const MatchedCall& call, const CallMatcher& m) {
        if (!options.filter.Matches(call, m)) return;
        tally.Add(call);
        exporter.Call(call, m);
      },
      err);
  if (!read) return kExitFailed;
  return FinishDocument(file, exporter.Finish(), "export", tally, out, err);
}

int RunTimeline(const std::string& capture, ReadOptions& options, const std::string& output, std::ostream& out,
                std::ostream& err) {
  OutputFile file;
  CaptureInput input;
  if (!OpenDocument(capture, output, file, input, err)) return kExitFailed;
  TraceTimeline timeline;
  timeline.SetUtc(options.filter.utc);
  CallTally tally;
  bool placed = false;
  const bool read = input.ForEachCall(options, false, nullptr, [&](const MatchedCall& c, const CallMatcher& m) {
    if (!placed) {
      // With both ends of the window given, the picture spans exactly that window.
      int64_t first = 0, last = 0;
      if (options.filter.Window(first, last)) timeline.SetWindow(first, last);
      placed = true;
    }
    if (!options.filter.Matches(c, m)) return;
    tally.Add(c);
    timeline.Add(c, m);
  }, err);
  if (!read) return kExitFailed;
  std::ostringstream svg;
  timeline.Write(svg, "quorvel-trace timeline of " + capture);
  const std::string text = svg.str();
  const bool written = std::fwrite(text.data(), 1, text.size(), file.Get()) == text.size();
  if (written && timeline.Undrawn() > 0) {
    (file.IsStandardOutput() ? err : out) << "quorvel-trace: " << timeline.Undrawn()
                                          << " calls not drawn: their thread has no lane or their time is unknown\n";
  }
  return FinishDocument(file, written, "timeline", tally, out, err);
}

}  // namespace qtrace
