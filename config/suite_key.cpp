#include "config/suite_key.h"

#include <cstring>

#include "base/bounded_text.h"
#include "base/results.h"
#include "config/cached_text.h"
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

}  // namespace

LONG LocateSuiteNames(char* mfgName, char* keyName) {
  char mfg[kSuiteTextSize] = {};
  char key[kSuiteTextSize] = {};
  bool legacy = false;
  bool found = false;
  LONG status = ERROR_SUCCESS;

  {
    UniqueKey legacyKey;
    legacy = OpenKeyFull64(HKEY_LOCAL_MACHINE, kLegacyKey, legacyKey.Receive()) == ERROR_SUCCESS;
  }
  {
    UniqueKey names;
    if (OpenKeyFull64(HKEY_LOCAL_MACHINE, kNamesKey, names.Receive()) == ERROR_SUCCESS) {
      // A name that cannot be read stays empty, and an empty name is chosen anew below.
      IgnoreResult(QueryValueText(names.Get(), "MfgName", mfg, sizeof mfg));
      IgnoreResult(QueryValueText(names.Get(), "KeyName", key, sizeof key));
      found = mfg[0] != '\0' && key[0] != '\0';
    }
  }

  if (!found) {
    // One missing name makes the pair unusable: both are replaced, so the names in force
    // always belong together.
    CopyBounded(mfg, sizeof mfg, legacy ? kLegacyMfg : kDefaultMfg);
    CopyBounded(key, sizeof key, legacy ? kLegacyKeyName : kDefaultKeyName);
    UniqueKey names;
    status = CreateKeyFull64(HKEY_LOCAL_MACHINE, kNamesKey, names.Receive());
    if (status == ERROR_SUCCESS) {
      status = SetText(names.Get(), "MfgName", mfg);
      const LONG keyStatus = SetText(names.Get(), "KeyName", key);
      if (status == ERROR_SUCCESS) status = keyStatus;
    }
  }

  if (mfgName != nullptr) CopyBounded(mfgName, kSuiteTextSize, mfg);
  if (keyName != nullptr) CopyBounded(keyName, kSuiteTextSize, key);
  return status;
}

const char* GetSuiteKeyPath() {
  CachedText& path = g_suiteKeyPath;
  if (path.computed) return path.text;
  char mfg[kSuiteTextSize];
  char key[kSuiteTextSize];
  // A failed write-back still gives the names in force.
  IgnoreResult(LocateSuiteNames(mfg, key));
  // Names too long for the path buffer cannot name a real key (a key name is at most
  // 255 characters per level); a cut path could still open some other key, so such
  // names give the default suite key instead.
  if (strlen(mfg) + strlen(key) + strlen(kPathFormat) - 4 >= kSuiteTextSize) {
    FormatBounded(path.text, sizeof path.text, kPathFormat, kDefaultMfg, kDefaultKeyName);
  } else {
    FormatBounded(path.text, sizeof path.text, kPathFormat, mfg, key);
  }
  path.computed = true;
  return path.text;
}

// Test seam (declared in config/testing/seams.h): it needs the cache, which is private here.
namespace config_testing {
void ForgetSuiteKeyPath() { g_suiteKeyPath = {}; }
}  // namespace config_testing
