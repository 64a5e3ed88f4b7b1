#include "tools/install-helper/running_quorvels.h"

#include <tlhelp32.h>

#include <cstring>

#include "shell/close_request.h"

namespace {

constexpr char kProgramFileName[] = "quorvel.exe";

RunningQuorvel Examine(DWORD processId, const std::string& requestName) {
  RunningQuorvel found;
  found.facts.processId = processId;
  if (!ProcessIdToSessionId(processId, &found.facts.sessionId)) found.facts.sessionId = 0;
  found.process.Reset(OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
  if (!found.process) return found;
  found.facts.opened = true;
  char image[MAX_PATH];
  DWORD size = MAX_PATH;
  char name[kCloseRequestNameSize];
  // Two paths may name one file (letter case, short names, another drive letter); the
  // close request's name is made from the file's identity, so it tells them apart.
  found.facts.sameFile = QueryFullProcessImageNameA(found.process.Get(), 0, image, &size) &&
                         BuildCloseRequestName(image, name, sizeof name) && requestName == name;
  return found;
}

}  // namespace

QuorvelVerdict JudgeQuorvel(const QuorvelFacts& facts) {
  if (!facts.opened) return QuorvelVerdict::kCannotWatch;
  return facts.sameFile ? QuorvelVerdict::kWaitFor : QuorvelVerdict::kOtherFile;
}

std::vector<RunningQuorvel> FindRunningQuorvels(const std::string& requestName) {
  std::vector<RunningQuorvel> found;
  const UniqueFile snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) return found;
  PROCESSENTRY32 entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32First(snapshot.Get(), &entry); more; more = Process32Next(snapshot.Get(), &entry)) {
    if (_stricmp(entry.szExeFile, kProgramFileName) == 0) found.push_back(Examine(entry.th32ProcessID, requestName));
  }
  return found;
}
