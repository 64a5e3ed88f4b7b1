// The stop request of a tool or stand-in: one manual-reset event that a named stop event, Ctrl-C,
// Ctrl-Break or the console closing all set. Everything that waits in the program waits
// on this one handle as well, so a stop is seen at once wherever the program is.
#pragma once

#include <windows.h>

#include <string>

#include "support/options.h"

namespace support {

// Security attributes with a NULL DACL: any user of the machine may open the objects
// created with them (as the real services do for their shared objects).
SECURITY_ATTRIBUTES* NullDaclAttributes();

// The common "--stop-event NAME" option: the name goes to |name|, for StopSignal::Init.
void AddStopEventOption(OptionParser& parser, std::string& name);

class StopSignal {
 public:
  StopSignal() = default;
  StopSignal(const StopSignal&) = delete;
  StopSignal& operator=(const StopSignal&) = delete;
  ~StopSignal();

  // Creates (or opens, when the starter created it first) the event under |name|, or an
  // unnamed one when |name| is empty, and installs the console control handler.
  // Only one StopSignal per process may be initialised. A failure is reported on standard
  // error; the program then ends with its set-up exit code.
  bool Init(const std::string& name);

  HANDLE Handle() const { return m_event; }
  bool Requested() const { return WaitForSingleObject(m_event, 0) == WAIT_OBJECT_0; }
  void Request() const { SetEvent(m_event); }
  // Sleeps for |ms| milliseconds unless a stop comes first; returns true on a stop.
  bool SleepFor(DWORD ms) const { return WaitForSingleObject(m_event, ms) == WAIT_OBJECT_0; }

 private:
  HANDLE m_event = nullptr;
};

}  // namespace support
