#include "tools/quorvel-trace/trace_summary.h"

#include <algorithm>
#include <cstdio>

#include "tools/quorvel-trace/visa_status_names.h"
#include "tools/quorvel-trace/wall_clock.h"

namespace qtrace {
namespace {

constexpr size_t kBusiest = 10;
constexpr const char* kCsvHeader = "table,key,calls,errors,total_ns,mean_ns,p50_ns,p99_ns,max_ns\n";

std::string Csv(const std::string& field) {
  if (field.find_first_of(",\"\r\n") == std::string::npos) return field;
  std::string out = "\"";
  for (const char c : field) out += c == '"' ? std::string("\"\"") : std::string(1, c);
  return out + "\"";
}

std::string Number(double ns) {
  char text[32];
  std::snprintf(text, sizeof text, "%.0f", ns);
  return text;
}

void WriteSection(std::ostream& out, const char* title, const char* keyTitle,
                  const std::vector<const SummaryRow*>& rows) {
  size_t width = std::string(keyTitle).size();
  for (const SummaryRow* r : rows) width = std::max(width, r->key.size());
  width = std::min<size_t>(width, 60);
  char line[512];
  out << title << "\n";
  std::snprintf(line, sizeof line, "%-*s %9s %7s %11s %11s %11s %11s %11s\n", static_cast<int>(width), keyTitle,
                "calls", "errors", "total", "mean", "p50", "p99", "max");
  out << line;
  for (const SummaryRow* r : rows) {
    const DurationHistogram& d = r->durations;
    std::snprintf(line, sizeof line, "%-*.*s %9llu %7llu %11s %11s %11s %11s %11s\n", static_cast<int>(width),
                  static_cast<int>(width), r->key.c_str(), static_cast<unsigned long long>(d.Count()),
                  static_cast<unsigned long long>(r->errors), FormatDuration(d.Total()).c_str(),
                  FormatDuration(d.Mean()).c_str(), FormatDuration(d.Quantile(0.5)).c_str(),
                  FormatDuration(d.Quantile(0.99)).c_str(), FormatDuration(d.Max()).c_str());
    out << line;
  }
  out << "\n";
}

}  // namespace

std::string FormatDuration(double ns) {
  static constexpr struct { double scale; const char* unit; } kUnits[] = {{1e9, "s"}, {1e6, "ms"}, {1e3, "us"}};
  char text[32];
  for (const auto& u : kUnits) {
    if (ns >= u.scale) {
      const double v = ns / u.scale;
      std::snprintf(text, sizeof text, "%.*f %s", v >= 100 ? 1 : v >= 10 ? 2 : 3, v, u.unit);
      return text;
    }
  }
  std::snprintf(text, sizeof text, "%.0f ns", ns);
  return text;
}

void TraceSummary::AddTo(Rows& rows, const std::string& key, const TraceMessage& exit) {
  SummaryRow& row = rows[key];
  if (row.key.empty()) row.key = key;
  row.durations.Add(exit.elapsedNs);
  if (exit.kind == MessageKind::Error) ++row.errors;
}

void TraceSummary::Add(const MatchedCall& call, const CallMatcher& matcher) {
  if (call.exit == nullptr) return;  // a call that never returned has no duration to count
  const TraceMessage& exit = *call.exit;
  const std::string method = call.enter != nullptr ? Unescape(call.enter->method) : Unescape(exit.method) + "::?";
  const std::string address = Unescape(exit.address);
  AddTo(m_methods, method, exit);
  AddTo(m_addresses, address, exit);
  if (exit.kind == MessageKind::Error) {
    StatusRow& row = m_statuses[{exit.hresult, IsVisaMethod(method)}];
    ++row.calls;
    // A few addresses say where it happened; an unbounded list would not.
    if (row.addresses.size() < 8) row.addresses.insert(address);
  }
  const std::string app = Unescape(matcher.AppName(call.processId));
  const std::string pid = std::to_string(call.processId);
  AddTo(m_processes, pid + " " + app, exit);
  AddTo(m_threads, pid + "/" + std::to_string(call.threadId) + " " + app, exit);
}

std::vector<const SummaryRow*> TraceSummary::Sorted(const Rows& rows, size_t limit) {
  std::vector<const SummaryRow*> out;
  for (const auto& [key, row] : rows) out.push_back(&row);
  std::stable_sort(out.begin(), out.end(), [](const SummaryRow* a, const SummaryRow* b) {
    return a->durations.Total() > b->durations.Total();
  });
  if (out.size() > limit) out.resize(limit);
  return out;
}

void TraceSummary::WriteStatuses(std::ostream& out) const {
  out << "Errors by status\n";
  if (m_statuses.empty()) out << "(none)\n";
  else out << "status                       hex            calls  addresses\n";
  for (const auto& [key, row] : m_statuses) {
    const std::string_view name = key.second ? VisaStatusName(key.first) : std::string_view();
    char line[160];
    std::snprintf(line, sizeof line, "%-28.*s %-10s %9llu  ", static_cast<int>(name.empty() ? 1 : name.size()),
                  name.empty() ? "?" : name.data(), StatusHex(key.first).c_str(),
                  static_cast<unsigned long long>(row.calls));
    out << line;
    bool first = true;
    for (const std::string& address : row.addresses) {
      out << (first ? "" : ", ") << address;
      first = false;
    }
    out << (row.addresses.size() >= 8 ? ", ...\n" : "\n");
  }
  out << "\n";
}

void TraceSummary::WriteTable(std::ostream& out, const CaptureSpan& span, bool utc) const {
  if (span.any) {
    out << "Capture: first message " << DateTimeText(span.first, utc) << ", last " << DateTimeText(span.last, utc)
        << ", " << FormatDuration(static_cast<double>(SaturatingDifference(span.last, span.first))) << " in all\n\n";
  }
  WriteSection(out, "Calls by method (sorted by total time)", "method", Methods());
  WriteSection(out, "Calls by instrument address", "address", Addresses());
  WriteSection(out, "Busiest processes", "process", Processes(kBusiest));
  WriteSection(out, "Busiest threads", "process/thread", Threads(kBusiest));
  WriteStatuses(out);
  out << "Durations are the exits' elapsed times; p50 and p99 come from a histogram (within 1/256).\n";
}

void TraceSummary::WriteCsv(std::ostream& out) const {
  out << kCsvHeader;
  const std::pair<const char*, std::vector<const SummaryRow*>> tables[] = {
      {"method", Methods()}, {"address", Addresses()}, {"process", Processes(SIZE_MAX)}, {"thread", Threads(SIZE_MAX)}};
  for (const auto& [table, rows] : tables) {
    for (const SummaryRow* r : rows) {
      const DurationHistogram& d = r->durations;
      out << table << ',' << Csv(r->key) << ',' << d.Count() << ',' << r->errors << ',' << Number(d.Total()) << ','
          << Number(d.Mean()) << ',' << Number(d.Quantile(0.5)) << ',' << Number(d.Quantile(0.99)) << ','
          << Number(d.Max()) << '\n';
    }
  }
}

}  // namespace qtrace
