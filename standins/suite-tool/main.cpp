// suite-tool: a stand-in for the suite's tools (the connection tool, the probes, the
// viewer, resfind, ...), copied into the suite directory under each tool's file name.
// Quorvel starts them through the shell with few or no parameters, so the stand-in says
// which name it was started as and with which command-line tail: one line appended to
// the record file, which a test or the demo passes down through Quorvel's environment.
#include <windows.h>

#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "support/options.h"
#include "support/report.h"
#include "support/stop_signal.h"

namespace {

constexpr char kRecordVariable[] = "SUITE_TOOL_RECORD";
constexpr char kShowVariable[] = "SUITE_TOOL_SHOW";
constexpr char kClass[] = "Quorvel_Suite_Tool_StandIn";

// The file name of this executable in its long form ("Quickprobe.exe"), also when it was
// started through a short (8.3) path as Quorvel's suite directory is.
std::string StartedName() {
  char path[MAX_PATH] = {};
  const DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
  if (n == 0 || n >= sizeof path) return "suite-tool.exe";
  char longPath[MAX_PATH] = {};
  const DWORD m = GetLongPathNameA(path, longPath, sizeof longPath);
  const std::string full = (m > 0 && m < sizeof longPath) ? longPath : path;
  const size_t slash = full.find_last_of("\\/");
  return slash == std::string::npos ? full : full.substr(slash + 1);
}

// What follows the program name on the command line, as the program was given it: the
// name is quoted or ends at the first blank, and the blanks after it are not part of
// the tail.
std::string CommandLineTail() {
  std::string_view line = GetCommandLineA();
  size_t i = 0;
  if (!line.empty() && line[0] == '"') {
    const size_t close = line.find('"', 1);
    i = close == std::string_view::npos ? line.size() : close + 1;
  }
  while (i < line.size() && line[i] != ' ' && line[i] != '\t') ++i;
  while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
  return std::string(line.substr(i));
}

// The stand-in's own options start with "--"; every other argument belongs to the tool
// it plays (resfind's "-p", say) and is only recorded. Values of the options that take
// one go with them.
std::vector<std::string> OwnOptions(int argc, char** argv) {
  std::vector<std::string> own;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg.substr(0, 2) != "--") continue;
    own.emplace_back(arg);
    const bool takesValue = arg == "--record" || arg == "--stop-event";
    if (takesValue && i + 1 < argc) own.emplace_back(argv[++i]);
  }
  return own;
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CLOSE:
      DestroyWindow(window);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcA(window, message, wParam, lParam);
  }
}

// A small window titled with the tool's name that shows its command-line tail, until it
// is closed or a stop is requested.
int ShowUntilClosed(const std::string& name, const std::string& tail, const support::StopSignal& stop) {
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = WindowProc;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  windowClass.lpszClassName = kClass;
  HWND window = RegisterClassA(&windowClass) == 0
                    ? nullptr
                    : CreateWindowExA(0, kClass, name.c_str(), WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                                      360, 110, nullptr, nullptr, windowClass.hInstance, nullptr);
  if (window == nullptr) {
    support::Error("cannot create the window: %s", support::DescribeError(GetLastError()).c_str());
    return 1;
  }
  const std::string text = name + " started with \"" + tail + "\"";
  CreateWindowExA(0, "STATIC", text.c_str(), WS_CHILD | WS_VISIBLE, 10, 10, 330, 40, window, nullptr,
                  windowClass.hInstance, nullptr);
  ShowWindow(window, SW_SHOWNORMAL);
  HANDLE stopHandle = stop.Handle();
  for (;;) {
    if (MsgWaitForMultipleObjects(1, &stopHandle, FALSE, INFINITE, QS_ALLINPUT) != WAIT_OBJECT_0 + 1) return 0;
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT) return 0;
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  static const std::string name = StartedName();
  support::SetProgramName(name.c_str());
  const std::string tail = CommandLineTail();
  std::string record;
  if (const char* value = std::getenv(kRecordVariable)) record = value;
  const char* showValue = std::getenv(kShowVariable);
  bool show = showValue != nullptr && *showValue != '\0';
  std::string stopEvent;

  support::OptionParser parser(name, "[options] [ARGUMENT...]",
                               "Stand-in for a tool of the suite, copied under the tool's file name\n"
                               "(KorvaneLinkfinder.exe, Quickprobe.exe, resfind64.exe, ...). It appends one\n"
                               "line to the record file saying which name it was started as and with which\n"
                               "command-line tail, then exits. Arguments that do not start with \"--\" belong\n"
                               "to the tool it plays and are only recorded.");
  parser.AddValue("--record", "FILE",
                  "append the line to FILE (default: the environment\n"
                  "variable SUITE_TOOL_RECORD; no line when neither is set)",
                  [&](std::string_view v) {
                    record = std::string(v);
                    return v.empty() ? "needs a file name" : std::string();
                  });
  parser.AddFlag("--show",
                 "keep a small window titled with the tool's name open\n"
                 "until it is closed (also when the environment variable\n"
                 "SUITE_TOOL_SHOW is not empty)",
                 [&] { show = true; });
  support::AddStopEventOption(parser, stopEvent);
  parser.AddEpilogue(
      "The line, on standard output and in the record file (there after the milliseconds\n"
      "since boot):  <file name> started \"<command-line tail>\"\n"
      "for example:  resfind64.exe started \"-p\"\n"
      "Exit codes: 0 recorded (and, with --show, closed), 1 could not set up, 2 bad command line.\n");
  switch (parser.Parse(OwnOptions(argc, argv))) {
    case support::OptionParser::Outcome::HelpShown:
      return 0;
    case support::OptionParser::Outcome::Error:
      return 2;
    case support::OptionParser::Outcome::Run:
      break;
  }

  const std::string what = "started \"" + tail + "\"";
  support::Info("%s", what.c_str());
  support::AppendRecord(record, name, what);
  if (!show) return 0;

  support::StopSignal stop;
  if (!stop.Init(stopEvent)) return 1;
  return ShowUntilClosed(name, tail, stop);
}
