#include "config/test_registry.h"

#include <gtest/gtest.h>

namespace test_registry {
namespace {
REGSAM ViewFlag(View view) { return view == View::Bits64 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY; }
}  // namespace

void PrintTo(const StoredValue& value, std::ostream* out) {
  *out << "type " << value.type << " bytes";
  for (unsigned char c : value.bytes) *out << ' ' << static_cast<int>(c);
}

std::string Text(const std::string& text) { return std::string(text.c_str(), text.size() + 1); }
std::string Dword(DWORD value) { return std::string(reinterpret_cast<const char*>(&value), sizeof value); }

void Set(View view, const std::string& path, const char* name, DWORD type, const std::string& bytes) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | ViewFlag(view), nullptr,
                            &key, nullptr),
            ERROR_SUCCESS)
      << path;
  LONG status = ERROR_SUCCESS;
  if (name != nullptr) {
    status = RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                            static_cast<DWORD>(bytes.size()));
  }
  RegCloseKey(key);
  ASSERT_EQ(status, ERROR_SUCCESS) << path << " " << name;
}

std::optional<StoredValue> Read(View view, const std::string& path, const char* name) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ | ViewFlag(view), &key) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  StoredValue value;
  DWORD size = 4096;
  value.bytes.resize(size);
  const LONG status =
      RegQueryValueExA(key, name, nullptr, &value.type, reinterpret_cast<BYTE*>(value.bytes.data()), &size);
  value.bytes.resize(size);
  RegCloseKey(key);
  if (status != ERROR_SUCCESS) return std::nullopt;
  return value;
}

bool KeyExists(View view, const std::string& path) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ | ViewFlag(view), &key) != ERROR_SUCCESS) {
    return false;
  }
  RegCloseKey(key);
  return true;
}

void DeleteTrees(const std::string& top) {
  for (View view : {View::Bits64, View::Bits32}) {
    HKEY software = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, KEY_ALL_ACCESS | ViewFlag(view), &software),
              ERROR_SUCCESS);
    for (const char* name : {"Korvane", "Brannock-Wexley", "VXIPNP_Alliance", "IVI", "Acme"}) {
      if (top.empty() || top == name) RegDeleteTreeA(software, name);
    }
    if (!top.empty()) RegDeleteTreeA(software, top.c_str());
    RegCloseKey(software);
  }
}

}  // namespace test_registry
