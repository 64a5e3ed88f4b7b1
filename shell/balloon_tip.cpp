#include "shell/balloon_tip.h"

#include <shellapi.h>

#include <memory>
#include <new>

#include "base/bounded_text.h"
#include "base/window_identity.h"
#include "base/os_class.h"
#include "base/results.h"
#include "base/unique.h"
#include "kobj/nko_handle.h"
#include "kobj/object_names.h"
#include "shell/tray_icon.h"

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
  const std::unique_ptr<BalloonRequest> request(static_cast<BalloonRequest*>(parameter));
  char name[kSemaphoreNameSize];
  BuildObjectName(1, kBalloonSemaphoreBaseName, name, kSemaphoreNameSize);
  UniqueNko semaphore(NkoCreateSemaphore(GetNullDaclSecurityAttributes(), 1, kSemaphoreMaximum, name));
  const bool haveSemaphore = NkoIsValid(semaphore.Get());
  // A balloon that waited too long is shown anyway: a stuck holder must not silence the
  // program for good. Without the semaphore the balloon is shown at once.
  if (haveSemaphore) IgnoreResult(WaitForSingleObject(NkoGetHandle(semaphore.Get()), kBalloonWaitMs));
  // A balloon the shell refuses (no window, hidden icon) is simply not seen.
  IgnoreResult(ShowBalloonTip(request.get()));
  Sleep(kBalloonHoldMs);
  if (haveSemaphore) {
    // A count that cannot be given back only lets the next balloon wait its time-out.
    IgnoreResult(ReleaseSemaphore(NkoGetHandle(semaphore.Get()), 1, nullptr));
    semaphore.Reset();
  }
  return 0;
}

}  // namespace

HANDLE StartBalloonTip(const char* text, const char* title, int type) {
  std::unique_ptr<BalloonRequest> request(new (std::nothrow) BalloonRequest{});
  if (request == nullptr) return nullptr;
  CopyBounded(request->text, sizeof request->text, text);
  CopyBounded(request->title, sizeof request->title, title);
  request->type = static_cast<unsigned char>(type & 0xFF);
  HANDLE thread = CreateThread(nullptr, 0, BalloonThreadProc, request.get(), 0, nullptr);
  // The thread frees the request; without a thread it is freed here.
  if (thread != nullptr) IgnoreResult(request.release());
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
