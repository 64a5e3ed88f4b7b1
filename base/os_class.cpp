#include "base/os_class.h"

#include <cstring>

namespace {

int g_osClassCache = kOsUnknown;
SECURITY_ATTRIBUTES g_securityAttributes;
SECURITY_DESCRIPTOR g_securityDescriptor;
SECURITY_ATTRIBUTES* g_securityAttributesPointer = nullptr;

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
BOOL QueryWindowsVersion(OSVERSIONINFOA* info) { return GetVersionExA(info); }
#pragma GCC diagnostic pop

BOOL (*g_versionSource)(OSVERSIONINFOA*) = QueryWindowsVersion;

}  // namespace

int ClassifyOsVersion(const OSVERSIONINFOA& info) {
  const DWORD major = info.dwMajorVersion;
  const DWORD minor = info.dwMinorVersion;
  switch (info.dwPlatformId) {
    case 0:
      return kOsWin32s;
    case 1: {
      const bool above40 = major > 4 || (major == 4 && minor > 0);
      if (!above40) return kOsWin95;
      return minor <= 89 ? kOsWin98 : kOsWinMe;
    }
    case 2:
      if (major >= 6) return minor == 0 ? kOsVista : kOsWin7;
      if (major == 5) return minor == 0 ? kOsWin2000 : kOsWinXp;
      return kOsNt4;
    default:
      return kOsUnknown;
  }
}

int GetOsClass() {
  OSVERSIONINFOA info{};
  info.dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);  // 148
  if (!g_versionSource(&info)) return kOsUnknown;
  return ClassifyOsVersion(info);
}

int GetCachedOsClass() { return g_osClassCache; }

// An unclassified system is asked again at every call: the cache holds -1 then.
static int CachedOsClass() {
  if (g_osClassCache == kOsUnknown) g_osClassCache = GetOsClass();
  return g_osClassCache;
}

bool HasObjectNamespaces() {
  const int c = CachedOsClass();
  return c == kOsWin2000 || c == kOsWinXp || c == kOsVista || c == kOsWin7;
}

bool IsNtFamily() {
  const int c = CachedOsClass();
  return c == kOsNt4 || c == kOsWin2000 || c == kOsWinXp || c == kOsVista || c == kOsWin7;
}

bool Is64BitOs() { return true; }

SECURITY_ATTRIBUTES* GetNullDaclSecurityAttributes() {
  if (!IsNtFamily()) return g_securityAttributesPointer;
  if (g_securityAttributesPointer != nullptr) return g_securityAttributesPointer;
  g_securityAttributesPointer = &g_securityAttributes;
  std::memset(&g_securityAttributes, 0, sizeof g_securityAttributes);
  std::memset(&g_securityDescriptor, 0, sizeof g_securityDescriptor);
  if (!InitializeSecurityDescriptor(&g_securityDescriptor, SECURITY_DESCRIPTOR_REVISION)) {
    g_securityAttributesPointer = nullptr;
    return nullptr;
  }
  if (!SetSecurityDescriptorDacl(&g_securityDescriptor, TRUE, nullptr, FALSE)) {
    g_securityAttributesPointer = nullptr;
    return nullptr;
  }
  g_securityAttributes.nLength = sizeof(SECURITY_ATTRIBUTES);
  g_securityAttributes.lpSecurityDescriptor = &g_securityDescriptor;
  g_securityAttributes.bInheritHandle = TRUE;
  return g_securityAttributesPointer;
}

namespace kobj_testing {
void SetVersionSource(BOOL (*source)(OSVERSIONINFOA*)) {
  g_versionSource = source != nullptr ? source : QueryWindowsVersion;
  g_osClassCache = kOsUnknown;
  g_securityAttributesPointer = nullptr;
}
}  // namespace kobj_testing
