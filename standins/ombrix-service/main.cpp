// ombrix-service: a stand-in for the suite's system service and its NKO server, for tests
// and demonstrations. It publishes the service information block and the two running
// events, serves the NKO pipe, and runs until its stop event is set or Ctrl-C.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "base/results.h"
#include "base/unique.h"
#include "support/nko_object_table.h"
#include "standins/ombrix-service/pipe_server.h"
#include "standins/ombrix-service/request_log.h"
#include "standins/ombrix-service/service_objects.h"
#include "support/options.h"
#include "support/report.h"
#include "support/stop_signal.h"

namespace {

using namespace ombrix;

struct Settings {
  std::string stopEvent;
  std::string readyEvent;
  bool publishBlock = true;
  InfoBlockContent block;
  EventMode serviceEvent;
  EventMode nkoEvent;
  bool servePipe = true;
  DWORD pipeAfterMs = 0;
  std::string requestLog;
  std::string silentEvent;
  ServerOptions server;
};

// "\n", "\t" and "\\" in texts given on the command line, so that multi-line messages
// can be passed through one argument.
std::string Unbackslash(std::string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 1 < text.size()) {
      char next = text[i + 1];
      if (next == 'n' || next == 't' || next == '\\') {
        out += next == 'n' ? '\n' : next == 't' ? '\t' : '\\';
        ++i;
        continue;
      }
    }
    out += text[i];
  }
  return out;
}

