#include "config/suite_dirs.h"

#include <windows.h>

#include "config/install_paths.h"
#include "base/bounded_text.h"

namespace {

char g_suiteDir[kDirSize] = ".";
char g_visaDir64[kDirSize] = ".";
char g_visaDir32[kDirSize] = ".";
int g_visaPresent = 0;

// Copies a configured path and shortens it in place; on failure the long form stays.
void SetShortDir(char* dir, const char* path) {
  CopyBounded(dir, kDirSize, path);
  char shortForm[kDirSize];
  const DWORD length = GetShortPathNameA(dir, shortForm, kDirSize);
  if (length > 0 && length < kDirSize) CopyBounded(dir, kDirSize, shortForm);
}

}  // namespace

void PrepareSuiteDirs() {
  SetShortDir(g_suiteDir, GetBaseDir());
  SetCurrentDirectoryA(g_suiteDir);
  SetShortDir(g_visaDir64, GetVxipnpPath());
  SetShortDir(g_visaDir32, GetVxipnpPath32());
}

const char* GetSuiteDir() { return g_suiteDir; }
const char* GetVisaDir64() { return g_visaDir64; }
const char* GetVisaDir32() { return g_visaDir32; }

int GetVisaPresent() { return g_visaPresent; }
void SetVisaPresent(int value) { g_visaPresent = value; }
