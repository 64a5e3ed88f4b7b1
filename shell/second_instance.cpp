#include "shell/second_instance.h"

#include <windows.h>

#include "config/install_report.h"
#include "config/suite_values.h"
#include "shell/balloon_tip.h"
#include "shell/command_options.h"
#include "base/event_log.h"
#include "shell/service_info.h"
#include "base/main_window.h"

namespace {

// Long enough for the balloon thread to post its tip before this process ends it.
constexpr DWORD kBalloonGraceMs = 1000;

void Post(HWND window, UINT message) {
  // Without the window nothing may reach the running instance; a null window would post
  // to this thread instead.
  if (window != nullptr) PostMessageA(window, message, 0, 0);
}

void Reshow(HWND window) {
  if (window != nullptr) {
    SetIconHidden(0);
    PostMessageA(window, WM_USER_SHOW_ICON, 0, 0);
  }
  StartBalloonTip("Click the 'IO' icon to use the Quorvel.", kMessageBoxCaption, kBalloonInfo);
  WriteEventLog("Quorvel is already running.  Re-display the IO icon and show a balloon tip.");
  Sleep(kBalloonGraceMs);
}

}  // namespace

int ForwardToRunningInstance(const char* commandLine, NkoHandle* lock) {
  HWND window = FindWindowA(kMainWindowClass, kMainWindowTitle);
  switch (ParseCommandOption(commandLine)) {
    case CommandOption::kNone:
      Reshow(window);
      break;
    case CommandOption::kEditRm:
      WriteEventLog("(-e) Posting WM_VXI_RM_EDIT message.");
      Post(window, WM_VXI_RM_EDIT);
      break;
    case CommandOption::kRefreshRm:
      WriteEventLog("(-r) Posting WM_VXI_RM_REFRESH message.");
      Post(window, WM_VXI_RM_REFRESH);
      break;
    case CommandOption::kHideRm:
      WriteEventLog("(-h) Posting WM_VXI_RM_HIDE message.");
      Post(window, WM_VXI_RM_HIDE);
      break;
    case CommandOption::kHideIcon:
      WriteEventLog("(-s0) Posting WM_USER_SHOW_ICON message.");
      SetIconHidden(1);
      Post(window, WM_USER_SHOW_ICON);
      break;
    case CommandOption::kShowIcon:
      WriteEventLog("(-s1) Posting WM_USER_SHOW_ICON message.");
      SetIconHidden(0);
      Post(window, WM_USER_SHOW_ICON);
      break;
    case CommandOption::kQuiet:
      WriteEventLog("(-q) Silently making sure the Quorvel is running.");
      WriteInstallReport();
      break;
    case CommandOption::kRebootDone:
      WriteEventLog("(-o) Setting the 'RebootOccurred' registry flag.");
      WriteSuiteInt("RebootOccurred", 1);
      WriteEventLog("(-o) Resetting the 'RebootRequiredVxi' registry flag.");
      WriteSuiteInt("RebootRequiredVxi", 0);
      break;
    case CommandOption::kExit:
      WriteEventLog("(-x) Posting the WM_CLOSE message.");
      Post(window, WM_CLOSE);
      break;
  }
  NkoClose(lock);
  return 1;
}
