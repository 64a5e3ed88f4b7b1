#include "tools/quorvel-trace/trace_capture.h"

#include <windows.h>

#include <charconv>
#include <cstdint>
#include <ctime>
#include <thread>

#include "base/unique.h"
#include "tools/quorvel-trace/capture_file.h"
#include "support/report.h"
#include "support/stop_signal.h"
#include "tools/quorvel-trace/trace_commands.h"
#include "support/viewer_server.h"

namespace qtrace {

const char kCaptureHelp[] =
    "\ncapture: asks the relay for tracing and writes every message it sends to FILE (default\n"
    "  quorvel-trace-YYYYMMDD-HHMMSS.qtrace here), UTF-8, one message per line. It ends on Ctrl-C,\n"
    "  after --for SECONDS, or when the event --stop-event NAME is set; then tracing is switched\n"
    "  off and the number of messages kept is printed. --array-limit N: array elements the\n"
    "  libraries trace (default 1024). Only one capture (or viewer) runs at a time.\n"
    "Exit codes: 0 done, 1 failed (file, another capture running, write error), 2 bad command line.\n";

namespace {

// How long the relay may take to see the status drop and close its end (it polls about
// every 500 ms).
constexpr DWORD kReleaseWaitMs = 5000;
// A relay still connected to an ended viewer reconnects only after it has seen the status
// off: long enough for two of its polls.
constexpr DWORD kStatusOffMs = 1200;

struct CaptureOptions {
  std::string path;
  DWORD forMs = INFINITE;
  uint32_t arrayLimit = 1024;
  std::string stopEvent;
};

template <typename Int>
bool ParseNumber(const std::string& text, Int min, Int max, Int& out) {
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
  return ec == std::errc() && end == text.data() + text.size() && out >= min && out <= max;
}

bool ParseCaptureOptions(const std::vector<std::string>& args, CaptureOptions& o, std::string& error) {
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (i + 1 >= args.size()) {
      error = "unexpected argument \"" + arg + "\"";
      return false;
    }
    const std::string& value = args[++i];
    uint32_t seconds = 0;
    if (arg == "-o" && !value.empty()) {
      o.path = value;
    } else if (arg == "--for" && ParseNumber<uint32_t>(value, 1, 86400 * 366, seconds)) {
      o.forMs = seconds * 1000;
    } else if (arg == "--array-limit" && ParseNumber<uint32_t>(value, 0, UINT32_MAX, o.arrayLimit)) {
      // taken into o.arrayLimit
    } else if (arg == "--stop-event" && !value.empty()) {
      o.stopEvent = value;
    } else {
      error = "bad option \"" + arg + " " + value + "\"";
      return false;
    }
  }
  if (o.path.empty()) {
    const std::time_t now = std::time(nullptr);
    char name[64];
    std::strftime(name, sizeof name, "quorvel-trace-%Y%m%d-%H%M%S.qtrace", std::localtime(&now));
    o.path = name;
  }
  return true;
}

}  // namespace

int RunCapture(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  support::SetProgramName("quorvel-trace");
  CaptureOptions o;
  std::string error;
  if (!ParseCaptureOptions(args, o, error)) {
    err << "quorvel-trace: error: " << error << "\n" << kUsage;
    return kExitUsage;
  }
  support::StopSignal stop;
  if (!stop.Init(o.stopEvent)) return kExitFailed;
  CaptureFile file;
  if (!file.Open(o.path)) {
    err << "quorvel-trace: error: " << file.Error() << "\n";
    return kExitFailed;
  }
  // Set by the sink when the file takes no more; and the end of the viewer's serving once
  // the relay has let go.
  const UniqueHandle writeFailed(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  const UniqueHandle serverStop(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  if (!writeFailed || !serverStop) {
    err << "quorvel-trace: error: cannot create an event: " << support::DescribeError(GetLastError()) << "\n";
    return kExitFailed;
  }
  viewer_side::ViewerOptions viewerOptions;
  viewerOptions.status = 0;
  viewerOptions.arrayLimit = o.arrayLimit;
  viewerOptions.sink = [&](const char16_t* text, size_t length) {
    if (file.Write(text, length)) return true;
    SetEvent(writeFailed.Get());
    return false;
  };
  viewer_side::ViewerServer viewer(viewerOptions, serverStop.Get());
  if (!viewer.Publish(error)) {
    err << "quorvel-trace: error: cannot capture: " << error << "\n";
    return kExitFailed;
  }
  if (viewer.TookOver()) Sleep(kStatusOffMs);
  viewer.SetStatus(1);
  std::thread server([&] { viewer.Serve(); });
  out << "quorvel-trace: capturing to " << o.path << " (Ctrl-C to stop)" << std::endl;

  const HANDLE ends[2] = {stop.Handle(), writeFailed.Get()};
  WaitForMultipleObjects(2, ends, FALSE, o.forMs);
  // Switch tracing off, then let the relay close its end so no message is cut.
  viewer.SetStatus(0);
  for (const ULONGLONG deadline = GetTickCount64() + kReleaseWaitMs;
       viewer.Connections() > 0 && GetTickCount64() < deadline;) {
    Sleep(20);
  }
  SetEvent(serverStop.Get());
  server.join();
  viewer.DropConnections();
  out << "quorvel-trace: " << file.Messages() << " messages kept in " << o.path << std::endl;
  if (!file.Error().empty()) {
    err << "quorvel-trace: error: " << file.Error() << "\n";
    return kExitFailed;
  }
  return kExitOk;
}

}  // namespace qtrace
