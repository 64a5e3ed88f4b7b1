#include "config/test_registry.h"

#include "config/install_paths.h"
#include "config/suite_key.h"

namespace test_registry {
namespace {
REGSAM Access(View view) { return KEY_ALL_ACCESS | (view == View::Bits64 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY); }
HKEY Open(View view, const std::string& path) {
  HKEY key = nullptr;
  return RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, Access(view), &key) == ERROR_SUCCESS ? key : nullptr;
}
}  // namespace

void PrintTo(const StoredValue& value, std::ostream* out) {
  *out << "type " << value.type << " bytes";
  for (unsigned char c : value.bytes) *out << ' ' << static_cast<int>(c);
}

std::string Text(const std::string& text) { return std::string(text.c_str(), text.size() + 1); }
std::string Dword(DWORD value) { return std::string(reinterpret_cast<const char*>(&value), sizeof value); }

void Set(View view, const std::string& path, const char* name, DWORD type, const std::string& bytes) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, Access(view), nullptr, &key, nullptr),
            ERROR_SUCCESS)
      << path;
  const LONG status = name == nullptr ? ERROR_SUCCESS
                                      : RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                                                       static_cast<DWORD>(bytes.size()));
  RegCloseKey(key);
  ASSERT_EQ(status, ERROR_SUCCESS) << path << " " << name;
}

std::optional<StoredValue> Read(View view, const std::string& path, const char* name) {
  HKEY key = Open(view, path);
  if (key == nullptr) return std::nullopt;
  StoredValue value;
  DWORD size = 4096;
  value.bytes.resize(size);
  const LONG status =
      RegQueryValueExA(key, name, nullptr, &value.type, reinterpret_cast<BYTE*>(value.bytes.data()), &size);
  value.bytes.resize(size);
  RegCloseKey(key);
  return status == ERROR_SUCCESS ? std::optional(value) : std::nullopt;
}

bool KeyExists(View view, const std::string& path) {
  HKEY key = Open(view, path);
  return key != nullptr && RegCloseKey(key) == ERROR_SUCCESS;
}

void DeleteTrees(const std::string& top) {
  for (View view : {View::Bits64, View::Bits32}) {
    HKEY software = Open(view, "SOFTWARE");
    ASSERT_NE(software, nullptr);
    if (!top.empty()) RegDeleteTreeA(software, top.c_str());
    for (const char* name : {"Korvane", "Brannock-Wexley", "VXIPNP_Alliance", "IVI", "Acme"})
      if (top.empty()) RegDeleteTreeA(software, name);
    RegCloseKey(software);
  }
}

std::string UseSuiteNames(size_t mfgLength) {
  const std::string mfg(mfgLength, 'm');
  Set(View::Bits64, "SOFTWARE\\Korvane\\Ombrix", "MfgName", REG_SZ, Text(mfg));
  Set(View::Bits64, "SOFTWARE\\Korvane\\Ombrix", "KeyName", REG_SZ, Text("Tool"));
  config_testing::ForgetSuiteKeyPath();
  return "SOFTWARE\\" + mfg + "\\Tool\\CurrentVersion";
}

void RegistryTest::SetUp() {
  DeleteTrees();
  config_testing::ForgetSuiteKeyPath();
  config_testing::ForgetInstallPaths();
  Set(View::Bits64, kSuiteKey);
}

}  // namespace test_registry
