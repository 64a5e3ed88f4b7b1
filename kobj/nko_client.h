#pragma once
// Client of the NKO server, the suite service's component that creates Global\ kernel
// objects for processes that may not. Each request is one XML element on a connection of
// its own (frames in nko_protocol.h); the reply is the server's handle value.
#include <windows.h>

#include <cstdint>

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
// apart, so that a process started together with the service waits for the server.
int NkoRequest(const char* text);
// One connection, one request, one reply.
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
