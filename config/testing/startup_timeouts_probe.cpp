// Stores the two start-up time-outs this process read before main as the suite key's
// "ProbeResult" ("<startup> <nko>"), for the tests. It first overwrites both registry
// values, so what it stores can only be what was read during static initialisation.
#include <cstdio>

#include "config/startup_timeouts.h"
#include "config/suite_values.h"
#include "base/bounded_text.h"

int main() {
  WriteSuiteText("QuorvelStartupTimeoutMilliseconds", "4321");
  WriteSuiteText("NkoStartupTimeoutMilliseconds", "4321");
  char result[64];
  FormatBounded(result, sizeof result, "%d %d", GetProcessStartupTimeoutMs(), GetProcessNkoStartupTimeoutMs());
  return WriteSuiteText("ProbeResult", result) ? 0 : 1;
}
