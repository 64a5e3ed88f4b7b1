#pragma once
// Seeding and inspecting HKLM in a chosen registry view, for the config tests. Each test
// executable runs in a Wine prefix of its own, so tests may write HKLM freely.
#include <windows.h>

#include <optional>
#include <ostream>
#include <string>

namespace test_registry {

enum class View { Bits64, Bits32 };

struct StoredValue {
  DWORD type = REG_NONE;
  std::string bytes;  // the stored data as raw bytes, NUL included where stored
  bool operator==(const StoredValue&) const = default;
};
void PrintTo(const StoredValue& value, std::ostream* out);

// Creates the key (and its parents) in the view and sets one value; fails the test if it
// cannot.
void SetRaw(View view, const std::string& path, const char* name, DWORD type, const std::string& bytes);
// REG_SZ with its terminating zero.
void SetText(View view, const std::string& path, const char* name, const std::string& text);
void SetDword(View view, const std::string& path, const char* name, DWORD value);
void CreateKey(View view, const std::string& path);

// The value as stored, or nothing when the key or the value is missing.
std::optional<StoredValue> Read(View view, const std::string& path, const char* name);
// REG_SZ text as stored, NUL included.
StoredValue TextValue(const std::string& text);
StoredValue DwordValue(DWORD value);
bool KeyExists(View view, const std::string& path);

// Deletes HKLM\SOFTWARE\<top> with everything below it, in the view; a missing key is fine.
void DeleteSoftwareTree(View view, const char* top);
// Deletes every tree the config code reads or writes, in both views.
void DeleteSuiteTrees();

}  // namespace test_registry
