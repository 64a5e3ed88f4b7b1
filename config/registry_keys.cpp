#include "config/registry_keys.h"

LONG OpenKey64(HKEY root, const char* path, REGSAM access, HKEY* key) {
  return RegOpenKeyExA(root, path, 0, access | KEY_WOW64_64KEY, key);
}

LONG OpenKeyFull64(HKEY root, const char* path, HKEY* key) {
  return RegOpenKeyExA(root, path, 0, KEY_ALL_ACCESS | KEY_WOW64_64KEY, key);
}

LONG OpenKeyRead32(HKEY root, const char* path, HKEY* key) {
  return RegOpenKeyExA(root, path, 0, KEY_READ | KEY_WOW64_32KEY, key);
}

LONG CreateKeyFull64(HKEY root, const char* path, HKEY* key) {
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
