#pragma once
// The installation paths and the suite version, read from the registry once per process
// and cached. Each reader returns a read-only text that lives as long as the process and
// is never null. A path that cannot be read is "." (the current directory); the "Long"
// forms fall back to their plain form when their key opens but the long value is missing.
// A registry change after the first read is not seen until the program restarts.

// "BaseDir" of the suite key (64-bit view): the suite's installation directory.
const char* GetBaseDir();
// "BaseDir" of the suite key in the 32-bit view.
const char* GetBaseDir32();
// "LongBaseDir" of the suite key (64-bit view), else GetBaseDir().
const char* GetLongBaseDir();

// "VXIPNPPATH" of SOFTWARE\VXIPNP_Alliance\VXIPNP\CurrentVersion (64-bit view).
const char* GetVxipnpPath();
// The same in the 32-bit view.
const char* GetVxipnpPath32();
// "LongVXIPNPPATH" of the same key (64-bit view), else GetVxipnpPath().
const char* GetLongVxipnpPath();

// "IviStandardRootDir" of SOFTWARE\IVI, 64-bit and 32-bit view.
const char* GetIviRootDir();
const char* GetIviRootDir32();

// "<CurrentVersion> <CustomBuild>" of SOFTWARE\Korvane\Ombrix Suite\CurrentVersion
// (always one space, also when CustomBuild is missing). Empty while that key cannot be
// opened; then the next call tries again.
const char* GetSuiteVersionText();
