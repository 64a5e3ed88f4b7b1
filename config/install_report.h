#pragma once
// The installation report: versions, paths and VISA status as one text, written to the
// information file under the common application-data folder and shown in the About box.
#include <windows.h>

#include <cstddef>

#include "base/program_identity.h"

inline constexpr size_t kInstallReportSize = 4096;  // the report buffer, with the NUL
// "Ombirx" (not "Ombrix") is intended: the box has always been captioned so; keep it.
inline constexpr char kAboutBoxCaption[] = "Korvane Ombirx Suite Information";

// Writes the report into report (size bytes, all of them zeroed first). A report that
// does not fit ends after the last whole line that does: the text is never cut inside
// a line, so never inside a character.
char* ComposeInstallReport(char* report, size_t size);

// Composes the report into the process-wide report buffer, logs where it goes and
// writes it (without its terminating zero) to
// "<common application data>\Korvane\Korvane Ombrix\Korvane Ombrix Information.txt".
// The folder is not created: without it nothing is written. Returns the report buffer,
// valid until the next call.
const char* WriteInstallReport();

// Writes the report and shows it in a modal box owned by owner, with the exclamation icon
// when the service has a status line and the information icon otherwise; returns when
// the user closes it.
void ShowAboutBox(HWND owner);
