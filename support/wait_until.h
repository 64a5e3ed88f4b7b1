// Waiting for a condition that another process brings about: polled until it holds or the
// deadline passes, never a fixed pause that hopes the other side is done.
#pragma once

#include <windows.h>

namespace support {

// True as soon as |condition| holds; false when it still does not after |timeoutMs|.
template <typename Condition>
bool WaitUntil(Condition condition, DWORD timeoutMs, DWORD pollMs = 20) {
  for (const ULONGLONG deadline = GetTickCount64() + timeoutMs;; Sleep(pollMs)) {
    if (condition()) return true;
    if (GetTickCount64() >= deadline) return false;
  }
}

}  // namespace support
