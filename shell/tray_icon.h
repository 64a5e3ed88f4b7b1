#pragma once
// The notification-area icon: the program's only visible presence. Each update brings the
// icon in line with the persistent hidden flag ("QuorvelHidden") and with whether I/O
// tracing is on, adding it again when the shell has lost it.
#include <windows.h>

inline constexpr UINT kTrayIconId = 1;
inline constexpr int kNormalIconResource = 101;
inline constexpr int kTracingIconResource = 103;
inline constexpr char kTrayTip[] = "Korvane Quorvel";
inline constexpr char kTrayTipTracing[] = "Korvane Quorvel\n(with tracing enabled)";

// The lock around the icon record; made before the window exists, deleted at the very end.
void InitTrayIconLock();
void DeleteTrayIconLock();

// Shows, changes or removes the icon owned by window. Runs on the main thread.
void UpdateTrayIcon(HWND window);
// Removes the icon owned by window whatever the hidden flag says: at the window's end the
// icon must go even when the flag cannot be written. Runs on the main thread.
void RemoveTrayIcon(HWND window);

