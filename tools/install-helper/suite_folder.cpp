#include "tools/install-helper/suite_folder.h"

#include <windows.h>

#include "base/unique.h"
#include "config/registry_keys.h"
#include "config/suite_key.h"

std::string SuiteKeyPath() {
  // Read-only: the installer finds the names as Quorvel does but never writes them back.
  char path[kSuiteTextSize];
  FormatSuiteKeyPath(ReadSuiteNames(KEY_READ), path);
  return path;
}

std::string SuiteFolder(const std::string& keyPath) {
  UniqueKey key;
  if (OpenKey64(HKEY_LOCAL_MACHINE, keyPath.c_str(), KEY_READ, key.Receive()) != ERROR_SUCCESS) return {};
  char text[kSuiteTextSize];
  if (QueryValueText(key.Get(), "BaseDir", text, sizeof text) != ERROR_SUCCESS || text[0] == '\0') return {};
  std::string folder = text;
  const DWORD attributes = GetFileAttributesA(folder.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return {};
  if (folder.back() != '\\') folder += '\\';
  return folder;
}
