#include "shell/message_loop.h"

#include "base/window_identity.h"
#include "base/results.h"
#include "config/gpib_watch.h"
#include "shell/balloon_tip.h"

int RunMessageLoop(HWND window) {
  // Without the timer (or the window) the loop still runs on the messages that come.
  IgnoreResult(SetTimer(window, kIconTimerId, kIconTimerPeriodMs, nullptr));
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
