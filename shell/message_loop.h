#pragma once
// The main thread's message loop and the shut-down that follows it.
#include <windows.h>

#include "kobj/nko_handle.h"

// Starts the icon timer and dispatches messages until the quit message (or an error of
// GetMessageA); returns the quit message's first parameter.
int RunMessageLoop(HWND window);

// Undoes the start-up in reverse: the timer, the companion programs, the lock, the running
// event, the trace relay, then the last log line.
void ShutDown(HWND window, NkoHandle* lock, NkoHandle* runningEvent);
