#include "shell/first_instance.h"

#include "config/install_report.h"
#include "config/suite_dirs.h"
#include "config/suite_values.h"
#include "config/visa_settings.h"
#include "kobj/object_names.h"
#include "base/os_class.h"
#include "shell/command_options.h"
#include "shell/companion_programs.h"
#include "base/event_log.h"
#include "shell/main_window.h"
#include "shell/message_loop.h"
#include "shell/service_info.h"
#include "shell/tray_icon.h"
#include "base/main_window.h"
#include "trace/trace_relay.h"

namespace {

constexpr int kRunningEventNameSize = 260;

// Options that act on the new window or on the registry once the window exists.
void ApplyStartOption(HWND window, CommandOption option) {
  switch (option) {
    case CommandOption::kEditRm:
      PostMessageA(window, WM_VXI_RM_EDIT, 0, 0);
      break;
    case CommandOption::kRefreshRm:
      PostMessageA(window, WM_VXI_RM_REFRESH, 0, 0);
      break;
    case CommandOption::kHideRm:
      PostMessageA(window, WM_VXI_RM_HIDE, 0, 0);
      break;
    case CommandOption::kRebootDone:
      WriteEventLog("(-o) Starting Quorvl and setting the 'RebootOccurred' registry flag.");
      WriteSuiteInt("RebootOccurred", 1);
      WriteEventLog("(-o) Starting Quorvl and resetting the 'RebootRequiredVxi' registry flag.");
      WriteSuiteInt("RebootRequiredVxi", 0);
      break;
    default:
      break;
  }
}

// Signalled for as long as an instance runs; other programs test it, this one never waits.
NkoHandle* SignalRunning() {
  char name[kRunningEventNameSize];
  BuildObjectName(1, kRunningEventBaseName, name, kRunningEventNameSize);
  NkoHandle* running = NkoCreateEvent(GetNullDaclSecurityAttributes(), TRUE, TRUE, name);
  // The event may be left over from an instance of another session that reset it.
  if (NkoIsValid(running)) SetEvent(NkoGetHandle(running));
  return running;
}

}  // namespace

int RunFirstInstance(HINSTANCE instance, HINSTANCE previous, const char* commandLine, NkoHandle* lock) {
  StartTraceEvents(instance);
  PrepareSuiteDirs();
  StartK7302Server();
  StartRunPrograms(RunProcessTable, kRunProcessTableSize);
  RegisterTaskbarCreatedMessage();
  SetProgramInstance(instance);

  // The class is registered only by the first module instance, which on this platform is
  // always this one. Without it there is no window to run; the lock goes with the process.
  if (previous == nullptr && !RegisterMainWindowClass(instance)) return 0;

  const CommandOption option = ParseCommandOption(commandLine);
  if (option == CommandOption::kHideIcon) SetIconHidden(1);
  if (option == CommandOption::kShowIcon) SetIconHidden(0);
  InitTrayIconLock();
  // A window that cannot be made is not fatal: the loop still serves the timer and the
  // thread's messages.
  HWND window = CreateMainWindow(instance);
  ApplyStartOption(window, option);

  NkoHandle* running = SignalRunning();
  SetVisaPresent(GetVisaPresence());
  WriteInstallReport();
  WriteEventLog("Entering the Quorvel Windows message loop.");
  const int exitCode = RunMessageLoop(window);
  ShutDown(window, lock, running);
  return exitCode;
}
