#include "tests/bed/child_process.h"

#include <atomic>
#include <chrono>
#include <cstring>
#include <stdexcept>

#include "base/results.h"

namespace bed {
namespace {

// Handles are made inheritable only while one child is being created, so that a child
// started by another thread at the same moment does not inherit our output pipe and
// keep it open.
std::mutex g_createMutex;

// How long a killed child is given to be gone.
constexpr DWORD kKillWaitMs = 10000;

std::string EnvironmentBlock(const std::vector<std::pair<std::string, std::string>>& changes) {
  std::vector<std::string> entries;
  if (char* block = GetEnvironmentStringsA()) {
    for (const char* p = block; *p; p += strlen(p) + 1) entries.emplace_back(p);
    IgnoreResult(FreeEnvironmentStringsA(block));  // fails only for a block it did not give out
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

// A copy of |handle| that a child inherits; none for no handle or one that cannot be
// copied (the child then goes without it, as it would without the original).
UniqueHandle InheritableCopy(HANDLE handle) {
  UniqueHandle copy;
  if (!handle || handle == INVALID_HANDLE_VALUE) return copy;
  if (!DuplicateHandle(GetCurrentProcess(), handle, GetCurrentProcess(), copy.Receive(), 0, TRUE,
                       DUPLICATE_SAME_ACCESS)) {
    copy.Reset();
  }
  return copy;
}

// An anonymous pipe, both ends owned by the caller.
void CreatePipeEnds(UniqueHandle& readEnd, UniqueHandle& writeEnd) {
  if (!CreatePipe(readEnd.Receive(), writeEnd.Receive(), nullptr, 0)) {
    throw std::runtime_error("CreatePipe failed (error " + std::to_string(GetLastError()) + ")");
  }
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
  IgnoreResult(GetTempPathA(sizeof temp, temp));  // without one the path is relative, and still unique
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

  UniqueHandle readEnd;  // ours, of the child's standard output, when captured
  PROCESS_INFORMATION pi{};
  BOOL started = FALSE;
  DWORD error = 0;
  {
    std::lock_guard lock(g_createMutex);
    // The child's ends of its standard handles, inheritable; ours close when it has its copies.
    UniqueHandle input;
    if (options.pipeInput) {
      UniqueHandle childEnd;
      CreatePipeEnds(childEnd, m_input);
      input = InheritableCopy(childEnd.Get());
    } else {
      SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
      input.Reset(CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable, OPEN_EXISTING, 0,
                              nullptr));
    }
    UniqueHandle output;
    if (options.captureOutput) {
      UniqueHandle writeEnd;
      CreatePipeEnds(readEnd, writeEnd);
      output = InheritableCopy(writeEnd.Get());
    } else {
      output = InheritableCopy(GetStdHandle(STD_OUTPUT_HANDLE));
    }
    const UniqueHandle errors = InheritableCopy(GetStdHandle(STD_ERROR_HANDLE));
    STARTUPINFOA si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = input.Get();
    si.hStdOutput = output.Get();
    si.hStdError = errors.Get();
    std::string mutableLine = m_commandLine;
    started = CreateProcessA(path.c_str(), mutableLine.data(), nullptr, nullptr, TRUE, CREATE_NEW_PROCESS_GROUP,
                             environment.data(), nullptr, &si, &pi);
    error = GetLastError();
  }
  if (!started) throw std::runtime_error("cannot start " + m_commandLine + " (error " + std::to_string(error) + ")");
  m_process = UniqueProcess(pi);
  if (readEnd) {
    m_reader = std::thread(&ChildProcess::ReadOutput, this, std::move(readEnd));
  } else {
    m_outputEnded = true;
  }
}

ChildProcess::~ChildProcess() {
  if (Running()) Kill();
  // The child sees the end of its input, then the reader the end of its output.
  m_input.Reset();
  if (m_reader.joinable()) m_reader.join();
}

void ChildProcess::ReadOutput(UniqueHandle pipe) {
  char buffer[4096];
  DWORD n = 0;
  while (ReadFile(pipe.Get(), buffer, sizeof buffer, &n, nullptr) && n > 0) {
    std::lock_guard lock(m_outputMutex);
    m_output.append(buffer, n);
    m_outputChanged.notify_all();
  }
  std::lock_guard lock(m_outputMutex);
  m_outputEnded = true;
  m_outputChanged.notify_all();
}

bool ChildProcess::Running() const { return WaitForSingleObject(m_process.Process(), 0) == WAIT_TIMEOUT; }

bool ChildProcess::Wait(DWORD timeoutMs) const {
  if (WaitForSingleObject(m_process.Process(), timeoutMs) != WAIT_OBJECT_0) return false;
  // The rest of the output is still on its way through the pipe.
  std::unique_lock lock(m_outputMutex);
  m_outputChanged.wait_for(lock, std::chrono::seconds(5), [this] { return m_outputEnded; });
  return true;
}

DWORD ChildProcess::ExitCode() const {
  DWORD code = STILL_ACTIVE;
  IgnoreResult(GetExitCodeProcess(m_process.Process(), &code));  // on failure it reads as still running
  return code;
}

DWORD ChildProcess::WaitExitCode(DWORD timeoutMs) const {
  if (!Wait(timeoutMs)) {
    throw std::runtime_error(m_commandLine + " still runs after " + std::to_string(timeoutMs) + " ms");
  }
  return ExitCode();
}

void ChildProcess::Kill(UINT exitCode) {
  // Fails only for a process that has ended already; the wait then returns at once.
  IgnoreResult(TerminateProcess(m_process.Process(), exitCode));
  IgnoreResult(WaitForSingleObject(m_process.Process(), kKillWaitMs));
}

bool ChildProcess::WriteInput(const std::string& text) {
  DWORD written = 0;
  return m_input && WriteFile(m_input.Get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
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
