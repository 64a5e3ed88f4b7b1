#pragma once
// Test seam of the OS class. The definition needs the class's private cache and stays in
// base/os_class.cpp, in its marked seam block.
#include <windows.h>

namespace base_testing {
// Replaces the source of the version record (null restores GetVersionExA) and forgets
// the cached class and security attributes, so tests can play other Windows versions.
void SetVersionSource(BOOL (*source)(OSVERSIONINFOA*));
}  // namespace base_testing
