#pragma once
// Balloon tips on the running instance's notification-area icon. Each balloon has a thread
// of its own; a machine-wide semaphore lets one balloon at a time be shown and held, so
// that balloons of several processes do not cover each other.
#include <windows.h>

inline constexpr char kBalloonSemaphoreBaseName[] = "__Korvane_Quorvel_Balloon_Tip_Semaphore_20050401";
// How long a shown balloon keeps the semaphore, and the longest wait for it.
inline constexpr DWORD kBalloonHoldMs = 10000;
inline constexpr DWORD kBalloonWaitMs = 100000;
// How long the shell is asked to keep the balloon up.
inline constexpr UINT kBalloonTimeoutMs = 30000;

enum BalloonType : int { kBalloonInfo = 1, kBalloonWarning = 2, kBalloonError = 3 };

// One balloon: texts cut to 255 and 63 characters. The starter allocates it and hands
// it to the balloon thread, which frees it.
struct BalloonRequest {
  char text[256];
  char title[64];
  unsigned char type;
};
static_assert(sizeof(BalloonRequest) == 321);

// Starts the balloon's thread and returns its handle, which the caller then owns. Any
// type other than the three above shows the balloon without an icon.
HANDLE StartBalloonTip(const char* text, const char* title, int type);

// Shows the balloon on the icon of the window "BW_Halvoric_Class"/"BW_Halvoric_Wnd" (in
// a second instance, the first instance's). The shell's result; 0 without that window or
// when its icon is hidden.
BOOL ShowBalloonTip(const BalloonRequest* request);
