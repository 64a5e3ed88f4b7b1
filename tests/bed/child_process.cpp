#include "tests/bed/child_process.h"

#include <atomic>
#include <chrono>
#include <cstring>
#include <stdexcept>

namespace bed {
namespace {

// Handles are made inheritable only while one child is being created, so that a child
// started by another thread at the same moment does not inherit our output pipe and
// keep it open.
std::mutex g_createMutex;

std::string EnvironmentBlock(const std::vector<std::pair<std::string, std::string>>& changes) {
  std::vector<std::string> entries;
  if (char* block = GetEnvironmentStringsA()) {
    for (const char* p = block; *p; p += strlen(p) + 1) entries.emplace_back(p);
    FreeEnvironmentStringsA(block);
  }
  for (const auto& [name, value] : changes) {
    const std::string key = name + "=";
    std::erase_if(entries, [&key](const std::string& e) { return _strnicmp(e.c_str(), key.c_str(), key.size()) == 0; });
    if (!value.empty()) entries.push_back(name + "=" + value);
  }
  std::string result;
  for (const std::string& e : entries) {
    result += e;
    result.push_back('\0');
  }
  result.push_back('\0');
  return result;
}

size_t Occurrences(const std::string& haystack, const std::string& needle) {
  size_t count = 0;
  for (size_t at = haystack.find(needle); at != std::string::npos; at = haystack.find(needle, at + needle.size())) ++count;
  return count;
}

HANDLE InheritableCopy(HANDLE handle) {
  HANDLE copy = nullptr;
  if (!handle || handle == INVALID_HANDLE_VALUE) return nullptr;
  DuplicateHandle(GetCurrentProcess(), handle, GetCurrentProcess(), &copy, 0, TRUE, DUPLICATE_SAME_ACCESS);
  return copy;
}

}  // namespace

std::string BinDir() {
  char path[MAX_PATH] = {};
  DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string dir(path, n);
  size_t slash = dir.find_last_of("\\/");
  return slash == std::string::npos ? std::string(".") : dir.substr(0, slash);
}

std::string BinPath(const std::string& file) { return BinDir() + "\\" + file; }

std::string UniqueName(const std::string& stem) {
  static std::atomic<unsigned> counter{0};
  return stem + "_" + std::to_string(GetCurrentProcessId()) + "_" + std::to_string(++counter);
}

std::string TempPath(const std::string& stem, const std::string& suffix) {
  char temp[MAX_PATH] = {};
  GetTempPathA(sizeof temp, temp);
  return temp + UniqueName(stem) + suffix;
}

std::string QuoteArgument(const std::string& arg) {
  if (!arg.empty() && arg.find_first_of(" \t\n\v\"") == std::string::npos) return arg;
  // Backslashes are literal except before a quote, where each one must be doubled.
  std::string out = "\"";
  size_t backslashes = 0;
  for (char c : arg) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    if (c == '"') {
      out.append(backslashes * 2 + 1, '\\');
    } else {
      out.append(backslashes, '\\');
    }
    backslashes = 0;
    out += c;
  }
  out.append(backslashes * 2, '\\');
  out += '"';
  return out;
}

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& args, ChildOptions options) {
  std::string path = program.find_first_of("\\/:") == std::string::npos ? BinPath(program) : program;
  m_commandLine = QuoteArgument(path);
  for (const std::string& arg : args) m_commandLine += " " + QuoteArgument(arg);
  std::string environment = EnvironmentBlock(options.environment);

  STARTUPINFOA si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  HANDLE readEnd = nullptr;
  PROCESS_INFORMATION pi{};
  BOOL started = FALSE;
  DWORD error = 0;
  {
    std::lock_guard lock(g_createMutex);
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    if (options.pipeInput) {
      HANDLE childEnd = nullptr;
      if (!CreatePipe(&childEnd, &m_input, nullptr, 0)) throw std::runtime_error("CreatePipe failed");
      si.hStdInput = InheritableCopy(childEnd);
      CloseHandle(childEnd);
    } else {
      si.hStdInput = CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable, OPEN_EXISTING,
                                 0, nullptr);
    }
    if (options.captureOutput) {
      HANDLE writeEnd = nullptr;
      if (!CreatePipe(&readEnd, &writeEnd, nullptr, 0)) throw std::runtime_error("CreatePipe failed");
      si.hStdOutput = InheritableCopy(writeEnd);
      CloseHandle(writeEnd);
    } else {
      si.hStdOutput = InheritableCopy(GetStdHandle(STD_OUTPUT_HANDLE));
    }
    si.hStdError = InheritableCopy(GetStdHandle(STD_ERROR_HANDLE));
    std::string mutableLine = m_commandLine;
    started = CreateProcessA(path.c_str(), mutableLine.data(), nullptr, nullptr, TRUE, CREATE_NEW_PROCESS_GROUP,
                             environment.data(), nullptr,
                             &si, &pi);
    error = GetLastError();
    for (HANDLE h : {si.hStdInput, si.hStdOutput, si.hStdError}) {
      if (h && h != INVALID_HANDLE_VALUE) CloseHandle(h);
    }
  }
  if (!started) {
    if (readEnd) CloseHandle(readEnd);
    if (m_input) CloseHandle(m_input);
    throw std::runtime_error("cannot start " + m_commandLine + " (error " + std::to_string(error) + ")");
  }
  CloseHandle(pi.hThread);
  m_process = pi.hProcess;
  m_pid = pi.dwProcessId;
  if (readEnd) {
    m_reader = std::thread([this, readEnd] { ReadOutput(readEnd); });
  } else {
    m_outputEnded = true;
  }
}

