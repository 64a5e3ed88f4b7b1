// quorvel_soak: drives one running quorvel.exe through many cycles of a long day (tray
// menu opened and closed, icon hidden and shown, balloons, the installation report
// rewritten, tracing switched on and off with traffic from many client processes and
// threads, the NKO server restarted once) and reads its handle count and working set from
// outside after each cycle. Every trace message must be answered once and captured once,
// in order, byte for byte; after the last cycle the handle count must be within 2 of its
// value after the first cycle and the working set within 1 MB.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "tests/bed/child_process.h"
#include "probes/menu-probe/popup_menu.h"
#include "tests/bed/service_standin.h"
#include "tests/bed/viewer_standin.h"
#include "bench/soak/process_meter.h"
#include "support/options.h"
#include "bench/soak/trace_check.h"

namespace {

using soak::ProcessSample;

constexpr UINT kTrayNotify = 1024;
constexpr LPARAM kRightButtonDown = 516;
constexpr DWORD kStepMs = 30000;         // the longest any one step may take
constexpr DWORD kTrafficMs = 600000;     // one cycle's clients, all together
constexpr long kHandleGoal = 2;
constexpr uint64_t kWorkingSetGoal = 1024 * 1024;
constexpr char kInfoFolder[] = "C:\\ProgramData\\Korvane\\Korvane Ombrix";

struct Settings {
  int64_t cycles = 4;
  int64_t menus = 10;  // tray menus per cycle
  int64_t processes = 8;
  int64_t threads = 4;
  int64_t calls = 16;  // traced calls per client thread and cycle (two messages each)
  int64_t arrayLimit = 4096;
  bool check = false;
};

struct Totals {
  uint64_t sent = 0, answered = 0, captured = 0, mismatched = 0;
  std::string firstProblem;
};

void Fail(const std::string& what) { throw std::runtime_error(what); }

void Print(const char* label, const ProcessSample& s) {
  std::printf("soak: %-14s handles=%ld working_set_kb=%llu\n", label, s.handles,
              static_cast<unsigned long long>(s.workingSet / 1024));
  std::fflush(stdout);
}

// The counts instrument-sim prints: "ack=A nack=N noreply=R untraced=U".
uint64_t Count(const std::string& output, const std::string& name) {
  const size_t at = output.rfind(" " + name + "=");
  return at == std::string::npos ? UINT64_MAX : std::strtoull(output.c_str() + at + name.size() + 2, nullptr, 10);
}

class Soak {
 public:
  explicit Soak(const Settings& s) : m_s(s) {}

  int Run() {
    StartAll();
    const ULONGLONG started = GetTickCount64();
    ProcessSample first{}, middle{}, last{};
    Print("before", m_meter->SettledSample(kStepMs));
    for (int64_t cycle = 1; cycle <= m_s.cycles; ++cycle) {
      if (cycle == m_s.cycles / 2 + 1) RestartService();
      Cycle(cycle);
      const ProcessSample sample = m_meter->SettledSample(kStepMs);
      char label[32];
      std::snprintf(label, sizeof label, "cycle %lld", static_cast<long long>(cycle));
      Print(label, sample);
      if (cycle == 1) first = sample;
      if (cycle == (m_s.cycles + 1) / 2) middle = sample;
      last = sample;
    }
    const double minutes = static_cast<double>(GetTickCount64() - started) / 60000.0;
    Print("after cycle 1", first);
    Print("middle", middle);
    Print("end", last);
    std::printf("soak: %lld cycles in %.1f min: %lld menus, %lld icon hide/show, %lld balloons, %lld reports, "
                "%lld viewer connections, NKO server restarted %d time(s)\n",
                static_cast<long long>(m_s.cycles), minutes, static_cast<long long>(m_s.cycles * m_s.menus),
                static_cast<long long>(m_s.cycles), static_cast<long long>(m_s.cycles),
                static_cast<long long>(m_s.cycles), static_cast<long long>(m_s.cycles), m_s.cycles > 1 ? 1 : 0);
    std::printf("soak: trace messages sent=%llu answered=%llu captured=%llu threads_out_of_order=%llu %s\n",
                static_cast<unsigned long long>(m_totals.sent), static_cast<unsigned long long>(m_totals.answered),
                static_cast<unsigned long long>(m_totals.captured),
                static_cast<unsigned long long>(m_totals.mismatched), m_totals.firstProblem.c_str());
    const DWORD exitCode = Close();
    return Verdict(first, last, exitCode);
  }

