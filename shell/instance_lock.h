#pragma once
// The per-session single-instance lock: a Local\ event that the first instance creates and
// keeps for its whole life. Finding it already there means another instance runs in this
// log-on session.
#include "kobj/nko_handle.h"

inline constexpr char kInstanceLockBaseName[] = "_KorvaneQuorvelLock";

// Creates (or opens) the lock. alreadyRunning tells whether it existed before. On failure
// the owner holds InvalidNkoHandle.
UniqueNko CreateInstanceLock(bool& alreadyRunning);
// True while another instance holds the lock; opens it only to look, creates nothing.
bool InstanceLockExists();

// Tells the user the program cannot start and logs why; for a lock that cannot be made.
void ReportInstanceLockFailure();
