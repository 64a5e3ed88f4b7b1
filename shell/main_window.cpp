#include "shell/main_window.h"

#include "base/window_identity.h"
#include "base/results.h"
#include "config/suite_values.h"
#include "menu/commands.h"
#include "menu/rm_signals.h"
#include "menu/tray_menu.h"
#include "shell/tray_icon.h"

namespace {

// What the window procedure needs besides its message; set once during start-up.
struct MainWindowState {
  HINSTANCE instance = nullptr;
  HWND window = nullptr;           // the main thread's window; destroyed by the system
  UINT taskbarCreatedMessage = 0;  // 0 until registered
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

// The icon goes away through the normal icon update: the hidden flag is set for that one
// update and its old value put back, so the user's choice survives the exit.
void OnDestroy() {
  const int wasHidden = IsIconHidden();
  // Configuration writers fail silently: the update then keeps or removes the icon by
  // the value as it stands.
  IgnoreResult(SetIconHidden(1));
  UpdateTrayIcon(GetMainWindow());
  IgnoreResult(SetIconHidden(wasHidden));
  PostQuitMessage(0);
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
  return g_main.window;
}

HWND GetMainWindow() { return g_main.window; }

void RegisterTaskbarCreatedMessage() { g_main.taskbarCreatedMessage = RegisterWindowMessageA("TaskbarCreated"); }

// The resource manager's signals report the last error of an event that the K7302
// software may not have made; there is nothing to do about it here.
LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
      UpdateTrayIcon(window);
      return 0;
    case WM_DESTROY:
      OnDestroy();
      return 0;
    case WM_TIMER:
      UpdateTrayIcon(window);
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
