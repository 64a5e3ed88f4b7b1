#include "tools/quorvel-trace/trace_capture.h"

#include <windows.h>

#include <cstdint>
#include <ctime>
#include <optional>
#include <thread>

#include "base/results.h"
#include "base/unique.h"
#include "tools/quorvel-trace/capture_file.h"
#include "tools/quorvel-trace/live_view.h"
#include "support/options.h"
#include "support/report.h"
#include "support/stop_signal.h"
#include "tools/quorvel-trace/trace_commands.h"
#include "support/viewer_server.h"

namespace qtrace {

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

support::OptionParser MakeCaptureParser(CaptureOptions& o) {
  support::OptionParser p("quorvel-trace capture",
                          "[-o FILE] [--for SECONDS] [--array-limit N] [--stop-event NAME] [--show [filters]]",
                          "Asks the relay for tracing and writes every message it sends to FILE, UTF-8, one\n"
                          "message per line, until Ctrl-C, the time limit or the stop event; then switches tracing\n"
                          "off and says how many messages it kept. Only one capture (or viewer) runs at a time.");
  p.AddValue("-o", "FILE", "the capture file (default quorvel-trace-YYYYMMDD-HHMMSS.qtrace here)",
             [&o](std::string_view v) {
               o.path = v;
               return v.empty() ? std::string("needs a file name") : std::string();
             });
  p.AddInteger("--for", "SECONDS", "end after SECONDS", 1, 86400 * 366,
               [&o](int64_t v) { o.forMs = static_cast<DWORD>(v * 1000); });
  p.AddInteger("--array-limit", "N", "array elements the libraries trace (default 1024)", 0, UINT32_MAX,
               [&o](int64_t v) { o.arrayLimit = static_cast<uint32_t>(v); });
  p.AddValue("--stop-event", "NAME", "end when the named event is set", [&o](std::string_view v) {
    o.stopEvent = v;
    return v.empty() ? std::string("needs a name") : std::string();
  });
  p.AddFlag("--show", "print each call the filters choose as its list line as soon as it returns\n"
                      "(the file still gets every message)",
            [&o] { o.show = true; });
  AddLineOptions(p, o.line);
  AddReadOptions(p, o.read);
  p.AddEpilogue("Exit codes: 0 done, 1 failed (file, another capture running, write error), 2 bad command line.\n");
  return p;
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
    error = "cannot create an event: " + support::DescribeError(GetLastError());
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
  support::SetProgramName("quorvel-trace");
  CaptureOptions o;
  support::OptionParser parser = MakeCaptureParser(o);
  switch (parser.Parse(std::vector<std::string>(args.begin() + 1, args.end()))) {
    case support::OptionParser::Outcome::HelpShown:
      return kExitOk;
    case support::OptionParser::Outcome::Error:
      return kExitUsage;
    case support::OptionParser::Outcome::Run:
      break;
  }
  o.line.utc = o.read.filter.utc;
  if (o.path.empty()) o.path = DefaultCapturePath();
  std::string error;
  support::StopSignal stop;
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
