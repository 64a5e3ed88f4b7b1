#include "bench/relay/bench_viewer.h"

#include <cstdlib>
#include <stdexcept>
#include <vector>

const char* ViewerKindName(ViewerKind kind) { return kind == ViewerKind::StandIn ? "sightline" : "quorvel-trace"; }

BenchViewer::BenchViewer(ViewerKind kind, uint32_t arrayLimit) : m_kind(kind) {
  if (kind == ViewerKind::StandIn) {
    m_standIn = std::make_unique<bed::ViewerStandIn>(bed::ViewerOptions{.status = 1, .arrayLimit = arrayLimit});
    return;
  }
  char temp[MAX_PATH];
  GetTempPathA(sizeof temp, temp);
  m_capturePath = std::string(temp) + bed::UniqueName("bench_capture") + ".qtrace";
  const std::string stopName = bed::UniqueName("bench_capture_stop");
  m_stop = CreateEventA(nullptr, TRUE, FALSE, stopName.c_str());
  bed::ChildOptions options;
  options.captureOutput = true;
  m_capture = std::make_unique<bed::ChildProcess>(
      "quorvel-trace.exe",
      std::vector<std::string>{"capture", "-o", m_capturePath, "--array-limit", std::to_string(arrayLimit),
                               "--stop-event", stopName},
      options);
  if (!m_capture->WaitForOutput("quorvel-trace: capturing to", 15000)) {
    throw std::runtime_error("quorvel-trace did not start capturing: " + m_capture->Output());
  }
}

BenchViewer::~BenchViewer() {
  if (m_stop != nullptr) CloseHandle(m_stop);
  if (!m_capturePath.empty()) DeleteFileA(m_capturePath.c_str());
}

bool BenchViewer::SetStatus(int status) {
  return m_standIn != nullptr && m_standIn->Command("status " + std::to_string(status));
}

bool BenchViewer::Connected(DWORD timeoutMs) const {
  // The capture says nothing on connecting; the relay's own switch shows it.
  return m_standIn == nullptr || m_standIn->WaitForOutput("sightline: connected", timeoutMs);
}

int64_t BenchViewer::Finish(int64_t expected, DWORD timeoutMs) {
  if (m_standIn != nullptr) {
    int64_t received = -1;
    for (const ULONGLONG deadline = GetTickCount64() + timeoutMs;
         (received = m_standIn->Messages()) < expected && GetTickCount64() < deadline;) {
      Sleep(20);
    }
    m_standIn->Quit();
    return received;
  }
  SetEvent(m_stop);
  if (!m_capture->Wait(timeoutMs)) return -1;
  const std::string output = m_capture->Output();
  const size_t at = output.rfind("quorvel-trace: ");
  return at == std::string::npos ? -1 : std::atoll(output.c_str() + at + 15);
}
