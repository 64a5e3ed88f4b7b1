#include "config/suite_values.h"

#include <cstdlib>
#include <cstring>

#include "base/bounded_text.h"
#include "base/results.h"
#include "config/denied_writes.h"
#include "config/registry_keys.h"
#include "config/suite_key.h"

namespace {

constexpr DWORD kValueBufferSize = 16;
// Paths that ReadSuiteDword opens must fit this buffer with their NUL.
constexpr size_t kShortPathSize = 128;

enum class TextForm { BoolWordsOrNumber, NumberOnly };

// Converts the bytes of one value by its stored type. data is zero-filled beyond what
// was read and always holds a NUL within its 17 bytes.
int ConvertValue(DWORD type, const char* data, int defaultValue, TextForm form) {
  switch (type) {
    case REG_SZ:
      if (form == TextForm::BoolWordsOrNumber) {
        if (_stricmp(data, "False") == 0) return 0;
        if (_stricmp(data, "True") == 0) return 1;
      }
      return static_cast<int>(strtol(data, nullptr, 10));
    case REG_DWORD: {
      DWORD value;
      memcpy(&value, data, sizeof value);
      return static_cast<int>(value);
    }
    case REG_BINARY:
      return static_cast<unsigned char>(data[0]);
    default:
      return defaultValue;
  }
}

int ReadAndConvert(HKEY key, const char* name, int defaultValue, TextForm form) {
  char data[kValueBufferSize + 1] = {};
  DWORD size = kValueBufferSize;
  DWORD type = REG_NONE;
  if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size) != ERROR_SUCCESS) {
    return defaultValue;
  }
  data[kValueBufferSize] = '\0';
  return ConvertValue(type, data, defaultValue, form);
}

}  // namespace

int ReadSuiteValue(const char* name, int defaultValue) {
  UniqueKey key;
  if (OpenKey64(HKEY_LOCAL_MACHINE, GetSuiteKeyPath(), KEY_QUERY_VALUE, key.Receive()) != ERROR_SUCCESS) {
    return defaultValue;
  }
  return ReadAndConvert(key.Get(), name, defaultValue, TextForm::BoolWordsOrNumber);
}

int ReadSuiteDword(const char* name, int defaultValue) {
  if (name == nullptr) return defaultValue;
  // A longer path would be cut in the short buffer and could open some other key, so it
  // counts as a key that cannot be opened.
  const char* suiteKey = GetSuiteKeyPath();
  if (strlen(suiteKey) >= kShortPathSize) return defaultValue;
  char path[kShortPathSize];
  CopyBounded(path, sizeof path, suiteKey);
  UniqueKey key;
  if (OpenKeyForReading64(HKEY_LOCAL_MACHINE, path, KEY_ALL_ACCESS, key.Receive()) != ERROR_SUCCESS) {
    return defaultValue;
  }
  return ReadAndConvert(key.Get(), name, defaultValue, TextForm::NumberOnly);
}

bool WriteSuiteText(const char* name, const char* text) {
  UniqueKey key;
  LONG status = OpenKeyFull64(HKEY_LOCAL_MACHINE, GetSuiteKeyPath(), key.Receive());
  if (status == ERROR_SUCCESS) {
    status = text == nullptr ? RegDeleteValueA(key.Get(), name)
                             : RegSetValueExA(key.Get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                                              static_cast<DWORD>(strlen(text) + 1));
  }
  ReportDeniedWrite(GetSuiteKeyPath(), name, status);
  return status == ERROR_SUCCESS;
}

bool WriteSuiteInt(const char* name, int value) {
  char text[256];
  FormatBounded(text, sizeof text, "%d", value);
  return WriteSuiteText(name, text);
}

bool WriteSuiteBool(const char* name, int value) {
  return WriteSuiteText(name, value != 0 ? "True" : "False");
}

int GetGpib32Status() { return ReadSuiteValue("Gpib32Status", kGpib32NotSet); }
bool SetGpib32Status(int value) { return WriteSuiteInt("Gpib32Status", value); }
int GetGpib32StatusWow64() { return ReadSuiteValue("Gpib32StatusSysWow64", kGpib32NotSet); }
bool SetGpib32StatusWow64(int value) { return WriteSuiteInt("Gpib32StatusSysWow64", value); }

bool SetKorvane488Enabled(int on) { return WriteSuiteBool("Korvane488Enabled", on); }
int GetKorvane488Warning() { return ReadSuiteValue("Korvane488Warning", 0); }

int IsIconHidden() { return ReadSuiteValue("QuorvelHidden", 0); }
bool SetIconHidden(int value) { return WriteSuiteInt("QuorvelHidden", value); }

int IsRmDialogHidden() {
  UniqueKey key;
  if (OpenKeyForReading64(HKEY_LOCAL_MACHINE, GetSuiteKeyPath(), KEY_ALL_ACCESS, key.Receive()) != ERROR_SUCCESS) {
    return 0;
  }
  DWORD value;
  IgnoreResult(QueryValueDword(key.Get(), "RmDialogHidden", &value));  // a failed read leaves 0
  return static_cast<int>(value);
}
