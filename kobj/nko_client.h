#pragma once
// Client of the NKO server, the suite service's component that creates Global\ kernel
// objects for processes that may not. Each request is one XML element on a connection of
// its own (frames in nko_protocol.h); the reply is the server's handle value.
#include <windows.h>

#include <cstdint>

#include "kobj/nko_protocol.h"

// Time limits of one exchange. The protocol bounds only the wait for a free pipe
// instance; these limits go beyond it on purpose, so that a server that accepts a request
// and never answers (or answers half) cannot hold the caller for good: start-up must reach
// its status summary, and the threads that create objects must go on. An exchange that
// runs into a limit is cancelled, its pipe closed, and it counts as a failed try (last
// error ERROR_TIMEOUT).
//   connect: all waits for a free instance together (the protocol's busy wait);
//   write:   the count and the request text together;
//   reply:   the count and the reply text together.
// A healthy server answers within milliseconds; the limits are far above that, so that a
// loaded machine does not make a slow answer count as none.
inline constexpr unsigned long kNkoConnectLimitMs = kNkoBusyWaitMs;
inline constexpr unsigned long kNkoWriteLimitMs = 5000;
inline constexpr unsigned long kNkoReplyLimitMs = 5000;
inline constexpr unsigned long kNkoExchangeLimitMs = kNkoConnectLimitMs + kNkoWriteLimitMs + kNkoReplyLimitMs;
// The first request's tries end after kNkoFirstRequestAttempts tries or when this window,
// counted from its first try, has passed: a server that is down is still tried ten times a
// second apart, while tries that each wait for a silent server end soon after the window.
// So the first request takes at most the window plus one exchange's limit.
inline constexpr unsigned long kNkoFirstRequestWindowMs = kNkoFirstRequestAttempts * kNkoRetryDelayMs;

// Writes in to out (size bytes with the NUL) with the five XML special characters
// replaced by their entities; an entity that does not fit whole is left out together
// with everything after it. Returns out.
char* XmlEscape(char* out, int size, const char* in);

// Create requests: the server's handle value for the object (sign-extended), 0 on any
// failure. When the server reports an error code, it is the thread's last error.
intptr_t NkoServerCreateEvent(SECURITY_ATTRIBUTES* sa, BOOL manualReset, BOOL initialState, const char* name);
intptr_t NkoServerCreateMutex(SECURITY_ATTRIBUTES* sa, BOOL initialOwner, const char* name);
intptr_t NkoServerCreateSemaphore(SECURITY_ATTRIBUTES* sa, LONG initialCount, LONG maximumCount, const char* name);
intptr_t NkoServerCreateFileMapping(HANDLE file, SECURITY_ATTRIBUTES* sa, DWORD protect, DWORD maximumSizeHigh,
                                    DWORD maximumSizeLow, const char* name);
// Asks the server to drop its handle; sends nothing and returns 1 for handle 0.
int NkoServerCloseHandle(intptr_t serverHandle);

// One request; the first request of the process is tried up to ten times, one second
// apart, so that a process started together with the service waits for the server (within
// kNkoFirstRequestWindowMs, see above).
int NkoRequest(const char* text);
// One connection, one request, one reply, each step within its limit above.
int NkoServerCommunicate(const char* text);
// One entry under the source "Korvane NKO client"; the last error is kept.
void NkoLogEvent(const char* text);

// Parses a reply text: the number before a ",", and the error code after it.
struct NkoReply {
  int value = 0;
  bool hasError = false;
  int error = 0;
};
NkoReply ParseNkoReply(const char* text);
