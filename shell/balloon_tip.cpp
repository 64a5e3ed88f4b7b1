#include "shell/balloon_tip.h"

#include <shellapi.h>

#include <cstdlib>

#include "base/bounded_text.h"
#include "kobj/nko_handle.h"
#include "kobj/object_names.h"
#include "base/os_class.h"
#include "shell/tray_icon.h"
#include "base/main_window.h"

namespace {

constexpr int kSemaphoreNameSize = 1024;
constexpr LONG kSemaphoreMaximum = 65535;

DWORD BalloonInfoFlags(unsigned char type) {
  switch (type) {
    case kBalloonInfo:
      return NIIF_INFO;
    case kBalloonWarning:
      return NIIF_WARNING;
    case kBalloonError:
      return NIIF_ERROR;
    default:
      return NIIF_NONE;
  }
}

DWORD WINAPI BalloonThreadProc(LPVOID parameter) {
  auto* request = static_cast<BalloonRequest*>(parameter);
  char name[kSemaphoreNameSize];
  BuildObjectName(1, kBalloonSemaphoreBaseName, name, kSemaphoreNameSize);
  NkoHandle* semaphore = NkoCreateSemaphore(GetNullDaclSecurityAttributes(), 1, kSemaphoreMaximum, name);
  const bool haveSemaphore = NkoIsValid(semaphore);
  // A balloon that waited too long is shown anyway: a stuck holder must not silence the
  // program for good. Without the semaphore the balloon is shown at once.
  if (haveSemaphore) WaitForSingleObject(NkoGetHandle(semaphore), kBalloonWaitMs);
  ShowBalloonTip(request);
  Sleep(kBalloonHoldMs);
  if (haveSemaphore) {
    ReleaseSemaphore(NkoGetHandle(semaphore), 1, nullptr);
    NkoClose(semaphore);
  }
  std::free(request);
  return 0;
}

}  // namespace

HANDLE StartBalloonTip(const char* text, const char* title, int type) {
  auto* request = static_cast<BalloonRequest*>(std::malloc(sizeof(BalloonRequest)));
  if (request == nullptr) return nullptr;
  CopyBounded(request->text, sizeof request->text, text);
  CopyBounded(request->title, sizeof request->title, title);
  request->type = static_cast<unsigned char>(type & 0xFF);
  HANDLE thread = CreateThread(nullptr, 0, BalloonThreadProc, request, 0, nullptr);
  if (thread == nullptr) std::free(request);
  return thread;
}

BOOL ShowBalloonTip(const BalloonRequest* request) {
  HWND window = FindWindowA(kMainWindowClass, kMainWindowTitle);
  if (window == nullptr) return FALSE;
  // The balloon touches only the balloon fields of the icon; icon and tip stay as they are.
  NOTIFYICONDATAA data{};
  data.cbSize = sizeof data;
  data.hWnd = window;
  data.uID = kTrayIconId;
  data.uFlags = NIF_INFO;
  data.uTimeout = kBalloonTimeoutMs;
  CopyBounded(data.szInfo, sizeof data.szInfo, request->text);
  CopyBounded(data.szInfoTitle, sizeof data.szInfoTitle, request->title);
  data.dwInfoFlags = BalloonInfoFlags(request->type);
  return Shell_NotifyIconA(NIM_MODIFY, &data);
}
