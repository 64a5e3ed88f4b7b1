#include "shell/message_loop.h"

#include "config/gpib_watch.h"
#include "shell/balloon_tip.h"
#include "shell/companion_programs.h"
#include "base/event_log.h"
#include "shell/tray_icon.h"
#include "base/main_window.h"
#include "trace/trace_relay.h"

int RunMessageLoop(HWND window) {
  SetTimer(window, kIconTimerId, kIconTimerPeriodMs, nullptr);
  MSG message{};
  // 0 is the quit message and -1 an error; both end the loop.
  while (GetMessageA(&message, nullptr, 0, 0) == 1) {
    // The timer message makes this run at least every 5 s.
    Check488Library(StartBalloonTip);
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  return static_cast<int>(message.wParam);
}

void ShutDown(HWND window, NkoHandle* lock, NkoHandle* runningEvent) {
  KillTimer(window, kIconTimerId);
  StopK7302Server();
  StopRunPrograms(RunProcessTable, kRunProcessTableSize);
  if (NkoIsValid(lock)) NkoClose(lock);
  if (NkoIsValid(runningEvent)) {
    ResetEvent(NkoGetHandle(runningEvent));
    NkoClose(runningEvent);
  }
  StopTraceEvents();
  DeleteTrayIconLock();
  WriteEventLog("Quorvel is quitting because the Windows message loop has terminated.");
}
