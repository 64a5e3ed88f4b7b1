// A raw client of the NKO pipe for tests: sends exactly the bytes it is given and
// reports exactly what came back, so tests can talk to the service stand-in (or check a
// server) without the product's client in between.
#pragma once

#include <windows.h>

#include "kobj/nko_protocol.h"  // the pipe name and frame sizes, shared with the client

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace bed {

struct NkoWireOptions {
  std::string pipeName = kNkoPipeName;
  bool appendNul = true;                 // send the text's terminating NUL as part of the body
  std::optional<uint32_t> countOverride; // announce this count instead of the body's size
  bool oneMessage = false;               // count and body in one write instead of two
  uint32_t maxReplyBytes = 1u << 20;     // read no more of the reply than this
  DWORD timeoutMs = 10000;               // per step (busy wait, each read and write)
};

struct NkoWireResult {
  DWORD openError = 0;      // nonzero: the pipe could not be opened (2: absent)
  bool gotCount = false;    // the reply count arrived
  uint32_t count = 0;       // the reply count as announced
  std::string raw;          // the reply bytes received (at most count and maxReplyBytes)
  DWORD readError = 0;      // error of the step that failed after the open, 0 if none

  // The reply text: raw up to its first NUL.
  std::string Text() const { return raw.substr(0, raw.find('\0')); }
  // The reply was complete: count arrived and every byte of it.
  bool Complete() const { return gotCount && raw.size() == count; }
};

// One connection, one request, one reply. Waits for a free instance when all are busy.
NkoWireResult NkoExchange(std::string_view request, const NkoWireOptions& options = {});

// The handle value of a reply such as "132" or "132,183".
int32_t ReplyHandle(const std::string& reply);

}  // namespace bed
