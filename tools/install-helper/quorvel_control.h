#pragma once
// Closing and starting the Quorvel of this session from outside, for the installer.
//
// Closing posts WM_CLOSE to Quorvel's window, exactly what a second instance started with
// "-x" does, but without starting a second instance: a new process waits for the suite
// service before it looks at its command line, which without the service takes minutes.
#include <windows.h>

#include <string>

struct CloseOutcome {
  bool found = false;     // a Quorvel window existed
  bool ended = false;     // its process ended within the time allowed (or none was found)
  DWORD processId = 0;
  DWORD exitCode = 0;     // valid when found and ended with a process handle
};

// Closes the running Quorvel and waits up to timeoutMs for its process to end.
CloseOutcome CloseRunningQuorvel(DWORD timeoutMs);

// True when the suite service has published its information block, without which
// Quorvel cannot start.
bool SuiteServiceRuns();

// Starts exe with the option "-q" and does not wait for it. False when it cannot start.
bool StartQuorvelDetached(const std::string& exe);
