// quorvel.exe: the per-desktop control process of the suite. Every instance first makes
// sure the suite service runs; then the first instance of the log-on session runs the
// hidden window's loop, while a later one forwards its option to it and ends.
#include <windows.h>

#include "shell/command_options.h"
#include "shell/event_log.h"
#include "shell/first_instance.h"
#include "shell/instance_lock.h"
#include "shell/second_instance.h"
#include "shell/startup_checks.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int) {
  if (!PassStartupChecks()) return 1;

  bool alreadyRunning = false;
  NkoHandle* lock = CreateInstanceLock(alreadyRunning);
  if (!NkoIsValid(lock)) {
    ReportInstanceLockFailure();
    return 1;
  }
  if (alreadyRunning) return ForwardToRunningInstance(commandLine, lock);

  if (ParseCommandOption(commandLine) == CommandOption::kExit) {
    NkoClose(lock);
    WriteEventLog("Quorvel is already running.  This instance is quitting silently.");
    return 1;
  }
  return RunFirstInstance(instance, previous, commandLine, lock);
}
