#pragma once
// The suite service's information block: whether the service lets this program run, a
// message it may want shown, and the status line for the top of the tray menu.

inline constexpr char kServiceInfoBlockName[] = "Global\\__KorvaneServiceSharedMemoryInfoName";

// Tries to map the block for about the start-up time-out (one attempt a second). Fills
// the service message and status line, starts the service message box when the block
// asks for one, and returns true when the service refuses the start.
bool ReadServiceInfo();

// True until the block has been mapped (also before ReadServiceInfo ran).
bool IsServiceInfoMissing();
// Blocks until the service message box has been closed, looking once a second. A refusal
// that shows no box counts as closed at once, so that nothing waits for a box that never
// comes.
void WaitForServiceMessageClosed();

// The status line of the block (empty without one); never changes after ReadServiceInfo.
const char* GetServiceStatusLine();
