#include "tools/quorvel-trace/report_command.h"

#include <algorithm>
#include <vector>

#include "tools/quorvel-trace/call_tally.h"
#include "tools/quorvel-trace/document_output.h"
#include "tools/quorvel-trace/report_page.h"
#include "tools/quorvel-trace/report_rows.h"
#include "tools/quorvel-trace/trace_commands.h"
#include "tools/quorvel-trace/trace_summary.h"
#include "tools/quorvel-trace/trace_timeline.h"
#include "tools/quorvel-trace/visa_status_names.h"
#include "tools/quorvel-trace/wall_clock.h"

namespace qtrace {
namespace {

constexpr size_t kBusiest = 10;

std::vector<ReportCell> DurationCells(const SummaryRow& row) {
  const DurationHistogram& d = row.durations;
  std::vector<ReportCell> cells{TextCell(row.key), CountCell(d.Count()), CountCell(row.errors)};
  for (const double ns : {d.Total(), d.Mean(), d.Quantile(0.5), d.Quantile(0.99), d.Max()}) {
    cells.push_back(NumberCell(ns, FormatDuration(ns)));
  }
  return cells;
}

ReportTable DurationTable(std::string title, std::string key, const std::vector<const SummaryRow*>& rows) {
  ReportTable table{std::move(title), {std::move(key), "calls", "errors", "total", "mean", "p50", "p99", "max"}, {}};
  for (const SummaryRow* row : rows) table.rows.push_back(DurationCells(*row));
  return table;
}

ReportTable StatusTable(const TraceSummary& summary) {
  ReportTable table{"Errors by status", {"status", "hex", "calls", "addresses"}, {}};
  for (const auto& [key, row] : summary.Statuses()) {
    const std::string_view name = key.second ? VisaStatusName(key.first) : std::string_view();
    std::string addresses;
    for (const std::string& address : row.addresses) addresses += (addresses.empty() ? "" : ", ") + address;
    table.rows.push_back({TextCell(name.empty() ? "?" : std::string(name)), TextCell(StatusHex(key.first)),
                          CountCell(row.calls), TextCell(addresses)});
  }
  return table;
}

std::vector<std::pair<std::string, std::string>> Facts(const std::string& capture, const CaptureSpan& span,
                                                       bool utc) {
  std::vector<std::pair<std::string, std::string>> facts{{"Capture", capture == "-" ? "standard input" : capture}};
  if (span.any) {
    facts.emplace_back("First message", DateTimeText(span.first, utc));
    facts.emplace_back("Last message", DateTimeText(span.last, utc));
    facts.emplace_back("Length",
                       FormatDuration(static_cast<double>(SaturatingDifference(span.last, span.first))));
  }
  return facts;
}

void WritePage(ReportPage& page, const std::string& capture, const CaptureSpan& span, bool utc,
               const CallTally& tally, const TraceSummary& summary, const TraceTimeline& timeline,
               ReportRows& rows) {
  std::string closing = tally.Line();
  closing.pop_back();  // its line end
  const std::string name = capture == "-" ? "standard input" : capture;
  page.Begin("quorvel-trace report: " + name.substr(name.find_last_of("/\\") + 1));
  page.Facts(Facts(capture, span, utc), closing);
  const ReportTable tables[] = {
      DurationTable("Calls by method", "method", summary.Methods()),
      DurationTable("Calls by instrument address", "address", summary.Addresses()),
      DurationTable("Busiest processes", "process", summary.Processes(kBusiest)),
      DurationTable("Busiest threads", "process/thread", summary.Threads(kBusiest)),
      StatusTable(summary),
  };
  page.Tables(tables);
  page.Timeline(timeline);
  page.ListBegin(rows.Note(tally.Calls()));
  rows.Render([&page](std::string_view html) { page.Rows(html); });
  page.End();
}

}  // namespace

int RunReport(const std::string& capture, ReadOptions& options, const ReportOptions& report,
              const std::string& output, std::ostream& out, std::ostream& err) {
  OutputFile file;
  CaptureInput input;
  if (!OpenDocument(capture, output, file, input, err)) return kExitFailed;
  std::string error;
  LineOptions line = report.line;
  line.utc = options.filter.utc;
  ReportRows rows(options.filter, line, report.maxRows, report.context);
  if (!rows.Open(error)) {
    err << "quorvel-trace: error: " << error << "\n";
    return kExitFailed;
  }
  TraceSummary summary;
  TraceTimeline timeline;
  timeline.LinkCalls();
  CallTally tally;
  const bool read = input.ForEachCall(
      options, true, [&](const TraceMessage& m) { rows.Message(m); },
      [&](const MatchedCall& call, const CallMatcher& m) {
        const bool chosen = options.filter.Matches(call, m);
        rows.Call(call, m, chosen);
        if (!chosen) return;
        tally.Add(call);
        summary.Add(call, m);
        timeline.Add(call, m, CallNumber(call));
      },
      err);
  if (!read) return kExitFailed;
  rows.Finish();
  ReportPage page(file.Get());
  WritePage(page, capture, input.Span(), options.filter.utc, tally, summary, timeline, rows);
  return FinishDocument(file, page.Ok() && !rows.Failed(), "report", tally, out, err);
}

}  // namespace qtrace
