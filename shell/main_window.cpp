#include "shell/main_window.h"

#include "config/suite_values.h"
#include "menu/commands.h"
#include "menu/rm_signals.h"
#include "menu/tray_menu.h"
#include "shell/tray_icon.h"
#include "base/main_window.h"

namespace {

HINSTANCE g_instance = nullptr;
HWND g_mainWindow = nullptr;
UINT g_taskbarCreatedMessage = 0;

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
  SetIconHidden(1);
  UpdateTrayIcon(GetMainWindow());
  SetIconHidden(wasHidden);
  PostQuitMessage(0);
}

}  // namespace

void SetProgramInstance(HINSTANCE instance) { g_instance = instance; }
HINSTANCE GetProgramInstance() { return g_instance; }

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
  g_mainWindow = CreateWindowExA(0, kMainWindowClass, kMainWindowTitle, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, 0,
                                 CW_USEDEFAULT, 0, nullptr, nullptr, instance, nullptr);
  return g_mainWindow;
}

HWND GetMainWindow() { return g_mainWindow; }

void RegisterTaskbarCreatedMessage() { g_taskbarCreatedMessage = RegisterWindowMessageA("TaskbarCreated"); }
UINT GetTaskbarCreatedMessage() { return g_taskbarCreatedMessage; }

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
      SignalRefreshRM();
      return 0;
    case WM_USER_SHOW_ICON:
      UpdateTrayIcon(window);
      return 0;
    case WM_VXI_RM_EDIT:
      SignalEditRM();
      return 0;
    case WM_VXI_RM_REFRESH:
      if (ConfirmVxiReset(window) == IDYES) SignalRefreshRM();
      return 0;
    case WM_VXI_RM_HIDE:
      ToggleHideRM();
      return 0;
    default:
      break;
  }
  // The registered message has no fixed number, so it is compared after all the others.
  if (g_taskbarCreatedMessage != 0 && message == g_taskbarCreatedMessage) {
    if (IsIconHidden() == 0) PostMessageA(window, WM_USER_SHOW_ICON, 0, 0);
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}
