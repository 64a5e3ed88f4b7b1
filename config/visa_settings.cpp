#include "config/visa_settings.h"

#include <cstring>

#include "base/bounded_text.h"
#include "base/results.h"
#include "config/denied_writes.h"
#include "config/registry_keys.h"
#include "config/suite_key.h"

namespace {

constexpr DWORD kLoggingTextSize = 81;

// The suite key's VISAInfo subkey; it is never created here.
struct VisaInfoPath {
  VisaInfoPath() { FormatBounded(text, sizeof text, "%s\\VISAInfo", GetSuiteKeyPath()); }
  char text[kSuiteTextSize];
};

// Opens VISAInfo with full access, or with read access when full access is denied.
LONG OpenVisaInfoForReading(UniqueKey& key) {
  return OpenKeyForReading64(HKEY_LOCAL_MACHINE, VisaInfoPath().text, KEY_ALL_ACCESS, key.Receive());
}

// Stores one value of VISAInfo. A lost write is not returned: the menu shows the stored
// value at its next display; a denied one is logged once.
void SetVisaValue(const char* name, DWORD type, const void* data, DWORD size) {
  const VisaInfoPath path;
  UniqueKey key;
  LONG status = OpenKeyFull64(HKEY_LOCAL_MACHINE, path.text, key.Receive());
  if (status == ERROR_SUCCESS) {
    status = RegSetValueExA(key.Get(), name, 0, type, static_cast<const BYTE*>(data), size);
  }
  ReportDeniedWrite(path.text, name, status);
}

}  // namespace

int GetVisaPresence() {
  UniqueKey key;
  if (OpenKeyForReading64(HKEY_LOCAL_MACHINE, GetSuiteKeyPath(), KEY_ALL_ACCESS, key.Receive()) != ERROR_SUCCESS) {
    return kVisaAbsent;
  }
  DWORD value;
  if (QueryValueDword(key.Get(), "OmbrixVisaPresent", &value) == ERROR_SUCCESS) return static_cast<int>(value);
  // First read after an upgrade: carry the legacy value over to the new name. With
  // neither value the suite's VISA is taken to be the primary one, and marked so.
  if (QueryValueDword(key.Get(), "BWVisaPresent", &value) != ERROR_SUCCESS) value = kVisaPrimary;
  // The value found is returned either way; a move that fails (the key may be open for
  // reading only) is not reported.
  IgnoreResult(RegDeleteValueA(key.Get(), "BWVisaPresent"));
  IgnoreResult(RegSetValueExA(key.Get(), "OmbrixVisaPresent", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                              sizeof value));
  return static_cast<int>(value);
}

int GetVisaLogging() {
  UniqueKey key;
  if (OpenVisaInfoForReading(key) != ERROR_SUCCESS) return kVisaLoggingOff;
  char text[kLoggingTextSize];
  if (QueryValueText(key.Get(), "Logging", text, sizeof text) != ERROR_SUCCESS) return kVisaLoggingOff;
  if (_stricmp(text, "TRIL") == 0) return kVisaLoggingTril;
  if (_stricmp(text, "ODS") == 0) return kVisaLoggingOds;
  return kVisaLoggingOff;
}

void SetVisaLogging(int mode) {
  const char* text = mode == kVisaLoggingOds ? "ODS" : mode == kVisaLoggingTril ? "TRIL" : "OFF";
  SetVisaValue("Logging", REG_SZ, text, static_cast<DWORD>(strlen(text) + 1));
}

int GetDefaultLockWait() {
  UniqueKey key;
  if (OpenVisaInfoForReading(key) != ERROR_SUCCESS) return kLockWaitFalse;
  DWORD value;
  IgnoreResult(QueryValueDword(key.Get(), "DefaultLockWait", &value));  // a failed read leaves 0
  return static_cast<int>(value);
}

void SetDefaultLockWait(int value) {
  const DWORD stored = static_cast<DWORD>(value);
  SetVisaValue("DefaultLockWait", REG_DWORD, &stored, sizeof stored);
}
