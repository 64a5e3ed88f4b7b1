#include "tools/install-helper/suite_folder.h"

#include <windows.h>

namespace {

// Opens an HKLM key for reading in the 64-bit view; null when it does not exist.
HKEY OpenKey(const char* path) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ | KEY_WOW64_64KEY, &key) != ERROR_SUCCESS) return nullptr;
  return key;
}

std::string ReadText(const std::string& path, const char* value) {
  HKEY key = OpenKey(path.c_str());
  if (key == nullptr) return {};
  char text[1024] = {};
  DWORD size = sizeof text - 1;
  const LONG status =
      RegGetValueA(key, nullptr, value, RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND, nullptr, text, &size);
  RegCloseKey(key);
  return status == ERROR_SUCCESS ? text : std::string();
}

bool KeyExists(const char* path) {
  HKEY key = OpenKey(path);
  if (key != nullptr) RegCloseKey(key);
  return key != nullptr;
}

}  // namespace

std::string SuiteKeyPath() {
  std::string mfg = ReadText("SOFTWARE\\Korvane\\Ombrix", "MfgName");
  std::string name = ReadText("SOFTWARE\\Korvane\\Ombrix", "KeyName");
  if (mfg.empty() || name.empty()) {
    const bool legacy = KeyExists("SOFTWARE\\Brannock-Wexley\\TRIL");
    mfg = legacy ? "Brannock-Wexley" : "Korvane";
    name = legacy ? "TRIL" : "Ombrix";
  }
  return "SOFTWARE\\" + mfg + "\\" + name + "\\CurrentVersion";
}

std::string SuiteFolder() {
  std::string folder = ReadText(SuiteKeyPath(), "BaseDir");
  if (folder.empty()) return {};
  const DWORD attributes = GetFileAttributesA(folder.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return {};
  if (folder.back() != '\\') folder += '\\';
  return folder;
}
