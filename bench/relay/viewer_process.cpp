#include "viewer_process.h"

#include <chrono>
#include <cstdlib>
#include <stdexcept>

#include "bed/child_process.h"

namespace {

constexpr DWORD kReadyMs = 20000;
constexpr DWORD kCommandMs = 10000;
constexpr char kMessagesTag[] = "sightline: messages ";

size_t Occurrences(const std::string& haystack, const std::string& needle) {
  size_t count = 0;
  for (size_t at = haystack.find(needle); at != std::string::npos; at = haystack.find(needle, at + needle.size())) ++count;
  return count;
}

}  // namespace

ViewerProcess::ViewerProcess(int status, uint32_t arrayLimit) {
  std::string command = bed::QuoteArgument(bed::BinPath("sightline.exe")) + " --status " + std::to_string(status) +
                        " --array-limit " + std::to_string(arrayLimit);
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE childIn = nullptr, childOut = nullptr;
  if (!CreatePipe(&childIn, &m_stdin, &inherit, 0) || !CreatePipe(&m_stdout, &childOut, &inherit, 0)) {
    throw std::runtime_error("cannot create the viewer's standard handles");
  }
  // Only the child's ends are inherited; ours must not keep its pipes open.
  SetHandleInformation(m_stdin, HANDLE_FLAG_INHERIT, 0);
  SetHandleInformation(m_stdout, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOA si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdInput = childIn;
  si.hStdOutput = childOut;
  si.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION pi{};
  const BOOL started = CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi);
  CloseHandle(childIn);
  CloseHandle(childOut);
  if (!started) throw std::runtime_error("cannot start " + command);
  CloseHandle(pi.hThread);
  m_process = pi.hProcess;
  m_reader = std::thread([this] { ReadOutput(); });
  if (!WaitForOutput("sightline: ready", kReadyMs)) throw std::runtime_error("the viewer did not get ready");
}

ViewerProcess::~ViewerProcess() {
  if (WaitForSingleObject(m_process, 0) != WAIT_OBJECT_0) TerminateProcess(m_process, 99);
  WaitForSingleObject(m_process, 5000);
  CloseHandle(m_stdin);
  m_reader.join();
  CloseHandle(m_stdout);
  CloseHandle(m_process);
}

void ViewerProcess::ReadOutput() {
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(m_stdout, buffer, sizeof buffer, &got, nullptr) && got > 0) {
    std::lock_guard lock(m_lock);
    m_output.append(buffer, got);
    m_changed.notify_all();
  }
}

void ViewerProcess::Send(const std::string& line) {
  const std::string text = line + "\n";
  DWORD written = 0;
  WriteFile(m_stdin, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

size_t ViewerProcess::Count(const std::string& text) const {
  std::lock_guard lock(m_lock);
  return Occurrences(m_output, text);
}

bool ViewerProcess::Command(const std::string& command) {
  const std::string ok = "sightline: ok " + command;
  const size_t before = Count(ok);
  Send(command);
  return WaitForOutput(ok, kCommandMs, before + 1);
}

int64_t ViewerProcess::Messages() {
  const size_t before = Count(kMessagesTag);
  Send("count");
  if (!WaitForOutput(kMessagesTag, kCommandMs, before + 1)) return -1;
  std::lock_guard lock(m_lock);
  const size_t at = m_output.rfind(kMessagesTag);
  return std::strtoll(m_output.c_str() + at + sizeof kMessagesTag - 1, nullptr, 10);
}

bool ViewerProcess::WaitForOutput(const std::string& text, DWORD timeoutMs, size_t occurrences) const {
  std::unique_lock lock(m_lock);
  return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                            [&] { return Occurrences(m_output, text) >= occurrences; });
}

DWORD ViewerProcess::Quit() {
  Send("quit");
  DWORD code = 999;
  if (WaitForSingleObject(m_process, kCommandMs) == WAIT_OBJECT_0) GetExitCodeProcess(m_process, &code);
  return code;
}
