#include "config/suite_dirs.h"

#include <windows.h>

#include "base/bounded_text.h"
#include "base/results.h"
#include "config/install_paths.h"
#include "config/visa_settings.h"

namespace {

// The installation facts of the process, "." until PrepareSuiteDirs.
struct SuiteDirs {
  char suiteDir[kDirSize] = ".";
  char visaDir64[kDirSize] = ".";
  char visaDir32[kDirSize] = ".";
  int visaPresent = kVisaAbsent;
};
constinit SuiteDirs g_dirs;

// Copies a configured path and shortens it in place; on failure the long form stays.
void SetShortDir(char* dir, const char* path) {
  CopyBounded(dir, kDirSize, path);
  char shortForm[kDirSize];
  const DWORD length = GetShortPathNameA(dir, shortForm, kDirSize);
  if (length > 0 && length < kDirSize) CopyBounded(dir, kDirSize, shortForm);
}

}  // namespace

void PrepareSuiteDirs() {
  SetShortDir(g_dirs.suiteDir, GetBaseDir());
  // A directory that cannot be entered leaves the current one, which programs started
  // later then inherit.
  IgnoreResult(SetCurrentDirectoryA(g_dirs.suiteDir));
  SetShortDir(g_dirs.visaDir64, GetVxipnpPath());
  SetShortDir(g_dirs.visaDir32, GetVxipnpPath32());
}

const char* GetSuiteDir() { return g_dirs.suiteDir; }
const char* GetVisaDir64() { return g_dirs.visaDir64; }
const char* GetVisaDir32() { return g_dirs.visaDir32; }

int GetVisaPresent() { return g_dirs.visaPresent; }
void SetVisaPresent(int value) { g_dirs.visaPresent = value; }
