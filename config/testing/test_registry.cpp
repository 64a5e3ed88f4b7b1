#include "config/testing/test_registry.h"

#include "base/results.h"
#include "base/unique.h"
#include "config/testing/seams.h"

namespace test_registry {
namespace {
REGSAM Access(View view) { return KEY_ALL_ACCESS | (view == View::Bits64 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY); }
// The key, or an empty owner when it cannot be opened.
UniqueKey Open(View view, const std::string& path) {
  UniqueKey key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, Access(view), key.Receive()) != ERROR_SUCCESS) {
    IgnoreResult(key.Release());  // nothing was opened
  }
  return key;
}
}  // namespace

void PrintTo(const StoredValue& value, std::ostream* out) {
  *out << "type " << value.type << " bytes";
  for (unsigned char c : value.bytes) *out << ' ' << static_cast<int>(c);
}

std::string Text(const std::string& text) { return std::string(text.c_str(), text.size() + 1); }
std::string Dword(DWORD value) { return std::string(reinterpret_cast<const char*>(&value), sizeof value); }

void Set(View view, const std::string& path, const char* name, DWORD type, const std::string& bytes) {
  UniqueKey key;
  ASSERT_EQ(
      RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, Access(view), nullptr, key.Receive(), nullptr),
      ERROR_SUCCESS)
      << path;
  const LONG status = name == nullptr ? ERROR_SUCCESS
                                      : RegSetValueExA(key.Get(), name, 0, type,
                                                       reinterpret_cast<const BYTE*>(bytes.data()),
                                                       static_cast<DWORD>(bytes.size()));
  ASSERT_EQ(status, ERROR_SUCCESS) << path << " " << name;
}

std::optional<StoredValue> Read(View view, const std::string& path, const char* name) {
  const UniqueKey key = Open(view, path);
  if (!key) return std::nullopt;
  StoredValue value;
  DWORD size = 4096;
  value.bytes.resize(size);
  const LONG status =
      RegQueryValueExA(key.Get(), name, nullptr, &value.type, reinterpret_cast<BYTE*>(value.bytes.data()), &size);
  value.bytes.resize(size);
  return status == ERROR_SUCCESS ? std::optional(value) : std::nullopt;
}

bool KeyExists(View view, const std::string& path) {
  return static_cast<bool>(Open(view, path));
}

void DeleteTrees(const std::string& top) {
  for (View view : {View::Bits64, View::Bits32}) {
    const UniqueKey software = Open(view, "SOFTWARE");
    ASSERT_TRUE(software);
    // A tree that is not there is fine to "delete".
    if (!top.empty()) RegDeleteTreeA(software.Get(), top.c_str());
    for (const char* name : {"Korvane", "Brannock-Wexley", "VXIPNP_Alliance", "IVI", "Acme"})
      if (top.empty()) RegDeleteTreeA(software.Get(), name);
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
