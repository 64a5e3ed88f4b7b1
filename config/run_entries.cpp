#include "config/run_entries.h"

#include <cstring>

#include "config/registry_keys.h"
#include "config/suite_key.h"

namespace {

// The Run subkey's path must fit this buffer with its NUL.
constexpr size_t kRunPathSize = 128;

// Empties a caller's text; capacity is the buffer size the caller passed in.
void EmptyText(char* text, DWORD capacity, DWORD* length) {
  if (capacity > 0) text[0] = '\0';
  *length = 0;
}

}  // namespace

bool EnumRunEntry(DWORD index, char* name, DWORD* nameLength, char* data, DWORD* dataLength) {
  // A suite key path too long for the subkey's buffer counts as a Run subkey that
  // cannot be opened, rather than opening a cut path.
  const DWORD nameCapacity = *nameLength;
  const DWORD dataCapacity = *dataLength;
  const char* suiteKey = GetSuiteKeyPath();
  const size_t suiteLength = strlen(suiteKey);
  constexpr char kRun[] = "\\Run";
  UniqueKey key;
  LONG status = ERROR_BUFFER_OVERFLOW;
  if (suiteLength + sizeof kRun <= kRunPathSize) {
    char path[kRunPathSize];
    memcpy(path, suiteKey, suiteLength);
    memcpy(path + suiteLength, kRun, sizeof kRun);
    status = OpenKeyForReading64(HKEY_LOCAL_MACHINE, path, KEY_ALL_ACCESS, key.Receive());
  }
  if (status == ERROR_SUCCESS) {
    status = RegEnumValueA(key.Get(), index, name, nameLength, nullptr, nullptr, nullptr, nullptr);
  }
  if (status != ERROR_SUCCESS) {
    EmptyText(name, nameCapacity, nameLength);
    EmptyText(data, dataCapacity, dataLength);
    return false;
  }
  if (QueryValueText(key.Get(), name, data, dataCapacity, dataLength) != ERROR_SUCCESS) {
    EmptyText(data, dataCapacity, dataLength);
    return false;
  }
  return true;
}
