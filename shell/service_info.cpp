#include "shell/service_info.h"

#include <windows.h>
#include <process.h>

#include <atomic>
#include <cstdint>
#include <cstring>

#include "base/bounded_text.h"
#include "base/window_identity.h"
#include "base/results.h"
#include "base/unique.h"
#include "config/startup_timeouts.h"

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

// The mapped block; the view goes before its mapping (members end in reverse order).
struct MappedBlock {
  UniqueHandle mapping;
  UniqueView view;
};

int32_t ReadField(const unsigned char* view, size_t offset) {
  int32_t value;
  std::memcpy(&value, view + offset, sizeof value);
  return value;
}

// Maps the block, one attempt a second; an empty view when every attempt failed.
MappedBlock MapServiceInfo() {
  // Rounded to whole seconds: the default 240000 ms gives 240 attempts.
  unsigned attempts = (static_cast<unsigned>(GetProcessStartupTimeoutMs()) + 500u) / 1000u;
  MappedBlock block;
  while (attempts > 0) {
    block.mapping.Reset(OpenFileMappingA(FILE_MAP_READ, FALSE, kServiceInfoBlockName));
    if (block.mapping) {
      block.view.Reset(MapViewOfFile(block.mapping.Get(), FILE_MAP_READ, 0, 0, kMappedSize));
      if (block.view) return block;
      block.mapping.Reset();
    }
    --attempts;
    Sleep(kAttemptPauseMs);
  }
  return block;
}

// What the start-up read of the block leaves for the rest of the process, and the
// service's message box, which runs on a thread of its own.
class ServiceInfo {
 public:
  bool Read() {
    m_message[0] = '\0';
    m_statusLine[0] = '\0';
    m_missing = true;

    const MappedBlock block = MapServiceInfo();
    if (!block.view) return false;
    m_missing = false;
    return TakeBlock(ViewAs<const unsigned char>(block.view));
  }

  bool IsMissing() const { return m_missing; }
  const char* StatusLine() const { return m_statusLine; }

  void WaitForMessageClosed() const {
    while (!m_messageClosed) Sleep(kAttemptPauseMs);
  }

 private:
  // Returns whether the service refuses the start.
  bool TakeBlock(const unsigned char* view) {
    if (ReadField(view, kHasMessageOffset) == 0) return false;
    // Bounded by the field: a text without its NUL is cut at the end of its field.
    CopyBounded(m_message, kMessageSize, reinterpret_cast<const char*>(view + kMessageOffset));
    CopyBounded(m_statusLine, kStatusLineSize, reinterpret_cast<const char*>(view + kStatusLineOffset));
    const bool refused = ReadField(view, kRefuseStartOffset) != 0;
    if (ReadField(view, kShowMessageOffset) != 0) {
      m_messageStyle = refused ? MB_ICONERROR : MB_ICONWARNING;
      m_messageClosed = false;
      // Without the box's thread there is no box whose closing anybody could wait for.
      if (_beginthread(MessageThread, 0, this) == static_cast<uintptr_t>(-1)) m_messageClosed = true;
    } else if (refused) {
      // A refusal that shows no box counts as closed at once, so that nothing waits for
      // a box that never comes.
      m_messageClosed = true;
    }
    return refused;
  }

  static void __cdecl MessageThread(void* parameter) {
    auto* self = static_cast<ServiceInfo*>(parameter);
    self->m_messageClosed = false;
    // The box has only an OK button: its closing is all that matters.
    IgnoreResult(MessageBoxA(nullptr, self->m_message, kMessageBoxCaption, self->m_messageStyle));
    self->m_messageClosed = true;
  }

  char m_message[kMessageSize] = {};
  char m_statusLine[kStatusLineSize] = {};
  std::atomic<bool> m_missing{true};
  std::atomic<bool> m_messageClosed{false};
  UINT m_messageStyle = MB_ICONWARNING;
};

// Process-wide: the menu and the installation report read the status line.
ServiceInfo g_serviceInfo;

}  // namespace

bool ReadServiceInfo() { return g_serviceInfo.Read(); }
bool IsServiceInfoMissing() { return g_serviceInfo.IsMissing(); }
void WaitForServiceMessageClosed() { g_serviceInfo.WaitForMessageClosed(); }
const char* GetServiceStatusLine() { return g_serviceInfo.StatusLine(); }
