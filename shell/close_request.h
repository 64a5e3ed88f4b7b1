#pragma once
// The installer's request to close: a Global\ event named after the identity of the
// program file (volume serial number and file index), so that it reaches every Quorvel
// started from that one file, in every session, and no other. The installer creates it
// signalled while it waits for those programs to end and closes it afterwards; each
// Quorvel looks for it on its timer tick and closes itself the way "-x" closes it.
#include <windows.h>

#include <cstddef>

inline constexpr char kCloseRequestBaseName[] = "__Korvane_QuorvelCloseRequest_";
// Room for the whole name: prefix, base name and 24 hexadecimal digits.
inline constexpr size_t kCloseRequestNameSize = 128;

// Writes the request's name for the program file at path into name. False (name empty)
// when the file cannot be opened.
bool BuildCloseRequestName(const char* path, char* name, size_t size);

// Posts WM_CLOSE to window when the close request for this process's own file is set.
void CloseOnRequest(HWND window);
