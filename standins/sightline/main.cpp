// sightline: a stand-in for the trace viewer. It publishes the viewer's status memory,
// serves its pipe through the connection handshake, and writes every text it receives
// to a capture file (UTF-8, one message per line) and, if asked, to the console.
// Commands on standard input switch it at run time.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include "support/options.h"
#include "support/report.h"
#include "support/stop_signal.h"
#include "support/viewer_server.h"

namespace {

using viewer_side::ViewerOptions;
using viewer_side::ViewerServer;

constexpr const char kCommands[] =
    "Commands on standard input, one per line:\n"
    "  status N     set the status byte (1 tracing wanted, 0 not, others mean nothing)\n"
    "  limit N      set the array-size limit\n"
    "  stall on|off ignore connection requests (never set the ready event) or answer them\n"
    "  pause on|off stop reading the connections' data, or read again\n"
    "  delay MS     pause MS ms before every read (a slow viewer; 0: none)\n"
    "  drop         disconnect every current connection\n"
    "  count        print the number of messages received\n"
    "  quit         stop\n"
    "Every command is answered with one line \"sightline: ok <command>\" (or an error).\n";

bool Command(const std::string& line, ViewerServer& viewer, const support::StopSignal& stop) {
  char word[16] = {};
  char rest[64] = {};
  const int n = std::sscanf(line.c_str(), "%15s %63s", word, rest);
  if (n < 1) return true;
  const std::string command(word);
  int64_t value = 0;
  if (command == "status" && n == 2 && support::ParseInteger(rest, 0, 255, value)) {
    viewer.SetStatus(static_cast<uint8_t>(value));
  } else if (command == "limit" && n == 2 && support::ParseInteger(rest, 0, UINT32_MAX, value)) {
    viewer.SetArrayLimit(static_cast<uint32_t>(value));
  } else if (command == "stall" && n == 2 && (std::strcmp(rest, "on") == 0 || std::strcmp(rest, "off") == 0)) {
    viewer.SetStallReady(std::strcmp(rest, "on") == 0);
  } else if (command == "pause" && n == 2 && (std::strcmp(rest, "on") == 0 || std::strcmp(rest, "off") == 0)) {
    viewer.SetPauseReading(std::strcmp(rest, "on") == 0);
  } else if (command == "delay" && n == 2 && support::ParseInteger(rest, 0, 3600000, value)) {
    viewer.SetReadDelay(static_cast<DWORD>(value));
  } else if (command == "drop") {
    viewer.DropConnections();
  } else if (command == "count") {
    support::Info("messages %llu", static_cast<unsigned long long>(viewer.Messages()));
    return true;
  } else if (command == "quit") {
    stop.Request();
  } else {
    support::Error("unknown command \"%s\"", line.c_str());
    return true;
  }
  support::Info("ok %s", line.c_str());
  return command != "quit";
}

}  // namespace

int main(int argc, char** argv) {
  support::SetProgramName("sightline");
  ViewerOptions options;
  std::string stopEvent;
  support::OptionParser parser("sightline", "[options]",
                               "Stand-in for the trace viewer: publishes its status memory and serves its pipe\n"
                               "through the connection handshake, capturing every message it receives.");
  parser.AddInteger("--status", "N", "initial status byte (default 0)", 0, 255,
                    [&](int64_t v) { options.status = static_cast<uint8_t>(v); });
  parser.AddInteger("--array-limit", "N", "initial array-size limit (default 1024)", 0, UINT32_MAX,
                    [&](int64_t v) { options.arrayLimit = static_cast<uint32_t>(v); });
  parser.AddValue("--capture", "FILE", "write each message to FILE, UTF-8, one per line", [&](std::string_view v) {
    options.capturePath = std::string(v);
    return v.empty() ? "needs a file name" : std::string();
  });
  parser.AddFlag("--echo", "print each message to standard output as it arrives", [&] { options.echo = true; });
  parser.AddFlag("--stall-ready", "start with connection requests ignored", [&] { options.stallReady = true; });
  parser.AddFlag("--pause-reading", "start with the connections' data left unread",
                 [&] { options.pauseReading = true; });
  parser.AddInteger("--read-delay", "MS", "pause MS ms before every read of a connection (default 0)", 0, 3600000,
                    [&](int64_t v) { options.readDelayMs = static_cast<DWORD>(v); });
  support::AddStopEventOption(parser, stopEvent);
  parser.AddEpilogue(std::string(kCommands) +
                     "It prints \"sightline: ready\" once everything is published.\n"
                     "Exit codes: 0 stopped cleanly, 1 could not set up, 2 bad command line.\n");
  if (const auto exitCode = parser.ExitCodeUnlessRun(argc, argv)) return *exitCode;

  std::string error;
  support::StopSignal stop;
  if (!stop.Init(stopEvent)) return 1;
  ViewerServer viewer(options, stop.Handle());
  if (!viewer.Publish(error)) {
    support::Error("%s", error.c_str());
    return 1;
  }
  // Commands come from a thread of their own; standard input ending is no stop request,
  // so the viewer can run detached from any console.
  std::thread commands([&] {
    char line[256];
    while (std::fgets(line, sizeof line, stdin) != nullptr) {
      line[std::strcspn(line, "\r\n")] = '\0';
      if (!Command(line, viewer, stop)) break;
    }
  });
  commands.detach();
  support::Info("ready (status %u, array limit %u)", options.status, options.arrayLimit);
  viewer.Serve();
  viewer.DropConnections();
  support::Info("stopped: %llu messages received", static_cast<unsigned long long>(viewer.Messages()));
  std::fflush(stdout);
  // The command thread may still sit in a read of standard input.
  ExitProcess(0);
}
