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

// The three facts the status summary shows.
struct ServiceStatus {
  int serviceStatus = 0;
  int nkoStatus = 0;
  int nkoWorking = 0;
};

// Probes the service (as long as the start-up time-out allows and only when the service
// information block was found), then the NKO server, then has the server create a test
// event.
ServiceStatus ProbeServiceStatus();

// True when the program may run. Otherwise logs the status summary, shows it in a box
// (the call returns once the box is closed) and returns false.
bool CheckServiceStatus();

// The summary text for the three values (at most 1023 characters).
void FormatServiceStatusSummary(const ServiceStatus& status, char* buffer, size_t size);
