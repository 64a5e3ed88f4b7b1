#include "tools/quorvel-trace/call_filter.h"

#include <charconv>
#include <cmath>
#include <limits>

#include "tools/quorvel-trace/trace_message.h"
#include "tools/quorvel-trace/wall_clock.h"

namespace qtrace {
namespace {

constexpr int64_t kNsPerSecond = 1000000000;
constexpr int64_t kNsPerDay = 86400 * kNsPerSecond;

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool ParseNumber(std::string_view text, double& out) {
  if (text.empty() || text[0] == '+' || text[0] == '-') return false;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
  return ec == std::errc() && end == text.data() + text.size() && std::isfinite(out);
}

template <typename Int>
bool ParseWhole(std::string_view text, Int& out) {
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
  return !text.empty() && ec == std::errc() && end == text.data() + text.size();
}

// "HH:MM:SS[.fff]" as nanoseconds since midnight.
bool ParseTimeOfDay(std::string_view text, int64_t& ns) {
  if (text.size() < 8 || text[2] != ':' || text[5] != ':') return false;
  unsigned hours = 0, minutes = 0;
  double seconds = 0;
  if (!ParseWhole(text.substr(0, 2), hours) || !ParseWhole(text.substr(3, 2), minutes) ||
      !ParseNumber(text.substr(6), seconds) || hours > 23 || minutes > 59 || seconds >= 60) {
    return false;
  }
  ns = (int64_t{hours} * 3600 + int64_t{minutes} * 60) * kNsPerSecond + std::llround(seconds * 1e9);
  return true;
}

std::string Expect(bool ok, std::string_view what) { return ok ? std::string() : "expects " + std::string(what); }

// Parses |text| into |slot|, which is left unset when it does not parse.
template <typename T>
std::string Take(std::optional<T>& slot, std::string_view text, bool (*parse)(std::string_view, T&),
                 std::string_view what) {
  T value{};
  const bool ok = parse(text, value);
  if (ok) slot = value;
  return Expect(ok, what);
}

std::string_view Address(const MatchedCall& call) {
  return call.enter != nullptr ? std::string_view(call.enter->address) : call.exit->address;
}

constexpr std::string_view kTimeBoundForm = "seconds or HH:MM:SS[.fff]";

constexpr ReadOption kReadOptions[] = {
    {"--address", "GLOB", "only calls to instrument addresses matching GLOB (* and ?, any case)",
     [](ReadOptions& o, std::string_view v) { return Expect(!(o.filter.addressGlob = v).empty(), "a pattern"); }},
    {"--method", "GLOB", "only calls of methods matching GLOB (the name after VISA::, e.g. viRead)",
     [](ReadOptions& o, std::string_view v) { return Expect(!(o.filter.methodGlob = v).empty(), "a pattern"); }},
    {"--process", "PID|NAME", "only calls of this process id, or of programs whose name matches NAME",
     [](ReadOptions& o, std::string_view v) {
       uint32_t pid = 0;
       if (ParseWhole(v, pid)) o.filter.processId = pid;
       else o.filter.processName = v;
       return Expect(!v.empty(), "a process id or name");
     }},
    {"--thread", "TID", "only calls of this thread id",
     [](ReadOptions& o, std::string_view v) {
       return Take(o.filter.threadId, v, ParseWhole<uint32_t>, "a thread id");
     }},
    {"--errors", "", "only calls that returned an error",
     [](ReadOptions& o, std::string_view) { return (o.filter.errorsOnly = true, std::string()); }},
    {"--slower-than", "DURATION", "only calls that took longer than DURATION (800ns, 250us, 3ms, 2s)",
     [](ReadOptions& o, std::string_view v) {
       return Take(o.filter.slowerThanNs, v, ParseDuration, "a duration such as 3ms, 250us or 2s");
     }},
    {"--from", "T",
     "only calls entered at or after T: seconds from the capture's first message\n"
     "(12.5) or a wall-clock time HH:MM:SS[.fff]",
     [](ReadOptions& o, std::string_view v) { return Take(o.filter.from, v, ParseTimeBound, kTimeBoundForm); }},
    {"--to", "T", "only calls entered at or before T (as --from)",
     [](ReadOptions& o, std::string_view v) { return Take(o.filter.to, v, ParseTimeBound, kTimeBoundForm); }},
    {"--utc", "", "times in UTC instead of local time (shown and in --from/--to)",
     [](ReadOptions& o, std::string_view) { return (o.filter.utc = true, std::string()); }},
    {"--skip-bad", "", "skip damaged lines (and say how many) instead of refusing the file",
     [](ReadOptions& o, std::string_view) { return (o.skipBad = true, std::string()); }},
};

}  // namespace

std::span<const ReadOption> ReadOptionTable() { return kReadOptions; }

int64_t CallTime(const MatchedCall& call) {
  return call.enter != nullptr ? call.enter->timestamp : call.exit->timestamp;
}

std::string_view MethodName(std::string_view method) {
  const size_t colons = method.find("::");
  return colons == std::string_view::npos ? method : method.substr(colons + 2);
}

bool ParseDuration(std::string_view text, double& ns) {
  static constexpr std::pair<std::string_view, double> kUnits[] = {{"ns", 1}, {"us", 1e3}, {"ms", 1e6}, {"s", 1e9}};
  for (const auto& [unit, scale] : kUnits) {
    if (text.size() > unit.size() && text.ends_with(unit)) {
      double value = 0;
      if (!ParseNumber(text.substr(0, text.size() - unit.size()), value)) return false;
      ns = value * scale;
      return true;
    }
  }
  return false;
}

bool ParseTimeBound(std::string_view text, TimeBound& bound) {
  if (text.find(':') != std::string_view::npos) {
    bound.wallClock = true;
    return ParseTimeOfDay(text, bound.ns);
  }
  double seconds = 0;
  if (!ParseNumber(text, seconds) || seconds > 9e9) return false;
  bound.wallClock = false;
  bound.ns = std::llround(seconds * 1e9);
  return true;
}

bool GlobMatch(std::string_view pattern, std::string_view text) {
  // Iterative matching with one backtrack point: linear in practice, never exponential.
  size_t p = 0, t = 0, starP = std::string_view::npos, starT = 0;
  while (t < text.size()) {
    if (p < pattern.size() && (pattern[p] == '?' || Lower(pattern[p]) == Lower(text[t]))) {
      ++p, ++t;
    } else if (p < pattern.size() && pattern[p] == '*') {
      starP = p++;
      starT = t;
    } else if (starP != std::string_view::npos) {
      p = starP + 1;
      t = ++starT;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

void CallFilter::Begin(int64_t firstTimestamp) {
  m_first = firstTimestamp;
  m_begun = true;
  // A wall-clock bound takes a calendar conversion: resolved once here, not for every call.
  if (from) m_fromNs = Resolve(*from);
  if (to) m_toNs = Resolve(*to);
}

// A wall-clock bound is the time of day on the first message's day; a time more than
// twelve hours before the first message means the next day (a capture across midnight).
int64_t CallFilter::Resolve(const TimeBound& bound) const {
  if (!bound.wallClock) return bound.ns;
  int64_t midnight = 0;
  if (!StartOfDay(m_first, utc, midnight)) return bound.ns;
  int64_t at = midnight + bound.ns;
  if (SaturatingDifference(m_first, at) > kNsPerDay / 2) at += kNsPerDay;
  return SaturatingDifference(at, m_first);
}

// Before Begin every call counts as at the first message, with the bounds resolved on the spot.
bool CallFilter::InWindow(int64_t time) const {
  const int64_t since = SaturatingDifference(time, m_begun ? m_first : time);
  if (from && since < (m_begun ? m_fromNs : Resolve(*from))) return false;
  if (to && since > (m_begun ? m_toNs : Resolve(*to))) return false;
  return true;
}

bool CallFilter::Window(int64_t& first, int64_t& last) const {
  if (!from || !to || !m_begun) return false;
  const auto at = [&](int64_t sinceFirst) {
    int64_t t = 0;
    return __builtin_add_overflow(m_first, sinceFirst, &t) ? (sinceFirst < 0 ? INT64_MIN : INT64_MAX) : t;
  };
  first = at(m_fromNs);
  last = at(m_toNs);
  return true;
}

bool CallFilter::Matches(const MatchedCall& call, const CallMatcher& matcher) const {
  if (processId && call.processId != *processId) return false;
  if (threadId && call.threadId != *threadId) return false;
  if (errorsOnly && (call.exit == nullptr || call.exit->kind != MessageKind::Error)) return false;
  if (slowerThanNs && (call.exit == nullptr || !(call.exit->elapsedNs > *slowerThanNs))) return false;
  if ((from || to) && !InWindow(CallTime(call))) return false;
  if (!addressGlob.empty() && !GlobMatch(addressGlob, Unescape(Address(call)))) return false;
  if (!methodGlob.empty()) {
    // An exit without its enter names only its library: its method is unknown.
    if (call.enter == nullptr || !GlobMatch(methodGlob, MethodName(Unescape(call.enter->method)))) return false;
  }
  if (!processName.empty() && !GlobMatch(processName, Unescape(matcher.AppName(call.processId)))) return false;
  return true;
}

bool CallFilter::Empty() const {
  return addressGlob.empty() && methodGlob.empty() && processName.empty() && !processId && !threadId &&
         !errorsOnly && !slowerThanNs && !from && !to;
}

}  // namespace qtrace
