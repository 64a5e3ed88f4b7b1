#pragma once
// Seams of the shell for tests, around the calls whose effect Wine cannot show: it runs
// every process elevated, at one integrity level, so no message is ever filtered. Each
// seam replaces the one call; null restores the system's. Defined beside the call it
// replaces; product code never calls them.
#include <windows.h>

namespace shell_testing {
using MessageFilterCall = BOOL(WINAPI*)(HWND, UINT, DWORD, PCHANGEFILTERSTRUCT);
using PostCall = BOOL(WINAPI*)(HWND, UINT, WPARAM, LPARAM);

// The window message filter call of AllowOwnMessages.
void SetMessageFilterCall(MessageFilterCall call);
// The post with which a second instance hands its option to the running instance.
void SetForwardPostCall(PostCall call);
}  // namespace shell_testing
