// Call durations of one key with bounded memory: count, sum and maximum exactly, and the
// quantiles from a log-linear histogram: exact below 128 ns, above that 128 buckets per
// power of two, so a reported quantile is within 1/256 of a value of its bucket. The
// buckets of one power of two are allocated when the first duration falls into it.
#pragma once

#include <array>
#include <cstdint>
#include <memory>

namespace qtrace {

class DurationHistogram {
 public:
  void Add(double ns);
  uint64_t Count() const { return m_count; }
  double Total() const { return m_total; }
  double Max() const { return m_max; }
  double Mean() const { return m_count == 0 ? 0 : m_total / static_cast<double>(m_count); }
  // The nearest-rank quantile q (0 < q <= 1): the middle of the bucket holding the
  // ceil(q * count)-th smallest duration, never above the maximum. 0 when empty.
  double Quantile(double q) const;

 private:
  static constexpr int kSubBits = 7;
  static constexpr uint64_t kSub = uint64_t{1} << kSubBits;
  static constexpr int kOctaves = 64 - kSubBits + 1;
  using Octave = std::array<uint64_t, kSub>;

  uint64_t m_count = 0;
  double m_total = 0;
  double m_max = 0;
  std::array<std::unique_ptr<Octave>, kOctaves> m_octaves;
};

}  // namespace qtrace
