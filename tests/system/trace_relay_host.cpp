// trace_relay_host: a second trace relay for the tests, as another session's Quorvel runs
// one beside this one: the product's relay started in this process, stopped by a line
// "quit" on standard input. Prints "relay-host: ready" once the relay serves, and exits
// with 0 when its stop finished in time.
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "trace/trace_control.h"
#include "trace/trace_relay.h"

namespace {

constexpr DWORD kReadyMs = 20000;
constexpr DWORD kPollMs = 20;
constexpr DWORD kStopMs = 5000;

}  // namespace

int main() {
  StartTraceEvents(GetModuleHandleA(nullptr));
  for (DWORD waited = 0; GetTraceControlView() == nullptr; waited += kPollMs) {
    if (waited >= kReadyMs) {
      std::printf("relay-host: the relay did not map the trace control block\n");
      return 1;
    }
    Sleep(kPollMs);
  }
  std::printf("relay-host: ready\n");
  std::fflush(stdout);
  char line[64];
  while (std::fgets(line, sizeof line, stdin) != nullptr && std::strncmp(line, "quit", 4) != 0) {
  }
  const bool stopped = StopTraceEvents(kStopMs);
  std::printf("relay-host: %s\n", stopped ? "stopped" : "the relay did not stop in time");
  return stopped ? 0 : 1;
}
