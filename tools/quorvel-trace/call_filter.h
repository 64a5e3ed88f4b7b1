// Which calls a reading command shows: the filters every reading command shares, with their
// help texts, defined once here (ReadOptionTable) and registered by each command.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "tools/quorvel-trace/call_matcher.h"

namespace qtrace {

// A --from/--to bound: seconds from the capture's first message, or a wall-clock time of day.
struct TimeBound {
  bool wallClock = false;
  int64_t ns = 0;  // from the first message, or since midnight
};

class CallFilter {
 public:
  std::string addressGlob, methodGlob, processName;
  std::optional<uint32_t> processId, threadId;
  bool errorsOnly = false;
  std::optional<double> slowerThanNs;
  std::optional<TimeBound> from, to;
  bool utc = false;  // wall-clock bounds are UTC times of day, not local ones

  // Fixes the time window once the capture's first message is known (from, to and utc are
  // read here, so they are set before).
  void Begin(int64_t firstTimestamp);
  bool Matches(const MatchedCall& call, const CallMatcher& matcher) const;
  // The time window on the trace clock, once Begin ran; false unless both --from and --to
  // were given.
  bool Window(int64_t& first, int64_t& last) const;
  bool Empty() const;

 private:
  bool InWindow(int64_t time) const;
  int64_t Resolve(const TimeBound& bound) const;
  int64_t m_first = 0;
  bool m_begun = false;
  int64_t m_fromNs = 0, m_toNs = 0;  // from and to as time since the first message, once Begin ran
};

// What every reading command takes besides its own options.
struct ReadOptions {
  CallFilter filter;
  bool skipBad = false;  // damaged lines are skipped and counted instead of refused
};

// One shared option: "--name VALUE" (or a flag when valueName is empty), its help, and how
// it is applied (an error text, or empty when taken).
struct ReadOption {
  std::string_view name, valueName, help;
  std::string (*apply)(ReadOptions& options, std::string_view value);
};
std::span<const ReadOption> ReadOptionTable();

// The time a call is placed at: its enter, or for an exit without an enter the exit.
int64_t CallTime(const MatchedCall& call);
// The method name without its library key: "viWrite" for "VISA::viWrite".
std::string_view MethodName(std::string_view method);

// "3ms", "250us", "1.5s", "800ns" in nanoseconds; false when not a duration.
bool ParseDuration(std::string_view text, double& ns);
// "12.5" (seconds from the first message) or "14:03:07[.250]"; false when neither.
bool ParseTimeBound(std::string_view text, TimeBound& bound);
// Shell-style match with * and ?, ignoring ASCII case.
bool GlobMatch(std::string_view pattern, std::string_view text);

}  // namespace qtrace
