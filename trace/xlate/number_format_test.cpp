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
  const char16_t* end = write(buffer);
  std::string text;
  for (const char16_t* p = buffer; p != end; ++p) text += static_cast<char>(*p);
  return text;
}

std::string General(double v) {
  return Written([&](char16_t* p) { return WriteGeneral(p, v); });
}

// printf's "%.6g" with the exponent padded to three digits (two on most runtimes) and
// NaN without the sign that some runtimes show.
std::string PrintfGeneral(double v) {
  char text[64];
  std::snprintf(text, sizeof text, "%.6g", v);
  std::string s = text;
  if (s == "-nan") s = "nan";
  const std::size_t e = s.find('e');
  if (e != std::string::npos)
    while (s.size() - (e + 2) < 3) s.insert(e + 2, "0");
  return s;
}

TEST(WriteGeneral, KnownValues) {
  struct Case {
    double value;
    const char* text;
  } cases[] = {
      {0.0, "0"},          {1.5, "1.5"},           {0.1, "0.1"},          {1e10, "1e+010"},
      {1e6, "1e+006"},     {999999.0, "999999"},   {999999.5, "1e+006"},  {1234567.0, "1.23457e+006"},
      {0.0001, "0.0001"},  {0.00001, "1e-005"},    {-2.5e-7, "-2.5e-007"}, {1e100, "1e+100"},
      {1e-300, "1e-300"},  {123.456, "123.456"},   {-0.0, "-0"},
      {std::numeric_limits<double>::max(), "1.79769e+308"},
      {std::numeric_limits<double>::denorm_min(), "4.94066e-324"},
      {std::numeric_limits<double>::infinity(), "inf"},
      {-std::numeric_limits<double>::infinity(), "-inf"},
      {std::numeric_limits<double>::quiet_NaN(), "nan"},
      {-std::numeric_limits<double>::quiet_NaN(), "nan"},
  };
  for (const Case& c : cases) EXPECT_EQ(General(c.value), c.text) << c.value;
}

TEST(WriteGeneral, MatchesPrintfOverManyValues) {
  std::mt19937_64 random(20240611);
  std::vector<double> values = {0.5, 1234565.0, 1234575.0, 0.000123455, 9.999995, 99999.95, 1e-4, 9.99999e-5,
                                std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(),
                                std::numeric_limits<double>::quiet_NaN()};
  for (int i = 0; i < 40000; ++i) {
    const std::uint64_t bits = random();
    values.push_back(std::bit_cast<double>(bits));                                        // any double
    values.push_back(static_cast<double>(std::bit_cast<float>(static_cast<std::uint32_t>(bits))));  // floats
    values.push_back(static_cast<double>(static_cast<std::int64_t>(bits) >> (bits % 63)));  // counts
    const double scale = std::pow(10.0, static_cast<double>(static_cast<int>(bits % 24) - 8));
    values.push_back(std::round(static_cast<double>(bits % 100000000) / 10.0) * scale);  // near ties
  }
  int mismatches = 0;
  for (double v : values) {
    if (General(v) != PrintfGeneral(v) && ++mismatches <= 10) ADD_FAILURE() << v << ": " << General(v) << " vs " << PrintfGeneral(v);
  }
  EXPECT_EQ(mismatches, 0);
}

TEST(WriteGeneral, CountsBelowAMillionAreIntegersAndLargerOnesGoThroughDouble) {
  std::mt19937_64 random(7);
  for (int i = 0; i < 20000; ++i) {
    const auto n = static_cast<std::int64_t>(random()) >> (random() % 64);
    EXPECT_EQ(Written([&](char16_t* p) { return WriteGeneral(p, n); }), PrintfGeneral(static_cast<double>(n))) << n;
  }
}

TEST(WriteIntegers, MatchPrintf) {
  std::vector<std::uint64_t> values = {0, 9, 10, 99, 100, 999, 1000, 9999, 10000, UINT32_MAX, UINT64_MAX, INT64_MAX};
  std::mt19937_64 random(99);
  for (int i = 0; i < 20000; ++i) values.push_back(random() >> (random() % 64));
  for (std::uint64_t v : values) {
    char expected[32];
    std::snprintf(expected, sizeof expected, "%" PRIu64, v);
    EXPECT_EQ(Written([&](char16_t* p) { return WriteUnsigned(p, v); }), expected);
    const auto s = static_cast<std::int64_t>(v);
    std::snprintf(expected, sizeof expected, "%" PRId64, s);
    EXPECT_EQ(Written([&](char16_t* p) { return WriteSigned(p, s); }), expected);
    const auto h = static_cast<std::uint32_t>(v);
    std::snprintf(expected, sizeof expected, "%" PRIx32, h);
    EXPECT_EQ(Written([&](char16_t* p) { return WriteHex(p, h); }), expected);
  }
}

}  // namespace
}  // namespace quorvel::xlate
