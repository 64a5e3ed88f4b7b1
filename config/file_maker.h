#pragma once
// Who made a file, from its version resource: the suite's own files name the maker in the
// CompanyName of their U.S. English string table.

// Results of CheckFileMaker and CheckSystemFileMaker.
enum FileMaker : int {
  kFileMakerKorvane = 1,      // CompanyName contains "Korvane"
  kFileMakerOther = 2,        // another CompanyName, or no U.S. English string table
  kFileMakerNoResource = 3,   // no version resource, or no such file
  kFileMakerFailed = -1,      // the resource could not be read, or no folder
};

// Examines the file at path (a full path of at most 299 characters). The maker's name is
// matched case-sensitively; of several U.S. English tables the last one in the
// translation list decides.
FileMaker CheckFileMaker(const char* path);

// CheckFileMaker of fileName in the system folder, or in the SysWOW64 folder when
// useWow64Folder is true. -1 when the folder cannot be found.
FileMaker CheckSystemFileMaker(const char* fileName, bool useWow64Folder);
