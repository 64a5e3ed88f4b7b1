// The package's custom actions. Each reports what it did in the installation log and
// returns success whatever happened: neither a missing suite, nor a Quorvel that will not
// close in time, nor one that cannot start may fail an installation or a removal.
#include <windows.h>
// After windows.h, which they need.
#include <msi.h>
#include <msiquery.h>

#include <cstdio>
#include <string>

#include "tools/install-helper/quorvel_closing.h"
#include "tools/install-helper/quorvel_starting.h"
#include "tools/install-helper/suite_folder.h"

namespace {

// Quorvel notices the close request within one timer period (5 s) and may take up to
// 30 s to stop its trace relay on the way out.
constexpr DWORD kCloseTimeoutMs = 40000;

void Log(MSIHANDLE install, const std::string& text) {
  PMSIHANDLE record = MsiCreateRecord(1);
  MsiRecordSetStringA(record, 0, "install-helper: [1]");
  MsiRecordSetStringA(record, 1, text.c_str());
  MsiProcessMessage(install, INSTALLMESSAGE_INFO, record);
}

std::string Property(MSIHANDLE install, const char* name) {
  char value[MAX_PATH * 2] = {};
  DWORD size = sizeof value;
  if (MsiGetPropertyA(install, name, value, &size) != ERROR_SUCCESS) return {};
  return value;
}

std::string TargetPath(MSIHANDLE install, const char* folder) {
  char path[MAX_PATH] = {};
  DWORD size = sizeof path;
  if (MsiGetTargetPathA(install, folder, path, &size) != ERROR_SUCCESS) return {};
  return path;
}

std::string Describe(const ClosedQuorvel& closed, DWORD timeoutMs) {
  char text[200];
  const unsigned long id = closed.facts.processId, session = closed.facts.sessionId;
  switch (closed.verdict) {
    case QuorvelVerdict::kOtherFile:
      std::snprintf(text, sizeof text, "Quorvel (process %lu, session %lu) runs another file; left alone", id, session);
      break;
    case QuorvelVerdict::kCannotWatch:
      std::snprintf(text, sizeof text, "Quorvel (process %lu, session %lu) cannot be watched", id, session);
      break;
    case QuorvelVerdict::kWaitFor:
      if (closed.ended) {
        std::snprintf(text, sizeof text, "closed Quorvel (process %lu, session %lu, exit code %lu)", id, session,
                      closed.exitCode);
      } else {
        std::snprintf(text, sizeof text, "Quorvel (process %lu, session %lu) did not end within %lu ms", id, session,
                      timeoutMs);
      }
      break;
  }
  return text;
}

}  // namespace

// Sets SUITEBASEDIR to the suite's folder when the suite is installed.
extern "C" __declspec(dllexport) UINT __stdcall FindSuiteFolder(MSIHANDLE install) {
  const std::string keyPath = SuiteKeyPath();
  const std::string folder = SuiteFolder(keyPath);
  if (folder.empty()) {
    Log(install, "no suite folder under " + keyPath);
  } else {
    MsiSetPropertyA(install, "SUITEBASEDIR", folder.c_str());
    Log(install, "suite folder " + folder + " (" + keyPath + ")");
  }
  return ERROR_SUCCESS;
}

// Deferred, without impersonation: it runs as the installer service (SYSTEM), which can
// make a Global\ object and open the processes of every session. Its data is the path of
// the installed quorvel.exe.
extern "C" __declspec(dllexport) UINT __stdcall CloseQuorvel(MSIHANDLE install) {
  const std::string path = Property(install, "CustomActionData");
  const CloseReport report = CloseQuorvelsOf(path, kCloseTimeoutMs);
  if (!report.fileFound) {
    Log(install, "no installed " + path + " to close");
  } else if (!report.requestMade) {
    Log(install,
        "could not make the close request for " + path + " (error " + std::to_string(report.requestError) + ")");
  } else if (report.quorvels.empty()) {
    Log(install, "no Quorvel runs from " + path);
  }
  for (const ClosedQuorvel& closed : report.quorvels) Log(install, Describe(closed, kCloseTimeoutMs));
  return ERROR_SUCCESS;
}

// Immediate, after the installation is final: it runs as the installing user, in that
// user's session.
extern "C" __declspec(dllexport) UINT __stdcall StartQuorvel(MSIHANDLE install) {
  const std::string exe = TargetPath(install, "INSTALLDIR") + "quorvel.exe";
  const StartPlan plan = DecideStart(ReadStartFacts());
  if (plan.way == StartWay::kNone) {
    Log(install,
        std::string("Quorvel not started: ") + plan.reason + "; it starts at the next log-on from the Run value");
  } else if (StartQuorvel(plan, exe)) {
    Log(install, "started " + exe + " -q " + plan.reason);
  } else {
    Log(install, "could not start " + exe + " " + plan.reason + " (error " + std::to_string(GetLastError()) +
                     "); it starts at the next log-on from the Run value");
  }
  return ERROR_SUCCESS;
}
