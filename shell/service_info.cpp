#include "shell/service_info.h"

#include <windows.h>
#include <process.h>

#include <atomic>
#include <cstdint>
#include <cstring>

#include "config/startup_timeouts.h"
#include "base/bounded_text.h"
#include "base/main_window.h"

namespace {

// Layout of the block as the service publishes it; only its first 2320 bytes are mapped.
constexpr size_t kHasMessageOffset = 4;
constexpr size_t kRefuseStartOffset = 8;
constexpr size_t kShowMessageOffset = 12;
constexpr size_t kMessageOffset = 16;
constexpr size_t kMessageSize = 2048;
constexpr size_t kStatusLineOffset = 2064;
constexpr size_t kStatusLineSize = 256;
constexpr size_t kMappedSize = kStatusLineOffset + kStatusLineSize;
static_assert(kMappedSize == 2320);

constexpr DWORD kAttemptPauseMs = 1000;

char g_serviceMessage[kMessageSize];
char g_serviceStatusLine[kStatusLineSize];
std::atomic<bool> g_serviceInfoMissing{true};
std::atomic<bool> g_serviceMessageClosed{false};
UINT g_messageStyle = MB_ICONWARNING;

int32_t ReadField(const unsigned char* view, size_t offset) {
  int32_t value;
  std::memcpy(&value, view + offset, sizeof value);
  return value;
}

void __cdecl ServiceMessageThread(void*) {
  g_serviceMessageClosed = false;
  MessageBoxA(nullptr, g_serviceMessage, kMessageBoxCaption, g_messageStyle);
  g_serviceMessageClosed = true;
}

// Maps the block, one attempt a second; null when every attempt failed.
const unsigned char* MapServiceInfo(HANDLE& mapping) {
  // Rounded to whole seconds: the default 240000 ms gives 240 attempts.
  unsigned attempts = (static_cast<unsigned>(GetProcessStartupTimeoutMs()) + 500u) / 1000u;
  while (attempts > 0) {
    mapping = OpenFileMappingA(FILE_MAP_READ, FALSE, kServiceInfoBlockName);
    if (mapping != nullptr) {
      void* view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, kMappedSize);
      if (view != nullptr) {
        g_serviceInfoMissing = false;
        return static_cast<const unsigned char*>(view);
      }
      CloseHandle(mapping);
      mapping = nullptr;
    }
    --attempts;
    Sleep(kAttemptPauseMs);
  }
  return nullptr;
}

}  // namespace

bool ReadServiceInfo() {
  g_serviceMessage[0] = '\0';
  g_serviceStatusLine[0] = '\0';
  g_serviceInfoMissing = true;

  HANDLE mapping = nullptr;
  const unsigned char* view = MapServiceInfo(mapping);
  if (view == nullptr) return false;

  bool refused = false;
  if (ReadField(view, kHasMessageOffset) != 0) {
    // Bounded by the field: a text without its NUL is cut at the end of its field.
    CopyBounded(g_serviceMessage, kMessageSize, reinterpret_cast<const char*>(view + kMessageOffset));
    CopyBounded(g_serviceStatusLine, kStatusLineSize, reinterpret_cast<const char*>(view + kStatusLineOffset));
    refused = ReadField(view, kRefuseStartOffset) != 0;
    if (ReadField(view, kShowMessageOffset) != 0) {
      g_messageStyle = refused ? MB_ICONERROR : MB_ICONWARNING;
      g_serviceMessageClosed = false;
      if (_beginthread(ServiceMessageThread, 0, nullptr) == static_cast<uintptr_t>(-1)) {
        g_serviceMessageClosed = true;
      }
    } else if (refused) {
      g_serviceMessageClosed = true;
    }
  }
  UnmapViewOfFile(view);
  CloseHandle(mapping);
  return refused;
}

bool IsServiceInfoMissing() { return g_serviceInfoMissing; }
bool IsServiceMessageClosed() { return g_serviceMessageClosed; }

void WaitForServiceMessageClosed() {
  while (!g_serviceMessageClosed) Sleep(kAttemptPauseMs);
}

const char* GetServiceStatusLine() { return g_serviceStatusLine; }
const char* GetServiceMessage() { return g_serviceMessage; }
