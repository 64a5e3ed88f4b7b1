#pragma once
// The companion programs that live and die with the first instance: the K7302 interface's
// server program, started and forgotten, and the programs of the suite key's Run subkey,
// remembered by their process information until shut-down.
#include <windows.h>

#include <array>
#include <span>

#include "base/unique.h"

inline constexpr int kRunProcessTableSize = 256;
// How long shut-down waits for one Run program to end, until the first one does not.
inline constexpr DWORD kRunProgramWaitMs = 2000;

inline constexpr char kK7302ServerClass[] = "Korvane_K7302_Server_Class";
inline constexpr char kK7302ServerTitle[] = "Korvane_K7302_Server";
inline constexpr char kK7302ServerFile[] = "halvo7302.exe";

// The started Run programs in start order, each owning its process and thread handles;
// an entry without a process ends the table.
using RunProcessTable = std::array<UniqueProcess, kRunProcessTableSize>;

// Starts <BaseDir>\bin\halvo7302.exe without a command line and keeps no handle of it.
// Returns the last error (0 once started).
DWORD StartK7302Server();
// Starts the program of every Run entry with data, "<BaseDir>\<data>", into the table
// (cleared first), until the entries or the table's size run out.
void StartRunPrograms(std::span<UniqueProcess> table);

// Posts WM_CLOSE to the K7302 server's window, if there is one; does not wait.
void StopK7302Server();
// Closes the Run programs' windows by title, waits for the programs in table order (each
// at most kRunProgramWaitMs, and no more waiting once one did not end), closes every
// handle, and asks the windows to close once more when one did not end.
void StopRunPrograms(std::span<UniqueProcess> table);
// Closes the Run programs' windows by title and closes every handle, without waiting: at
// the end of a session there is no time to wait.
void ReleaseRunPrograms(std::span<UniqueProcess> table);
// Posts WM_CLOSE to a top-level window titled with each Run entry's name.
void CloseRunProgramWindows();
