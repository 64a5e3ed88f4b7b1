#include "tools/quorvel-trace/duration_histogram.h"

#include <bit>
#include <cmath>

namespace qtrace {

void DurationHistogram::Add(double ns) {
  // Durations below zero (clock steps) count as zero; the largest fit in 63 bits.
  const double clamped = ns > 0 ? std::fmin(ns, 9.2e18) : 0.0;
  const auto v = static_cast<uint64_t>(std::llround(clamped));
  int octave = 0;
  uint64_t sub = v;
  if (v >= kSub) {
    const int k = static_cast<int>(std::bit_width(v)) - 1;
    octave = k - kSubBits + 1;
    sub = (v >> (k - kSubBits)) - kSub;
  }
  auto& buckets = m_octaves[static_cast<size_t>(octave)];
  if (!buckets) buckets = std::make_unique<Octave>();
  ++(*buckets)[sub];
  ++m_count;
  m_total += clamped;
  if (clamped > m_max) m_max = clamped;
}

double DurationHistogram::Quantile(double q) const {
  if (m_count == 0) return 0;
  auto rank = static_cast<uint64_t>(std::ceil(q * static_cast<double>(m_count)));
  if (rank < 1) rank = 1;
  uint64_t seen = 0;
  for (int octave = 0; octave < kOctaves; ++octave) {
    const auto& buckets = m_octaves[static_cast<size_t>(octave)];
    if (!buckets) continue;
    for (uint64_t sub = 0; sub < kSub; ++sub) {
      seen += (*buckets)[sub];
      if (seen < rank) continue;
      if (octave == 0) return static_cast<double>(sub);
      const int shift = octave - 1;
      const double low = static_cast<double>((sub + kSub) << shift);
      const double middle = low + static_cast<double>((uint64_t{1} << shift) - 1) / 2;
      return std::fmin(middle, m_max);
    }
  }
  return m_max;
}

}  // namespace qtrace
