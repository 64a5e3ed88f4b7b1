#pragma once
// The ways the program opens registry keys. Every reader and writer of the configuration
// goes through them, so the view (64-bit unless a caller asks for the 32-bit one) and the
// access mask are decided here and nowhere else. Each returns the Win32 status (0 on
// success) and, on success, the opened key through the out-parameter, which is normally
// the Receive() of the caller's UniqueKey.
#include <windows.h>

#include "base/unique.h"

// RegOpenKeyExA in the 64-bit view with the given access.
LONG OpenKey64(HKEY root, const char* path, REGSAM access, HKEY* key);
// RegOpenKeyExA in the 64-bit view with KEY_ALL_ACCESS.
LONG OpenKeyFull64(HKEY root, const char* path, HKEY* key);
// RegOpenKeyExA in the 64-bit view for a reader: with the given access first (the
// configuration's readers ask for full access) and, when that is denied, with read access.
// The fallback goes beyond full access on purpose: the suite key under HKLM normally
// grants a standard user, or an administrator whose token is filtered, read access only,
// and such a user must still find the suite and read its configuration.
LONG OpenKeyForReading64(HKEY root, const char* path, REGSAM access, HKEY* key);
// RegOpenKeyExA in the 32-bit view (the one 32-bit programs see) with KEY_READ.
LONG OpenKeyRead32(HKEY root, const char* path, HKEY* key);
// RegCreateKeyExA in the 64-bit view with KEY_ALL_ACCESS; opens the key if it exists.
LONG CreateKeyFull64(HKEY root, const char* path, HKEY* key);

// Queries a value's bytes (type not examined) into buffer, size bytes with the NUL, and
// leaves a terminated text there. Data that does not fit with a NUL within size bytes
// fails with ERROR_MORE_DATA; on any failure the buffer is left empty (when size > 0).
// On success *stored (if given) receives the stored data size in bytes.
LONG QueryValueText(HKEY key, const char* name, char* buffer, DWORD size, DWORD* stored = nullptr);

// Queries up to four bytes of a value (type not examined) into *value, which is zeroed
// first and again on failure.
LONG QueryValueDword(HKEY key, const char* name, DWORD* value);
