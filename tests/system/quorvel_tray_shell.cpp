#include "base/results.h"
#include "base/unique.h"
#include "tests/system/quorvel_tray_shell.h"

#include <shellapi.h>

#include <gtest/gtest.h>

#include <cstring>

namespace tray_test {
namespace {

constexpr char kTrayClass[] = "Shell_TrayWnd";

// The request as the system's notification-icon call sends it to the tray window: the
// icon record in its wide form, then the icon's mask and colour bitmap bits (rows padded
// to 16 bits).
struct NotifyData {
  LONG window;
  UINT id;
  UINT flags;
  UINT callbackMessage;
  WCHAR tip[128];
  DWORD state;
  DWORD stateMask;
  WCHAR info[256];
  UINT timeout;
  WCHAR infoTitle[64];
  DWORD infoFlags;
  GUID item;
  UINT width;
  UINT height;
  UINT planes;
  UINT bitsPerPixel;
};
static_assert(sizeof(NotifyData) == 960);

// Back to the ANSI code page that the caller's "A" call converted from, so that a test
// sees the bytes the program passed (the balloon texts are ANSI strings).
std::string Narrow(const WCHAR* text, size_t capacity) {
  size_t length = 0;
  while (length < capacity && text[length] != 0) ++length;
  if (length == 0) return {};
  std::string out(length * 2, '\0');
  const int size = WideCharToMultiByte(CP_ACP, 0, text, static_cast<int>(length), out.data(),
                                       static_cast<int>(out.size()), nullptr, nullptr);
  out.resize(size > 0 ? static_cast<size_t>(size) : 0);
  return out;
}

}  // namespace

FakeTray::FakeTray() {
  // The first window of a prefix starts its desktop process, which makes its own tray
  // window; that must exist before ours so that ours is the one found.
  HWND probe = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
  IgnoreResult(DestroyWindow(probe));
  std::unique_lock lock(m_mutex);
  m_thread = std::thread([this] { Run(); });
  m_changed.wait(lock, [this] { return m_window != nullptr; });
  lock.unlock();
  EXPECT_EQ(FindWindowA(kTrayClass, nullptr), m_window) << "the system would not find the test's tray";
}

FakeTray::~FakeTray() {
  IgnoreResult(PostMessageA(m_window, WM_CLOSE, 0, 0));
  m_thread.join();
}

void FakeTray::Run() {
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = WindowProc;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.lpszClassName = kTrayClass;
  RegisterClassA(&windowClass);
  HWND window = CreateWindowExA(0, kTrayClass, "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, windowClass.hInstance, this);
  {
    std::lock_guard lock(m_mutex);
    m_window = window;
  }
  m_changed.notify_all();
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) DispatchMessageA(&message);
}

LRESULT CALLBACK FakeTray::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(
                                                  reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams));
  } else if (message == WM_COPYDATA) {
    auto* tray = reinterpret_cast<FakeTray*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    return tray->Receive(*reinterpret_cast<const COPYDATASTRUCT*>(lParam));
  } else if (message == WM_DESTROY) {
    PostQuitMessage(0);
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

BOOL FakeTray::Receive(const COPYDATASTRUCT& data) {
  if (data.cbData < sizeof(NotifyData)) return FALSE;
  NotifyData notify;
  std::memcpy(&notify, data.lpData, sizeof notify);
  TrayCall call;
  call.when = std::chrono::steady_clock::now();
  call.message = static_cast<DWORD>(data.dwData);
  call.window = reinterpret_cast<HWND>(static_cast<LONG_PTR>(notify.window));
  call.id = notify.id;
  call.flags = notify.flags;
  call.callbackMessage = notify.callbackMessage;
  call.tip = Narrow(notify.tip, 128);
  call.info = Narrow(notify.info, 256);
  call.infoTitle = Narrow(notify.infoTitle, 64);
  call.timeout = notify.timeout;
  call.infoFlags = notify.infoFlags;
  if (notify.flags & NIF_ICON) {
    call.iconWidth = notify.width;
    const size_t colourSize = size_t{notify.height} * ((notify.width * notify.bitsPerPixel + 15) / 16 * 2);
    const size_t maskSize = size_t{notify.height} * ((notify.width + 15) / 16 * 2);
    if (data.cbData >= sizeof notify + maskSize + colourSize)
      call.iconColour.assign(static_cast<const char*>(data.lpData) + sizeof notify + maskSize, colourSize);
  }
  std::lock_guard lock(m_mutex);
  const auto key = std::make_pair(call.window, call.id);
  // An add fails for an icon held, a change or removal for one not held.
  call.result = call.message == NIM_ADD      ? m_icons.insert(key).second
                : call.message == NIM_MODIFY ? m_icons.count(key) != 0
                : call.message == NIM_DELETE ? m_icons.erase(key) != 0
                                             : true;
  m_calls.push_back(call);
  m_changed.notify_all();
  return call.result ? TRUE : FALSE;
}

std::vector<TrayCall> FakeTray::Calls() const {
  std::lock_guard lock(m_mutex);
  return m_calls;
}

TrayCall FakeTray::WaitForCall(const std::function<bool(const TrayCall&)>& match, DWORD timeoutMs,
                               size_t skip) const {
  std::unique_lock lock(m_mutex);
  TrayCall found;
  m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
    for (size_t i = skip; i < m_calls.size(); ++i) {
      if (match(m_calls[i])) {
        found = m_calls[i];
        return true;
      }
    }
    return false;
  });
  return found;
}

bool FakeTray::HoldsIcon(HWND window, UINT id) const {
  std::lock_guard lock(m_mutex);
  return m_icons.count({window, id}) != 0;
}

void FakeTray::ForgetIcons() {
  std::lock_guard lock(m_mutex);
  m_icons.clear();
}

std::string IconColourBits(const std::string& path, int resource) {
  const UniqueModule module(
      LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
  if (!module) return {};
  auto* icon = static_cast<HICON>(
      LoadImageA(module.Get(), MAKEINTRESOURCEA(resource), IMAGE_ICON, 16, 16, LR_DEFAULTSIZE));
  std::string bits;
  ICONINFO info{};
  if (icon != nullptr && GetIconInfo(icon, &info)) {
    BITMAP bitmap{};
    GetObjectA(info.hbmColor, sizeof bitmap, &bitmap);
    bits.resize(static_cast<size_t>(bitmap.bmHeight) * static_cast<size_t>(bitmap.bmWidthBytes));
    GetBitmapBits(info.hbmColor, static_cast<LONG>(bits.size()), bits.data());
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    DestroyIcon(icon);
  }
  return bits;
}

}  // namespace tray_test
