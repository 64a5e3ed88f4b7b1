#include "config/suite_key.h"

#include <cstring>

#include "base/bounded_text.h"
#include "base/results.h"
#include "config/cached_text.h"
#include "config/denied_writes.h"
#include "config/registry_keys.h"
#include "config/testing/seams.h"

namespace {

constexpr const char* kNamesKey = "SOFTWARE\\Korvane\\Ombrix";
constexpr const char* kLegacyKey = "SOFTWARE\\Brannock-Wexley\\TRIL";
constexpr const char* kDefaultMfg = "Korvane";
constexpr const char* kDefaultKeyName = "Ombrix";
constexpr const char* kLegacyMfg = "Brannock-Wexley";
constexpr const char* kLegacyKeyName = "TRIL";
constexpr const char* kPathFormat = "SOFTWARE\\%s\\%s\\CurrentVersion";

constinit CachedText g_suiteKeyPath = {};

LONG SetText(HKEY key, const char* value, const char* text) {
  return RegSetValueExA(key, value, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                        static_cast<DWORD>(strlen(text) + 1));
}

// Writes both names into the names key; the status of the first failure.
LONG WriteBackNames(const SuiteNames& names) {
  UniqueKey namesKey;
  LONG status = CreateKeyFull64(HKEY_LOCAL_MACHINE, kNamesKey, namesKey.Receive());
  if (status != ERROR_SUCCESS) {
    ReportDeniedWrite(kNamesKey, "MfgName", status);
    ReportDeniedWrite(kNamesKey, "KeyName", status);
    return status;
  }
  status = SetText(namesKey.Get(), "MfgName", names.mfgName);
  const LONG keyStatus = SetText(namesKey.Get(), "KeyName", names.keyName);
  return status != ERROR_SUCCESS ? status : keyStatus;
}

}  // namespace

SuiteNames ReadSuiteNames(REGSAM access) {
  SuiteNames names{};
  bool legacy = false;
  {
    UniqueKey legacyKey;
    legacy = OpenKeyForReading64(HKEY_LOCAL_MACHINE, kLegacyKey, access, legacyKey.Receive()) == ERROR_SUCCESS;
  }
  {
    UniqueKey namesKey;
    if (OpenKeyForReading64(HKEY_LOCAL_MACHINE, kNamesKey, access, namesKey.Receive()) == ERROR_SUCCESS) {
      // A name that cannot be read stays empty, and an empty name is chosen anew below.
      IgnoreResult(QueryValueText(namesKey.Get(), "MfgName", names.mfgName, sizeof names.mfgName));
      IgnoreResult(QueryValueText(namesKey.Get(), "KeyName", names.keyName, sizeof names.keyName));
      names.stored = names.mfgName[0] != '\0' && names.keyName[0] != '\0';
    }
  }
  if (!names.stored) {
    // One missing name makes the pair unusable: both are replaced, so the names in force
    // always belong together.
    CopyBounded(names.mfgName, sizeof names.mfgName, legacy ? kLegacyMfg : kDefaultMfg);
    CopyBounded(names.keyName, sizeof names.keyName, legacy ? kLegacyKeyName : kDefaultKeyName);
  }
  return names;
}

void FormatSuiteKeyPath(const SuiteNames& names, char (&path)[kSuiteTextSize]) {
  // Names too long for the path buffer cannot name a real key (a key name is at most
  // 255 characters per level); a cut path could still open some other key, so such
  // names give the default suite key instead.
  if (strlen(names.mfgName) + strlen(names.keyName) + strlen(kPathFormat) - 4 >= kSuiteTextSize) {
    FormatBounded(path, sizeof path, kPathFormat, kDefaultMfg, kDefaultKeyName);
  } else {
    FormatBounded(path, sizeof path, kPathFormat, names.mfgName, names.keyName);
  }
}

LONG LocateSuiteNames(char* mfgName, char* keyName) {
  // Full access is asked for first; a user denied it still reads the names.
  const SuiteNames names = ReadSuiteNames(KEY_ALL_ACCESS);
  const LONG status = names.stored ? ERROR_SUCCESS : WriteBackNames(names);
  if (mfgName != nullptr) CopyBounded(mfgName, kSuiteTextSize, names.mfgName);
  if (keyName != nullptr) CopyBounded(keyName, kSuiteTextSize, names.keyName);
  return status;
}

const char* GetSuiteKeyPath() {
  CachedText& path = g_suiteKeyPath;
  if (path.computed) return path.text;
  // A failed write-back still gives the names in force.
  SuiteNames names{};
  IgnoreResult(LocateSuiteNames(names.mfgName, names.keyName));
  FormatSuiteKeyPath(names, path.text);
  path.computed = true;
  return path.text;
}

// Test seam (declared in config/testing/seams.h): it needs the cache, which is private here.
namespace config_testing {
void ForgetSuiteKeyPath() { g_suiteKeyPath = {}; }
}  // namespace config_testing
