#pragma once
// Where the suite's configuration lives: the suite key,
// HKLM\SOFTWARE\<MfgName>\<KeyName>\CurrentVersion. The two names come from
// HKLM\SOFTWARE\Korvane\Ombrix; when either is missing or empty the default pair
// ("Korvane", "Ombrix") is used, or the legacy pair ("Brannock-Wexley", "TRIL") when the
// legacy key HKLM\SOFTWARE\Brannock-Wexley\TRIL exists, and the chosen pair is written
// back.
#include <windows.h>

inline constexpr size_t kSuiteTextSize = 1024;  // registry texts, with the NUL

// The names in force as the registry holds them, read only (keys opened with access in the
// 64-bit view, or with read access when that access is denied). stored is false when either name is missing or empty: the pair is then the
// one that would be chosen (legacy or default) and written back by LocateSuiteNames.
struct SuiteNames {
  char mfgName[kSuiteTextSize];
  char keyName[kSuiteTextSize];
  bool stored;
};
SuiteNames ReadSuiteNames(REGSAM access);

// HKLM's suite key path for a pair of names, "SOFTWARE\<mfg>\<key>\CurrentVersion";
// names too long to fit give the default pair's path. path holds kSuiteTextSize bytes.
void FormatSuiteKeyPath(const SuiteNames& names, char (&path)[kSuiteTextSize]);

// Fills the two caller buffers (kSuiteTextSize bytes each; either may be null) with the
// MfgName and KeyName in force, writing them back when they had to be chosen. Returns 0
// when the names were found or written back, otherwise the Win32 status of the failed
// write-back (the chosen names are returned all the same).
LONG LocateSuiteNames(char* mfgName, char* keyName);

// The suite key path, e.g. "SOFTWARE\Korvane\Ombrix\CurrentVersion". Determined (and the
// names possibly written back) on the first call, cached for the life of the process.
// Never null; the caller must not free or change it.
const char* GetSuiteKeyPath();
