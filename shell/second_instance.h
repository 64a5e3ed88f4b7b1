#pragma once
// A second instance in the same session: it hands its option to the running instance's
// window (or, for "-o", to the registry) and ends.
#include "kobj/nko_handle.h"

// Exit codes of a second instance: the option was carried out (or there was no window to
// hand it to), or the running instance's window refused the message. Windows refuses it
// when the running instance has higher rights (it was started elevated) and has not let
// that message through; 2 goes beyond the program's original behaviour, which ended
// with 1 either way, so that installers and scripts can tell.
inline constexpr int kSecondInstanceExitCode = 1;
inline constexpr int kForwardRefusedExitCode = 2;

// Carries out the option, closes the lock and returns the exit code.
int ForwardToRunningInstance(const char* commandLine, UniqueNko lock);
