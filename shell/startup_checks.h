#pragma once
// The checks every instance makes before it may run (also one started only to forward an
// option): the service's information block, the service and NKO server running events,
// and a test object made by the NKO server.

// True when the program may go on. False when it must exit with code 1: the service
// refused the start (returns only after its box was closed) or a check failed (the user
// has seen the status summary).
bool PassStartupChecks();
