#include "menu/installed_files.h"

#include <cstring>

#include "base/unique.h"

bool JoinInstallPath(char (&path)[MAX_PATH], const char* dir, const char* relative) {
  const size_t dirLength = std::strlen(dir);
  const size_t relativeLength = std::strlen(relative);
  if (dirLength + relativeLength >= MAX_PATH) {
    path[0] = '\0';
    return false;
  }
  std::memcpy(path, dir, dirLength);
  std::memcpy(path + dirLength, relative, relativeLength + 1);
  return true;
}

bool IsFileInstalled(const char* dir, const char* relative) {
  char path[MAX_PATH];
  if (!JoinInstallPath(path, dir, relative)) return false;
  const UniqueFile file(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  return static_cast<bool>(file);
}
