#include "tools/quorvel-trace/trace_timeline.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <tuple>

#include "tools/quorvel-trace/trace_summary.h"
#include "tools/quorvel-trace/wall_clock.h"

namespace qtrace {
namespace {

constexpr int kLeft = 230;  // room for the lane names
constexpr int kTop = 60;
constexpr int kRowHeight = 9;
constexpr int kLaneGap = 6;
constexpr int kLaneHeight = static_cast<int>(TraceTimeline::kMaxRows) * kRowHeight + kLaneGap;
constexpr const char* kPalette[] = {"#4e79a7", "#f28e2b", "#59a14f", "#b07aa1", "#76b7b2",
                                    "#edc948", "#9c755f", "#ff9da7", "#86bcb6", "#bab0ac"};
constexpr size_t kNamedColours = std::size(kPalette) - 1;  // the last one is "other"
constexpr const char* kErrorColour = "#d62728";

std::string Xml(std::string_view text) {
  std::string out;
  for (const char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default: out += static_cast<unsigned char>(c) < 0x20 ? ' ' : c;
    }
  }
  return out;
}

// A step of 1, 2 or 5 times a power of ten giving at most about ten ticks over |span|.
int64_t TickStep(int64_t span) {
  int64_t step = 1;
  for (int64_t decade = 1; decade <= INT64_MAX / 10; decade *= 10) {
    for (const int64_t m : {1, 2, 5}) {
      step = m * decade;
      if (span / step <= 10) return step;
    }
  }
  return step;
}

}  // namespace

std::string MethodFamily(std::string_view method) {
  const size_t colons = method.find("::");
  const std::string_view name = colons == std::string_view::npos ? method : method.substr(colons + 2);
  const size_t upper = name.find_first_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ");
  if (upper == std::string_view::npos) return std::string(name.empty() ? "?" : name);
  size_t end = upper + 1;
  while (end < name.size() && name[end] >= 'a' && name[end] <= 'z') ++end;
  return std::string(name.substr(upper, end - upper));
}

std::string_view TraceTimeline::Method(const MatchedCall& call) {
  return call.enter != nullptr ? std::string_view(call.enter->method) : std::string_view("?");
}
bool TraceTimeline::Place(const MatchedCall& call, int64_t& start, int64_t& end) {
  // Within 2^62 of the clock's zero every span between two placed times fits in 63 bits.
  constexpr int64_t kLimit = int64_t{1} << 62;
  if (call.enter != nullptr) {
    start = call.enter->timestamp;
  } else {
    const double elapsed = std::fmax(call.exit->elapsedNs, 0);
    if (elapsed >= 0x1p62) return false;
    start = SaturatingDifference(call.exit->timestamp, static_cast<int64_t>(elapsed));
  }
  end = call.exit != nullptr ? std::max(call.exit->timestamp, start) : start;
  return start > -kLimit && start < kLimit && end > -kLimit && end < kLimit;
}

void TraceTimeline::Scan(const MatchedCall& call, const CallMatcher& matcher) {
  ++m_calls;
  if (call.exit != nullptr && call.exit->kind == MessageKind::Error) ++m_errors;
  int64_t start = 0, end = 0;
  if (!Place(call, start, end)) {
    ++m_unplaced;
    return;
  }
  m_first = std::min(m_first, start);
  m_last = std::max(m_last, end);
  Lane& lane = m_laneStats[uint64_t{call.processId} << 32 | call.threadId];
  if (lane.calls++ == 0) {
    lane.processId = call.processId;
    lane.threadId = call.threadId;
    const std::string app = Unescape(matcher.AppName(call.processId));
    lane.name = (app.empty() ? "process" : app) + " " + std::to_string(call.processId) + "/" +
                std::to_string(call.threadId);
  }
  ++m_families[MethodFamily(Method(call))];
}

void TraceTimeline::Layout() {
  for (auto& [key, lane] : m_laneStats) m_lanes.push_back(lane);
  std::stable_sort(m_lanes.begin(), m_lanes.end(), [](const Lane& a, const Lane& b) { return a.calls > b.calls; });
  if (m_lanes.size() > kMaxLanes) m_lanes.resize(kMaxLanes);
  std::sort(m_lanes.begin(), m_lanes.end(), [](const Lane& a, const Lane& b) {
    return std::tie(a.processId, a.threadId) < std::tie(b.processId, b.threadId);
  });
  for (size_t i = 0; i < m_lanes.size(); ++i) {
    m_lanes[i].cells.assign(kMaxRows * kColumns, 0);
    m_lanes[i].errors.assign(kColumns, false);
    m_laneIndex[uint64_t{m_lanes[i].processId} << 32 | m_lanes[i].threadId] = i;
  }
  std::vector<std::pair<std::string, uint64_t>> families(m_families.begin(), m_families.end());
  std::stable_sort(families.begin(), families.end(), [](const auto& a, const auto& b) { return a.second > b.second; });
  for (size_t i = 0; i < families.size(); ++i) {
    m_colours[families[i].first] = static_cast<uint8_t>(std::min(i, kNamedColours));
  }
  if (m_first > m_last) m_first = m_last = 0;
}

int TraceTimeline::Column(int64_t ns) const {
  const double span = static_cast<double>(m_last - m_first) + 1;
  const double at = static_cast<double>(ns - m_first) / span * kColumns;
  return std::clamp(static_cast<int>(at), 0, kColumns - 1);
}

