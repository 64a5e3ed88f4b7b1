#include "tools/install-helper/quorvel_starting.h"

#include <windows.h>

#include <memory>
#include <vector>

#include "base/results.h"
#include "base/unique.h"
#include "shell/service_info.h"

namespace {

// The user of a token, in a buffer the caller keeps; null when it cannot be read.
struct AccountOfToken {
  std::unique_ptr<BYTE[]> buffer;
  PSID Sid() const { return buffer ? reinterpret_cast<TOKEN_USER*>(buffer.get())->User.Sid : nullptr; }
};

AccountOfToken ReadAccount(HANDLE token) {
  DWORD size = 0;
  IgnoreResult(GetTokenInformation(token, TokenUser, nullptr, 0, &size));  // asks for the size only
  AccountOfToken user;
  if (size == 0) return user;
  user.buffer = std::make_unique<BYTE[]>(size);
  if (!GetTokenInformation(token, TokenUser, user.buffer.get(), size, &size)) user.buffer.reset();
  return user;
}

bool IsElevated(HANDLE token) {
  TOKEN_ELEVATION elevation{};
  DWORD size = 0;
  return GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size) && elevation.TokenIsElevated;
}

bool IsSystem(const AccountOfToken& user) {
  return user.Sid() != nullptr && IsWellKnownSid(user.Sid(), WinLocalSystemSid);
}

// The token of the process that owns this session's taskbar: the desktop shell, which
// runs as the logged-on user with that user's own rights.
UniqueHandle OpenShellToken(DWORD access) {
  const HWND taskbar = FindWindowA("Shell_TrayWnd", nullptr);
  DWORD processId = 0;
  if (taskbar == nullptr || GetWindowThreadProcessId(taskbar, &processId) == 0) return UniqueHandle();
  const UniqueHandle shell(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
  UniqueHandle token;
  if (shell && !OpenProcessToken(shell.Get(), access, token.Receive())) token.Reset();
  return token;
}

bool SuiteServiceRuns() {
  const UniqueHandle block(OpenFileMappingA(FILE_MAP_READ, FALSE, kServiceInfoBlockName));
  return static_cast<bool>(block);
}

std::wstring Wide(const std::string& text) {
  const int length = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
  if (length <= 0) return {};
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, wide.data(), length);
  wide.resize(static_cast<size_t>(length) - 1);
  return wide;
}

bool StartAsShellUser(const std::string& exe, std::string commandLine) {
  const UniqueHandle shellToken = OpenShellToken(TOKEN_QUERY | TOKEN_DUPLICATE | TOKEN_ASSIGN_PRIMARY);
  UniqueHandle primary;
  if (!shellToken || !DuplicateTokenEx(shellToken.Get(), TOKEN_QUERY | TOKEN_DUPLICATE | TOKEN_ASSIGN_PRIMARY, nullptr,
                                       SecurityImpersonation, TokenPrimary, primary.Receive())) {
    return false;
  }
  const std::wstring application = Wide(exe);
  std::wstring wideCommandLine = Wide(commandLine);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!CreateProcessWithTokenW(primary.Get(), 0, application.c_str(), wideCommandLine.data(), 0, nullptr, nullptr,
                               &startup, &info)) {
    return false;
  }
  const UniqueProcess started(info);  // detached: both handles are closed, the program runs on
  return true;
}

bool StartDirect(const std::string& exe, std::string commandLine) {
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!CreateProcessA(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
    return false;
  }
  const UniqueProcess started(info);  // detached, as above
  return true;
}

}  // namespace

StartFacts ReadStartFacts() {
  StartFacts facts;
  UniqueHandle own;
  if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, own.Receive())) {
    const AccountOfToken user = ReadAccount(own.Get());
    facts.runsAsSystem = IsSystem(user);
    facts.elevated = IsElevated(own.Get());
    if (const UniqueHandle shell = OpenShellToken(TOKEN_QUERY)) {
      const AccountOfToken shellUser = ReadAccount(shell.Get());
      facts.shellFound = true;
      facts.shellIsSystem = IsSystem(shellUser);
      facts.shellSameUser =
          user.Sid() != nullptr && shellUser.Sid() != nullptr && EqualSid(user.Sid(), shellUser.Sid());
    }
  }
  if (!ProcessIdToSessionId(GetCurrentProcessId(), &facts.sessionId)) facts.sessionId = 0;
  facts.serviceRuns = SuiteServiceRuns();
  return facts;
}

bool StartQuorvel(const StartPlan& plan, const std::string& exe) {
  const std::string commandLine = "\"" + exe + "\" -q";
  switch (plan.way) {
    case StartWay::kDirect:
      return StartDirect(exe, commandLine);
    case StartWay::kAsShellUser:
      return StartAsShellUser(exe, commandLine);
    case StartWay::kNone:
      break;
  }
  return false;
}
