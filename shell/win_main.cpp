// quorvel.exe: the per-desktop control process of the suite. Every instance first makes
// sure the suite service runs; then the first instance of the log-on session runs the
// hidden window's loop, while a later one forwards its option to it and ends.
#include <windows.h>

#include <utility>

#include "base/event_log.h"
#include "config/service_status_line.h"
#include "shell/command_options.h"
#include "shell/first_instance.h"
#include "shell/instance_lock.h"
#include "shell/second_instance.h"
#include "shell/service_info.h"
#include "shell/startup_checks.h"
#include "trace/viewer_link.h"

namespace {
// Before WinMain: creates the trace status lock on the main thread, before any thread
// that uses it, and opens the viewer's status memory if the viewer already runs.
[[maybe_unused]] const int g_viewerStatusAtStart = GetViewerTraceStatus();
}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int) {
  // The report and the tray menu show the status line the start-up checks read.
  SetServiceStatusLineSource(GetServiceStatusLine);
  if (!PassStartupChecks()) return 1;

  bool alreadyRunning = false;
  UniqueNko lock = CreateInstanceLock(alreadyRunning);
  if (!NkoIsValid(lock.Get())) {
    ReportInstanceLockFailure();
    return 1;
  }
  if (alreadyRunning) return ForwardToRunningInstance(commandLine, std::move(lock));

  if (ParseCommandOption(commandLine) == CommandOption::kExit) {
    lock.Reset();  // released before the last log line
    WriteEventLog("Quorvel is already running.  This instance is quitting silently.");
    return 1;
  }
  return RunFirstInstance(instance, previous, commandLine, std::move(lock));
}
