// halvo7302: a stand-in for the K7302 IEEE 1394 interface's server program. It shows that
// an interface is present through "Global\KorvaneK7302Present", serves the four resource
// manager events (reporting each one that is signalled) and ends when its window
// "Korvane_K7302_Server" is sent WM_CLOSE. Quorvel starts it without a command line, so
// the record file can also come from the environment.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "support/options.h"
#include "support/report.h"
#include "support/stop_signal.h"

namespace {

constexpr char kClass[] = "Korvane_K7302_Server_Class";
constexpr char kTitle[] = "Korvane_K7302_Server";
constexpr char kPresentEvent[] = "Global\\KorvaneK7302Present";
constexpr char kRecordVariable[] = "HALVO7302_RECORD";

struct RmEvent {
  const char* name;
  const char* label;
};
constexpr RmEvent kRmEvents[] = {
    {"Global\\KorvaneK7302EditRM", "EditRM"},
    {"Global\\KorvaneK7302RefreshRM", "RefreshRM"},
    {"Global\\KorvaneK7302HideRM", "HideRM"},
    {"Global\\KorvaneK7302UnhideRM", "UnhideRM"},
};
constexpr DWORD kRmEventCount = sizeof kRmEvents / sizeof kRmEvents[0];

std::string g_record;

// One line "<milliseconds since boot> <what>" on standard output and appended to the
// record file, which several programs may share.
void Report(const char* what) {
  support::Info("%s", what);
  support::AppendRecord(g_record, support::ProgramName(), what);
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CLOSE:
      Report("WM_CLOSE");
      DestroyWindow(window);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcA(window, message, wParam, lParam);
  }
}

HWND CreateServerWindow(bool show) {
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = WindowProc;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.lpszClassName = kClass;
  if (RegisterClassA(&windowClass) == 0) return nullptr;
  HWND window = CreateWindowExA(0, kClass, kTitle, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, 320, 120,
                                nullptr, nullptr, windowClass.hInstance, nullptr);
  if (window != nullptr && show) ShowWindow(window, SW_SHOWNORMAL);
  return window;
}

// Serves the events and the window until WM_CLOSE or a stop request.
void Serve(const HANDLE (&rmEvents)[kRmEventCount], const support::StopSignal& stop) {
  HANDLE waits[kRmEventCount + 1];
  for (DWORD i = 0; i < kRmEventCount; ++i) waits[i] = rmEvents[i];
  waits[kRmEventCount] = stop.Handle();
  for (;;) {
    const DWORD result = MsgWaitForMultipleObjects(kRmEventCount + 1, waits, FALSE, INFINITE, QS_ALLINPUT);
    if (result < WAIT_OBJECT_0 + kRmEventCount) {
      Report((std::string("signalled ") + kRmEvents[result - WAIT_OBJECT_0].label).c_str());
    } else if (result == WAIT_OBJECT_0 + kRmEventCount) {
      Report("stop requested");
      return;
    } else if (result == WAIT_OBJECT_0 + kRmEventCount + 1) {
      MSG message;
      while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) return;
        TranslateMessage(&message);
        DispatchMessageA(&message);
      }
    } else {
      support::Error("wait failed: %s", support::DescribeError(GetLastError()).c_str());
      return;
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  support::SetProgramName("halvo7302");
  if (const char* record = std::getenv(kRecordVariable)) g_record = record;
  bool present = true;
  bool show = false;
  std::string stopEvent;
  support::OptionParser parser("halvo7302", "[options]",
                               "Stand-in for the K7302 interface's server program: window \"Korvane_K7302_Server\"\n"
                               "(class \"Korvane_K7302_Server_Class\"), presence event \"Global\\KorvaneK7302Present\"\n"
                               "and the resource manager events EditRM, RefreshRM, HideRM and UnhideRM.");
  parser.AddValue("--record", "FILE",
                  "append one line per event to FILE (default: the environment variable HALVO7302_RECORD)",
                  [&](std::string_view v) {
                    g_record = std::string(v);
                    return v.empty() ? "needs a file name" : std::string();
                  });
  parser.AddFlag("--absent", "create the presence event not signalled (no interface present)",
                 [&] { present = false; });
  parser.AddFlag("--show", "show the window (it is hidden otherwise)", [&] { show = true; });
  support::AddStopEventOption(parser, stopEvent);
  parser.AddEpilogue(
      "Lines, on standard output and in the record file (there after the milliseconds since boot):\n"
      "  \"ready\", \"signalled <event>\", \"WM_CLOSE\", \"stop requested\", \"stopped\".\n"
      "Exit codes: 0 closed or stopped, 1 could not set up, 2 bad command line.\n");
  if (const auto exitCode = parser.ExitCodeUnlessRun(argc, argv)) return *exitCode;

  support::StopSignal stop;
  if (!stop.Init(stopEvent)) return 1;
  HANDLE presentEvent = CreateEventA(support::NullDaclAttributes(), TRUE, present ? TRUE : FALSE, kPresentEvent);
  HANDLE rmEvents[kRmEventCount] = {};
  bool created = presentEvent != nullptr;
  // Auto-reset: each signal is reported once.
  for (DWORD i = 0; i < kRmEventCount && created; ++i) {
    rmEvents[i] = CreateEventA(support::NullDaclAttributes(), FALSE, FALSE, kRmEvents[i].name);
    created = rmEvents[i] != nullptr;
  }
  if (!created) {
    support::Error("cannot create the K7302 events: %s", support::DescribeError(GetLastError()).c_str());
    return 1;
  }
  // Recorded before the window exists: whoever finds the window finds this line too.
  Report("ready");
  if (CreateServerWindow(show) == nullptr) {
    support::Error("cannot create the window: %s", support::DescribeError(GetLastError()).c_str());
    return 1;
  }
  Serve(rmEvents, stop);
  for (HANDLE event : rmEvents) CloseHandle(event);
  CloseHandle(presentEvent);
  Report("stopped");
  return 0;
}
