#include "tools/install-helper/quorvel_closing.h"

#include <sddl.h>

#include "shell/close_request.h"

namespace {

// Everyone may wait on the request; only SYSTEM and administrators may change it.
constexpr char kRequestSecurity[] = "D:(A;;0x00100000;;;WD)(A;;GA;;;SY)(A;;GA;;;BA)";

// A manual-reset event made signalled, so that every Quorvel that looks sees it set.
UniqueHandle MakeRequest(const char* name) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(kRequestSecurity, SDDL_REVISION_1, &descriptor, nullptr)) {
    return UniqueHandle();
  }
  SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
  UniqueHandle request(CreateEventA(&attributes, TRUE, TRUE, name));
  LocalFree(descriptor);
  // One that existed already (made by someone else) is set all the same.
  if (request && GetLastError() == ERROR_ALREADY_EXISTS && !SetEvent(request.Get())) request.Reset();
  return request;
}

// Waits for every process in turn against one deadline, so that the whole wait stays
// within timeoutMs however many there are.
void WaitForAll(std::vector<RunningQuorvel>& running, CloseReport& report, DWORD timeoutMs) {
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  for (RunningQuorvel& one : running) {
    ClosedQuorvel closed{one.facts, JudgeQuorvel(one.facts)};
    if (closed.verdict == QuorvelVerdict::kWaitFor) {
      const ULONGLONG now = GetTickCount64();
      const DWORD left = now < deadline ? static_cast<DWORD>(deadline - now) : 0;
      closed.ended = WaitForSingleObject(one.process.Get(), left) == WAIT_OBJECT_0;
      if (closed.ended && !GetExitCodeProcess(one.process.Get(), &closed.exitCode)) closed.exitCode = 0;
    }
    report.quorvels.push_back(closed);
  }
}

}  // namespace

CloseReport CloseQuorvelsOf(const std::string& path, DWORD timeoutMs) {
  CloseReport report;
  char name[kCloseRequestNameSize];
  report.fileFound = BuildCloseRequestName(path.c_str(), name, sizeof name);
  if (!report.fileFound) return report;
  // The processes are opened before the request is set, so that none of their ids can be
  // reused by another process between the request and the wait.
  std::vector<RunningQuorvel> running = FindRunningQuorvels(name);
  const UniqueHandle request = MakeRequest(name);
  report.requestMade = static_cast<bool>(request);
  if (!report.requestMade) {
    report.requestError = GetLastError();
    return report;
  }
  WaitForAll(running, report, timeoutMs);
  return report;
}
