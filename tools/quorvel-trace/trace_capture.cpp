#include "trace_capture.h"

#include <windows.h>

#include <charconv>
#include <cstdint>
#include <ctime>
#include <optional>
#include <thread>

#include "base/results.h"
#include "base/unique.h"
#include "capture_file.h"
#include "live_view.h"
#include "standin/report.h"
#include "standin/stop_signal.h"
#include "trace_commands.h"
#include "viewer_server.h"

namespace qtrace {

const char kCaptureHelp[] =
    "\ncapture: asks the relay for tracing and writes every message it sends to FILE (default\n"
    "  quorvel-trace-YYYYMMDD-HHMMSS.qtrace here), UTF-8, one message per line. It ends on Ctrl-C,\n"
    "  after --for SECONDS, or when the event --stop-event NAME is set; then tracing is switched\n"
    "  off and the number of messages kept is printed. --array-limit N: array elements the\n"
    "  libraries trace (default 1024). --show: also print each call as a list line as soon as it\n"
    "  returns (the filters choose which; the file keeps every message). Only one capture (or\n"
    "  viewer) runs at a time.\n"
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
  bool show = false;
  ReadOptions read;
  LineOptions line;
};

template <typename Int>
bool ParseNumber(const std::string& text, Int min, Int max, Int& out) {
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
  return ec == std::errc() && end == text.data() + text.size() && out >= min && out <= max;
}

const ReadOption* FindReadOption(std::string_view name) {
  for (const ReadOption& o : ReadOptionTable()) {
    if (o.name == name) return &o;
  }
  return nullptr;
}

bool ParseCaptureOptions(const std::vector<std::string>& args, CaptureOptions& o, std::string& error) {
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--show") {
      o.show = true;
      continue;
    }
    if (const ReadOption* r = FindReadOption(arg); r != nullptr && r->valueName.empty()) {
      error = r->apply(o.read, {});
      if (!error.empty()) return false;
      continue;
    }
    if (i + 1 >= args.size()) {
      error = "unexpected argument \"" + arg + "\"";
      return false;
    }
    const std::string& value = args[++i];
    uint32_t seconds = 0;
    if (const ReadOption* r = FindReadOption(arg)) {
      error = r->apply(o.read, value);
      if (!error.empty()) return false;
    } else if (arg == "-o" && !value.empty()) {
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
  o.line.utc = o.read.filter.utc;
  return true;
}

std::string DefaultCapturePath() {
  const std::time_t now = std::time(nullptr);
  char name[64];
  std::strftime(name, sizeof name, "quorvel-trace-%Y%m%d-%H%M%S.qtrace", std::localtime(&now));
  return name;
}

// One capture: the file, the viewer's side of the link and the thread that serves it.
class Capture {
 public:
  Capture(const CaptureOptions& options, std::ostream& out) : m_options(options), m_out(out) {
    if (options.show) m_live.emplace(options.read.filter, options.line, out);
  }
  // Creates the file and the events; false with the reason in |error|.
  bool Prepare(std::string& error);
  // Takes the viewer's place and asks the relay for tracing.
  bool Start(std::string& error);
  // Until Ctrl-C, the stop event, the time limit or a failed write.
  void WaitForEnd(HANDLE stop);
  // Switches tracing off, lets the relay close its end so that no message is cut, and
  // ends the serving.
  void Stop();
  const CaptureFile& File() const { return m_file; }

 private:
  bool Keep(const char16_t* text, size_t length);

  const CaptureOptions& m_options;
  std::ostream& m_out;
  CaptureFile m_file;
  std::optional<LiveView> m_live;
  UniqueHandle m_writeFailed, m_serverStop;
  std::optional<viewer_side::ViewerServer> m_viewer;
  std::thread m_server;
};

bool Capture::Prepare(std::string& error) {
  if (!m_file.Open(m_options.path)) {
    error = m_file.Error();
    return false;
  }
  // Set by the sink when the file takes no more; and the end of the viewer's serving once
  // the relay has let go.
  m_writeFailed.Reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  m_serverStop.Reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  if (!m_writeFailed || !m_serverStop) {
    error = "cannot create an event: " + standin::DescribeError(GetLastError());
    return false;
  }
  return true;
}

bool Capture::Keep(const char16_t* text, size_t length) {
  if (!m_file.Write(text, length)) {
    IgnoreResult(SetEvent(m_writeFailed.Get()));  // the waiter then ends the capture
    return false;
  }
  if (m_live) m_live->Feed(m_file.LastLine());
  return true;
}

bool Capture::Start(std::string& error) {
  viewer_side::ViewerOptions viewerOptions;
  viewerOptions.status = 0;
  viewerOptions.arrayLimit = m_options.arrayLimit;
  viewerOptions.sink = [this](const char16_t* text, size_t length) { return Keep(text, length); };
  m_viewer.emplace(viewerOptions, m_serverStop.Get());
  if (!m_viewer->Publish(error)) {
    error = "cannot capture: " + error;
    return false;
  }
  if (m_viewer->TookOver()) Sleep(kStatusOffMs);
  m_viewer->SetStatus(1);
  m_out << "quorvel-trace: capturing to " << m_options.path << " (Ctrl-C to stop)" << std::endl;
  m_server = std::thread([this] { m_viewer->Serve(); });
  return true;
}

void Capture::WaitForEnd(HANDLE stop) {
  const HANDLE ends[2] = {stop, m_writeFailed.Get()};
  IgnoreResult(WaitForMultipleObjects(2, ends, FALSE, m_options.forMs));  // every outcome ends the capture
}

void Capture::Stop() {
  m_viewer->SetStatus(0);
  for (const ULONGLONG deadline = GetTickCount64() + kReleaseWaitMs;
       m_viewer->Connections() > 0 && GetTickCount64() < deadline;) {
    Sleep(20);
  }
  IgnoreResult(SetEvent(m_serverStop.Get()));  // the server thread also ends with the process
  m_server.join();
  m_viewer->DropConnections();
  if (m_live) m_live->Finish();
}

}  // namespace

int RunCapture(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  standin::SetProgramName("quorvel-trace");
  CaptureOptions o;
  std::string error;
  if (!ParseCaptureOptions(args, o, error)) {
    err << "quorvel-trace: error: " << error << "\n";
    return kExitUsage;
  }
  if (o.path.empty()) o.path = DefaultCapturePath();
  standin::StopSignal stop;
  if (!stop.Init(o.stopEvent)) return kExitFailed;
  Capture capture(o, out);
  if (!capture.Prepare(error) || !capture.Start(error)) {
    err << "quorvel-trace: error: " << error << "\n";
    return kExitFailed;
  }
  capture.WaitForEnd(stop.Handle());
  capture.Stop();
  out << "quorvel-trace: " << capture.File().Messages() << " messages kept in " << o.path << std::endl;
  if (!capture.File().Error().empty()) {
    err << "quorvel-trace: error: " << capture.File().Error() << "\n";
    return kExitFailed;
  }
  return kExitOk;
}

}  // namespace qtrace
