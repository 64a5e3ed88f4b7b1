#include "tools/install-helper/quorvel_control.h"

#include "base/window_identity.h"
#include "base/unique.h"
#include "shell/service_info.h"

namespace {

bool WaitForWindowGone(HWND window, DWORD timeoutMs) {
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  while (IsWindow(window)) {
    if (GetTickCount64() >= deadline) return false;
    Sleep(50);
  }
  return true;
}

}  // namespace

CloseOutcome CloseRunningQuorvel(DWORD timeoutMs) {
  CloseOutcome outcome;
  HWND window = FindWindowA(kMainWindowClass, kMainWindowTitle);
  if (window == nullptr) {
    outcome.ended = true;
    return outcome;
  }
  outcome.found = true;
  GetWindowThreadProcessId(window, &outcome.processId);
  // Opened before the message goes out, so that the process id cannot be reused between
  // posting and waiting.
  const UniqueHandle process(OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, outcome.processId));
  if (!PostMessageA(window, WM_CLOSE, 0, 0)) {
    outcome.ended = !IsWindow(window);
    return outcome;
  }
  if (!process) {
    // Without a handle the window is the only sign of life left to watch.
    outcome.ended = WaitForWindowGone(window, timeoutMs);
    return outcome;
  }
  outcome.ended = WaitForSingleObject(process.Get(), timeoutMs) == WAIT_OBJECT_0;
  if (outcome.ended) GetExitCodeProcess(process.Get(), &outcome.exitCode);
  return outcome;
}

bool SuiteServiceRuns() {
  const UniqueHandle block(OpenFileMappingA(FILE_MAP_READ, FALSE, kServiceInfoBlockName));
  return static_cast<bool>(block);
}

bool StartQuorvelDetached(const std::string& exe) {
  std::string commandLine = "\"" + exe + "\" -q";
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!CreateProcessA(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &info)) {
    return false;
  }
  const UniqueProcess started(info);  // detached: both handles are closed, the program runs on
  return true;
}
