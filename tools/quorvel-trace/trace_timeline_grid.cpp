#include "tools/quorvel-trace/trace_timeline_grid.h"

#include <algorithm>
#include <tuple>

namespace qtrace {

bool Outranks(const TimelineCell& a, const TimelineCell& b) {
  if (b.call == 0) return a.call != 0;
  if (a.call == 0) return false;
  return std::make_tuple(a.error, a.duration) > std::make_tuple(b.error, b.duration);
}

void TimelineGrid::Fix(int64_t from, int64_t to) {
  m_started = m_fixed = true;
  m_base = from;
  const WideTime span = WideTime{to} - from + 1;
  m_fixedSpan = span - 1;
  m_width = std::max<WideTime>(1, (span + kColumns - 1) / kColumns);
}

int TimelineGrid::Column(int64_t ns) const {
  const WideTime offset = WideTime{ns} - m_base;
  if (offset < 0) return 0;
  return static_cast<int>(std::min<WideTime>(offset / m_width, kColumns - 1));
}

void TimelineGrid::Cover(int64_t from, int64_t to, std::vector<std::vector<TimelineCell>*>& lanes) {
  if (!m_started) {
    m_started = true;
    m_base = from;
  }
  if (m_fixed) return;
  while (WideTime{from} < m_base) Widen(true, lanes);
  while (WideTime{to} >= m_base + m_width * kColumns) Widen(false, lanes);
}

// Doubles the column width. Growing rightwards keeps the base and halves every column
// index; growing leftwards moves the base one old grid-width back, so the old columns
// land in the right half.
void TimelineGrid::Widen(bool leftwards, std::vector<std::vector<TimelineCell>*>& lanes) {
  const int shift = leftwards ? kColumns : 0;
  for (std::vector<TimelineCell>* cells : lanes) {
    for (size_t row = 0; row < cells->size() / kColumns; ++row) {
      TimelineCell* line = cells->data() + row * kColumns;
      std::vector<TimelineCell> merged(kColumns);
      for (int c = 0; c < kColumns; ++c) {
        TimelineCell& into = merged[static_cast<size_t>((c + shift) / 2)];
        if (Outranks(line[c], into)) into = line[c];
      }
      std::copy(merged.begin(), merged.end(), line);
    }
  }
  if (leftwards) m_base -= m_width * kColumns;
  m_width *= 2;
}

}  // namespace qtrace
