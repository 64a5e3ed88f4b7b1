#pragma once
// The suite's folder as Quorvel finds it, for the installer: "BaseDir" of the suite key in
// the 64-bit registry view. Only read: unlike Quorvel, the installer never writes the suite
// key's names back.
#include <string>

// HKLM\SOFTWARE\<MfgName>\<KeyName>\CurrentVersion with the names under
// HKLM\SOFTWARE\Korvane\Ombrix when both are set, else the legacy pair when the legacy key
// exists, else the default pair.
std::string SuiteKeyPath();

// "BaseDir" of the suite key at keyPath (from SuiteKeyPath) with a trailing backslash when
// it names an existing folder, otherwise empty (the suite is not installed).
std::string SuiteFolder(const std::string& keyPath);
