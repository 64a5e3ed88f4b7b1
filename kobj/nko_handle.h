#pragma once
// Handle objects for the program's named kernel objects. Objects whose name begins
// with "Global\" (any letter case) are created by the NKO server and then opened
// locally by name; every other object is created locally. Every failure returns the one
// shared InvalidNkoHandle (never null, unless the holder itself cannot be allocated),
// and a successful creation of an object that already existed leaves last error 183 on
// both paths.
#include <windows.h>

#include <cstdint>

#include "base/unique.h"

struct NkoHandle {
  HANDLE handle = nullptr;      // the local handle; null in a fresh holder
  intptr_t serverHandle = 0;    // the server's handle while a Global\ creation is under way
};

// The shared failure value. Never valid, never freed; NkoDetach and NkoClose ignore it.
extern NkoHandle* const InvalidNkoHandle;

NkoHandle* NkoCreateEvent(SECURITY_ATTRIBUTES* sa, BOOL manualReset, BOOL initialState, const char* name);
NkoHandle* NkoCreateMutex(SECURITY_ATTRIBUTES* sa, BOOL initialOwner, const char* name);
NkoHandle* NkoCreateSemaphore(SECURITY_ATTRIBUTES* sa, LONG initialCount, LONG maximumCount, const char* name);
NkoHandle* NkoCreateFileMapping(HANDLE file, SECURITY_ATTRIBUTES* sa, DWORD protect, DWORD maximumSizeHigh,
                                DWORD maximumSizeLow, const char* name);

// Plain local opens; they never involve the server.
NkoHandle* NkoOpenEvent(DWORD access, BOOL inherit, const char* name);
NkoHandle* NkoOpenMutex(DWORD access, BOOL inherit, const char* name);
NkoHandle* NkoOpenFileMapping(DWORD access, BOOL inherit, const char* name);

bool NkoIsValid(const NkoHandle* h);
HANDLE NkoGetHandle(const NkoHandle* h);
// Frees the holder and returns its handle, which the caller now owns.
HANDLE NkoDetach(NkoHandle* h);
// Frees the holder and closes its handle; the CloseHandle result, 0 when nothing was closed.
BOOL NkoClose(NkoHandle* h);

namespace unique_traits {
// The shared InvalidNkoHandle and null both mean "nothing to close".
struct Nko {
  using Type = NkoHandle*;
  static NkoHandle* Invalid() { return InvalidNkoHandle; }
  static bool IsValid(NkoHandle* h) { return h != nullptr && h != InvalidNkoHandle; }
  static void Close(NkoHandle* h) { NkoClose(h); }
};
}  // namespace unique_traits

// Owns one holder from the Nko functions; closes its handle and frees it at scope end.
using UniqueNko = UniqueAny<unique_traits::Nko>;