support::OptionParser MakeParser(Settings& s) {
  support::OptionParser p("ombrix-service", "[options]",
                          "Stand-in for the suite service and its NKO server. Publishes the service information\n"
                          "block and the running events, serves the NKO pipe, and runs until stopped.");
  auto text = [](std::string& target) {
    return [&target](std::string_view v) {
      target = Unbackslash(v);
      return std::string();
    };
  };
  auto mode = [](EventMode& target) {
    return [&target](std::string_view v) {
      return ParseEventMode(std::string(v), target)
                 ? std::string()
                 : "expects signalled, unsignalled, absent or after:MS, got \"" + std::string(v) + "\"";
    };
  };
  auto flag = [](bool& target, bool value) { return [&target, value] { target = value; }; };

  support::AddStopEventOption(p, s.stopEvent);
  p.AddValue("--ready-event", "NAME", "set the event NAME once everything not delayed is in place",
             [&s](std::string_view v) { return (s.readyEvent = v).empty() ? "needs a name" : std::string(); });

  p.AddFlag("--no-info-block", "do not publish the service information block", flag(s.publishBlock, false));
  p.AddInteger("--has-message", "N", "hasMessage field (default 0)", INT32_MIN, INT32_MAX,
               [&s](int64_t n) { s.block.hasMessage = static_cast<int32_t>(n); });
  p.AddInteger("--refuse-start", "N", "refuseStart field (default 0)", INT32_MIN, INT32_MAX,
               [&s](int64_t n) { s.block.refuseStart = static_cast<int32_t>(n); });
  p.AddInteger("--show-message", "N", "showMessage field (default 0)", INT32_MIN, INT32_MAX,
               [&s](int64_t n) { s.block.showMessage = static_cast<int32_t>(n); });
  p.AddValue("--message", "TEXT", "message field (\\n, \\t, \\\\ are understood; cut to 2047 bytes)",
             text(s.block.message));
  p.AddValue("--status-line", "TEXT", "statusLine field (as --message; cut to 255 bytes)", text(s.block.statusLine));
  p.AddFlag("--unterminated-text", "fill message and statusLine to their last byte, without a NUL",
            flag(s.block.unterminated, true));

  p.AddValue("--service-event", "MODE",
             "Global\\__KorvaneOmbrixServiceIsRunning: signalled (default),\n"
             "unsignalled, absent, or after:MS (signalled MS ms after start)",
             mode(s.serviceEvent));
  p.AddValue("--nko-event", "MODE", "Global\\__KorvaneNkoServerRunningEvent: as --service-event", mode(s.nkoEvent));

  p.AddFlag("--no-pipe", "do not serve the NKO pipe at all", flag(s.servePipe, false));
  p.AddInteger("--pipe-after", "MS", "open the NKO pipe only MS ms after start", 0, 86400000,
               [&s](int64_t n) { s.pipeAfterMs = static_cast<DWORD>(n); });
  p.AddInteger("--instances", "N", "pipe instances served at once (default 4)", 1, 64,
               [&s](int64_t n) { s.server.instances = static_cast<int>(n); });
  p.AddValue("--pipe-name", "NAME", "serve this pipe instead of the NKO pipe", [&s](std::string_view v) {
    s.server.pipeName = std::string(v);
    return v.rfind("\\\\.\\pipe\\", 0) == 0 ? std::string() : "must begin with \\\\.\\pipe\\";
  });
  p.AddInteger("--io-timeout", "MS", "drop a client silent for MS ms (default 10000)", 1, 3600000,
               [&s](int64_t n) { s.server.ioTimeoutMs = static_cast<DWORD>(n); });
  p.AddValue("--request-log", "FILE",
             "write one line per request to FILE (\"-\": standard output):\n"
             "request TAB reply, backslash-escaped; \"(dropped)\" for no reply",
             [&s](std::string_view v) { return (s.requestLog = v).empty() ? "needs a file name" : std::string(); });

  ServerFaults& f = s.server.faults;
  p.AddFlag("--refuse-create", "fault: answer every create request with \"0,5\"", flag(f.refuseCreate, true));
  p.AddInteger("--reply-delay", "MS", "fault: wait MS ms before each reply", 0, 3600000,
               [&f](int64_t n) { f.replyDelayMs = static_cast<DWORD>(n); });
  p.AddFlag("--drop-reply", "fault: read each request, then close without a reply", flag(f.dropReply, true));
  p.AddFlag("--garbage-reply", "fault: answer text that is no number (and carry out nothing)",
            flag(f.garbageReply, true));
  p.AddValue("--reply-text", "TEXT", "fault: answer TEXT to every request (and carry out nothing)",
             [&f](std::string_view v) {
               f.replyText = std::string(v);
               return std::string();
             });
  p.AddInteger("--oversized-reply", "COUNT",
               "fault: announce COUNT reply bytes and send them: the reply,\n"
               "its NUL, then 'x' filler",
               1, 16 * 1024 * 1024, [&f](int64_t n) { f.oversizedCount = static_cast<uint32_t>(n); });
  p.AddInteger("--fault-count", "N", "faults hit only the first N requests (default: all)", 0, INT64_MAX,
               [&f](int64_t n) { f.faultLimit = n; });
  p.AddFlag("--silent", "fault: read every request and never answer; the connection is held\n"
            "until the client closes it (the request log shows \"(silent)\")",
            [&f] { f.silentAfter = 0; });
  p.AddInteger("--silent-after", "N", "fault: answer the first N requests, then fall silent as --silent", 0, INT64_MAX,
               [&f](int64_t n) { f.silentAfter = n; });
  p.AddValue("--silent-event", "NAME",
             "fault: create (or open) the manual-reset event NAME; once it is set,\n"
             "fall silent as --silent",
             [&s](std::string_view v) { return (s.silentEvent = v).empty() ? "needs a name" : std::string(); });

  p.AddEpilogue(
      "Handles of created objects are held until the CloseHandle request of the same ProcId.\n"
      "On exit it prints how many requests it served.\n"
      "Exit codes: 0 stopped cleanly, 1 could not set up (an object exists already, ...),\n"
      "2 bad command line.\n");
  return p;
}

// The manual-reset event NAME, not signalled, made for any process to open; an empty name
// makes none. False, with an error line naming what the event is for, when it cannot be made.
bool MakeNamedEvent(const std::string& name, const char* what, UniqueHandle& event) {
  if (name.empty()) return true;
  event.Reset(CreateEventA(support::NullDaclAttributes(), TRUE, FALSE, name.c_str()));
  if (event) return true;
  support::Error("cannot create the %s event \"%s\": %s", what, name.c_str(),
                 support::DescribeError(GetLastError()).c_str());
  return false;
}

