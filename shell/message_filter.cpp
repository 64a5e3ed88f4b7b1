#include "shell/message_filter.h"

#include "base/window_identity.h"
#include "base/results.h"
#include "shell/testing/shell_seams.h"

namespace {

// The messages other processes post to the window: the notification area's callback,
// the resource manager's refresh from other suite programs, and the second instances'
// option messages.
constexpr UINT kOwnMessages[] = {
    WM_TRAY_NOTIFY, WM_VXI_RM_REFRESH_NOW, WM_USER_SHOW_ICON, WM_VXI_RM_EDIT, WM_VXI_RM_REFRESH, WM_VXI_RM_HIDE,
    WM_CLOSE,
};

// Set only by the test seam at the end of this file.
shell_testing::MessageFilterCall g_filterCall = nullptr;

// The per-window filter call, looked up because Windows before 7 does not have it (and
// before Vista has no filter at all); null there.
shell_testing::MessageFilterCall FilterCall() {
  if (g_filterCall != nullptr) return g_filterCall;
  HMODULE user32 = GetModuleHandleA("user32.dll");
  if (user32 == nullptr) return nullptr;
  return reinterpret_cast<shell_testing::MessageFilterCall>(
      reinterpret_cast<void*>(GetProcAddress(user32, "ChangeWindowMessageFilterEx")));
}

}  // namespace

void AllowOwnMessages(HWND window, UINT taskbarCreatedMessage) {
  const shell_testing::MessageFilterCall allow = FilterCall();
  if (allow == nullptr || window == nullptr) return;
  // A message that cannot be let through still comes from processes of the same or a
  // lower integrity level; nothing else can be done about it.
  for (const UINT message : kOwnMessages) IgnoreResult(allow(window, message, MSGFLT_ALLOW, nullptr));
  if (taskbarCreatedMessage != 0) IgnoreResult(allow(window, taskbarCreatedMessage, MSGFLT_ALLOW, nullptr));
}

// Test seam (declared in shell/testing/shell_seams.h).
namespace shell_testing {
void SetMessageFilterCall(MessageFilterCall call) { g_filterCall = call; }
}  // namespace shell_testing
