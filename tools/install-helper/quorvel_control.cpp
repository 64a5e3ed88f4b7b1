#include "tools/install-helper/quorvel_control.h"

#include "shell/service_info.h"
#include "base/main_window.h"

namespace {

class OwnedHandle {
 public:
  explicit OwnedHandle(HANDLE handle) : m_handle(handle) {}
  ~OwnedHandle() {
    if (m_handle != nullptr) CloseHandle(m_handle);
  }
  OwnedHandle(const OwnedHandle&) = delete;
  OwnedHandle& operator=(const OwnedHandle&) = delete;
  HANDLE Get() const { return m_handle; }

 private:
  HANDLE m_handle;
};

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
  OwnedHandle process(OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, outcome.processId));
  if (!PostMessageA(window, WM_CLOSE, 0, 0)) {
    outcome.ended = !IsWindow(window);
    return outcome;
  }
  if (process.Get() == nullptr) {
    // Without a handle the window is the only sign of life left to watch.
    outcome.ended = WaitForWindowGone(window, timeoutMs);
    return outcome;
  }
  outcome.ended = WaitForSingleObject(process.Get(), timeoutMs) == WAIT_OBJECT_0;
  if (outcome.ended) GetExitCodeProcess(process.Get(), &outcome.exitCode);
  return outcome;
}

bool SuiteServiceRuns() {
  OwnedHandle block(OpenFileMappingA(FILE_MAP_READ, FALSE, kServiceInfoBlockName));
  return block.Get() != nullptr;
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
  CloseHandle(info.hThread);
  CloseHandle(info.hProcess);
  return true;
}
