#pragma once
// The main thread's message loop.
#include <windows.h>

// Starts the icon timer and dispatches messages until the quit message (or an error of
// GetMessageA); returns the quit message's first parameter.
int RunMessageLoop(HWND window);
