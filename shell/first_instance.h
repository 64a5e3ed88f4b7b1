#pragma once
// The first instance of the session: everything from the start of the companion programs
// to the end of the message loop and the shut-down.
#include <windows.h>

#include "kobj/nko_handle.h"

inline constexpr char kRunningEventBaseName[] = "__Korvane_QuorvelRunning";

// Runs the program; returns the process exit code. Owns the lock from here on.
int RunFirstInstance(HINSTANCE instance, HINSTANCE previous, const char* commandLine, NkoHandle* lock);
