#include "config/registry_keys.h"

#include "config/testing/seams.h"

namespace {

// Set only by the test seam at the end of this file.
bool g_readAccessOnly = false;

// True when access asks for more than reading: what a key that grants reading only refuses.
bool AsksMoreThanReading(REGSAM access) { return (access & ~(KEY_READ | KEY_WOW64_RES)) != 0; }

LONG OpenKey(HKEY root, const char* path, REGSAM access, HKEY* key) {
  if (g_readAccessOnly && AsksMoreThanReading(access)) return ERROR_ACCESS_DENIED;
  return RegOpenKeyExA(root, path, 0, access, key);
}

}  // namespace

LONG OpenKey64(HKEY root, const char* path, REGSAM access, HKEY* key) {
  return OpenKey(root, path, access | KEY_WOW64_64KEY, key);
}

LONG OpenKeyFull64(HKEY root, const char* path, HKEY* key) {
  return OpenKey(root, path, KEY_ALL_ACCESS | KEY_WOW64_64KEY, key);
}

LONG OpenKeyForReading64(HKEY root, const char* path, REGSAM access, HKEY* key) {
  const LONG status = OpenKey64(root, path, access, key);
  if (status != ERROR_ACCESS_DENIED || !AsksMoreThanReading(access)) return status;
  return OpenKey64(root, path, KEY_READ, key);
}

LONG OpenKeyRead32(HKEY root, const char* path, HKEY* key) {
  return RegOpenKeyExA(root, path, 0, KEY_READ | KEY_WOW64_32KEY, key);
}

LONG CreateKeyFull64(HKEY root, const char* path, HKEY* key) {
  if (g_readAccessOnly) return ERROR_ACCESS_DENIED;
  return RegCreateKeyExA(root, path, 0, nullptr, 0, KEY_ALL_ACCESS | KEY_WOW64_64KEY, nullptr, key, nullptr);
}

LONG QueryValueText(HKEY key, const char* name, char* buffer, DWORD size, DWORD* stored) {
  if (size == 0) return ERROR_MORE_DATA;
  DWORD length = size;
  LONG status = RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &length);
  if (status == ERROR_SUCCESS) {
    // Registry text need not carry its terminating zero; add one within the buffer, and
    // refuse text that fills the buffer without one rather than cutting it.
    if (length < size) {
      buffer[length] = '\0';
    } else if (buffer[size - 1] != '\0') {
      status = ERROR_MORE_DATA;
    }
  }
  if (status != ERROR_SUCCESS) {
    buffer[0] = '\0';
    return status;
  }
  if (stored != nullptr) *stored = length;
  return ERROR_SUCCESS;
}

LONG QueryValueDword(HKEY key, const char* name, DWORD* value) {
  *value = 0;
  DWORD size = sizeof *value;
  const LONG status = RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size);
  if (status != ERROR_SUCCESS) *value = 0;
  return status;
}

// Test seam (declared in config/testing/seams.h).
namespace config_testing {
void GrantReadAccessOnly(bool readOnly) { g_readAccessOnly = readOnly; }
}  // namespace config_testing
