#include "support/stop_signal.h"

#include <atomic>

#include "support/report.h"

namespace support {
namespace {

std::atomic<HANDLE> g_stopEvent{nullptr};

BOOL WINAPI OnConsoleControl(DWORD type) {
  switch (type) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
      if (HANDLE event = g_stopEvent.load()) SetEvent(event);
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace

SECURITY_ATTRIBUTES* NullDaclAttributes() {
  // A descriptor without a DACL grants everyone full access.
  static SECURITY_DESCRIPTOR descriptor;
  static SECURITY_ATTRIBUTES attributes = [] {
    InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
    SetSecurityDescriptorDacl(&descriptor, TRUE, nullptr, FALSE);
    SECURITY_ATTRIBUTES sa{};
    sa.nLength = sizeof sa;
    sa.lpSecurityDescriptor = &descriptor;
    sa.bInheritHandle = FALSE;
    return sa;
  }();
  return &attributes;
}

StopSignal::~StopSignal() {
  if (m_event) {
    SetConsoleCtrlHandler(OnConsoleControl, FALSE);
    g_stopEvent.store(nullptr);
    CloseHandle(m_event);
  }
}

bool StopSignal::Init(const std::string& name) {
  m_event = CreateEventA(NullDaclAttributes(), TRUE, FALSE, name.empty() ? nullptr : name.c_str());
  if (!m_event) {
    Error("cannot create the stop event \"%s\" (error %lu)", name.c_str(), GetLastError());
    return false;
  }
  g_stopEvent.store(m_event);
  // A program started in a new process group ignores Ctrl-C until it asks for it.
  SetConsoleCtrlHandler(nullptr, FALSE);
  SetConsoleCtrlHandler(OnConsoleControl, TRUE);
  return true;
}

void AddStopEventOption(OptionParser& parser, std::string& name) {
  parser.AddValue("--stop-event", "NAME", "stop when the event NAME is set (created unless it exists)",
                  [&name](std::string_view v) {
                    name = std::string(v);
                    return v.empty() ? std::string("needs a name") : std::string();
                  });
}

}  // namespace support