ChildProcess::~ChildProcess() {
  if (Running()) Kill();
  WaitForSingleObject(m_process, 10000);
  if (m_input) CloseHandle(m_input);
  if (m_reader.joinable()) m_reader.join();
  CloseHandle(m_process);
}

void ChildProcess::ReadOutput(HANDLE pipe) {
  char buffer[4096];
  DWORD n = 0;
  while (ReadFile(pipe, buffer, sizeof buffer, &n, nullptr) && n > 0) {
    std::lock_guard lock(m_outputMutex);
    m_output.append(buffer, n);
    m_outputChanged.notify_all();
  }
  CloseHandle(pipe);
  std::lock_guard lock(m_outputMutex);
  m_outputEnded = true;
  m_outputChanged.notify_all();
}

bool ChildProcess::Running() const { return WaitForSingleObject(m_process, 0) == WAIT_TIMEOUT; }

bool ChildProcess::Wait(DWORD timeoutMs) const {
  if (WaitForSingleObject(m_process, timeoutMs) != WAIT_OBJECT_0) return false;
  // The rest of the output is still on its way through the pipe.
  std::unique_lock lock(m_outputMutex);
  m_outputChanged.wait_for(lock, std::chrono::seconds(5), [this] { return m_outputEnded; });
  return true;
}

DWORD ChildProcess::ExitCode() const {
  DWORD code = STILL_ACTIVE;
  GetExitCodeProcess(m_process, &code);
  return code;
}

DWORD ChildProcess::WaitExitCode(DWORD timeoutMs) const {
  if (!Wait(timeoutMs)) {
    throw std::runtime_error(m_commandLine + " still runs after " + std::to_string(timeoutMs) + " ms");
  }
  return ExitCode();
}

void ChildProcess::Kill(UINT exitCode) {
  TerminateProcess(m_process, exitCode);
  WaitForSingleObject(m_process, 10000);
}

bool ChildProcess::WriteInput(const std::string& text) {
  DWORD written = 0;
  return m_input != nullptr && WriteFile(m_input, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
         written == text.size();
}

std::string ChildProcess::Output() const {
  std::lock_guard lock(m_outputMutex);
  return m_output;
}

size_t ChildProcess::OutputCount(const std::string& text) const {
  std::lock_guard lock(m_outputMutex);
  return Occurrences(m_output, text);
}

bool ChildProcess::WaitForOutput(const std::string& text, DWORD timeoutMs, size_t occurrences) const {
  std::unique_lock lock(m_outputMutex);
  m_outputChanged.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                          [&] { return m_outputEnded || Occurrences(m_output, text) >= occurrences; });
  return Occurrences(m_output, text) >= occurrences;
}

}  // namespace bed
