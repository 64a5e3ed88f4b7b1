// Trace-clock times as wall-clock text. The trace clock counts nanoseconds since
// 1970-01-01 00:00 UTC; a capture may hold any signed 64-bit value (a library with a broken
// clock writes such values), so every difference saturates instead of overflowing and a
// time the calendar cannot show is written as its raw number.
#pragma once

#include <cstdint>
#include <string>

namespace qtrace {

// a - b, clamped to the int64 range.
int64_t SaturatingDifference(int64_t a, int64_t b);

// "14:03:07.123456" (local time, or UTC with |utc|); "@<ns>" when the time has no calendar date.
std::string ClockText(int64_t ns, bool utc);
// "2026-12-07 14:03:07.123456" (with " UTC" for UTC), or "@<ns>".
std::string DateTimeText(int64_t ns, bool utc);

// The midnight before |ns| on its calendar day (local or UTC); false when the day has no
// calendar date.
bool StartOfDay(int64_t ns, bool utc, int64_t& midnight);

}  // namespace qtrace
