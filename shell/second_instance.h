#pragma once
// A second instance in the same session: it hands its option to the running instance's
// window (or, for "-o", to the registry) and ends.
#include "kobj/nko_handle.h"

// Carries out the option, closes the lock and returns the exit code (always 1).
int ForwardToRunningInstance(const char* commandLine, UniqueNko lock);
