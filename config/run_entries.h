#pragma once
// The suite key's Run subkey: one REG_SZ value per program to start with this process;
// the value's name is the title of the program's main window, its data the command line
// relative to the suite's base directory.
#include <windows.h>

// Reads entry number index (from 0) of the Run subkey. On entry nameLength and
// dataLength hold the sizes of the caller's buffers in bytes; on success they hold the
// name's length (without the NUL) and the data's size as stored, and both texts are
// terminated within their buffers. Returns false (both texts empty, both lengths 0) when
// the subkey cannot be opened or there is no entry index (or its name does not fit);
// false with only the data emptied when the entry's data cannot be read (e.g. does not
// fit). Callers pass 256-byte buffers, reset both lengths before each call and stop at
// the first false. An entry with empty data is returned as true with empty data.
bool EnumRunEntry(DWORD index, char* name, DWORD* nameLength, char* data, DWORD* dataLength);
