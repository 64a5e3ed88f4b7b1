#pragma once
// Whether and how the installer starts the installed Quorvel. Quorvel is a tray program
// of the user at the desktop: it is started only as the logged-on user of the
// installing session, with that user's own (unelevated) rights, the same way the log-on
// would start it from the Run value. Where that cannot be had, nothing is started and
// the next log-on starts it.
#include <windows.h>

// What the installer's process knows about itself and its session.
struct StartFacts {
  bool runsAsSystem = false;   // the installation's token is LocalSystem
  DWORD sessionId = 0;         // the installation's session
  bool elevated = false;       // the installation's token is elevated
  bool serviceRuns = false;    // the suite service publishes its information block
  bool shellFound = false;     // a desktop shell (the owner of the taskbar) runs in this session
  bool shellIsSystem = false;  // ... as LocalSystem
  bool shellSameUser = false;  // ... as the installation's own user
};

enum class StartWay {
  kNone,         // not started: the next log-on starts it
  kDirect,       // started by the installer's own process, which is the user's own
  kAsShellUser,  // started with the desktop shell's token: the logged-on user, unelevated
};

struct StartPlan {
  StartWay way = StartWay::kNone;
  const char* reason = "";  // why, for the installation log
};

StartPlan DecideStart(const StartFacts& facts);
