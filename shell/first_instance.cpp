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
// The end of a session leaves the process a few seconds at most; the relay gets 2 s of them.
constexpr DWORD kSessionEndRelayStopMs = 2000;
// What Restart Manager starts again after it closed the program for an update: a normal
// start, without the balloon a second instance would show.
constexpr wchar_t kRestartCommandLine[] = L"-q";

// How the program ends: after its loop, or inside WM_ENDSESSION.
enum class Ending { kLoopEnded, kSessionEnded };

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
    // Beyond the program's original behaviour, so that an update that closes the program
    // starts it again; a failure leaves it to the next log-on.
    IgnoreResult(RegisterApplicationRestart(kRestartCommandLine, RESTART_NO_CRASH | RESTART_NO_HANG | RESTART_NO_REBOOT));
    m_window = window;
    SetSessionEndAction(OnSessionEnd, this);
    WriteEventLog("Entering the Quorvel Windows message loop.");
    const int exitCode = RunMessageLoop(window);
    ShutDown(Ending::kLoopEnded);
    return exitCode;
  }

 private:
  static void OnSessionEnd(void* self) { static_cast<FirstInstance*>(self)->ShutDown(Ending::kSessionEnded); }

  // Undoes the start-up in this order: the timer, the companion programs, the lock, the
  // running event (reset before it is closed), the trace relay, the icon's lock, then the
  // last log line. Runs once: after the session's end, the loop's end finds it done.
  void ShutDown(Ending ending) {
    if (m_shutDown) return;
    m_shutDown = true;
    IgnoreResult(KillTimer(m_window, kIconTimerId));  // no tick is served any more
    StopK7302Server();
    // At the session's end the Run programs get their own end-of-session messages; they
    // are asked to close but not waited for.
    if (ending == Ending::kSessionEnded) {
      ReleaseRunPrograms(m_runPrograms);
    } else {
      StopRunPrograms(m_runPrograms);
    }
    m_lock.Reset();
    if (NkoIsValid(m_runningEvent.Get())) IgnoreResult(ResetEvent(NkoGetHandle(m_runningEvent.Get())));
    m_runningEvent.Reset();
    // The relay's stop switches the libraries' trace flags off.
    if (!StopTraceEvents(ending == Ending::kSessionEnded ? kSessionEndRelayStopMs : kTraceStopTimeoutMs)) {
      WriteEventLog("The trace relay did not stop in time; tracing may still be switched on.");
    }
    DeleteTrayIconLock();
    WriteEventLog(ending == Ending::kSessionEnded
                      ? "Quorvel is quitting because the Windows session is ending."
                      : "Quorvel is quitting because the Windows message loop has terminated.");
  }

  UniqueNko m_lock;
  UniqueNko m_runningEvent;
  RunProcessTable m_runPrograms;
  HWND m_window = nullptr;  // destroyed by the system
  bool m_shutDown = false;
};

}  // namespace

int RunFirstInstance(HINSTANCE instance, HINSTANCE previous, const char* commandLine, UniqueNko lock) {
  FirstInstance first(std::move(lock));
  return first.Run(instance, previous, commandLine);
}
