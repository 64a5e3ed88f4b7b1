#pragma once
// Seeding and inspecting HKLM in a chosen registry view, for the config tests and the
// system tests. Each test executable runs in a Wine prefix of its own, so tests may write
// HKLM freely.
#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <string>

namespace test_registry {

enum class View { Bits64, Bits32 };
// The suite key under the default names, its VISA settings, and the other installations'
// keys the program reads.
inline constexpr char kSuiteKey[] = "SOFTWARE\\Korvane\\Ombrix\\CurrentVersion";
inline constexpr char kVisaInfoKey[] = "SOFTWARE\\Korvane\\Ombrix\\CurrentVersion\\VISAInfo";
inline constexpr char kVxipnpKey[] = "SOFTWARE\\VXIPNP_Alliance\\VXIPNP\\CurrentVersion";
inline constexpr char kIviKey[] = "SOFTWARE\\IVI";

struct StoredValue {
  DWORD type = REG_NONE;
  std::string bytes;  // raw data, NUL included where stored
  bool operator==(const StoredValue&) const = default;
};
void PrintTo(const StoredValue& value, std::ostream* out);

// Bytes of a REG_SZ with its NUL, and of a REG_DWORD.
std::string Text(const std::string& text);
std::string Dword(DWORD value);
inline StoredValue Sz(const std::string& text) { return {REG_SZ, Text(text)}; }

// Creates the key (and its parents) in the view; sets one value unless name is null.
void Set(View view, const std::string& path, const char* name = nullptr, DWORD type = REG_SZ,
         const std::string& bytes = {});
// The value as stored; nothing when the key or value is missing.
std::optional<StoredValue> Read(View view, const std::string& path, const char* name);
bool KeyExists(View view, const std::string& path);
// The same for a value of the suite key in the 64-bit view.
inline void SetSuite(const char* name, DWORD type, const std::string& bytes) {
  Set(View::Bits64, kSuiteKey, name, type, bytes);
}
inline void SetSuiteText(const char* name, const std::string& text) { SetSuite(name, REG_SZ, Text(text)); }
inline std::optional<StoredValue> Suite(const char* name) { return Read(View::Bits64, kSuiteKey, name); }

// Deletes HKLM\SOFTWARE\<top> with all below it (missing is fine); without a top, every
// tree the config code touches, in both views.
void DeleteTrees(const std::string& top = {});
// Names the suite "SOFTWARE\<mfgLength times 'm'>\Tool" and forgets the cached suite key
// path; returns the path of the new suite key (not created).
std::string UseSuiteNames(size_t mfgLength);

// Every test starts from a registry with only an empty suite key and nothing cached.
class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override;
};

}  // namespace test_registry
