#include "config/install_paths.h"

#include <cstring>

#include "base/bounded_text.h"
#include "base/results.h"
#include "config/cached_text.h"
#include "config/registry_keys.h"
#include "config/suite_key.h"
#include "config/testing/seams.h"

namespace {

constexpr const char* kVxipnpKey = "SOFTWARE\\VXIPNP_Alliance\\VXIPNP\\CurrentVersion";
constexpr const char* kIviKey = "SOFTWARE\\IVI";
constexpr const char* kSuiteVersionKey = "SOFTWARE\\Korvane\\Ombrix Suite\\CurrentVersion";
constexpr const char* kCurrentDir = ".";

// Every reader's cached text, filled on first use and never refreshed (the suite version
// excepted while its key is absent).
struct InstallPathCache {
  CachedText baseDir, baseDir32, longBaseDir;
  CachedText vxipnpPath, vxipnpPath32, longVxipnpPath;
  CachedText iviRootDir, iviRootDir32;
  CachedText suiteVersion;
};
constinit InstallPathCache g_paths = {};

enum class View { Process64, Read32 };

// The one pattern of every path reader: open the key in the given view, read the value,
// and fall back to "." when the key cannot be opened or to valueFallback when the value
// cannot be read. The result is kept even after a failure, so the registry is asked once.
const char* ReadCachedPath(CachedText& cache, View view, const char* path, const char* value,
                           const char* valueFallback = kCurrentDir) {
  if (cache.computed) return cache.text;
  cache.text[0] = '\0';
  UniqueKey key;
  const LONG opened = view == View::Read32 ? OpenKeyRead32(HKEY_LOCAL_MACHINE, path, key.Receive())
                                           : RegOpenKeyA(HKEY_LOCAL_MACHINE, path, key.Receive());
  if (opened != ERROR_SUCCESS) {
    CopyBounded(cache.text, sizeof cache.text, kCurrentDir);
  } else if (QueryValueText(key.Get(), value, cache.text, sizeof cache.text) != ERROR_SUCCESS) {
    CopyBounded(cache.text, sizeof cache.text, valueFallback);
  }
  cache.computed = true;
  return cache.text;
}

}  // namespace

// The "Long" readers take their plain form as the fallback; it is cached too, so asking
// for it again costs nothing.
const char* GetBaseDir() { return ReadCachedPath(g_paths.baseDir, View::Process64, GetSuiteKeyPath(), "BaseDir"); }
const char* GetBaseDir32() { return ReadCachedPath(g_paths.baseDir32, View::Read32, GetSuiteKeyPath(), "BaseDir"); }
const char* GetLongBaseDir() {
  return ReadCachedPath(g_paths.longBaseDir, View::Process64, GetSuiteKeyPath(), "LongBaseDir", GetBaseDir());
}
const char* GetVxipnpPath() { return ReadCachedPath(g_paths.vxipnpPath, View::Process64, kVxipnpKey, "VXIPNPPATH"); }
const char* GetVxipnpPath32() { return ReadCachedPath(g_paths.vxipnpPath32, View::Read32, kVxipnpKey, "VXIPNPPATH"); }
const char* GetLongVxipnpPath() {
  return ReadCachedPath(g_paths.longVxipnpPath, View::Process64, kVxipnpKey, "LongVXIPNPPATH", GetVxipnpPath());
}
const char* GetIviRootDir() {
  return ReadCachedPath(g_paths.iviRootDir, View::Process64, kIviKey, "IviStandardRootDir");
}
const char* GetIviRootDir32() {
  return ReadCachedPath(g_paths.iviRootDir32, View::Read32, kIviKey, "IviStandardRootDir");
}

const char* GetSuiteVersionText() {
  if (g_paths.suiteVersion.computed) return g_paths.suiteVersion.text;
  memset(g_paths.suiteVersion.text, 0, sizeof g_paths.suiteVersion.text);
  UniqueKey key;
  // Not cached while the key is absent: an installer may still be writing it.
  if (OpenKey64(HKEY_LOCAL_MACHINE, kSuiteVersionKey, KEY_READ, key.Receive()) != ERROR_SUCCESS) {
    return g_paths.suiteVersion.text;
  }
  char version[kSuiteTextSize] = {};
  char customBuild[kSuiteTextSize] = {};
  // A value that cannot be read leaves its part of the text empty.
  IgnoreResult(QueryValueText(key.Get(), "CurrentVersion", version, sizeof version));
  IgnoreResult(QueryValueText(key.Get(), "CustomBuild", customBuild, sizeof customBuild));
  FormatBounded(g_paths.suiteVersion.text, sizeof g_paths.suiteVersion.text, "%s %s", version, customBuild);
  g_paths.suiteVersion.computed = true;
  return g_paths.suiteVersion.text;
}

// Test seam (declared in config/testing/seams.h): it needs the cache, which is private here.
namespace config_testing {
void ForgetInstallPaths() { g_paths = {}; }
}  // namespace config_testing
