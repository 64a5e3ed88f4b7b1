// A notification area inside the test process. The real one keeps no record of its icons
// that a test could query, so the test registers a window of the shell's tray class: the
// system's notification-icon call finds the newest such window and hands it every request
// of every process as WM_COPYDATA. This tray answers as the shell does (a change or
// removal of an icon it does not hold fails, a second add fails) and records each request.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace tray_test {

// The message of a call that never came (NIM_ADD is 0).
inline constexpr DWORD kNoCall = 0xFFFFFFFF;

struct TrayCall {
  std::chrono::steady_clock::time_point when;
  DWORD message = kNoCall;  // NIM_ADD, NIM_MODIFY, NIM_DELETE, ...
  HWND window = nullptr;
  UINT id = 0;
  UINT flags = 0;
  UINT callbackMessage = 0;
  std::string tip;
  std::string info;
  std::string infoTitle;
  UINT timeout = 0;
  DWORD infoFlags = 0;
  UINT iconWidth = 0;
  std::string iconColour;  // the icon's colour bitmap bits as the shell received them
  bool result = false;     // what the caller was told
};

// A balloon: a change of the balloon fields only.
inline bool IsBalloon(const TrayCall& call) { return call.message == NIM_MODIFY && (call.flags & NIF_INFO) != 0; }

class FakeTray {
 public:
  // Creates the tray window on a thread of its own; fails the test when the system would
  // not hand requests to it.
  FakeTray();
  FakeTray(const FakeTray&) = delete;
  ~FakeTray();

  std::vector<TrayCall> Calls() const;
  // Waits until a call after the first |skip| ones matches; returns it (with message
  // kNoCall after the time-out).
  TrayCall WaitForCall(const std::function<bool(const TrayCall&)>& match, DWORD timeoutMs, size_t skip = 0) const;
  bool HoldsIcon(HWND window, UINT id) const;
  // Forgets every icon, as a restarted shell does.
  void ForgetIcons();

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  void Run();
  BOOL Receive(const COPYDATASTRUCT& data);

  std::thread m_thread;
  HWND m_window = nullptr;
  mutable std::mutex m_mutex;
  mutable std::condition_variable m_changed;
  std::vector<TrayCall> m_calls;
  std::set<std::pair<HWND, UINT>> m_icons;
};

// The colour bits of icon |resource| of the module file |path|, loaded at 16 by 16 as the
// program loads its tray icons, in the form the tray receives them.
std::string IconColourBits(const std::string& path, int resource);

}  // namespace tray_test
