#pragma once
// Whether the suite service and its NKO server run, and whether the NKO server can make a
// Global\ object for this program.
#include <windows.h>

inline constexpr char kServiceRunningEventName[] = "Global\\__KorvaneOmbrixServiceIsRunning";
inline constexpr char kNkoRunningEventName[] = "Global\\__KorvaneNkoServerRunningEvent";
inline constexpr char kNkoTestEventName[] = "Global\\__KorvaneHalvoricTestEventName";

// What ProbeEvent saw of a running event.
enum ProbeResult : int {
  kProbeAbsent = 0,     // the event cannot be opened
  kProbeWaiting = 1,    // it exists but was not signalled within the time-out
  kProbeSignalled = 2,
};

int ProbeEvent(const char* name, DWORD timeoutMs);

// Probes the service (for as long as the start-up time-out allows, and only when the
// service information block was found), then the NKO server, then, unless another
// instance of the session runs, has the server create a test event. True when all three
// are fine; otherwise logs the status summary, shows it in a box (returning once the box
// is closed) and returns false.
bool CheckServiceStatus();
