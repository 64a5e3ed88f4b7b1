#include "tests/bed/service_standin.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "tests/bed/record_file.h"

namespace bed {

std::string UnescapeRequestLog(std::string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' || i + 1 == text.size()) {
      out += text[i];
      continue;
    }
    char next = text[++i];
    const std::optional<DWORD> code = next == 'x' ? ParseHex(text.substr(i + 1, 2)) : std::nullopt;
    if (next == 'n') {
      out += '\n';
    } else if (next == 'r') {
      out += '\r';
    } else if (next == 't') {
      out += '\t';
    } else if (code && i + 2 < text.size()) {
      out += static_cast<char>(*code);
      i += 2;
    } else {
      out += next;
    }
  }
  return out;
}

ServiceStandIn::ServiceStandIn(std::vector<std::string> options, DWORD readyTimeoutMs) {
  std::string stopName = "Local\\" + UniqueName("ombrix_service_stop");
  std::string readyName = "Local\\" + UniqueName("ombrix_service_ready");
  // Both events exist before the stand-in starts, so neither side can miss the other.
  m_stopEvent = CreateEventA(nullptr, TRUE, FALSE, stopName.c_str());
  HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, readyName.c_str());
  if (!m_stopEvent || !ready) throw std::runtime_error("cannot create the stand-in's events");

  m_requestLog = TempPath("ombrix_requests", ".log");
  options.insert(options.begin(),
                 {"--stop-event", stopName, "--ready-event", readyName, "--request-log", m_requestLog});

  ChildOptions childOptions;
  childOptions.captureOutput = true;
  m_process = std::make_unique<ChildProcess>("ombrix-service.exe", options, childOptions);

  HANDLE waits[2] = {ready, m_process->Handle()};
  DWORD which = WaitForMultipleObjects(2, waits, FALSE, readyTimeoutMs);
  CloseHandle(ready);
  if (which == WAIT_OBJECT_0) return;
  std::string why = which == WAIT_OBJECT_0 + 1
                        ? "exited with code " + std::to_string(m_process->WaitExitCode(5000))
                        : "was not ready after " + std::to_string(readyTimeoutMs) + " ms";
  std::string message = "ombrix-service " + why + "; output:\n" + m_process->Output();
  m_process->Kill();
  m_stopped = true;
  CloseHandle(m_stopEvent);
  m_stopEvent = nullptr;
  throw std::runtime_error(message);
}

ServiceStandIn::~ServiceStandIn() {
  if (!m_stopped) {
    try {
      DWORD code = Stop();
      EXPECT_EQ(code, 0u) << "ombrix-service did not stop cleanly; output:\n" << m_process->Output();
    } catch (const std::exception& e) {
      ADD_FAILURE() << e.what();
    }
  }
  if (m_stopEvent) CloseHandle(m_stopEvent);
  DeleteFileA(m_requestLog.c_str());
}

DWORD ServiceStandIn::Stop(DWORD timeoutMs) {
  m_stopped = true;
  SetEvent(m_stopEvent);
  if (!m_process->Wait(timeoutMs)) {
    m_process->Kill();
    throw std::runtime_error("ombrix-service did not stop within " + std::to_string(timeoutMs) +
                             " ms and was killed; output:\n" + m_process->Output());
  }
  return m_process->ExitCode();
}

std::vector<ServiceStandIn::Request> ServiceStandIn::Requests() const {
  std::vector<Request> requests;
  const std::string data = ReadSharedFile(m_requestLog);
  for (const std::string_view line : CompleteLines(data)) {
    size_t tab = line.find('\t');
    if (tab == std::string_view::npos) continue;
    requests.push_back({UnescapeRequestLog(line.substr(0, tab)), UnescapeRequestLog(line.substr(tab + 1))});
  }
  return requests;
}

}  // namespace bed
