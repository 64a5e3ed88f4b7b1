#include "kobj/object_names.h"

#include <cstring>

#include "base/os_class.h"

const char* GetGlobalPrefix() { return HasObjectNamespaces() ? kGlobalPrefix : ""; }

const char* GetLocalPrefix() { return HasObjectNamespaces() ? kLocalPrefix : ""; }

char* BuildObjectName(int global, const char* baseName, char* buffer, int size) {
  if (baseName == nullptr) return nullptr;
  if (buffer == nullptr || size <= 0) return buffer;
  char* out = buffer;
  char* const end = buffer + size - 1;
  for (const char* p = global ? GetGlobalPrefix() : GetLocalPrefix(); *p != '\0' && out < end; ++p) *out++ = *p;
  for (const char* p = baseName; *p != '\0' && out < end; ++p) *out++ = *p;
  *out = '\0';
  return buffer;
}

bool IsGlobalObjectName(const char* name) {
  return name != nullptr && _strnicmp(name, kGlobalPrefix, kGlobalPrefixLength) == 0;
}
