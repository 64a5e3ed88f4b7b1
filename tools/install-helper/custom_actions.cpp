// The package's custom actions. Each reports what it did in the installation log and
// returns success whatever happened: neither a missing suite, nor a Quorvel that will not
// close in time, nor one that cannot start may fail an installation or a removal.
#include <windows.h>
#include <msi.h>
#include <msiquery.h>

#include <cstdio>
#include <string>

#include "tools/install-helper/quorvel_control.h"
#include "tools/install-helper/suite_folder.h"

namespace {

// Quorvel may take up to 30 s to stop its trace relay on the way out.
constexpr DWORD kCloseTimeoutMs = 40000;

void Log(MSIHANDLE install, const char* text) {
  PMSIHANDLE record = MsiCreateRecord(1);
  MsiRecordSetStringA(record, 0, "install-helper: [1]");
  MsiRecordSetStringA(record, 1, text);
  MsiProcessMessage(install, INSTALLMESSAGE_INFO, record);
}

std::string TargetPath(MSIHANDLE install, const char* folder) {
  char path[MAX_PATH] = {};
  DWORD size = sizeof path;
  if (MsiGetTargetPathA(install, folder, path, &size) != ERROR_SUCCESS) return {};
  return path;
}

}  // namespace

// Sets SUITEBASEDIR to the suite's folder when the suite is installed.
extern "C" __declspec(dllexport) UINT __stdcall FindSuiteFolder(MSIHANDLE install) {
  const std::string keyPath = SuiteKeyPath();
  const std::string folder = SuiteFolder(keyPath);
  if (folder.empty()) {
    Log(install, ("no suite folder under " + keyPath).c_str());
  } else {
    MsiSetPropertyA(install, "SUITEBASEDIR", folder.c_str());
    Log(install, ("suite folder " + folder + " (" + keyPath + ")").c_str());
  }
  return ERROR_SUCCESS;
}

extern "C" __declspec(dllexport) UINT __stdcall CloseQuorvel(MSIHANDLE install) {
  const CloseOutcome outcome = CloseRunningQuorvel(kCloseTimeoutMs);
  char text[160];
  if (!outcome.found) {
    std::snprintf(text, sizeof text, "no Quorvel runs in this session");
  } else if (outcome.ended) {
    std::snprintf(text, sizeof text, "closed Quorvel (process %lu, exit code %lu)", outcome.processId,
                  outcome.exitCode);
  } else {
    std::snprintf(text, sizeof text, "Quorvel (process %lu) did not end within %lu ms", outcome.processId,
                  kCloseTimeoutMs);
  }
  Log(install, text);
  return ERROR_SUCCESS;
}

extern "C" __declspec(dllexport) UINT __stdcall StartQuorvel(MSIHANDLE install) {
  const std::string exe = TargetPath(install, "INSTALLDIR") + "quorvel.exe";
  if (!SuiteServiceRuns()) {
    Log(install, "Quorvel not started: the suite service does not run; it starts at the next log-on");
  } else if (StartQuorvelDetached(exe)) {
    Log(install, ("started " + exe + " -q").c_str());
  } else {
    Log(install, ("could not start " + exe).c_str());
  }
  return ERROR_SUCCESS;
}
