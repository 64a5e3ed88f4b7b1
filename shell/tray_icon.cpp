#include "shell/tray_icon.h"

#include <shellapi.h>

#include "config/suite_values.h"
#include "base/bounded_text.h"
#include "shell/main_window.h"
#include "base/main_window.h"
#include "trace/trace_control.h"

static_assert(sizeof(NOTIFYICONDATAA) == 528, "the icon record is the full-size one");

namespace {

CRITICAL_SECTION g_trayIconLock;
NOTIFYICONDATAA g_trayIconData;
HICON g_normalIcon = nullptr;
HICON g_tracingIcon = nullptr;
bool g_iconsLoaded = false;

// The tray draws icons at 16 by 16; loading that size picks the crisp small image of each
// group instead of letting the shell shrink a large one.
HICON LoadTrayIcon(int resource) {
  return static_cast<HICON>(
      LoadImageA(GetProgramInstance(), MAKEINTRESOURCEA(resource), IMAGE_ICON, 16, 16, LR_DEFAULTSIZE));
}

// Once per process; the handles are kept until the process ends.
void LoadTrayIcons() {
  if (g_iconsLoaded) return;
  g_normalIcon = LoadTrayIcon(kNormalIconResource);
  g_tracingIcon = LoadTrayIcon(kTracingIconResource);
  g_iconsLoaded = true;
}

void RemoveIcon(HWND window) {
  // Only the fields that name the icon; the rest stays as the last update left it.
  g_trayIconData.cbSize = sizeof g_trayIconData;
  g_trayIconData.hWnd = window;
  g_trayIconData.uID = kTrayIconId;
  g_trayIconData.uFlags = 0;
  Shell_NotifyIconA(NIM_DELETE, &g_trayIconData);
}

void ShowIcon(HWND window) {
  const bool tracing = IsTraceEnabled();
  g_trayIconData = NOTIFYICONDATAA{};
  g_trayIconData.cbSize = sizeof g_trayIconData;
  g_trayIconData.hWnd = window;
  g_trayIconData.uID = kTrayIconId;
  g_trayIconData.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  g_trayIconData.uCallbackMessage = WM_TRAY_NOTIFY;
  g_trayIconData.hIcon = tracing ? g_tracingIcon : g_normalIcon;
  CopyBounded(g_trayIconData.szTip, sizeof g_trayIconData.szTip, tracing ? kTrayTipTracing : kTrayTip);
  // Modify fails when the icon is not there yet or the shell was restarted without it.
  if (!Shell_NotifyIconA(NIM_MODIFY, &g_trayIconData)) Shell_NotifyIconA(NIM_ADD, &g_trayIconData);
}

}  // namespace

void InitTrayIconLock() { InitializeCriticalSection(&g_trayIconLock); }
void DeleteTrayIconLock() { DeleteCriticalSection(&g_trayIconLock); }

void UpdateTrayIcon(HWND window) {
  EnterCriticalSection(&g_trayIconLock);
  LoadTrayIcons();
  if (IsIconHidden() != 0) {
    RemoveIcon(window);
  } else {
    ShowIcon(window);
  }
  LeaveCriticalSection(&g_trayIconLock);
}
