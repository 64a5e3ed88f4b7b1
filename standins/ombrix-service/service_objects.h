// The objects the suite service publishes besides its pipe: the service information
// block and the two running events.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "base/unique.h"

namespace ombrix {

inline constexpr const char kInfoBlockName[] = "Global\\__KorvaneServiceSharedMemoryInfoName";
inline constexpr const char kServiceRunningEventName[] = "Global\\__KorvaneOmbrixServiceIsRunning";
inline constexpr const char kNkoRunningEventName[] = "Global\\__KorvaneNkoServerRunningEvent";

// Layout of the information block (readers map the first 2320 bytes).
inline constexpr size_t kHasMessageOffset = 4;
inline constexpr size_t kRefuseStartOffset = 8;
inline constexpr size_t kShowMessageOffset = 12;
inline constexpr size_t kMessageOffset = 16;
inline constexpr size_t kMessageSize = 2048;
inline constexpr size_t kStatusLineOffset = 2064;
inline constexpr size_t kStatusLineSize = 256;
inline constexpr size_t kInfoBlockSize = 4096;

struct InfoBlockContent {
  int32_t hasMessage = 0;
  int32_t refuseStart = 0;
  int32_t showMessage = 0;
  std::string message;
  std::string statusLine;
  // Fill the text fields to the last byte with no terminating NUL (a broken service).
  bool unterminated = false;
};

// Holds the mapping of the information block for the life of the object.
class InfoBlock {
 public:
  // Creates the block and writes its fields; fails when the block already exists.
  bool Publish(const InfoBlockContent& content, std::string& error);

 private:
  UniqueHandle m_mapping;
};

// How a running event is offered: not at all, created but not signalled, signalled at
// once, or signalled a given time after start.
struct EventMode {
  enum Kind { Absent, Unsignalled, Signalled, SignalledLater } kind = Signalled;
  DWORD delayMs = 0;
};

// Parses "signalled", "unsignalled", "absent" or "after:MS".
bool ParseEventMode(const std::string& text, EventMode& mode);

class RunningEvent {
 public:
  // Creates the event as |mode| asks (nothing for Absent); fails when it exists already.
  bool Create(const char* name, const EventMode& mode, std::string& error);
  void Signal() const;

 private:
  UniqueHandle m_event;
};

}  // namespace ombrix
