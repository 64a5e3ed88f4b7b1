#include "shell/main_window.h"

#include "base/window_identity.h"
#include "base/results.h"
#include "config/suite_values.h"
#include "menu/commands.h"
#include "menu/rm_signals.h"
#include "menu/tray_menu.h"
#include "shell/close_request.h"
#include "shell/message_filter.h"
#include "shell/tray_icon.h"

namespace {

// What the window procedure needs besides its message; set once during start-up.
struct MainWindowState {
  HINSTANCE instance = nullptr;
  HWND window = nullptr;           // the main thread's window; destroyed by the system
  UINT taskbarCreatedMessage = 0;  // 0 until registered
  SessionEndAction sessionEnd = nullptr;
  void* sessionEndContext = nullptr;
};

MainWindowState g_main;

// The tray notification carries the mouse message in its second parameter.
constexpr LPARAM kLeftButtonDown = WM_LBUTTONDOWN;      // 513
constexpr LPARAM kLeftDoubleClick = WM_LBUTTONDBLCLK;   // 515
constexpr LPARAM kRightButtonDown = WM_RBUTTONDOWN;     // 516

void OnTrayNotify(HWND window, LPARAM mouseMessage) {
  if (mouseMessage == kLeftDoubleClick) {
    StartConnectionTool(window);
  } else if (mouseMessage == kLeftButtonDown || mouseMessage == kRightButtonDown) {
    ShowTrayMenu(window);
  }
}

// The icon is removed directly, not by setting the hidden flag for one icon update: a
// user who may only read the suite key cannot set the flag, and the icon would stay in
// the notification area after the exit. The flag keeps the user's choice untouched.
void OnDestroy(HWND window) {
  RemoveTrayIcon(window);
  PostQuitMessage(0);
}

// The session ends (log-off, shut-down, or Restart Manager closing the program for an
// update): once this returns, Windows may end the process at any moment, so the window
// goes and the whole shut-down runs here, with bounded waits. Handling the end of the
// session goes beyond the program's original behaviour on purpose: without it the relay's
// stop, the trace flags, the companions' close and the last log line were skipped.
void OnEndSession(HWND window) {
  IgnoreResult(DestroyWindow(window));
  if (g_main.sessionEnd != nullptr) g_main.sessionEnd(g_main.sessionEndContext);
}

}  // namespace

void SetProgramInstance(HINSTANCE instance) { g_main.instance = instance; }
HINSTANCE GetProgramInstance() { return g_main.instance; }

bool RegisterMainWindowClass(HINSTANCE instance) {
  WNDCLASSA windowClass{};
  windowClass.style = CS_HREDRAW | CS_VREDRAW;
  windowClass.lpfnWndProc = MainWndProc;
  windowClass.hInstance = instance;
  windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  windowClass.lpszClassName = kMainWindowClass;
  return RegisterClassA(&windowClass) != 0;
}

HWND CreateMainWindow(HINSTANCE instance) {
  g_main.window = CreateWindowExA(0, kMainWindowClass, kMainWindowTitle, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, 0,
                                  CW_USEDEFAULT, 0, nullptr, nullptr, instance, nullptr);
  AllowOwnMessages(g_main.window, g_main.taskbarCreatedMessage);
  return g_main.window;
}

HWND GetMainWindow() { return g_main.window; }

void RegisterTaskbarCreatedMessage() { g_main.taskbarCreatedMessage = RegisterWindowMessageA("TaskbarCreated"); }

void SetSessionEndAction(SessionEndAction action, void* context) {
  g_main.sessionEnd = action;
  g_main.sessionEndContext = context;
}

// The resource manager's signals report the last error of an event that the K7302
// software may not have made; there is nothing to do about it here.
LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
      UpdateTrayIcon(window);
      return 0;
    case WM_DESTROY:
      OnDestroy(window);
      return 0;
    case WM_QUERYENDSESSION:
      return TRUE;  // nothing here ever holds up a log-off, a shut-down or an update
    case WM_ENDSESSION:
      // Also with ENDSESSION_CLOSEAPP, from Restart Manager; FALSE: the end was called off.
      if (wParam != FALSE) OnEndSession(window);
      return 0;
    case WM_TIMER:
      UpdateTrayIcon(window);
      CloseOnRequest(window);
      return 0;
    case WM_POWERBROADCAST:
      return TRUE;  // every power request is granted
    case WM_TRAY_NOTIFY:
      OnTrayNotify(window, lParam);
      return 0;
    case WM_VXI_RM_REFRESH_NOW:
      IgnoreResult(SignalRefreshRM());
      return 0;
    case WM_USER_SHOW_ICON:
      UpdateTrayIcon(window);
      return 0;
    case WM_VXI_RM_EDIT:
      IgnoreResult(SignalEditRM());
      return 0;
    case WM_VXI_RM_REFRESH:
      if (ConfirmVxiReset(window) == IDYES) IgnoreResult(SignalRefreshRM());
      return 0;
    case WM_VXI_RM_HIDE:
      IgnoreResult(ToggleHideRM());
      return 0;
    default:
      break;
  }
  // The registered message has no fixed number, so it is compared after all the others.
  if (g_main.taskbarCreatedMessage != 0 && message == g_main.taskbarCreatedMessage) {
    // A lost post is made up by the next timer tick.
    if (IsIconHidden() == 0) IgnoreResult(PostMessageA(window, WM_USER_SHOW_ICON, 0, 0));
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}
