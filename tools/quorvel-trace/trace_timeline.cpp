#include "tools/quorvel-trace/trace_timeline.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <tuple>

#include "tools/quorvel-trace/html_text.h"
#include "tools/quorvel-trace/trace_summary.h"
#include "tools/quorvel-trace/visa_status_names.h"
#include "tools/quorvel-trace/wall_clock.h"

namespace qtrace {
namespace {

constexpr int kLeft = 230;  // room for the lane names
constexpr int kTop = 60;
constexpr int kRowHeight = 9;
constexpr int kLaneGap = 6;
constexpr int kLaneHeight = static_cast<int>(TraceTimeline::kMaxRows) * kRowHeight + kLaneGap;
constexpr const char* kErrorColour = "#d62728";
constexpr size_t kMaxMethods = 4096;  // distinct method names kept; later ones share one entry
constexpr size_t kLegendEntries = 12;

// The families the instrument libraries' calls fall into, each with its own colour; the
// colours are fixed so that a family looks the same in every capture. Red is kept for
// errors.
constexpr struct {
  const char* family;
  const char* colour;
} kFamilyColours[] = {
    {"Open", "#4e79a7"},   {"Close", "#9c755f"},  {"Write", "#f28e2b"},  {"Read", "#59a14f"},
    {"Get", "#76b7b2"},    {"Set", "#b07aa1"},    {"Clear", "#edc948"},  {"Printf", "#e8a25c"},
    {"Scanf", "#8cc27e"},  {"Queryf", "#ff9da7"}, {"Send", "#f28e2b"},   {"Receive", "#59a14f"},
    {"Lock", "#6b6ecf"},   {"Unlock", "#9c9ede"}, {"Find", "#17becf"},   {"Parse", "#8c6d31"},
};
// Any other family takes one of these, chosen by its name alone.
constexpr const char* kOtherColours[] = {"#86bcb6", "#bab0ac", "#a0cbe8", "#d4a6c8", "#b6992d", "#79706e"};

// A step of 1, 2 or 5 times a power of ten giving at most about ten ticks over |span|.
double TickStep(double span) {
  for (double decade = 1;; decade *= 10) {
    for (const double m : {1.0, 2.0, 5.0}) {
      if (span / (m * decade) <= 10) return m * decade;
    }
  }
}

int64_t Start(const MatchedCall& call) {
  if (call.enter != nullptr) return call.enter->timestamp;
  const WideTime start = WideTime{call.exit->timestamp} - static_cast<WideTime>(std::max(call.exit->elapsedNs, 0.0));
  return static_cast<int64_t>(std::max<WideTime>(start, INT64_MIN));
}

int64_t End(const MatchedCall& call) {
  return call.exit != nullptr ? std::max(call.exit->timestamp, Start(call)) : Start(call);
}

// A call is drawn when its times lie within 2^62 ns (146 years) of the clock's zero: a
// library with a broken clock writes times near the ends of the 64-bit range, and one such
// call would squeeze every other call into a single column. An exit without its enter is
// placed from its elapsed time, which must be a number.
bool Placeable(const MatchedCall& call) {
  constexpr double kLimit = 0x1p62;
  if (call.enter == nullptr && !(call.exit->elapsedNs < kLimit)) return false;
  const auto near = [&](int64_t t) { return static_cast<double>(t) > -kLimit && static_cast<double>(t) < kLimit; };
  return near(Start(call)) && near(End(call));
}

}  // namespace

struct TraceTimeline::Geometry {
  std::vector<const Lane*> lanes;
  int lo = 0, hi = TimelineGrid::kColumns - 1;  // the columns in use, drawn over the whole width
  double scale = 1;                              // pixels per column
  int width = 0, height = 0, axisY = 0;
  double span = 0;                               // ns over the whole width
  double x(int column) const { return kLeft + (column - lo) * scale; }
};

std::string MethodFamily(std::string_view method) {
  const size_t colons = method.find("::");
  const std::string_view name = colons == std::string_view::npos ? method : method.substr(colons + 2);
  const size_t upper = name.find_first_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ");
  if (upper == std::string_view::npos) return std::string(name.empty() ? "?" : name);
  size_t end = upper + 1;
  while (end < name.size() && name[end] >= 'a' && name[end] <= 'z') ++end;
  return std::string(name.substr(upper, end - upper));
}

const char* FamilyColour(std::string_view family) {
  for (const auto& known : kFamilyColours) {
    if (family == known.family) return known.colour;
  }
  uint32_t hash = 2166136261u;  // FNV-1a: stable across runs and platforms
  for (const char c : family) hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
  return kOtherColours[hash % std::size(kOtherColours)];
}

void TraceTimeline::SetWindow(int64_t from, int64_t to) { m_grid.Fix(from, std::max(from, to)); }

// The method's index, looked up by its text as captured, so that a call costs no copy.
uint16_t TraceTimeline::MethodIndex(const MatchedCall& call) {
  if (m_methods.empty()) {
    m_methods.emplace_back("(other method)");
    m_methodCalls.push_back(0);
  }
  std::string_view key = call.enter != nullptr ? std::string_view(call.enter->method) : call.exit->method;
  if (call.enter == nullptr) {
    m_key.assign(key).append("::?");  // an exit names only its library
    key = m_key;
  }
  const auto it = m_methodIndex.find(key);
  if (it != m_methodIndex.end()) return it->second;
  if (m_methods.size() >= kMaxMethods) return 0;
  m_methods.push_back(Unescape(key));
  m_methodCalls.push_back(0);
  return m_methodIndex[std::string(key)] = static_cast<uint16_t>(m_methods.size() - 1);
}

void TraceTimeline::Add(const MatchedCall& call, const CallMatcher& matcher, uint64_t number) {
  ++m_calls;
  const bool error = call.exit != nullptr && call.exit->kind == MessageKind::Error;
  if (error) ++m_errors;
  Lane& lane = m_lanes[uint64_t{call.processId} << 32 | call.threadId];
  if (lane.calls++ == 0) {
    lane.processId = call.processId;
    lane.threadId = call.threadId;
    const std::string app = Unescape(matcher.AppName(call.processId));
    lane.name = (app.empty() ? "process" : app) + " " + std::to_string(call.processId) + "/" +
                std::to_string(call.threadId);
    if (m_tracked.size() < kTrackedLanes) {
      lane.cells.resize(kMaxRows * kColumns);
      m_tracked.push_back(&lane.cells);
    }
  }
  const uint16_t method = MethodIndex(call);
  ++m_methodCalls[method];
  if (lane.cells.empty() || !Placeable(call)) {
    ++m_undrawn;
    return;
  }
  const int64_t start = Start(call), end = End(call);
  m_grid.Cover(start, end, m_tracked);
  const TimelineCell cell{number != 0 ? number : m_calls, start, call.exit != nullptr ? call.exit->elapsedNs : -1.0,
                          call.exit != nullptr ? call.exit->hresult : 0, method, error};
  TimelineCell* row = lane.cells.data() + std::min(call.depth, kMaxRows - 1) * kColumns;
  for (int c = m_grid.Column(start), last = m_grid.Column(end); c <= last; ++c) {
    if (Outranks(cell, row[c])) row[c] = cell;
  }
}

size_t TraceTimeline::Lanes() const { return DrawnLanes().size(); }

// The busiest tracked lanes, in process and thread order.
std::vector<const TraceTimeline::Lane*> TraceTimeline::DrawnLanes() const {
  std::vector<const Lane*> lanes;
  for (const auto& [key, lane] : m_lanes) {
    if (!lane.cells.empty()) lanes.push_back(&lane);
  }
  std::stable_sort(lanes.begin(), lanes.end(), [](const Lane* a, const Lane* b) { return a->calls > b->calls; });
  if (lanes.size() > kMaxLanes) lanes.resize(kMaxLanes);
  std::sort(lanes.begin(), lanes.end(), [](const Lane* a, const Lane* b) {
    return std::tie(a->processId, a->threadId) < std::tie(b->processId, b->threadId);
  });
  return lanes;
}

TraceTimeline::Geometry TraceTimeline::Measure() const {
  Geometry g;
  g.lanes = DrawnLanes();
  if (!m_grid.Fixed()) {
    // The columns in use fill at least half of a grown grid; they are spread over the
    // whole width. A fixed window keeps its own.
    int lo = kColumns, hi = -1;
    for (const Lane* lane : g.lanes) {
      for (int c = 0; c < kColumns * static_cast<int>(kMaxRows); ++c) {
        if (lane->cells[static_cast<size_t>(c)].call == 0) continue;
        lo = std::min(lo, c % kColumns);
        hi = std::max(hi, c % kColumns);
      }
    }
    if (hi >= lo) g.lo = lo, g.hi = hi;
  }
  g.scale = static_cast<double>(kColumns) / (g.hi - g.lo + 1);
  g.span = m_grid.Fixed() ? static_cast<double>(m_grid.FixedSpan())
                          : static_cast<double>(m_grid.Width()) * (g.hi - g.lo + 1);
  g.axisY = kTop + static_cast<int>(g.lanes.size()) * kLaneHeight;
  g.height = g.axisY + 70;
  g.width = kLeft + kColumns + 20;
  return g;
}

void TraceTimeline::Write(std::ostream& out, const std::string& title, Embedding embedding) const {
  const Geometry g = Measure();
  WriteFrame(out, g, title, embedding);
  WriteAxis(out, g);
  for (size_t i = 0; i < g.lanes.size(); ++i) WriteLane(out, g, *g.lanes[i], kTop + static_cast<int>(i) * kLaneHeight);
  WriteLegend(out, g);
  out << "</svg>\n";
}

void TraceTimeline::WriteFrame(std::ostream& out, const Geometry& g, const std::string& title,
                               Embedding embedding) const {
  char text[512];
  std::snprintf(text, sizeof text,
                "<svg%s width=\"%d\" height=\"%d\" viewBox=\"0 0 %d %d\" "
                "font-family=\"sans-serif\" font-size=\"11\">\n<rect width=\"100%%\" height=\"100%%\" fill=\"white\"/>\n",
                embedding == Embedding::Standalone ? " xmlns=\"http://www.w3.org/2000/svg\"" : "", g.width, g.height,
                g.width, g.height);
  out << text << "<text x=\"10\" y=\"20\" font-size=\"14\" font-weight=\"bold\">" << Html(title) << "</text>\n";
  std::snprintf(text, sizeof text,
                "<text x=\"10\" y=\"38\">%llu calls, %llu with an error (red marks), %zu of %zu threads shown, "
                "%s in all",
                static_cast<unsigned long long>(m_calls), static_cast<unsigned long long>(m_errors), g.lanes.size(),
                m_lanes.size(), FormatDuration(m_grid.Empty() ? 0 : g.span).c_str());
  out << text;
  if (m_undrawn != 0) out << "; " << m_undrawn << " calls not drawn (thread not shown or time unknown)";
  out << "</text>\n";
}

void TraceTimeline::WriteAxis(std::ostream& out, const Geometry& g) const {
  const double span = std::max(g.span, 1.0);
  const double step = TickStep(span);
  char text[512];
  for (double t = 0; t <= span; t += step) {
    const int x = kLeft + static_cast<int>(t / span * kColumns);
    std::snprintf(text, sizeof text,
                  "<line x1=\"%d\" y1=\"%d\" x2=\"%d\" y2=\"%d\" stroke=\"#ddd\"/><text x=\"%d\" y=\"%d\" "
                  "text-anchor=\"middle\">%s</text>\n",
                  x, kTop - 4, x, g.axisY + 4, x, g.axisY + 16, t == 0 ? "0" : FormatDuration(t).c_str());
    out << text;
  }
}

// A lane's bars: each run of neighbouring columns won by one call is one bar.
void TraceTimeline::WriteLane(std::ostream& out, const Geometry& g, const Lane& lane, int y) const {
  out << "<text x=\"" << kLeft - 6 << "\" y=\"" << y + 2 * kRowHeight - 2 << "\" text-anchor=\"end\">"
      << Html(lane.name.substr(0, 36)) << "</text>\n";
  std::vector<int> errorMarks;
  for (size_t row = 0; row < kMaxRows; ++row) {
    const TimelineCell* cells = lane.cells.data() + row * kColumns;
    for (int c = g.lo; c <= g.hi;) {
      int end = c + 1;
      while (end <= g.hi && cells[end].call == cells[c].call && cells[end].start == cells[c].start) ++end;
      if (cells[c].call != 0) {
        WriteBar(out, g, lane, cells[c], c, end, y + static_cast<int>(row) * kRowHeight);
        if (cells[c].error) errorMarks.push_back(c);
      }
      c = end;
    }
  }
  char text[160];
  for (const int c : errorMarks) {
    std::snprintf(text, sizeof text, "<path d=\"M%.1f %d l-3 -5 h6 z\" fill=\"%s\"/>\n", g.x(c), y + 1, kErrorColour);
    out << text;
  }
}

void TraceTimeline::WriteBar(std::ostream& out, const Geometry& g, const Lane& lane, const TimelineCell& cell,
                             int from, int to, int y) const {
  char text[320];
  const int n = std::snprintf(text, sizeof text, "<rect x=\"%.1f\" y=\"%d\" width=\"%.1f\" height=\"%d\" fill=\"%s\"",
                              g.x(from), y, (to - from) * g.scale, kRowHeight - 1,
                              FamilyColour(MethodFamily(m_methods[cell.method])));
  out.write(text, n);
  if (cell.error) out << " stroke=\"" << kErrorColour << "\"";
  if (m_linkCalls) out << " data-call=\"" << cell.call << "\"";
  out << "><title>" << Html(Tooltip(lane, cell)) << "</title></rect>\n";
}

// "14:03:07.123456 · station.exe 4242/7 · VISA::viRead · VI_ERROR_TMO (0xBFFF0015) · 2.000 s"
std::string TraceTimeline::Tooltip(const Lane& lane, const TimelineCell& cell) const {
  const std::string& method = m_methods[cell.method];
  const bool returned = cell.duration >= 0;
  return ClockText(cell.start, m_utc) + " \u00b7 " + lane.name + " \u00b7 " + method + " \u00b7 " +
         (returned ? StatusText(cell.status, IsVisaMethod(method)) : "no exit") + " \u00b7 " +
         (returned ? FormatDuration(cell.duration) : "still running at the end");
}

// The families by number of calls, each in its own colour.
void TraceTimeline::WriteLegend(std::ostream& out, const Geometry& g) const {
  std::map<std::string, uint64_t> counts;
  for (size_t i = 0; i < m_methods.size(); ++i) counts[MethodFamily(m_methods[i])] += m_methodCalls[i];
  std::vector<std::pair<uint64_t, std::string>> families;
  for (const auto& [family, calls] : counts) {
    if (calls != 0) families.emplace_back(calls, family);
  }
  std::stable_sort(families.begin(), families.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
  if (families.size() > kLegendEntries) families.resize(kLegendEntries);
  int x = 10;
  const int legendY = g.axisY + 40;
  char text[320];
  for (const auto& [calls, family] : families) {
    std::snprintf(text, sizeof text, "<rect x=\"%d\" y=\"%d\" width=\"12\" height=\"10\" fill=\"%s\"/>", x,
                  legendY - 9, FamilyColour(family));
    out << text << "<text x=\"" << x + 16 << "\" y=\"" << legendY << "\">" << Html(family.substr(0, 20)) << "</text>\n";
    x += 30 + static_cast<int>(std::min<size_t>(family.size(), 20)) * 7;
  }
  std::snprintf(text, sizeof text, "<path d=\"M%d %d l-4 -7 h8 z\" fill=\"%s\"/><text x=\"%d\" y=\"%d\">error</text>\n",
                x + 4, legendY, kErrorColour, x + 12, legendY);
  out << text;
}

}  // namespace qtrace
