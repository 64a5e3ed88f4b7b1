#include "support/closable_window.h"

#include "base/results.h"

namespace support {
namespace {

LRESULT CALLBACK ClosableWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_NCCREATE: {
      const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
      SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
      return DefWindowProcA(window, message, wParam, lParam);
    }
    case WM_CLOSE: {
      const auto onClose = reinterpret_cast<CloseHandler>(GetWindowLongPtrA(window, GWLP_USERDATA));
      if (onClose == nullptr || onClose()) IgnoreResult(DestroyWindow(window));  // fails only for a gone window
      return 0;
    }
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcA(window, message, wParam, lParam);
  }
}

}  // namespace

HWND CreateClosableWindow(const char* className, const char* title, int width, int height, CloseHandler onClose) {
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = ClosableWindowProc;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  windowClass.lpszClassName = className;
  if (RegisterClassA(&windowClass) == 0) return nullptr;
  return CreateWindowExA(0, className, title, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, width, height,
                         nullptr, nullptr, windowClass.hInstance, reinterpret_cast<void*>(onClose));
}

bool DispatchPendingMessages() {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) return false;
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  return true;
}

bool RunMessagesUntil(HANDLE stop) {
  for (;;) {
    if (MsgWaitForMultipleObjects(1, &stop, FALSE, INFINITE, QS_ALLINPUT) != WAIT_OBJECT_0 + 1) return false;
    if (!DispatchPendingMessages()) return true;
  }
}

}  // namespace support
