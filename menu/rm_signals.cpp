#include "menu/rm_signals.h"

#include "base/program_identity.h"
#include "base/results.h"
#include "base/unique.h"
#include "config/suite_values.h"

namespace {

DWORD SignalEvent(const char* name) {
  SetLastError(ERROR_SUCCESS);
  const UniqueHandle event(OpenEventA(EVENT_MODIFY_STATE, FALSE, name));
  // A failed SetEvent shows in the last error returned.
  if (event) IgnoreResult(SetEvent(event.Get()));
  return GetLastError();
}

// Yes/no, warning icon, "yes" as the default button, above every other window.
constexpr UINT kVxiResetStyle = MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON1 | MB_TOPMOST;
static_assert(kVxiResetStyle == 0x40034);

}  // namespace

DWORD SignalEditRM() { return SignalEvent(kEditRmEventName); }
DWORD SignalRefreshRM() { return SignalEvent(kRefreshRmEventName); }
DWORD SignalHideRM() { return SignalEvent(kHideRmEventName); }
DWORD SignalUnhideRM() { return SignalEvent(kUnhideRmEventName); }

DWORD ToggleHideRM() { return IsRmDialogHidden() != 0 ? SignalUnhideRM() : SignalHideRM(); }

int ConfirmVxiReset(HWND owner) {
  return MessageBoxA(owner, kVxiResetQuestion, kMessageBoxCaption, kVxiResetStyle);
}