 private:
  void StartAll() {
    CreateDirectoryA("C:\\ProgramData\\Korvane", nullptr);
    CreateDirectoryA(kInfoFolder, nullptr);
    m_service = std::make_unique<bed::ServiceStandIn>();
    m_viewer = std::make_unique<bed::ViewerStandIn>(
        bed::ViewerOptions{.status = 0, .arrayLimit = static_cast<uint32_t>(m_s.arrayLimit), .capture = true});
    m_capture = std::make_unique<soak::CaptureReader>(m_viewer->CapturePath());
    m_quorvel = std::make_unique<bed::ChildProcess>("quorvel.exe", std::vector<std::string>{});
    for (const ULONGLONG deadline = GetTickCount64() + kStepMs; m_window == nullptr; Sleep(20)) {
      for (HWND w = nullptr; (w = FindWindowExA(nullptr, w, "BW_Halvoric_Class", "BW_Halvoric_Wnd")) != nullptr;) {
        DWORD owner = 0;
        GetWindowThreadProcessId(w, &owner);
        if (owner == m_quorvel->Pid()) m_window = w;
      }
      if (GetTickCount64() > deadline) Fail("quorvel.exe showed no main window");
    }
    m_meter = std::make_unique<soak::ProcessMeter>(m_quorvel->Handle(), m_quorvel->Pid());
  }

  void Cycle(int64_t cycle) {
    for (int64_t i = 0; i < m_s.menus; ++i) OpenAndCloseMenu();
    SecondInstance("-s0");
    SecondInstance("-s1");
    SecondInstance("");  // shows the icon again with a balloon
    SecondInstance("-q");
    ++m_connections;
    SwitchTracing(1, "sightline: connected");
    Traffic(cycle);
    SwitchTracing(0, "sightline: disconnected");
    if (!m_quorvel->Running()) Fail("quorvel.exe has ended");
  }

  void OpenAndCloseMenu() {
    PostMessageA(m_window, kTrayNotify, 0, kRightButtonDown);
    HWND popup = menu_probe::WaitForPopup(m_quorvel->Pid(), kStepMs);
    if (popup == nullptr) Fail("the tray menu did not open");
    menu_probe::PressMenuKey(popup, VK_ESCAPE);
    if (!menu_probe::WaitForPopupClosed(m_quorvel->Pid(), kStepMs)) Fail("the tray menu did not close");
  }

  static void SecondInstance(const std::string& option) {
    bed::ChildProcess second("quorvel.exe", option.empty() ? std::vector<std::string>{} : std::vector{option});
    if (second.WaitExitCode(kStepMs) != 1) Fail("the second instance \"" + option + "\" did not forward");
  }

  void SwitchTracing(int status, const char* viewerLine) {
    if (!m_viewer->Command("status " + std::to_string(status))) Fail("the viewer took no command");
    if (!m_viewer->WaitForOutput(viewerLine, kStepMs, m_connections)) Fail(std::string("no \"") + viewerLine + "\"");
  }

  void Traffic(int64_t cycle) {
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    const std::string dump = std::string(temp) + bed::UniqueName("soak_dump");
    bed::ChildOptions options;
    options.captureOutput = true;
    bed::ChildProcess clients("instrument-sim.exe",
                              {"--processes", std::to_string(m_s.processes), "--threads", std::to_string(m_s.threads),
                               "--calls", std::to_string(m_s.calls), "--seed", std::to_string(cycle), "--dump", dump,
                               "--timeout", "10000", "--wait-enabled", "10000"},
                              options);
    if (!clients.Wait(kTrafficMs)) Fail("the clients did not finish");
    const std::string output = clients.Output();
    const uint64_t answered = Count(output, "ack") + Count(output, "nack");
    soak::TextsByThread expected, captured;
    uint64_t sent = 0;
    for (int64_t p = 0; p < m_s.processes; ++p) {
      const std::string file = dump + "." + std::to_string(p);
      const int64_t n = soak::AddExpectedFromDump(file, expected);
      DeleteFileA(file.c_str());
      if (n < 0) {
        Fail("no dump from client process " + std::to_string(p) + " (clients exited with " +
             std::to_string(clients.ExitCode()) + "); their output:\n" + output);
      }
      sent += static_cast<uint64_t>(n);
    }
    if (Count(output, "untraced") != 0 || Count(output, "noreply") != 0) Fail("clients: " + output);
    // Everything sent this cycle must reach the capture before tracing goes off.
    uint64_t got = 0;
    for (const ULONGLONG deadline = GetTickCount64() + kStepMs; got < sent && GetTickCount64() < deadline; Sleep(50)) {
      for (std::string& line : m_capture->ReadNew()) {
        soak::AddText(line, captured);
        ++got;
      }
    }
    const soak::TraceVerdict v = soak::Compare(expected, captured);
    m_totals.sent += sent;
    m_totals.answered += answered;
    m_totals.captured += v.captured;
    m_totals.mismatched += v.mismatchedThreads;
    if (m_totals.firstProblem.empty()) m_totals.firstProblem = v.firstProblem;
  }

