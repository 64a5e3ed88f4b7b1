#pragma once
// The suite service's status line (at most 255 characters), shown at the top of the tray
// menu and in the installation report. The shell reads it from the service's information
// block and tells this module where it lives.

// Sets the function that gives the line; it must return a text that outlives each call.
// Null, the default: no status line.
void SetServiceStatusLineSource(const char* (*source)());

// The status line; empty without a source or when the source gives none.
const char* ServiceStatusLine();