void TraceTimeline::Draw(const MatchedCall& call) {
  const auto it = m_laneIndex.find(uint64_t{call.processId} << 32 | call.threadId);
  int64_t start = 0, end = 0;
  if (it == m_laneIndex.end() || !Place(call, start, end)) return;
  Lane& lane = m_lanes[it->second];
  const size_t row = std::min(call.depth, kMaxRows - 1);
  const auto colour = static_cast<uint8_t>(m_colours[MethodFamily(Method(call))] + 1);
  const int from = Column(start), to = Column(end);
  for (int c = from; c <= to; ++c) lane.cells[row * kColumns + static_cast<size_t>(c)] = colour;
  if (call.exit != nullptr && call.exit->kind == MessageKind::Error) lane.errors[static_cast<size_t>(from)] = true;
}

void TraceTimeline::Write(std::ostream& out, const std::string& title) const {
  const int height = kTop + static_cast<int>(m_lanes.size()) * kLaneHeight + 70;
  const int width = kLeft + kColumns + 20;
  char text[512];
  std::snprintf(text, sizeof text,
                "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%d\" height=\"%d\" viewBox=\"0 0 %d %d\" "
                "font-family=\"sans-serif\" font-size=\"11\">\n<rect width=\"100%%\" height=\"100%%\" fill=\"white\"/>\n",
                width, height, width, height);
  out << text << "<text x=\"10\" y=\"20\" font-size=\"14\" font-weight=\"bold\">" << Xml(title) << "</text>\n";
  std::snprintf(text, sizeof text,
                "<text x=\"10\" y=\"38\">%llu calls, %llu with an error (red marks), %zu of %zu threads shown, "
                "%s in all%s</text>\n",
                static_cast<unsigned long long>(m_calls), static_cast<unsigned long long>(m_errors), m_lanes.size(),
                m_laneStats.size(), FormatDuration(static_cast<double>(m_last - m_first)).c_str(),
                m_unplaced == 0 ? "" : ("; " + std::to_string(m_unplaced) + " not drawn (times off the axis)").c_str());
  out << text;
  // Time axis with gridlines.
  const int64_t span = m_last - m_first, step = TickStep(span);
  const int axisY = kTop + static_cast<int>(m_lanes.size()) * kLaneHeight;
  for (int64_t t = 0; t <= span; t += step) {
    const int x = kLeft + Column(m_first + t);
    std::snprintf(text, sizeof text,
                  "<line x1=\"%d\" y1=\"%d\" x2=\"%d\" y2=\"%d\" stroke=\"#ddd\"/><text x=\"%d\" y=\"%d\" "
                  "text-anchor=\"middle\">%s</text>\n",
                  x, kTop - 4, x, axisY + 4, x, axisY + 16, t == 0 ? "0" : FormatDuration(static_cast<double>(t)).c_str());
    out << text;
  }
  // Lanes: bars are runs of neighbouring columns of one family.
  for (size_t i = 0; i < m_lanes.size(); ++i) {
    const Lane& lane = m_lanes[i];
    const int y = kTop + static_cast<int>(i) * kLaneHeight;
    out << "<text x=\"" << kLeft - 6 << "\" y=\"" << y + 2 * kRowHeight - 2 << "\" text-anchor=\"end\">"
        << Xml(lane.name.substr(0, 36)) << "</text>\n";
    for (size_t row = 0; row < kMaxRows; ++row) {
      const uint8_t* cells = lane.cells.data() + row * kColumns;
      for (int c = 0; c < kColumns;) {
        int end = c + 1;
        while (end < kColumns && cells[end] == cells[c]) ++end;
        if (cells[c] != 0) {
          std::snprintf(text, sizeof text, "<rect x=\"%d\" y=\"%d\" width=\"%d\" height=\"%d\" fill=\"%s\"/>\n",
                        kLeft + c, y + static_cast<int>(row) * kRowHeight, end - c, kRowHeight - 1,
                        kPalette[cells[c] - 1]);
          out << text;
        }
        c = end;
      }
    }
    for (int c = 0; c < kColumns; ++c) {
      if (!lane.errors[static_cast<size_t>(c)]) continue;
      std::snprintf(text, sizeof text, "<path d=\"M%d %d l-3 -5 h6 z\" fill=\"%s\"/>\n", kLeft + c, y + 1,
                    kErrorColour);
      out << text;
    }
  }
  // Legend: the families by number of calls.
  int x = 10;
  const int legendY = axisY + 40;
  std::vector<std::pair<uint8_t, std::string>> legend;
  for (const auto& [family, colour] : m_colours) {
    if (colour < kNamedColours) legend.emplace_back(colour, family);
  }
  std::sort(legend.begin(), legend.end());
  if (m_colours.size() > kNamedColours) legend.emplace_back(static_cast<uint8_t>(kNamedColours), "other");
  for (const auto& [colour, family] : legend) {
    std::snprintf(text, sizeof text, "<rect x=\"%d\" y=\"%d\" width=\"12\" height=\"10\" fill=\"%s\"/>", x,
                  legendY - 9, kPalette[colour]);
    out << text << "<text x=\"" << x + 16 << "\" y=\"" << legendY << "\">" << Xml(family.substr(0, 20)) << "</text>\n";
    x += 30 + static_cast<int>(std::min<size_t>(family.size(), 20)) * 7;
  }
  std::snprintf(text, sizeof text, "<path d=\"M%d %d l-4 -7 h8 z\" fill=\"%s\"/><text x=\"%d\" y=\"%d\">error</text>\n",
                x + 4, legendY, kErrorColour, x + 12, legendY);
  out << text << "</svg>\n";
}

}  // namespace qtrace
