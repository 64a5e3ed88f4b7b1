// run-program: a stand-in for a program of the suite's Run list. Its main window carries
// the title it is given, by which Quorvel closes it; it can be told to ignore the first
// WM_CLOSE messages, as a busy program would, and records each one it receives.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "support/options.h"
#include "support/report.h"
#include "support/stop_signal.h"

namespace {

constexpr char kClass[] = "Quorvel_Run_Program_StandIn";

struct Settings {
  std::string title;
  std::string record;
  int64_t ignoreCloses = 0;
  bool show = false;
};
Settings g_settings;
int64_t g_closes = 0;

// One line "<milliseconds since boot> <title> <what>" appended to the record file (which
// several programs may share), and "run-program: <title> <what>" on standard output.
void Report(const std::string& what) {
  support::Info("%s %s", g_settings.title.c_str(), what.c_str());
  support::AppendRecord(g_settings.record, g_settings.title, what);
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CLOSE:
      ++g_closes;
      if (g_closes <= g_settings.ignoreCloses) {
        Report("WM_CLOSE " + std::to_string(g_closes) + " ignored");
        return 0;
      }
      Report("WM_CLOSE " + std::to_string(g_closes) + " closing");
      DestroyWindow(window);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcA(window, message, wParam, lParam);
  }
}

}  // namespace

int main(int argc, char** argv) {
  support::SetProgramName("run-program");
  std::string stopEvent;
  support::OptionParser parser("run-program", "--title TITLE [options]",
                               "Stand-in for a program of the suite's Run list: a window titled TITLE that ends\n"
                               "on WM_CLOSE, unless told to ignore the first ones.");
  parser.AddValue("--title", "TITLE", "the window's title (required)", [](std::string_view v) {
    g_settings.title = std::string(v);
    return v.empty() ? "needs a title" : std::string();
  });
  parser.AddInteger("--ignore-close", "N", "ignore the first N WM_CLOSE messages (default 0)", 0, INT32_MAX,
                    [](int64_t v) { g_settings.ignoreCloses = v; });
  parser.AddValue("--record", "FILE", "append one line per event to FILE", [](std::string_view v) {
    g_settings.record = std::string(v);
    return v.empty() ? "needs a file name" : std::string();
  });
  parser.AddFlag("--show", "show the window (it is hidden otherwise)", [] { g_settings.show = true; });
  support::AddStopEventOption(parser, stopEvent);
  parser.AddEpilogue(
      "Lines, on standard output and in the record file (there after the milliseconds since boot):\n"
      "  \"<title> started pid <pid>\", \"<title> WM_CLOSE <n> ignored\", \"<title> WM_CLOSE <n> closing\",\n"
      "  \"<title> stop requested\", \"<title> stopped\".\n"
      "Exit codes: 0 closed or stopped, 1 could not set up, 2 bad command line.\n");
  if (const auto exitCode = parser.ExitCodeUnlessRun(argc, argv)) return *exitCode;
  if (g_settings.title.empty()) {
    support::Error("--title is required");
    return 2;
  }

  support::StopSignal stop;
  if (!stop.Init(stopEvent)) return 1;
  // Recorded before the window exists: whoever finds the window finds this line too.
  Report("started pid " + std::to_string(GetCurrentProcessId()));
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = WindowProc;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.lpszClassName = kClass;
  HWND window = RegisterClassA(&windowClass) == 0
                    ? nullptr
                    : CreateWindowExA(0, kClass, g_settings.title.c_str(), WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                      CW_USEDEFAULT, 320, 120, nullptr, nullptr, windowClass.hInstance, nullptr);
  if (window == nullptr) {
    support::Error("cannot create the window: %s", support::DescribeError(GetLastError()).c_str());
    return 1;
  }
  if (g_settings.show) ShowWindow(window, SW_SHOWNORMAL);

  HANDLE stopHandle = stop.Handle();
  for (;;) {
    const DWORD result = MsgWaitForMultipleObjects(1, &stopHandle, FALSE, INFINITE, QS_ALLINPUT);
    if (result != WAIT_OBJECT_0 + 1) {
      Report("stop requested");
      break;
    }
    MSG message;
    bool quit = false;
    while (!quit && PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      quit = message.message == WM_QUIT;
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
    if (quit) break;
  }
  Report("stopped");
  return 0;
}
