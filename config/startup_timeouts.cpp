#include "config/startup_timeouts.h"

#include <cstdlib>

#include "config/registry_keys.h"
#include "config/suite_key.h"
#include "config/suite_values.h"
#include "base/bounded_text.h"

namespace {
constexpr DWORD kTimeoutTextSize = 256;
}  // namespace

int GetStartupTimeoutMs(int defaultMs) {
  // The value's bytes land over the default's text whatever its type, so only decimal
  // text is honoured; one spare byte keeps the buffer terminated.
  char text[kTimeoutTextSize + 1] = {};
  FormatBounded(text, kTimeoutTextSize, "%d", defaultMs);
  UniqueKey key;
  if (OpenKeyForReading64(HKEY_LOCAL_MACHINE, GetSuiteKeyPath(), KEY_ALL_ACCESS, key.Receive()) == ERROR_SUCCESS) {
    DWORD size = kTimeoutTextSize;
    if (RegQueryValueExA(key.Get(), "QuorvelStartupTimeoutMilliseconds", nullptr, nullptr,
                         reinterpret_cast<BYTE*>(text), &size) != ERROR_SUCCESS) {
      // A failed query may leave anything in the buffer.
      FormatBounded(text, kTimeoutTextSize, "%d", defaultMs);
    }
  }
  const int value = atoi(text);
  return value < 1 ? defaultMs : value;
}

int GetNkoStartupTimeoutMs(int defaultMs) {
  return ReadSuiteDword("NkoStartupTimeoutMilliseconds", defaultMs);
}

// Function-local statics: whichever static initialiser asks first reads the registry,
// so the order of initialisation across files does not matter.
int GetProcessStartupTimeoutMs() {
  static const int value = GetStartupTimeoutMs(kDefaultStartupTimeoutMs);
  return value;
}

int GetProcessNkoStartupTimeoutMs() {
  static const int value = GetNkoStartupTimeoutMs(kDefaultNkoStartupTimeoutMs);
  return value;
}

namespace {
// Reads both before the entry function runs (and so determines the suite key), while
// the process still has only one thread.
[[maybe_unused]] const bool g_timeoutsRead = (GetProcessStartupTimeoutMs(), GetProcessNkoStartupTimeoutMs(), true);
}  // namespace
