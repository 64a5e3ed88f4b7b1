#pragma once
// Typed access to the configuration values of the suite key (GetSuiteKeyPath(), 64-bit
// view). Every accessor opens the key anew, touches one value and closes the key; nothing
// is cached. Readers give their default when the key cannot be opened or the value
// cannot be read; readers that ask for full access take read access when full access is
// denied. Writers that cannot open the key write nothing and return false; a write the
// registry denies is logged once per value name (config/denied_writes.h).

// Reads a value of the suite key (opened with query access only) as a 32-bit integer:
// REG_SZ "False"/"True" (any letter case) give 0/1, other text is a base-10 number read
// like strtol (no digits: 0); REG_DWORD its value; REG_BINARY its first byte. Data longer
// than 16 bytes, and any other type, give the default.
int ReadSuiteValue(const char* name, int defaultValue);

// Like ReadSuiteValue, but the key is opened with full access, a null name gives the
// default, and REG_SZ is always read as a number ("True" is 0). A suite key path longer
// than 127 characters gives the default.
int ReadSuiteDword(const char* name, int defaultValue);

// Stores text as REG_SZ (its characters and the terminating zero); a null text deletes
// the value. True on success.
bool WriteSuiteText(const char* name, const char* text);
// Stores the value as decimal text ("%d").
bool WriteSuiteInt(const char* name, int value);
// Stores "True" for nonzero, "False" for zero.
bool WriteSuiteBool(const char* name, int value);

// States of gpib-32.dll in a system folder.
enum Gpib32Status : int {
  kGpib32Suite = 1,       // the suite's 488 library is there
  kGpib32Replaced = 2,    // it was found replaced and the user was warned
  kGpib32SuiteAlso = 4,   // the suite's 488 library is there, like 1
  kGpib32NotSet = 99,
};

// State of gpib-32.dll in the system folder ("Gpib32Status"), kGpib32NotSet when unread.
int GetGpib32Status();
bool SetGpib32Status(int value);
// The same for the SysWOW64 folder ("Gpib32StatusSysWow64").
int GetGpib32StatusWow64();
bool SetGpib32StatusWow64(int value);

// Stores "Korvane488Enabled" as "True"/"False".
bool SetKorvane488Enabled(int on);
// "Korvane488Warning", default 0: nonzero turns off the warning about a replaced
// SysWOW64 gpib-32.dll.
int GetKorvane488Warning();

// "QuorvelHidden", default 0: nonzero hides the notification-area icon.
int IsIconHidden();
bool SetIconHidden(int value);

// "RmDialogHidden" (REG_DWORD, suite key opened with full access), 0 when unreadable:
// nonzero when the K7302 resource manager's window is hidden.
int IsRmDialogHidden();
