#include "support/report.h"

#include <cstdarg>
#include <cstdint>
#include <cstdio>

#include "support/stop_signal.h"

namespace support {
namespace {

const char* g_programName = "stand-in";
// Long enough for any other writer to finish its line, even on a loaded machine.
constexpr DWORD kRecordLockMs = 30000;

void Print(FILE* stream, const char* tag, const char* format, va_list args) {
  char text[2048];
  std::vsnprintf(text, sizeof text, format, args);
  std::fprintf(stream, "%s: %s%s\n", g_programName, tag, text);
  std::fflush(stream);
}

}  // namespace

void SetProgramName(const char* name) { g_programName = name; }
const char* ProgramName() { return g_programName; }

void Error(const char* format, ...) {
  va_list args;
  va_start(args, format);
  Print(stderr, "error: ", format, args);
  va_end(args);
}

void Info(const char* format, ...) {
  va_list args;
  va_start(args, format);
  Print(stdout, "", format, args);
  va_end(args);
}

std::string DescribeError(DWORD error) {
  char text[512] = {};
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, text,
                           sizeof text, nullptr);
  while (n > 0 && (text[n - 1] == '\n' || text[n - 1] == '\r' || text[n - 1] == ' ')) text[--n] = '\0';
  std::string result = n > 0 ? std::string(text, n) + " " : std::string();
  return result + "(error " + std::to_string(error) + ")";
}

namespace {

// One mutex per record file, named after its full path in lower case: every program that
// appends to the file takes it around seek-to-end and write, because under Wine an append
// is not atomic (two writers can take the same end offset, and one line is lost).
std::string RecordMutexName(const std::string& file) {
  char full[MAX_PATH] = {};
  const DWORD n = GetFullPathNameA(file.c_str(), sizeof full, full, nullptr);
  const std::string path = n > 0 && n < sizeof full ? std::string(full, n) : file;
  uint64_t hash = 14695981039346656037ull;  // FNV-1a
  for (const char c : path) {
    const unsigned char lower = static_cast<unsigned char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    hash = (hash ^ lower) * 1099511628211ull;
  }
  char name[64];
  std::snprintf(name, sizeof name, "Local\\standin_record_%016llx", static_cast<unsigned long long>(hash));
  return name;
}

}  // namespace

void AppendText(const std::string& file, const std::string& text) {
  if (file.empty()) return;
  HANDLE mutex = CreateMutexA(NullDaclAttributes(), FALSE, RecordMutexName(file).c_str());
  // An abandoned mutex still gives us ownership; a writer that died mid-line cannot be undone.
  const DWORD taken = mutex ? WaitForSingleObject(mutex, kRecordLockMs) : WAIT_FAILED;
  if (taken != WAIT_OBJECT_0 && taken != WAIT_ABANDONED) {
    Error("cannot lock %s for appending: %s", file.c_str(), DescribeError(GetLastError()).c_str());
  }
  HANDLE handle = CreateFileA(file.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    Error("cannot append to %s: %s", file.c_str(), DescribeError(GetLastError()).c_str());
  } else {
    DWORD written = 0;
    if (!SetFilePointerEx(handle, LARGE_INTEGER{}, nullptr, FILE_END) ||
        !WriteFile(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) ||
        written != text.size()) {
      Error("cannot append to %s: %s", file.c_str(), DescribeError(GetLastError()).c_str());
    }
    CloseHandle(handle);
  }
  if (taken == WAIT_OBJECT_0 || taken == WAIT_ABANDONED) ReleaseMutex(mutex);
  if (mutex) CloseHandle(mutex);
}

void AppendRecord(const std::string& file, const std::string& who, const std::string& what) {
  AppendText(file, std::to_string(GetTickCount64()) + " " + who + " " + what + "\r\n");
}

}  // namespace support
