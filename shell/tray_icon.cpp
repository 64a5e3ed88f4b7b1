#include "shell/tray_icon.h"

#include <shellapi.h>

#include "base/bounded_text.h"
#include "base/window_identity.h"
#include "base/results.h"
#include "config/suite_values.h"
#include "shell/main_window.h"
#include "trace/trace_control.h"

static_assert(sizeof(NOTIFYICONDATAA) == 528, "the icon record is the full-size one");

namespace {

// The process's one notification icon: its record, the two icons it shows and the lock
// around them. Shell_NotifyIconA failures are not reported: the next update, at the
// latest one timer tick later, tries again.
class TrayIcon {
 public:
  void InitLock() { InitializeCriticalSection(&m_lock); }
  void DeleteLock() { DeleteCriticalSection(&m_lock); }

  void Update(HWND window) {
    EnterCriticalSection(&m_lock);
    LoadIcons();
    if (IsIconHidden() != 0) {
      Remove(window);
    } else {
      Show(window);
    }
    LeaveCriticalSection(&m_lock);
  }

  void RemoveNow(HWND window) {
    EnterCriticalSection(&m_lock);
    Remove(window);
    LeaveCriticalSection(&m_lock);
  }

 private:
  // The notification area draws icons at the display's small-icon size: 16 pixels at
  // 100 %, 24 at 150 %, 32 at 200 % (the program is DPI aware, so the system reports the
  // real size). Loading that size picks the crisp image of each group instead of letting
  // the shell stretch a 16-pixel one into a blurred icon.
  static HICON LoadTrayIcon(int resource) {
    const int size = GetSystemMetrics(SM_CXSMICON);
    return static_cast<HICON>(
        LoadImageA(GetProgramInstance(), MAKEINTRESOURCEA(resource), IMAGE_ICON, size, size, LR_DEFAULTSIZE));
  }

  // Once per process: the record may name either icon at any update, so both are kept
  // until the process ends and never destroyed.
  void LoadIcons() {
    if (m_iconsLoaded) return;
    m_normalIcon = LoadTrayIcon(kNormalIconResource);
    m_tracingIcon = LoadTrayIcon(kTracingIconResource);
    m_iconsLoaded = true;
  }

  void Remove(HWND window) {
    // Only the fields that name the icon; the rest stays as the last update left it.
    m_data.cbSize = sizeof m_data;
    m_data.hWnd = window;
    m_data.uID = kTrayIconId;
    m_data.uFlags = 0;
    IgnoreResult(Shell_NotifyIconA(NIM_DELETE, &m_data));
  }

  void Show(HWND window) {
    const bool tracing = IsTraceEnabled();
    m_data = NOTIFYICONDATAA{};
    m_data.cbSize = sizeof m_data;
    m_data.hWnd = window;
    m_data.uID = kTrayIconId;
    m_data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    m_data.uCallbackMessage = WM_TRAY_NOTIFY;
    m_data.hIcon = tracing ? m_tracingIcon : m_normalIcon;
    CopyBounded(m_data.szTip, sizeof m_data.szTip, tracing ? kTrayTipTracing : kTrayTip);
    // Modify fails when the icon is not there yet or the shell was restarted without it.
    if (!Shell_NotifyIconA(NIM_MODIFY, &m_data)) IgnoreResult(Shell_NotifyIconA(NIM_ADD, &m_data));
  }

  CRITICAL_SECTION m_lock{};
  NOTIFYICONDATAA m_data{};
  // Loaded once and shown until the process ends; never destroyed, so no owner (the
  // balloon thread may still read them while the process exits).
  HICON m_normalIcon = nullptr;
  HICON m_tracingIcon = nullptr;
  bool m_iconsLoaded = false;
};

TrayIcon g_trayIcon;

}  // namespace

void InitTrayIconLock() { g_trayIcon.InitLock(); }
void DeleteTrayIconLock() { g_trayIcon.DeleteLock(); }
void UpdateTrayIcon(HWND window) { g_trayIcon.Update(window); }
void RemoveTrayIcon(HWND window) { g_trayIcon.RemoveNow(window); }
