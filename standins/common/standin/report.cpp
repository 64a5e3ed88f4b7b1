#include "standin/report.h"

#include <cstdarg>
#include <cstdio>

namespace standin {
namespace {

const char* g_programName = "stand-in";

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

void AppendRecord(const std::string& file, const std::string& who, const std::string& what) {
  if (file.empty()) return;
  HANDLE handle = CreateFileA(file.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    Error("cannot append to %s: %s", file.c_str(), DescribeError(GetLastError()).c_str());
    return;
  }
  const std::string line = std::to_string(GetTickCount64()) + " " + who + " " + what + "\r\n";
  DWORD written = 0;
  WriteFile(handle, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
  CloseHandle(handle);
}

}  // namespace standin
