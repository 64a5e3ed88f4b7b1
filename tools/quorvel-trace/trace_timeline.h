// A capture as a self-contained SVG timeline: one lane per process and thread (the
// busiest ones when there are many), nested calls in rows below each other, calls as
// bars in a colour fixed per method family, calls that returned an error outlined and
// marked in red, and a time axis. Calls are binned into the picture's pixel columns (each
// column shows the call that matters most there), so the picture stays the same size and
// readable however many calls the capture holds. Every drawn bar is one call and carries
// a tooltip with its time, thread, method, status and duration. The calls are taken in
// one pass, in any time order.
#pragma once

#include <cstdint>
#include <map>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "tools/quorvel-trace/call_matcher.h"
#include "tools/quorvel-trace/trace_timeline_grid.h"

namespace qtrace {

// "Write" for "VISA::viWrite", "Open" for "TRIL::trilOpenSession": the first capitalised
// word of the method name, the name itself when it has none.
std::string MethodFamily(std::string_view method);
// The colour of a family's bars: the same for a family in every picture.
const char* FamilyColour(std::string_view family);

class TraceTimeline {
 public:
  static constexpr int kColumns = TimelineGrid::kColumns;  // width of the drawing area in pixels
  static constexpr size_t kMaxLanes = 40;
  // Threads that get a lane of cells: the first ones seen. Of these the busiest are drawn.
  static constexpr size_t kTrackedLanes = 64;
  static constexpr size_t kMaxRows = 3;  // nesting levels drawn; deeper calls go to the last

  // Draws exactly [from, to] (ns on the trace clock) instead of the calls' own range.
  void SetWindow(int64_t from, int64_t to);
  // Bars carry data-call="N" with the number given to Add, for a page that links them.
  void LinkCalls() { m_linkCalls = true; }
  // Tooltips give wall-clock times in UTC instead of local time.
  void SetUtc(bool utc) { m_utc = utc; }
  // One call; |number| (from 1) names it in the page's links.
  void Add(const MatchedCall& call, const CallMatcher& matcher, uint64_t number = 0);
  // A file of its own declares the SVG namespace; inside an HTML page the parser supplies
  // it, and the page keeps no address of any kind.
  enum class Embedding { Standalone, InHtml };
  void Write(std::ostream& out, const std::string& title, Embedding embedding = Embedding::Standalone) const;
  size_t Lanes() const;
  uint64_t Calls() const { return m_calls; }
  // Calls that have no place in the picture: their thread has no lane, or their time is
  // unknown (an exit without its enter whose elapsed time is not a number).
  uint64_t Undrawn() const { return m_undrawn; }

 private:
  struct Lane {
    uint32_t processId = 0, threadId = 0;
    std::string name;
    uint64_t calls = 0;
    std::vector<TimelineCell> cells;  // kMaxRows x kColumns once tracked, else empty
  };
  struct Geometry;  // where the drawn lanes, the axis and the legend go

  uint16_t MethodIndex(const MatchedCall& call);
  std::vector<const Lane*> DrawnLanes() const;
  Geometry Measure() const;
  void WriteFrame(std::ostream& out, const Geometry& g, const std::string& title, Embedding embedding) const;
  void WriteAxis(std::ostream& out, const Geometry& g) const;
  void WriteLane(std::ostream& out, const Geometry& g, const Lane& lane, int y) const;
  void WriteBar(std::ostream& out, const Geometry& g, const Lane& lane, const TimelineCell& cell, int from, int to,
                int y) const;
  void WriteLegend(std::ostream& out, const Geometry& g) const;
  std::string Tooltip(const Lane& lane, const TimelineCell& cell) const;

  TimelineGrid m_grid;
  bool m_linkCalls = false;
  bool m_utc = false;
  uint64_t m_calls = 0, m_errors = 0, m_undrawn = 0;
  std::map<uint64_t, Lane> m_lanes;  // every thread seen, by process << 32 | thread
  std::vector<std::vector<TimelineCell>*> m_tracked;
  std::vector<std::string> m_methods;  // unescaped; index 0: any method past the limit
  std::vector<uint64_t> m_methodCalls;  // calls per method
  std::map<std::string, uint16_t, std::less<>> m_methodIndex;  // by the method as captured
  std::string m_key;  // the lookup key of an exit without its enter, reused
};

}  // namespace qtrace
