#include "trace/xlate/number_format.h"

#include <charconv>
#include <cstring>

namespace quorvel::xlate {
namespace {

constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

int CountDigits(std::uint64_t v) noexcept {
  int n = 1;
  for (;;) {
    if (v < 10) return n;
    if (v < 100) return n + 1;
    if (v < 1000) return n + 2;
    if (v < 10000) return n + 3;
    v /= 10000;
    n += 4;
  }
}

char16_t* PutNan(char16_t* p) noexcept {
  *p++ = u'n';
  *p++ = u'a';
  *p++ = u'n';
  return p;
}

}  // namespace

char16_t* WriteUnsigned(char16_t* p, std::uint64_t value) noexcept {
  const int digits = CountDigits(value);
  char16_t* end = p + digits;
  char16_t* q = end;
  while (value >= 100) {
    const std::size_t pair = static_cast<std::size_t>(value % 100) * 2;
    value /= 100;
    *--q = static_cast<char16_t>(kDigitPairs[pair + 1]);
    *--q = static_cast<char16_t>(kDigitPairs[pair]);
  }
  if (value >= 10) {
    const std::size_t pair = static_cast<std::size_t>(value) * 2;
    *--q = static_cast<char16_t>(kDigitPairs[pair + 1]);
    *--q = static_cast<char16_t>(kDigitPairs[pair]);
  } else {
    *--q = static_cast<char16_t>(u'0' + value);
  }
  return end;
}

char16_t* WriteSigned(char16_t* p, std::int64_t value) noexcept {
  std::uint64_t magnitude = static_cast<std::uint64_t>(value);
  if (value < 0) {
    *p++ = u'-';
    magnitude = 0 - magnitude;  // also right for the most negative value
  }
  return WriteUnsigned(p, magnitude);
}

char16_t* WriteHex(char16_t* p, std::uint32_t value) noexcept {
  int digits = 1;
  while (digits < 8 && (value >> (4 * digits)) != 0) ++digits;
  for (int i = digits - 1; i >= 0; --i) *p++ = static_cast<char16_t>("0123456789abcdef"[(value >> (4 * i)) & 0xF]);
  return p;
}

char16_t* WriteGeneral(char16_t* p, double value) noexcept {
  // std::to_chars with the general format and a precision is defined as printf's "%.6g"
  // (correctly rounded); only the exponent, which printf writes with two digits at least,
  // is widened here to three.
  if (value != value) return PutNan(p);  // one spelling for every NaN, whatever its sign bit
  char text[40];
  const auto result = std::to_chars(text, text + sizeof text, value, std::chars_format::general, 6);
  const char* end = result.ptr;
  const char* c = text;
  for (; c != end && *c != 'e'; ++c) *p++ = static_cast<char16_t>(*c);
  if (c == end) return p;
  *p++ = u'e';
  *p++ = static_cast<char16_t>(c[1]);  // the sign
  const char* digits = c + 2;
  for (std::ptrdiff_t n = end - digits; n < 3; ++n) *p++ = u'0';
  for (; digits != end; ++digits) *p++ = static_cast<char16_t>(*digits);
  return p;
}

char16_t* WriteGeneral(char16_t* p, std::int64_t value) noexcept {
  if (value > -1000000 && value < 1000000) return WriteSigned(p, value);
  return WriteGeneral(p, static_cast<double>(value));
}

}  // namespace quorvel::xlate
