#include "base/os_class.h"
#include "base/testing/os_class_seams.h"

#include <cstring>

namespace {

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
BOOL QueryWindowsVersion(OSVERSIONINFOA* info) { return GetVersionExA(info); }
#pragma GCC diagnostic pop

// What the process has learnt about the running Windows, filled on first use.
struct OsFacts {
  BOOL (*versionSource)(OSVERSIONINFOA*) = QueryWindowsVersion;
  int osClass = kOsUnknown;
  SECURITY_ATTRIBUTES securityAttributes{};
  SECURITY_DESCRIPTOR securityDescriptor{};
  SECURITY_ATTRIBUTES* securityAttributesPointer = nullptr;  // null until built
};
// Constant-initialised, so it is ready before any dynamic initialiser of the program runs.
constinit OsFacts g_os;

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
  if (!g_os.versionSource(&info)) return kOsUnknown;
  return ClassifyOsVersion(info);
}

int GetCachedOsClass() { return g_os.osClass; }

// An unclassified system is asked again at every call: the cache holds -1 then.
static int CachedOsClass() {
  if (g_os.osClass == kOsUnknown) g_os.osClass = GetOsClass();
  return g_os.osClass;
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
  if (!IsNtFamily()) return g_os.securityAttributesPointer;
  if (g_os.securityAttributesPointer != nullptr) return g_os.securityAttributesPointer;
  g_os.securityAttributesPointer = &g_os.securityAttributes;
  std::memset(&g_os.securityAttributes, 0, sizeof g_os.securityAttributes);
  std::memset(&g_os.securityDescriptor, 0, sizeof g_os.securityDescriptor);
  if (!InitializeSecurityDescriptor(&g_os.securityDescriptor, SECURITY_DESCRIPTOR_REVISION)) {
    g_os.securityAttributesPointer = nullptr;
    return nullptr;
  }
  if (!SetSecurityDescriptorDacl(&g_os.securityDescriptor, TRUE, nullptr, FALSE)) {
    g_os.securityAttributesPointer = nullptr;
    return nullptr;
  }
  g_os.securityAttributes.nLength = sizeof(SECURITY_ATTRIBUTES);
  g_os.securityAttributes.lpSecurityDescriptor = &g_os.securityDescriptor;
  g_os.securityAttributes.bInheritHandle = TRUE;
  return g_os.securityAttributesPointer;
}

// Test seam (declared in base/testing/os_class_seams.h): it needs the private cache.
namespace base_testing {
void SetVersionSource(BOOL (*source)(OSVERSIONINFOA*)) {
  g_os.versionSource = source != nullptr ? source : QueryWindowsVersion;
  g_os.osClass = kOsUnknown;
  g_os.securityAttributesPointer = nullptr;
}
}  // namespace base_testing
