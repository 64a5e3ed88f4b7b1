#include "shell/second_instance.h"

#include <windows.h>

#include "base/event_log.h"
#include "base/window_identity.h"
#include "base/results.h"
#include "config/install_report.h"
#include "config/suite_values.h"
#include "shell/balloon_tip.h"
#include "shell/command_options.h"

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

// Configuration writers fail silently; the running instance then keeps the stored value.
void SetHidden(int hidden) { IgnoreResult(SetIconHidden(hidden)); }

void Post(HWND window, UINT message) {
  // Without the window nothing may reach the running instance; a null window would post
  // to this thread instead. A post that fails is as lost as one without a window.
  if (window != nullptr) IgnoreResult(PostMessageA(window, message, 0, 0));
}

void Forward(HWND window, const ForwardedOption& forwarded) {
  WriteEventLog(forwarded.logLine);
  if (forwarded.hidden != kHiddenUnchanged) SetHidden(forwarded.hidden);
  Post(window, forwarded.message);
}

void Reshow(HWND window) {
  if (window != nullptr) {
    SetHidden(0);
    Post(window, WM_USER_SHOW_ICON);
  }
  // Closing the thread's handle does not stop the balloon; the process ends soon after,
  // and the balloon's thread with it.
  const UniqueHandle balloon(StartBalloonTip("Click the 'IO' icon to use the Quorvel.", kMessageBoxCaption, kBalloonInfo));
  WriteEventLog("Quorvel is already running.  Re-display the IO icon and show a balloon tip.");
  Sleep(kBalloonGraceMs);
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
  switch (option) {
    case CommandOption::kNone:
      Reshow(window);
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
        if (forwarded.option == option) Forward(window, forwarded);
      }
      break;
  }
  lock.Reset();  // a second instance holds the lock only while it forwards its option
  return 1;
}
