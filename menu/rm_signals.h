#pragma once
// Signals to the K7302 interface's resource manager. Each opens its named event (made by
// the K7302 software, never by this program), sets it and closes it again; when the event
// does not exist nothing happens. Each returns the thread's last error afterwards, which
// callers are free to ignore.
#include <windows.h>

inline constexpr char kEditRmEventName[] = "Global\\KorvaneK7302EditRM";
inline constexpr char kRefreshRmEventName[] = "Global\\KorvaneK7302RefreshRM";
inline constexpr char kHideRmEventName[] = "Global\\KorvaneK7302HideRM";
inline constexpr char kUnhideRmEventName[] = "Global\\KorvaneK7302UnhideRM";

DWORD SignalEditRM();
DWORD SignalRefreshRM();
DWORD SignalHideRM();
DWORD SignalUnhideRM();

// Unhide when "RmDialogHidden" says the resource manager's window is hidden, else hide.
DWORD ToggleHideRM();

inline constexpr char kVxiResetQuestion[] =
    "Warning!  This will reset and run the resource manager on all of your VXI card cages.\n\n"
    "Resetting your VXI card cages will terminate all communications with any connected VXI "
    "card cages, which will affect any currently running VISA or TRIL applications.\n\n"
    "Do you wish to continue?";

// Asks before a reset of the VXI card cages; the box's answer (IDYES is 6).
int ConfirmVxiReset(HWND owner);
