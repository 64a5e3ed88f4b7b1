#include "wall_clock.h"

#include <cstdio>
#include <ctime>

namespace qtrace {
namespace {

constexpr int64_t kNsPerSecond = 1000000000;
// Calendar dates are shown for the years 1 to 9999 only (about +-2.5e11 seconds around 1970),
// where every C runtime's time conversion works.
constexpr int64_t kCalendarSeconds = 250000000000;

bool BrokenDown(int64_t seconds, bool utc, std::tm& out) {
  if (seconds <= -kCalendarSeconds || seconds >= kCalendarSeconds) return false;
  const auto t = static_cast<std::time_t>(seconds);
#ifdef _WIN32
  return (utc ? gmtime_s(&out, &t) : localtime_s(&out, &t)) == 0;
#else
  return (utc ? gmtime_r(&t, &out) : localtime_r(&t, &out)) != nullptr;
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
  int64_t seconds = 0, fraction = 0;
  Split(ns, seconds, fraction);
  std::tm tm{};
  if (!BrokenDown(seconds, utc, tm)) return Raw(ns);
  char text[32];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d.%06d", tm.tm_hour, tm.tm_min, tm.tm_sec,
                static_cast<int>(fraction / 1000));
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
