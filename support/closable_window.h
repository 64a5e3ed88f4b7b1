#pragma once
// The top-level window of a stand-in that other programs find by class and title and close
// with WM_CLOSE, and the message loop that serves it beside the stop signal.
#include <windows.h>

namespace support {

// Asked on every WM_CLOSE: true closes the window, false ignores the request (as a busy
// program would).
using CloseHandler = bool (*)();

// Registers |className| and creates a window of |width| x |height| titled |title|, not yet
// shown. WM_CLOSE destroys it when |onClose| (if any) agrees; its destruction posts
// WM_QUIT. Null on failure, with GetLastError() saying why.
HWND CreateClosableWindow(const char* className, const char* title, int width, int height,
                          CloseHandler onClose = nullptr);

// Dispatches the messages waiting for this thread; false once WM_QUIT came.
bool DispatchPendingMessages();

// Dispatches this thread's messages until WM_QUIT (true) or until |stop| is set (false).
bool RunMessagesUntil(HANDLE stop);

}  // namespace support
