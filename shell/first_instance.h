#pragma once
// The first instance of the session: everything from the start of the companion programs
// to the end of the message loop and the shut-down.
#include <windows.h>

#include "kobj/nko_handle.h"

inline constexpr char kRunningEventBaseName[] = "__Korvane_QuorvelRunning";

// Runs the program with the session's lock, which it holds until its shut-down; returns
// the process exit code.
int RunFirstInstance(HINSTANCE instance, HINSTANCE previous, const char* commandLine, UniqueNko lock);
