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
  std::string bytes;  // raw data, NUL included where stored
  bool operator==(const StoredValue&) const = default;
};
void PrintTo(const StoredValue& value, std::ostream* out);

// Bytes of a REG_SZ with its NUL, and of a REG_DWORD.
std::string Text(const std::string& text);
std::string Dword(DWORD value);

// Creates the key (and its parents) in the view; sets one value unless name is null.
void Set(View view, const std::string& path, const char* name = nullptr, DWORD type = REG_SZ,
         const std::string& bytes = {});
// The value as stored; nothing when the key or value is missing.
std::optional<StoredValue> Read(View view, const std::string& path, const char* name);
bool KeyExists(View view, const std::string& path);
// Deletes HKLM\SOFTWARE\<top> with all below it (missing is fine); without a top, every
// tree the config code touches, in both views.
void DeleteTrees(const std::string& top = {});

}  // namespace test_registry