// Things that happen a given time after start (delayed events, a late pipe).
struct Timed {
  DWORD atMs;
  std::function<bool()> action;  // false: a fatal failure
};

int Run(Settings& s) {
  std::string error;
  support::StopSignal stop;
  if (!stop.Init(s.stopEvent)) return 1;
  RequestLog log;
  if (!s.requestLog.empty() && !log.Open(s.requestLog, error)) {
    support::Error("%s", error.c_str());
    return 1;
  }

  UniqueHandle silentEvent;
  if (!MakeNamedEvent(s.silentEvent, "silent", silentEvent)) return 1;
  s.server.faults.silentEvent = silentEvent.Get();  // null without --silent-event

  InfoBlock block;
  RunningEvent serviceEvent;
  RunningEvent nkoEvent;
  ObjectTable objects;
  PipeServer server(s.server, objects, log, stop.Handle());
  if ((s.publishBlock && !block.Publish(s.block, error)) ||
      !serviceEvent.Create(kServiceRunningEventName, s.serviceEvent, error) ||
      !nkoEvent.Create(kNkoRunningEventName, s.nkoEvent, error)) {
    support::Error("%s", error.c_str());
    return 1;
  }

  std::vector<Timed> timed;
  if (s.serviceEvent.kind == EventMode::SignalledLater) {
    timed.push_back({s.serviceEvent.delayMs, [&] { serviceEvent.Signal(); return true; }});
  }
  if (s.nkoEvent.kind == EventMode::SignalledLater) {
    timed.push_back({s.nkoEvent.delayMs, [&] { nkoEvent.Signal(); return true; }});
  }
  auto startPipe = [&] {
    if (server.Start(error)) return true;
    support::Error("%s", error.c_str());
    return false;
  };
  if (s.servePipe && s.pipeAfterMs > 0) {
    timed.push_back({s.pipeAfterMs, startPipe});
  } else if (s.servePipe && !startPipe()) {
    return 1;
  }

  // Kept open until the process ends: a starter that opens the event only now must still
  // find it, and signalled.
  UniqueHandle ready;
  if (!MakeNamedEvent(s.readyEvent, "ready", ready)) return 1;
  if (ready) IgnoreResult(SetEvent(ready.Get()));  // cannot fail for the event just created
  support::Info("running (pipe %s, %d instances)", s.servePipe ? s.server.pipeName.c_str() : "off",
                s.server.instances);

  std::sort(timed.begin(), timed.end(), [](const Timed& a, const Timed& b) { return a.atMs < b.atMs; });
  ULONGLONG start = GetTickCount64();
  int exitCode = 0;
  for (const Timed& t : timed) {
    ULONGLONG elapsed = GetTickCount64() - start;
    DWORD wait = t.atMs > elapsed ? static_cast<DWORD>(t.atMs - elapsed) : 0;
    if (stop.SleepFor(wait)) break;
    if (!t.action()) {
      exitCode = 1;
      stop.Request();
      break;
    }
  }
  IgnoreResult(WaitForSingleObject(stop.Handle(), INFINITE));  // the stand-in's own event: only a stop ends it

  server.Join();
  size_t held = objects.Held();
  objects.CloseAll();
  support::Info("stopped: %llu requests served, %llu objects still held at stop",
                static_cast<unsigned long long>(server.Served()), static_cast<unsigned long long>(held));
  return exitCode;
}

}  // namespace

int main(int argc, char** argv) {
  support::SetProgramName("ombrix-service");
  Settings settings;
  support::OptionParser parser = MakeParser(settings);
  if (const auto exitCode = parser.ExitCodeUnlessRun(argc, argv)) return *exitCode;
  return Run(settings);
}
