// The pixel columns of a timeline, filled in one pass over calls that arrive in no
// particular time order. A column covers |Width()| nanoseconds from |Base()|; when a call
// falls outside the columns, the width doubles (neighbouring columns merge) and the
// range grows towards the call, so the grid never needs to know the capture's time range
// beforehand and its memory does not grow with the number of calls. With a fixed window
// the columns never change and calls outside it are clamped to the edge columns.
#pragma once

#include <cstdint>
#include <vector>

namespace qtrace {

// Wide enough for any difference or sum of two signed 64-bit times.
__extension__ typedef __int128 WideTime;

// What one cell of a lane shows: the call that won the cell.
struct TimelineCell {
  uint64_t call = 0;       // the call's number, 0: empty cell
  int64_t start = 0;       // ns on the trace clock
  double duration = -1;    // ns; negative: the call never returned
  int32_t status = 0;
  uint16_t method = 0;     // index into the timeline's method names
  bool error = false;
};

// True when |a| should be shown rather than |b| in a cell both cover: any call beats an
// empty cell, an error beats a success, a longer call a shorter one; of two equal calls
// the one already in the cell stays.
bool Outranks(const TimelineCell& a, const TimelineCell& b);

class TimelineGrid {
 public:
  static constexpr int kColumns = 1100;  // even: merging takes columns in pairs

  // Fixes the columns to [from, to]; no growth afterwards.
  void Fix(int64_t from, int64_t to);
  // Makes the columns cover [from, to] (from <= to), merging the |lanes|' cells
  // (each kColumns per row, rows one after the other) as the columns widen.
  void Cover(int64_t from, int64_t to, std::vector<std::vector<TimelineCell>*>& lanes);
  // The column of |ns| (clamped to the grid).
  int Column(int64_t ns) const;
  bool Empty() const { return !m_started; }
  bool Fixed() const { return m_fixed; }
  WideTime Base() const { return m_base; }
  WideTime Width() const { return m_width; }
  // The time a fixed window spans; 0 when the grid is not fixed.
  WideTime FixedSpan() const { return m_fixedSpan; }

 private:
  void Widen(bool leftwards, std::vector<std::vector<TimelineCell>*>& lanes);

  bool m_started = false;
  bool m_fixed = false;
  WideTime m_base = 0;
  WideTime m_width = 1;
  WideTime m_fixedSpan = 0;
};

}  // namespace qtrace
