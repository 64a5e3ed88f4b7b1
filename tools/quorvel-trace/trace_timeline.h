// A capture as a self-contained SVG timeline: one lane per process and thread (the
// busiest ones when there are many), nested calls in rows below each other, calls as
// bars coloured by method family, calls that returned an error marked in red, and a time
// axis. Calls are binned into the picture's pixel columns, so the picture stays the same
// size and readable however many calls the capture holds. It needs the time range and
// the lanes first: Scan sees every call once, Draw a second time.
#pragma once

#include <cstdint>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "tools/quorvel-trace/call_matcher.h"

namespace qtrace {

// "Write" for "VISA::viWrite", "Open" for "TRIL::trilOpenSession": the first capitalised
// word of the method name, the name itself when it has none.
std::string MethodFamily(std::string_view method);

class TraceTimeline {
 public:
  static constexpr int kColumns = 1100;  // width of the drawing area in pixels
  static constexpr size_t kMaxLanes = 40;
  static constexpr size_t kMaxRows = 3;  // nesting levels drawn; deeper calls go to the last

  void Scan(const MatchedCall& call, const CallMatcher& matcher);
  // Fixes lanes, colours and scale after the scan.
  void Layout();
  void Draw(const MatchedCall& call);
  void Write(std::ostream& out, const std::string& title) const;
  size_t Lanes() const { return m_lanes.size(); }
  uint64_t Unplaced() const { return m_unplaced; }

 private:
  struct Lane {
    uint32_t processId = 0, threadId = 0;
    std::string name;
    uint64_t calls = 0;
    std::vector<uint8_t> cells;  // kMaxRows x kColumns: family colour + 1, 0 empty
    std::vector<bool> errors;    // kColumns
  };
  int Column(int64_t ns) const;
  static std::string_view Method(const MatchedCall& call);
  // The call's span on the time axis; false when its times lie too far out to be drawn
  // (a library with a broken clock) or cannot be computed without overflow.
  static bool Place(const MatchedCall& call, int64_t& start, int64_t& end);

  int64_t m_first = INT64_MAX, m_last = INT64_MIN;
  uint64_t m_calls = 0, m_errors = 0, m_unplaced = 0;
  std::map<uint64_t, Lane> m_laneStats;      // every thread seen
  std::map<std::string, uint64_t> m_families;  // calls per family
  std::vector<Lane> m_lanes;                 // the lanes drawn, busiest first
  std::map<uint64_t, size_t> m_laneIndex;
  std::map<std::string, uint8_t> m_colours;  // family to palette index
};

}  // namespace qtrace
