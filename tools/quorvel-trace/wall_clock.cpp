#include "tools/quorvel-trace/wall_clock.h"

#include <cstdio>
#include <ctime>

namespace qtrace {
namespace {

constexpr int64_t kNsPerSecond = 1000000000;
// Calendar dates are shown for the years 1 to 9999 only (about +-2.5e11 seconds around 1970),
// where every C runtime's time conversion works.
constexpr int64_t kCalendarSeconds = 250000000000;

// The UTC calendar date and time of |seconds| since 1970, computed here rather than by the
// C runtime, some of which refuse times before 1970.
void UtcBrokenDown(int64_t seconds, std::tm& out) {
  int64_t days = seconds / 86400, rest = seconds % 86400;
  if (rest < 0) {
    rest += 86400;
    --days;
  }
  // Days to year, month and day in the proleptic Gregorian calendar (eras of 400 years).
  const int64_t z = days + 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t dayOfEra = z - era * 146097;
  const int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const int64_t mp = (5 * dayOfYear + 2) / 153;
  const int64_t day = dayOfYear - (153 * mp + 2) / 5 + 1;
  const int64_t month = mp < 10 ? mp + 3 : mp - 9;
  const int64_t year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
  out = {};
  out.tm_year = static_cast<int>(year - 1900);
  out.tm_mon = static_cast<int>(month - 1);
  out.tm_mday = static_cast<int>(day);
  out.tm_hour = static_cast<int>(rest / 3600);
  out.tm_min = static_cast<int>(rest / 60 % 60);
  out.tm_sec = static_cast<int>(rest % 60);
}

bool BrokenDown(int64_t seconds, bool utc, std::tm& out) {
  if (seconds <= -kCalendarSeconds || seconds >= kCalendarSeconds) return false;
  if (utc) {
    UtcBrokenDown(seconds, out);
    return true;
  }
  const auto t = static_cast<std::time_t>(seconds);
#ifdef _WIN32
  return localtime_s(&out, &t) == 0;
#else
  return localtime_r(&t, &out) != nullptr;
#endif
}

// Whole seconds (rounded down) and the nanoseconds within the second.
void Split(int64_t ns, int64_t& seconds, int64_t& fraction) {
  seconds = ns / kNsPerSecond;
  fraction = ns % kNsPerSecond;
  if (fraction < 0) {
    fraction += kNsPerSecond;
    --seconds;
  }
}

std::string Raw(int64_t ns) { return "@" + std::to_string(ns); }

}  // namespace

int64_t SaturatingDifference(int64_t a, int64_t b) {
  int64_t out = 0;
  if (!__builtin_sub_overflow(a, b, &out)) return out;
  return a > b ? INT64_MAX : INT64_MIN;
}

std::string ClockText(int64_t ns, bool utc) {
  // Calls come many to a second: the calendar conversion is done once per second.
  thread_local int64_t cachedSecond = INT64_MIN;
  thread_local bool cachedUtc = false, cachedValid = false;
  thread_local char cachedText[16];
  int64_t seconds = 0, fraction = 0;
  Split(ns, seconds, fraction);
  if (seconds != cachedSecond || utc != cachedUtc) {
    std::tm tm{};
    cachedValid = BrokenDown(seconds, utc, tm);
    if (cachedValid) std::snprintf(cachedText, sizeof cachedText, "%02d:%02d:%02d", tm.tm_hour, tm.tm_min, tm.tm_sec);
    cachedSecond = seconds;
    cachedUtc = utc;
  }
  if (!cachedValid) return Raw(ns);
  std::string text(cachedText, 8);
  const auto micro = static_cast<int>(fraction / 1000);
  text += '.';
  for (int scale = 100000; scale > 0; scale /= 10) text += static_cast<char>('0' + micro / scale % 10);
  return text;
}

std::string DateTimeText(int64_t ns, bool utc) {
  int64_t seconds = 0, fraction = 0;
  Split(ns, seconds, fraction);
  std::tm tm{};
  if (!BrokenDown(seconds, utc, tm)) return Raw(ns);
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%06d%s", tm.tm_year + 1900, tm.tm_mon + 1,
                tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, static_cast<int>(fraction / 1000), utc ? " UTC" : "");
  return text;
}

bool StartOfDay(int64_t ns, bool utc, int64_t& midnight) {
  int64_t seconds = 0, fraction = 0;
  Split(ns, seconds, fraction);
  std::tm tm{};
  if (!BrokenDown(seconds, utc, tm)) return false;
  const int64_t intoDay = tm.tm_hour * 3600 + tm.tm_min * 60 + tm.tm_sec;
  midnight = (seconds - intoDay) * kNsPerSecond;
  return true;
}

}  // namespace qtrace
