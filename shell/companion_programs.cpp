#include "shell/companion_programs.h"

#include <cstring>

#include "base/bounded_text.h"
#include "base/os_class.h"
#include "base/results.h"
#include "config/install_paths.h"
#include "config/run_entries.h"

namespace {

// Paths and command lines hold at most 259 characters.
constexpr size_t kPathSize = 260;
// Run entry names (window titles) and data (command lines) as read from the registry.
constexpr DWORD kRunTextSize = 256;

static_assert(sizeof(STARTUPINFOA) == 104, "the 64-bit STARTUPINFOA");

// Started companions get the process-wide security attributes, inherit no handles but
// the environment and the current directory (the suite directory), and no window
// settings. An empty owner when the start failed (the last error says why).
UniqueProcess StartCompanion(const char* application, char* commandLine) {
  STARTUPINFOA startup;
  memset(&startup, 0, sizeof startup);
  startup.cb = sizeof startup;
  SECURITY_ATTRIBUTES* security = GetNullDaclSecurityAttributes();
  PROCESS_INFORMATION process{};
  if (!CreateProcessA(application, commandLine, security, security, FALSE, 0, nullptr, nullptr, &startup, &process)) {
    return UniqueProcess();
  }
  return UniqueProcess(process);
}

void PostClose(HWND window) {
  // A window that is gone by now needs no closing.
  if (window != nullptr) IgnoreResult(PostMessageA(window, WM_CLOSE, 0, 0));
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
  // Started and forgotten: both handles are closed at once, the server runs on.
  IgnoreResult(StartCompanion(path, nullptr));
  return GetLastError();
}

void StartRunPrograms(std::span<UniqueProcess> table) {
  for (UniqueProcess& entry : table) entry.Reset();
  size_t filled = 0;
  char name[kRunTextSize];
  char data[kRunTextSize];
  for (DWORD index = 0; filled < table.size() && ReadRunEntry(index, name, data); ++index) {
    // An entry without a command line only names a window to close at shut-down.
    if (data[0] == '\0') continue;
    char commandLine[kPathSize];
    FormatBounded(commandLine, sizeof commandLine, "%s\\%s", GetBaseDir(), data);
    // A program that does not start leaves its entry empty for the next one.
    table[filled] = StartCompanion(nullptr, commandLine);
    if (table[filled]) ++filled;
  }
}

void StopK7302Server() {
  PostClose(FindWindowA(kK7302ServerClass, kK7302ServerTitle));
}

void CloseRunProgramWindows() {
  char name[kRunTextSize];
  char data[kRunTextSize];
  for (DWORD index = 0; ReadRunEntry(index, name, data); ++index) {
    if (name[0] == '\0') continue;
    PostClose(FindWindowA(nullptr, name));
  }
}

void StopRunPrograms(std::span<UniqueProcess> table) {
  CloseRunProgramWindows();
  // One program that ignores its WM_CLOSE costs one wait; the rest are not waited for,
  // so shut-down is delayed by at most kRunProgramWaitMs.
  bool timedOut = false;
  for (UniqueProcess& entry : table) {
    if (!entry) break;
    if (!timedOut && WaitForSingleObject(entry.Process(), kRunProgramWaitMs) == WAIT_TIMEOUT) timedOut = true;
    entry.Reset();
  }
  // A program busy at the first request may take the second one.
  if (timedOut) CloseRunProgramWindows();
}

void ReleaseRunPrograms(std::span<UniqueProcess> table) {
  CloseRunProgramWindows();
  for (UniqueProcess& entry : table) entry.Reset();
}
