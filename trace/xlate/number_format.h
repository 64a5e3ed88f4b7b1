// Number formats of the trace XML, written straight into UTF-16 without the C runtime's
// printf (whose exponent width differs between runtimes).
#pragma once

#include <cstddef>
#include <cstdint>

namespace quorvel::xlate {

// Upper bounds of what each writer produces, for reservations.
inline constexpr std::size_t kMaxDecimalChars = 20;  // "-9223372036854775808"
inline constexpr std::size_t kMaxHexChars = 8;       // 32-bit, no prefix
inline constexpr std::size_t kMaxGeneralChars = 16;  // "-1.23457e+308"

// Decimal, minus sign when negative, no leading zeros.
char16_t* WriteUnsigned(char16_t* p, std::uint64_t value) noexcept;
char16_t* WriteSigned(char16_t* p, std::int64_t value) noexcept;

// Lowercase hexadecimal without leading zeros (0 gives "0").
char16_t* WriteHex(char16_t* p, std::uint32_t value) noexcept;

// General floating format with 6 significant digits: fixed notation when the decimal
// exponent is in [-4, 6), exponent notation otherwise; trailing zeros and a trailing
// point removed; the exponent signed and at least three digits ("1e+006"). Infinities
// are written "inf" and "-inf", every NaN "nan".
char16_t* WriteGeneral(char16_t* p, double value) noexcept;

// The same for a signed 64-bit count converted to a double (elapsed times); counts below
// a million in magnitude are exact integers in that format and skip the conversion.
char16_t* WriteGeneral(char16_t* p, std::int64_t value) noexcept;

}  // namespace quorvel::xlate
