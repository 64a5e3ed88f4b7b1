#include "shell/first_instance.h"

#include <utility>

#include "base/event_log.h"
#include "base/window_identity.h"
#include "base/os_class.h"
#include "base/results.h"
#include "config/install_report.h"
#include "config/suite_dirs.h"
#include "config/suite_values.h"
#include "config/visa_settings.h"
#include "kobj/object_names.h"
#include "shell/command_options.h"
#include "shell/companion_programs.h"
#include "shell/main_window.h"
#include "shell/message_loop.h"
#include "shell/tray_icon.h"
#include "trace/trace_relay.h"

namespace {

constexpr int kRunningEventNameSize = 260;

// Messages to the new window: a lost one is lost as it would be from a second instance.
void Post(HWND window, UINT message) { IgnoreResult(PostMessageA(window, message, 0, 0)); }

// Options that act on the new window or on the registry once the window exists.
// Configuration writers fail silently.
void ApplyStartOption(HWND window, CommandOption option) {
  switch (option) {
    case CommandOption::kEditRm:
      Post(window, WM_VXI_RM_EDIT);
      break;
    case CommandOption::kRefreshRm:
      Post(window, WM_VXI_RM_REFRESH);
      break;
    case CommandOption::kHideRm:
      Post(window, WM_VXI_RM_HIDE);
      break;
    case CommandOption::kRebootDone:
      // "Quorvl" is intended, not a typo: log readers match these two lines as they stand.
      WriteEventLog("(-o) Starting Quorvl and setting the 'RebootOccurred' registry flag.");
      IgnoreResult(WriteSuiteInt("RebootOccurred", 1));
      WriteEventLog("(-o) Starting Quorvl and resetting the 'RebootRequiredVxi' registry flag.");
      IgnoreResult(WriteSuiteInt("RebootRequiredVxi", 0));
      break;
    default:
      break;
  }
}

// Signalled for as long as an instance runs; other programs test it, this one never waits.
UniqueNko SignalRunning() {
  char name[kRunningEventNameSize];
  BuildObjectName(1, kRunningEventBaseName, name, kRunningEventNameSize);
  UniqueNko running(NkoCreateEvent(GetNullDaclSecurityAttributes(), TRUE, TRUE, name));
  // The event may be left over from an instance of another session that reset it. A
  // failed set leaves it as that instance left it.
  if (NkoIsValid(running.Get())) IgnoreResult(SetEvent(NkoGetHandle(running.Get())));
  return running;
}

// What the first instance holds from its start-up until its shut-down releases it.
class FirstInstance {
 public:
  explicit FirstInstance(UniqueNko lock) : m_lock(std::move(lock)) {}

  int Run(HINSTANCE instance, HINSTANCE previous, const char* commandLine) {
    StartTraceEvents(instance);
    PrepareSuiteDirs();
    // A server that does not start is not missed until its menu items are used.
    IgnoreResult(StartK7302Server());
    StartRunPrograms(m_runPrograms);
    RegisterTaskbarCreatedMessage();
    SetProgramInstance(instance);

    // The class is registered only by the first module instance, which on this platform
    // is always this one. Without it there is no window to run.
    if (previous == nullptr && !RegisterMainWindowClass(instance)) return 0;

    const CommandOption option = ParseCommandOption(commandLine);
    // Configuration writers fail silently: the icon then follows the stored value.
    if (option == CommandOption::kHideIcon) IgnoreResult(SetIconHidden(1));
    if (option == CommandOption::kShowIcon) IgnoreResult(SetIconHidden(0));
    InitTrayIconLock();
    // A window that cannot be made is not fatal: the loop still serves the timer and the
    // thread's messages.
    HWND window = CreateMainWindow(instance);
    ApplyStartOption(window, option);

    m_runningEvent = SignalRunning();
    SetVisaPresent(GetVisaPresence());
    WriteInstallReport();
    WriteEventLog("Entering the Quorvel Windows message loop.");
    const int exitCode = RunMessageLoop(window);
    ShutDown(window);
    return exitCode;
  }

 private:
  // Undoes the start-up in this order: the timer, the companion programs, the lock, the
  // running event (reset before it is closed), the trace relay, the icon's lock, then the
  // last log line.
  void ShutDown(HWND window) {
    IgnoreResult(KillTimer(window, kIconTimerId));  // the loop has ended: no tick is served
    StopK7302Server();
    StopRunPrograms(m_runPrograms);
    m_lock.Reset();
    if (NkoIsValid(m_runningEvent.Get())) IgnoreResult(ResetEvent(NkoGetHandle(m_runningEvent.Get())));
    m_runningEvent.Reset();
    StopTraceEvents();
    DeleteTrayIconLock();
    WriteEventLog("Quorvel is quitting because the Windows message loop has terminated.");
  }

  UniqueNko m_lock;
  UniqueNko m_runningEvent;
  RunProcessTable m_runPrograms;
};

}  // namespace

int RunFirstInstance(HINSTANCE instance, HINSTANCE previous, const char* commandLine, UniqueNko lock) {
  FirstInstance first(std::move(lock));
  return first.Run(instance, previous, commandLine);
}
