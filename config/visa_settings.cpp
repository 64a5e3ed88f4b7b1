#include "config/visa_settings.h"

#include <cstring>

#include "base/bounded_text.h"
#include "base/results.h"
#include "config/registry_keys.h"
#include "config/suite_key.h"

namespace {

constexpr DWORD kLoggingTextSize = 81;

// Opens the suite key's VISAInfo subkey with full access; it is never created here.
LONG OpenVisaInfo(UniqueKey& key) {
  char path[kSuiteTextSize];
  FormatBounded(path, sizeof path, "%s\\VISAInfo", GetSuiteKeyPath());
  return OpenKeyFull64(HKEY_LOCAL_MACHINE, path, key.Receive());
}

}  // namespace

int GetVisaPresence() {
  UniqueKey key;
  if (OpenKeyFull64(HKEY_LOCAL_MACHINE, GetSuiteKeyPath(), key.Receive()) != ERROR_SUCCESS) return kVisaAbsent;
  DWORD value;
  if (QueryValueDword(key.Get(), "OmbrixVisaPresent", &value) == ERROR_SUCCESS) return static_cast<int>(value);
  // First read after an upgrade: carry the legacy value over to the new name. With
  // neither value the suite's VISA is taken to be the primary one, and marked so.
  if (QueryValueDword(key.Get(), "BWVisaPresent", &value) != ERROR_SUCCESS) value = kVisaPrimary;
  // The value found is returned either way; a move that fails is not reported.
  IgnoreResult(RegDeleteValueA(key.Get(), "BWVisaPresent"));
  IgnoreResult(RegSetValueExA(key.Get(), "OmbrixVisaPresent", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                              sizeof value));
  return static_cast<int>(value);
}

int GetVisaLogging() {
  UniqueKey key;
  if (OpenVisaInfo(key) != ERROR_SUCCESS) return kVisaLoggingOff;
  char text[kLoggingTextSize];
  if (QueryValueText(key.Get(), "Logging", text, sizeof text) != ERROR_SUCCESS) return kVisaLoggingOff;
  if (_stricmp(text, "TRIL") == 0) return kVisaLoggingTril;
  if (_stricmp(text, "ODS") == 0) return kVisaLoggingOds;
  return kVisaLoggingOff;
}

void SetVisaLogging(int mode) {
  const char* text = mode == kVisaLoggingOds ? "ODS" : mode == kVisaLoggingTril ? "TRIL" : "OFF";
  UniqueKey key;
  if (OpenVisaInfo(key) != ERROR_SUCCESS) return;
  // A lost write is not reported: the menu shows the stored mode at its next display.
  IgnoreResult(RegSetValueExA(key.Get(), "Logging", 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                              static_cast<DWORD>(strlen(text) + 1)));
}

int GetDefaultLockWait() {
  UniqueKey key;
  if (OpenVisaInfo(key) != ERROR_SUCCESS) return kLockWaitFalse;
  DWORD value;
  IgnoreResult(QueryValueDword(key.Get(), "DefaultLockWait", &value));  // a failed read leaves 0
  return static_cast<int>(value);
}

void SetDefaultLockWait(int value) {
  UniqueKey key;
  if (OpenVisaInfo(key) != ERROR_SUCCESS) return;
  const DWORD stored = static_cast<DWORD>(value);
  // A lost write is not reported: the menu shows the stored value at its next display.
  IgnoreResult(RegSetValueExA(key.Get(), "DefaultLockWait", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&stored),
                              sizeof stored));
}
