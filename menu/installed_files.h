#pragma once
// Paths of installed files: a directory followed directly by a name relative to it (which
// starts with a backslash), and whether such a file is there.
#include <windows.h>

// Writes dir + relative into path; false (and an empty path) when the two do not fit
// MAX_PATH characters, so that a cut path never names some other file.
bool JoinInstallPath(char (&path)[MAX_PATH], const char* dir, const char* relative);

// True when dir + relative can be opened for reading (read sharing, open existing). The
// handle is closed at once; a directory or a path that does not fit counts as absent.
bool IsFileInstalled(const char* dir, const char* relative);
