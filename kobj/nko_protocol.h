#pragma once
// The NKO server's request protocol, shared by the client and anything that serves it.
//
// Frames (little-endian 32-bit counts), one request per connection on a message-type pipe:
//   client -> server: count N (request length + 1), then the N bytes of the request text
//                     with its NUL, as two writes;
//   server -> client: count M, then M bytes of reply text "<handle>" or "<handle>,<error>".
// A handle value of 0 means the server failed.

inline constexpr char kNkoPipeName[] = "\\\\.\\pipe\\KorvaneOmbrixNkoPipe_20070208";
inline constexpr unsigned kNkoRequestBufferSize = 2048;
inline constexpr unsigned kNkoNameBufferSize = 1024;
inline constexpr unsigned kNkoReplyBufferSize = 4096;  // replies up to 4095 bytes
inline constexpr unsigned kNkoLogBufferSize = 256;
inline constexpr unsigned long kNkoBusyWaitMs = 20000;
inline constexpr int kNkoFirstRequestAttempts = 10;
inline constexpr unsigned long kNkoRetryDelayMs = 1000;
