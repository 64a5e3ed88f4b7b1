#pragma once
// What the running Windows is, as the rest of the program needs to know it: the OS class
// code, whether it has object namespaces ("Global\" and "Local\"), and the one set of
// security attributes (a NULL DACL, inheritable handles) for created objects and
// started processes.
#include <windows.h>

enum OsClass : int {
  kOsUnknown = -1,
  kOsNt4 = 1,
  kOsWin95 = 2,
  kOsWin32s = 3,
  kOsWin2000 = 4,
  kOsWin98 = 5,
  kOsWinMe = 6,
  kOsWinXp = 7,
  kOsVista = 8,
  kOsWin7 = 9,
};

// Classifies a version record (dwPlatformId, major, minor) into an OsClass code.
int ClassifyOsVersion(const OSVERSIONINFOA& info);

// The OS class of the running system, from GetVersionExA.
int GetOsClass();
// The cached class, -1 until HasObjectNamespaces or IsNtFamily has filled it.
int GetCachedOsClass();
bool HasObjectNamespaces();
bool IsNtFamily();
// The program is a 64-bit process and runs only on 64-bit Windows.
bool Is64BitOs();

// The shared security attributes (NULL DACL, bInheritHandle TRUE); null on a system
// that is not NT-family or when the descriptor cannot be built.
SECURITY_ATTRIBUTES* GetNullDaclSecurityAttributes();
