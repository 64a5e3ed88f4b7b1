#pragma once
// The watch for another vendor's gpib-32.dll replacing the suite's 488 library in the
// system folder or the SysWOW64 folder. It runs before every message of the main loop.
#include <windows.h>

// The balloon of the warning, in the Windows-1252 code page ("vendor’s" with the byte 0x92).
inline constexpr char k488WarningTitle[] = "Korvane Ombrix Suite";
inline constexpr char k488WarningText[] =
    "Korvane 488 is disabled. Another vendor\x92s 488 library has replaced the Korvane library. "
    "Run Korvane Linkfinder and use the Tools menu to re-enable the Korvane library or to "
    "disable this message.";
inline constexpr int k488WarningBalloonType = 2;  // the warning icon

// Starts a balloon tip without waiting for it and returns its thread's handle, which the
// watch closes at once. The shell passes its StartBalloonTip, so that the configuration
// code does not depend on the shell.
using BalloonStarter = HANDLE (*)(const char* text, const char* title, int type);

// Compares each folder's gpib-32.dll with its status value ("Gpib32Status",
// "Gpib32StatusSysWow64"): where the suite's library was expected (1 or 4) and another
// vendor's file is there, warns once, marks the folder 2 and stores "Korvane488Enabled" =
// "False". A SysWOW64 replacement alone warns only while "Korvane488Warning" is 0.
void Check488Library(BalloonStarter startBalloon);
