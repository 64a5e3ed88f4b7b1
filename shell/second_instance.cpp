#include "shell/second_instance.h"

#include <windows.h>

#include "base/bounded_text.h"
#include "base/event_log.h"
#include "base/window_identity.h"
#include "base/results.h"
#include "config/install_report.h"
#include "config/suite_values.h"
#include "shell/balloon_tip.h"
#include "shell/command_options.h"
#include "shell/testing/shell_seams.h"

namespace {

// Long enough for the balloon thread to post its tip before this process ends it.
constexpr DWORD kBalloonGraceMs = 1000;

// "QuorvelHidden" as an option leaves it.
constexpr int kHiddenUnchanged = -1;

// An option that is forwarded as one message: its log line, then the hidden flag (for the
// icon options), then the message.
struct ForwardedOption {
  CommandOption option;
  const char* logLine;
  int hidden;
  UINT message;
};

constexpr ForwardedOption kForwardedOptions[] = {
    {CommandOption::kEditRm, "(-e) Posting WM_VXI_RM_EDIT message.", kHiddenUnchanged, WM_VXI_RM_EDIT},
    {CommandOption::kRefreshRm, "(-r) Posting WM_VXI_RM_REFRESH message.", kHiddenUnchanged, WM_VXI_RM_REFRESH},
    {CommandOption::kHideRm, "(-h) Posting WM_VXI_RM_HIDE message.", kHiddenUnchanged, WM_VXI_RM_HIDE},
    {CommandOption::kHideIcon, "(-s0) Posting WM_USER_SHOW_ICON message.", 1, WM_USER_SHOW_ICON},
    {CommandOption::kShowIcon, "(-s1) Posting WM_USER_SHOW_ICON message.", 0, WM_USER_SHOW_ICON},
    {CommandOption::kExit, "(-x) Posting the WM_CLOSE message.", kHiddenUnchanged, WM_CLOSE},
};

constexpr size_t kLogLineSize = 512;

// Set only by the test seam at the end of this file.
shell_testing::PostCall g_postCall = nullptr;

// Configuration writers fail silently; the running instance then keeps the stored value.
void SetHidden(int hidden) { IgnoreResult(SetIconHidden(hidden)); }

// False when the running instance's window refused the message; the log says why.
bool Post(HWND window, UINT message) {
  // Without the window nothing may reach the running instance; a null window would post
  // to this thread instead.
  if (window == nullptr) return true;
  if ((g_postCall != nullptr ? g_postCall : PostMessageA)(window, message, 0, 0)) return true;
  const DWORD error = GetLastError();
  char line[kLogLineSize];
  FormatBounded(line, sizeof line,
                "The running Quorvel's window did not take message %u (error %lu; error 5: it runs "
                "with higher rights than this instance and does not let the message through). "
                "This instance exits with code %d.",
                message, error, kForwardRefusedExitCode);
  WriteEventLog(line);
  return false;
}

bool Forward(HWND window, const ForwardedOption& forwarded) {
  WriteEventLog(forwarded.logLine);
  if (forwarded.hidden != kHiddenUnchanged) SetHidden(forwarded.hidden);
  return Post(window, forwarded.message);
}

bool Reshow(HWND window) {
  bool taken = true;
  if (window != nullptr) {
    SetHidden(0);
    taken = Post(window, WM_USER_SHOW_ICON);
  }
  // Closing the thread's handle does not stop the balloon; the process ends soon after,
  // and the balloon's thread with it.
  const UniqueHandle balloon(StartBalloonTip("Click the 'IO' icon to use the Quorvel.", kMessageBoxCaption, kBalloonInfo));
  WriteEventLog("Quorvel is already running.  Re-display the IO icon and show a balloon tip.");
  Sleep(kBalloonGraceMs);
  return taken;
}

void MarkRebootDone() {
  WriteEventLog("(-o) Setting the 'RebootOccurred' registry flag.");
  IgnoreResult(WriteSuiteInt("RebootOccurred", 1));
  WriteEventLog("(-o) Resetting the 'RebootRequiredVxi' registry flag.");
  IgnoreResult(WriteSuiteInt("RebootRequiredVxi", 0));
}

}  // namespace

int ForwardToRunningInstance(const char* commandLine, UniqueNko lock) {
  HWND window = FindWindowA(kMainWindowClass, kMainWindowTitle);
  const CommandOption option = ParseCommandOption(commandLine);
  bool taken = true;
  switch (option) {
    case CommandOption::kNone:
      taken = Reshow(window);
      break;
    case CommandOption::kQuiet:
      WriteEventLog("(-q) Silently making sure the Quorvel is running.");
      WriteInstallReport();
      break;
    case CommandOption::kRebootDone:
      MarkRebootDone();
      break;
    default:
      for (const ForwardedOption& forwarded : kForwardedOptions) {
        if (forwarded.option == option) taken = Forward(window, forwarded);
      }
      break;
  }
  lock.Reset();  // a second instance holds the lock only while it forwards its option
  return taken ? kSecondInstanceExitCode : kForwardRefusedExitCode;
}

// Test seam (declared in shell/testing/shell_seams.h).
namespace shell_testing {
void SetForwardPostCall(PostCall call) { g_postCall = call; }
}  // namespace shell_testing
