#pragma once
// The window's message filter. A program started elevated (by an installer, say) gets no
// messages from the user's non-elevated programs unless it lets them through: a "-x" or
// "-s0" from a standard user's second instance and the shell's "TaskbarCreated" would be
// dropped without a word. The program lets through exactly the messages that other
// processes are meant to send it.
#include <windows.h>

// Lets the program's own window messages from other processes through window's filter:
// the icon's notification, the option messages of second instances (WM_CLOSE among them),
// the resource manager's refresh and the registered "TaskbarCreated" (when not 0).
// Nothing happens on a system without a message filter.
void AllowOwnMessages(HWND window, UINT taskbarCreatedMessage);
