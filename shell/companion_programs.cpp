#include "shell/companion_programs.h"

#include <cstring>

#include "config/install_paths.h"
#include "config/run_entries.h"
#include "base/bounded_text.h"
#include "base/os_class.h"

PROCESS_INFORMATION RunProcessTable[kRunProcessTableSize];

namespace {

// Paths and command lines hold at most 259 characters.
constexpr size_t kPathSize = 260;
// Run entry names (window titles) and data (command lines) as read from the registry.
constexpr DWORD kRunTextSize = 256;

static_assert(sizeof(STARTUPINFOA) == 104, "the 64-bit STARTUPINFOA");

// Started companions get the process-wide security attributes, inherit no handles, the
// environment or the current directory (the suite directory), and no window settings.
bool StartCompanion(const char* application, char* commandLine, PROCESS_INFORMATION* process) {
  STARTUPINFOA startup;
  memset(&startup, 0, sizeof startup);
  startup.cb = sizeof startup;
  SECURITY_ATTRIBUTES* security = GetNullDaclSecurityAttributes();
  return CreateProcessA(application, commandLine, security, security, FALSE, 0, nullptr, nullptr, &startup,
                        process) != FALSE;
}

// Entry index of the Run subkey; false past the last one. The lengths are reset for each
// read because the registry call replaces them with the lengths read.
bool ReadRunEntry(DWORD index, char (&name)[kRunTextSize], char (&data)[kRunTextSize]) {
  DWORD nameLength = kRunTextSize;
  DWORD dataLength = kRunTextSize;
  return EnumRunEntry(index, name, &nameLength, data, &dataLength);
}

}  // namespace

DWORD StartK7302Server() {
  char path[kPathSize];
  // The long base directory as configured, not the shortened suite directory.
  FormatBounded(path, sizeof path, "%s\\bin\\%s", GetBaseDir(), kK7302ServerFile);
  PROCESS_INFORMATION process{};
  if (StartCompanion(path, nullptr, &process)) {
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
  }
  return GetLastError();
}

void StartRunPrograms(PROCESS_INFORMATION* table, int size) {
  memset(table, 0, sizeof(PROCESS_INFORMATION) * static_cast<size_t>(size));
  int filled = 0;
  char name[kRunTextSize];
  char data[kRunTextSize];
  for (DWORD index = 0; filled < size && ReadRunEntry(index, name, data); ++index) {
    // An entry without a command line only names a window to close at shut-down.
    if (data[0] == '\0') continue;
    char commandLine[kPathSize];
    FormatBounded(commandLine, sizeof commandLine, "%s\\%s", GetBaseDir(), data);
    if (StartCompanion(nullptr, commandLine, &table[filled])) {
      ++filled;
    } else {
      memset(&table[filled], 0, sizeof table[filled]);
    }
  }
}

void StopK7302Server() {
  HWND window = FindWindowA(kK7302ServerClass, kK7302ServerTitle);
  if (window != nullptr) PostMessageA(window, WM_CLOSE, 0, 0);
}

void CloseRunProgramWindows() {
  char name[kRunTextSize];
  char data[kRunTextSize];
  for (DWORD index = 0; ReadRunEntry(index, name, data); ++index) {
    if (name[0] == '\0') continue;
    HWND window = FindWindowA(nullptr, name);
    if (window != nullptr) PostMessageA(window, WM_CLOSE, 0, 0);
  }
}

void StopRunPrograms(PROCESS_INFORMATION* table, int size) {
  CloseRunProgramWindows();
  // One program that ignores its WM_CLOSE costs one wait; the rest are not waited for,
  // so shut-down is delayed by at most kRunProgramWaitMs.
  bool timedOut = false;
  for (int i = 0; i < size && table[i].hProcess != nullptr; ++i) {
    if (!timedOut && WaitForSingleObject(table[i].hProcess, kRunProgramWaitMs) == WAIT_TIMEOUT) timedOut = true;
    CloseHandle(table[i].hProcess);
    CloseHandle(table[i].hThread);
    memset(&table[i], 0, sizeof table[i]);
  }
  // A program busy at the first request may take the second one.
  if (timedOut) CloseRunProgramWindows();
}