  void RestartService() {
    const DWORD code = m_service->Stop();
    m_service.reset();
    if (code != 0) Fail("the NKO server stand-in stopped with " + std::to_string(code));
    m_service = std::make_unique<bed::ServiceStandIn>();
    std::printf("soak: NKO server restarted\n");
  }

  DWORD Close() {
    bed::ChildProcess closer("quorvel.exe", {"-x"});
    closer.WaitExitCode(kStepMs);
    return m_quorvel->Wait(kStepMs) ? m_quorvel->ExitCode() : STILL_ACTIVE;
  }

  int Verdict(const ProcessSample& first, const ProcessSample& last, DWORD exitCode) const {
    const long handleDrift = last.handles - first.handles;
    const auto wsDrift = static_cast<long long>(last.workingSet) - static_cast<long long>(first.workingSet);
    std::printf("soak: drift after cycle 1 -> end: handles %+ld (goal within %ld), working set %+lld KB (goal within "
                "%llu KB); quorvel.exe exit code %lu\n",
                handleDrift, kHandleGoal, wsDrift / 1024, static_cast<unsigned long long>(kWorkingSetGoal / 1024),
                static_cast<unsigned long>(exitCode));
    const bool traceOk = m_totals.sent == m_totals.answered && m_totals.sent == m_totals.captured &&
                         m_totals.mismatched == 0 && m_totals.sent > 0;
    const bool leakOk = first.handles >= 0 && std::labs(handleDrift) <= kHandleGoal &&
                        std::llabs(wsDrift) <= static_cast<long long>(kWorkingSetGoal);
    std::printf("soak: trace %s, resources %s, shut-down %s\n", traceOk ? "ok" : "FAILED", leakOk ? "ok" : "FAILED",
                exitCode == 0 ? "ok" : "FAILED");
    if (!m_s.check) return traceOk && exitCode == 0 ? 0 : 1;
    return traceOk && leakOk && exitCode == 0 ? 0 : 1;
  }

  Settings m_s;
  std::unique_ptr<bed::ServiceStandIn> m_service;
  std::unique_ptr<bed::ViewerStandIn> m_viewer;
  std::unique_ptr<soak::CaptureReader> m_capture;
  std::unique_ptr<bed::ChildProcess> m_quorvel;
  std::unique_ptr<soak::ProcessMeter> m_meter;
  HWND m_window = nullptr;
  size_t m_connections = 0;
  Totals m_totals;
};

}  // namespace

int main(int argc, char** argv) {
  Settings s;
  support::OptionParser p("quorvel_soak", "[options]",
                          "Drives one quorvel.exe through cycles of a long day and checks that nothing grows.");
  p.AddInteger("--cycles", "N", "cycles (default 4; the full soak is 100)", 1, 100000,
               [&](int64_t v) { s.cycles = v; });
  p.AddInteger("--menus", "N", "tray menus opened and closed per cycle (default 10)", 0, 100000,
               [&](int64_t v) { s.menus = v; });
  p.AddInteger("--processes", "P", "trace client processes per cycle (default 8)", 1, 64,
               [&](int64_t v) { s.processes = v; });
  p.AddInteger("--threads", "T", "threads per client process (default 4)", 1, 64, [&](int64_t v) { s.threads = v; });
  p.AddInteger("--calls", "C", "traced calls per client thread and cycle, two messages each (default 16)", 1, 1000000,
               [&](int64_t v) { s.calls = v; });
  p.AddInteger("--array-limit", "N", "the viewer's array-size limit (default 4096)", 0, 262144,
               [&](int64_t v) { s.arrayLimit = v; });
  p.AddFlag("--check", "exit 1 unless the handle and working-set goals are met too", [&] { s.check = true; });
  p.AddEpilogue("Exit codes: 0 every trace message answered and captured once in order, quorvel.exe closed\n"
                "cleanly (and with --check the goals met), 1 otherwise, 2 bad command line.\n");
  if (const auto exitCode = p.ExitCodeUnlessRun(argc, argv)) return *exitCode;
  try {
    return Soak(s).Run();
  } catch (const std::exception& e) {
    std::printf("soak: FAILED: %s\n", e.what());
    return 1;
  }
}
