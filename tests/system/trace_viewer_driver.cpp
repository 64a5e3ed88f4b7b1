#include "trace_viewer_driver.h"

#include <fstream>
#include <sstream>
#include <stdexcept>

#include "bed/child_process.h"

size_t CountOccurrences(const std::string& haystack, const std::string& needle) {
  size_t count = 0;
  for (size_t at = haystack.find(needle); at != std::string::npos; at = haystack.find(needle, at + needle.size())) ++count;
  return count;
}

SightlineDriver::SightlineDriver(int status, unsigned arrayLimit, const std::vector<std::string>& extra) {
  char temp[MAX_PATH];
  GetTempPathA(sizeof temp, temp);
  m_capturePath = std::string(temp) + bed::UniqueName("sightline_capture") + ".txt";
  std::string command = bed::QuoteArgument(bed::BinPath("sightline.exe")) + " --status " + std::to_string(status) +
                        " --array-limit " + std::to_string(arrayLimit) + " --capture " + bed::QuoteArgument(m_capturePath);
  for (const auto& arg : extra) command += " " + bed::QuoteArgument(arg);

  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE childIn = nullptr, childOut = nullptr;
  CreatePipe(&childIn, &m_stdin, &inherit, 0);
  CreatePipe(&m_stdout, &childOut, &inherit, 0);
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
  if (!WaitForOutput("sightline: ready", 20000)) throw std::runtime_error("sightline not ready: " + Output());
}

SightlineDriver::~SightlineDriver() {
  if (WaitForSingleObject(m_process, 0) != WAIT_OBJECT_0) TerminateProcess(m_process, 99);
  WaitForSingleObject(m_process, 5000);
  CloseHandle(m_stdin);
  m_reader.join();
  CloseHandle(m_stdout);
  CloseHandle(m_process);
  DeleteFileA(m_capturePath.c_str());
}

void SightlineDriver::ReadOutput() {
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(m_stdout, buffer, sizeof buffer, &got, nullptr) && got > 0) {
    std::lock_guard lock(m_lock);
    m_output.append(buffer, got);
    m_changed.notify_all();
  }
}

void SightlineDriver::Command(const std::string& command) {
  const std::string ok = "sightline: ok " + command;
  const size_t before = CountOccurrences(Output(), ok);
  const std::string line = command + "\n";
  DWORD written = 0;
  WriteFile(m_stdin, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
  if (!WaitForOutput(ok, 10000, before + 1)) throw std::runtime_error("sightline did not take: " + command);
}

bool SightlineDriver::WaitForOutput(const std::string& text, DWORD timeoutMs, size_t occurrences) const {
  std::unique_lock lock(m_lock);
  return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                            [&] { return CountOccurrences(m_output, text) >= occurrences; });
}

std::string SightlineDriver::Output() const {
  std::lock_guard lock(m_lock);
  return m_output;
}

std::vector<std::string> SightlineDriver::Capture() const {
  std::ifstream in(m_capturePath, std::ios::binary);
  std::vector<std::string> lines;
  std::string line;
  while (std::getline(in, line)) lines.push_back(line);
  return lines;
}

std::vector<std::string> SightlineDriver::WaitForCapture(size_t count, DWORD timeoutMs) const {
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  std::vector<std::string> lines = Capture();
  while (lines.size() < count && GetTickCount64() < deadline) {
    Sleep(100);
    lines = Capture();
  }
  return lines;
}

DWORD SightlineDriver::Quit() {
  const std::string line = "quit\n";
  DWORD written = 0;
  WriteFile(m_stdin, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
  DWORD code = 999;
  if (WaitForSingleObject(m_process, 10000) == WAIT_OBJECT_0) GetExitCodeProcess(m_process, &code);
  return code;
}
