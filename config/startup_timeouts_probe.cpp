// Prints the two start-up time-outs this process read before main, for the tests.
// With "--change-first" it first stores other values, which must not show: the numbers
// printed are the ones read during static initialisation.
#include <cstdio>
#include <cstring>

#include "config/startup_timeouts.h"
#include "config/suite_values.h"

int main(int argc, char** argv) {
  if (argc > 1 && strcmp(argv[1], "--change-first") == 0) {
    WriteSuiteText("QuorvelStartupTimeoutMilliseconds", "4321");
    WriteSuiteText("NkoStartupTimeoutMilliseconds", "4321");
  }
  printf("%d %d\n", GetProcessStartupTimeoutMs(), GetProcessNkoStartupTimeoutMs());
  return 0;
}
