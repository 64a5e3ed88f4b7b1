#pragma once
// The process-wide installation facts fixed at start-up of the first instance: the suite
// directory (also the current directory, so every program started later inherits it) and
// the two VXIplug&play framework directories, each in short (8.3) form where the system
// gives one; and whether the suite's own VISA is installed.
#include <cstddef>

inline constexpr size_t kDirSize = 260;

// Fills the three directories from the configuration and makes the suite directory the
// current directory. Failures to shorten or to change directory leave the long forms.
void PrepareSuiteDirs();

const char* GetSuiteDir();
const char* GetVisaDir64();
const char* GetVisaDir32();

// The suite's own VISA installation state, a VisaPresence (0 none, 1 primary, other:
// secondary).
int GetVisaPresent();
void SetVisaPresent(int value);
