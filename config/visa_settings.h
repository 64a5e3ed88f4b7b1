#pragma once
// The VISA settings the program shows and switches: whether the suite's VISA library is
// installed (and as which VISA), its logging mode and its default lock-wait behaviour.

// VisaPresence values with a meaning of their own; any other value means the suite's VISA
// is installed as a secondary one.
enum VisaPresence : int {
  kVisaAbsent = 0,   // not installed
  kVisaPrimary = 1,  // installed as the primary VISA
};

// VisaPresence of the suite's 32-bit VISA: 0 none, 1 installed as the primary VISA, any
// other value installed as a secondary one. Reads "OmbrixVisaPresent" of the suite key;
// when it is missing, moves the legacy "BWVisaPresent" to it (1 when that is missing
// too) and deletes the legacy value. 0 when the suite key cannot be opened.
int GetVisaPresence();

// VisaLogging modes as stored in "Logging" of the suite key's VISAInfo subkey.
enum VisaLoggingMode : int {
  kVisaLoggingOff = 0,   // "OFF"
  kVisaLoggingOds = 1,   // "ODS": to the debugger output
  kVisaLoggingTril = 2,  // "TRIL": to the TRIL message log
};

// "TRIL" gives 2, "ODS" 1 (any letter case); anything else, or nothing readable, 0.
int GetVisaLogging();
// Mode 1 stores "ODS", 2 "TRIL", any other "OFF". Writes nothing when the VISAInfo
// subkey does not exist (it is never created here). Like SetDefaultLockWait it reports no
// failure: the menu shows the stored setting at its next display.
void SetVisaLogging(int mode);

// "DefaultLockWait": 0 is false, any other value true.
enum DefaultLockWait : int {
  kLockWaitFalse = 0,
  kLockWaitTrue = 1,  // what the menu stores for true
};

// "DefaultLockWait" (REG_DWORD) of the VISAInfo subkey; 0 when unreadable.
int GetDefaultLockWait();
// Stores "DefaultLockWait" as REG_DWORD (the menu passes 1 or 0); nothing when the
// VISAInfo subkey does not exist.
void SetDefaultLockWait(int value);
