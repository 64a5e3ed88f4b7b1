#include "config/test_registry.h"

#include <gtest/gtest.h>

namespace test_registry {
namespace {

REGSAM ViewFlag(View view) { return view == View::Bits64 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY; }

}  // namespace

void SetRaw(View view, const std::string& path, const char* name, DWORD type, const std::string& bytes) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | ViewFlag(view), nullptr,
                            &key, nullptr),
            ERROR_SUCCESS)
      << path;
  const LONG status = RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                                     static_cast<DWORD>(bytes.size()));
  RegCloseKey(key);
  ASSERT_EQ(status, ERROR_SUCCESS) << path << " " << name;
}

void SetText(View view, const std::string& path, const char* name, const std::string& text) {
  SetRaw(view, path, name, REG_SZ, std::string(text.c_str(), text.size() + 1));
}

void SetDword(View view, const std::string& path, const char* name, DWORD value) {
  SetRaw(view, path, name, REG_DWORD, std::string(reinterpret_cast<const char*>(&value), sizeof value));
}

void CreateKey(View view, const std::string& path) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | ViewFlag(view), nullptr,
                            &key, nullptr),
            ERROR_SUCCESS)
      << path;
  RegCloseKey(key);
}

std::optional<StoredValue> Read(View view, const std::string& path, const char* name) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ | ViewFlag(view), &key) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  StoredValue value;
  DWORD size = 0;
  LONG status = RegQueryValueExA(key, name, nullptr, &value.type, nullptr, &size);
  if (status == ERROR_SUCCESS) {
    value.bytes.resize(size);
    status = RegQueryValueExA(key, name, nullptr, &value.type, reinterpret_cast<BYTE*>(value.bytes.data()), &size);
    value.bytes.resize(size);
  }
  RegCloseKey(key);
  if (status != ERROR_SUCCESS) return std::nullopt;
  return value;
}

StoredValue TextValue(const std::string& text) { return {REG_SZ, std::string(text.c_str(), text.size() + 1)}; }

StoredValue DwordValue(DWORD value) {
  return {REG_DWORD, std::string(reinterpret_cast<const char*>(&value), sizeof value)};
}

bool KeyExists(View view, const std::string& path) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ | ViewFlag(view), &key) != ERROR_SUCCESS) {
    return false;
  }
  RegCloseKey(key);
  return true;
}

void DeleteSoftwareTree(View view, const char* top) {
  HKEY software = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, KEY_ALL_ACCESS | ViewFlag(view), &software),
            ERROR_SUCCESS);
  const LONG status = RegDeleteTreeA(software, top);
  RegCloseKey(software);
  ASSERT_TRUE(status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND) << top << ": " << status;
}

void DeleteSuiteTrees() {
  for (View view : {View::Bits64, View::Bits32}) {
    for (const char* top : {"Korvane", "Brannock-Wexley", "VXIPNP_Alliance", "IVI", "Acme"}) {
      DeleteSoftwareTree(view, top);
    }
  }
}

void PrintTo(const StoredValue& value, std::ostream* out) {
  *out << "type " << value.type << " bytes \"";
  for (unsigned char c : value.bytes) {
    if (c >= 0x20 && c < 0x7f) {
      *out << c;
    } else {
      *out << "\\x" << "0123456789abcdef"[c >> 4] << "0123456789abcdef"[c & 15];
    }
  }
  *out << '"';
}

}  // namespace test_registry
