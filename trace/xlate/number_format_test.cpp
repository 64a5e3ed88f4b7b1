// The number writers against the C runtime's printf over many values: %g with the
// exponent widened to three digits, %lld/%llu and %x.
#include <gtest/gtest.h>

#include <bit>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <limits>
#include <random>
#include <string>

#include "trace/xlate/number_format.h"

namespace quorvel::xlate {
namespace {

template <typename Writer>
std::string Written(Writer write) {
  char16_t buffer[64];
  char16_t* end = write(buffer);
  return std::string(buffer + 0, end);
}

template <typename T>
std::string General(T v) {
  return Written([&](char16_t* p) { return WriteGeneral(p, v); });
}

template <typename T>
std::string Printf(const char* format, T v) {
  char text[64];
  std::snprintf(text, sizeof text, format, v);
  return text;
}

// printf's "%.6g" with the exponent padded to three digits (two on most runtimes) and
// NaN without the sign that some runtimes show.
std::string PrintfGeneral(double v) {
  std::string s = Printf("%.6g", v);
  if (s == "-nan") s = "nan";
  const std::size_t e = s.find('e');
  if (e != std::string::npos)
    while (s.size() - (e + 2) < 3) s.insert(e + 2, "0");
  return s;
}

// The exponent's three digits, the sign of zero and NaN without a sign, which the
// comparison with printf below takes from the helper above.
TEST(WriteGeneral, KnownValues) {
  const std::pair<double, std::string> cases[] = {
      {1e10, "1e+010"}, {1234567.0, "1.23457e+006"}, {-2.5e-7, "-2.5e-007"}, {1e100, "1e+100"},
      {-0.0, "-0"},     {-std::numeric_limits<double>::quiet_NaN(), "nan"},
  };
  for (const auto& [value, text] : cases) EXPECT_EQ(General(value), text) << value;
}

// Doubles of every kind, floats widened, near-ties and counts, which below a million are
// integers and above go through double.
TEST(WriteGeneral, MatchesPrintfOverManyValues) {
  std::mt19937_64 random(20240611);
  int mismatches = 0;
  const auto check = [&](const std::string& actual, double v) {
    const std::string expected = PrintfGeneral(v);
    if (actual != expected && ++mismatches <= 10) ADD_FAILURE() << v << ": " << actual << " not " << expected;
  };
  using limits = std::numeric_limits<double>;
  for (double v : {0.5, 1234565.0, 1234575.0, 0.000123455, 9.999995, 99999.95, 1e-4, 9.99999e-5, 999999.5, 1e-300,
                   limits::max(), limits::denorm_min(), limits::infinity(), -limits::infinity(), limits::quiet_NaN()})
    check(General(v), v);
  for (const std::int64_t v : std::initializer_list<std::int64_t>{999999, 1000000, -999999, -1000000, INT64_MIN, INT64_MAX}) {
    check(General(v), static_cast<double>(v));
  }
  for (int i = 0; i < 40000; ++i) {
    const std::uint64_t bits = random();
    const auto count = static_cast<std::int64_t>(bits) >> (bits % 64);
    const double scale = std::pow(10.0, static_cast<double>(static_cast<int>(bits % 24) - 8));
    const auto asFloat = static_cast<double>(std::bit_cast<float>(static_cast<std::uint32_t>(bits)));
    for (double v : {std::bit_cast<double>(bits), asFloat, static_cast<double>(count),
                     std::round(static_cast<double>(bits % 100000000) / 10.0) * scale})
      check(General(v), v);
    check(General(count), static_cast<double>(count));
  }
  EXPECT_EQ(mismatches, 0);
}

TEST(WriteIntegers, MatchPrintf) {
  std::vector<std::uint64_t> values = {0, 9, 10, 99, 100, 999, 1000, 9999, 10000, UINT32_MAX, UINT64_MAX, INT64_MAX, 1ull << 63};
  std::mt19937_64 random(99);
  for (int i = 0; i < 20000; ++i) values.push_back(random() >> (random() % 64));
  for (std::uint64_t v : values) {
    const auto s = static_cast<std::int64_t>(v);
    const auto h = static_cast<std::uint32_t>(v);
    EXPECT_EQ(Written([&](char16_t* p) { return WriteUnsigned(p, v); }), Printf("%" PRIu64, v));
    EXPECT_EQ(Written([&](char16_t* p) { return WriteSigned(p, s); }), Printf("%" PRId64, s));
    EXPECT_EQ(Written([&](char16_t* p) { return WriteHex(p, h); }), Printf("%" PRIx32, h));
  }
}

}  // namespace
}  // namespace quorvel::xlate
