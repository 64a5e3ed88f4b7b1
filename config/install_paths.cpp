#include "config/install_paths.h"

#include <cstring>
#include <initializer_list>

#include "config/registry_keys.h"
#include "config/suite_key.h"
#include "base/bounded_text.h"

namespace {

constexpr const char* kVxipnpKey = "SOFTWARE\\VXIPNP_Alliance\\VXIPNP\\CurrentVersion";
constexpr const char* kIviKey = "SOFTWARE\\IVI";
constexpr const char* kSuiteVersionKey = "SOFTWARE\\Korvane\\Ombrix Suite\\CurrentVersion";
constexpr const char* kCurrentDir = ".";

// One cached text: filled on first use, never refreshed.
struct CachedText {
  char text[kSuiteTextSize];
  bool computed;
};

// Constant-initialised, so readers called from static initialisers find them ready.
constinit CachedText g_baseDir = {};
constinit CachedText g_baseDir32 = {};
constinit CachedText g_longBaseDir = {};
constinit CachedText g_vxipnpPath = {};
constinit CachedText g_vxipnpPath32 = {};
constinit CachedText g_longVxipnpPath = {};
constinit CachedText g_iviRootDir = {};
constinit CachedText g_iviRootDir32 = {};
constinit CachedText g_suiteVersion = {};

enum class View { Process64, Read32 };

// The one pattern of every path reader: open the key in the given view, read the value,
// and fall back to "." when the key cannot be opened or to valueFallback when the value
// cannot be read. The result is kept even after a failure, so the registry is asked once.
const char* ReadCachedPath(CachedText& cache, View view, const char* path, const char* value,
                           const char* valueFallback) {
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

const char* GetBaseDir() {
  return ReadCachedPath(g_baseDir, View::Process64, GetSuiteKeyPath(), "BaseDir", kCurrentDir);
}

const char* GetBaseDir32() {
  return ReadCachedPath(g_baseDir32, View::Read32, GetSuiteKeyPath(), "BaseDir", kCurrentDir);
}

const char* GetLongBaseDir() {
  if (g_longBaseDir.computed) return g_longBaseDir.text;
  return ReadCachedPath(g_longBaseDir, View::Process64, GetSuiteKeyPath(), "LongBaseDir", GetBaseDir());
}

const char* GetVxipnpPath() {
  return ReadCachedPath(g_vxipnpPath, View::Process64, kVxipnpKey, "VXIPNPPATH", kCurrentDir);
}

const char* GetVxipnpPath32() {
  return ReadCachedPath(g_vxipnpPath32, View::Read32, kVxipnpKey, "VXIPNPPATH", kCurrentDir);
}

const char* GetLongVxipnpPath() {
  if (g_longVxipnpPath.computed) return g_longVxipnpPath.text;
  return ReadCachedPath(g_longVxipnpPath, View::Process64, kVxipnpKey, "LongVXIPNPPATH", GetVxipnpPath());
}

const char* GetIviRootDir() {
  return ReadCachedPath(g_iviRootDir, View::Process64, kIviKey, "IviStandardRootDir", kCurrentDir);
}

const char* GetIviRootDir32() {
  return ReadCachedPath(g_iviRootDir32, View::Read32, kIviKey, "IviStandardRootDir", kCurrentDir);
}

const char* GetSuiteVersionText() {
  if (g_suiteVersion.computed) return g_suiteVersion.text;
  memset(g_suiteVersion.text, 0, sizeof g_suiteVersion.text);
  UniqueKey key;
  // Not cached while the key is absent: an installer may still be writing it.
  if (OpenKey64(HKEY_LOCAL_MACHINE, kSuiteVersionKey, KEY_READ, key.Receive()) != ERROR_SUCCESS) {
    return g_suiteVersion.text;
  }
  char version[kSuiteTextSize] = {};
  char customBuild[kSuiteTextSize] = {};
  QueryValueText(key.Get(), "CurrentVersion", version, sizeof version);
  QueryValueText(key.Get(), "CustomBuild", customBuild, sizeof customBuild);
  FormatBounded(g_suiteVersion.text, sizeof g_suiteVersion.text, "%s %s", version, customBuild);
  g_suiteVersion.computed = true;
  return g_suiteVersion.text;
}

namespace config_testing {
void ForgetInstallPaths() {
  for (CachedText* cache : {&g_baseDir, &g_baseDir32, &g_longBaseDir, &g_vxipnpPath, &g_vxipnpPath32,
                            &g_longVxipnpPath, &g_iviRootDir, &g_iviRootDir32, &g_suiteVersion}) {
    cache->text[0] = '\0';
    cache->computed = false;
  }
}
}  // namespace config_testing
