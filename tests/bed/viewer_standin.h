// The trace viewer stand-in (sightline.exe) as a child process: commanded through its
// standard input, each command confirmed by its "ok" line, its output collected and, when
// asked for, the capture file of the messages it received read back.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tests/bed/child_process.h"

namespace bed {

struct ViewerOptions {
  int status = 0;
  uint32_t arrayLimit = 1024;
  // Write every received message to a capture file (one line each) for Capture(). Off
  // for long runs: a 64 KiB array turns into hundreds of kilobytes of text per message.
  bool capture = false;
  // Start with connection requests ignored (the ready event never set).
  bool stallReady = false;
};

class ViewerStandIn {
 public:
  // Starts the viewer and returns once it is ready. Throws std::runtime_error when it
  // cannot be started or does not get ready.
  explicit ViewerStandIn(const ViewerOptions& options = {});
  ~ViewerStandIn();
  ViewerStandIn(const ViewerStandIn&) = delete;
  ViewerStandIn& operator=(const ViewerStandIn&) = delete;

  // Sends one command line and waits for its "ok"; false when it was not taken in time.
  [[nodiscard]] bool Command(const std::string& command);
  // The number of messages the viewer has received so far; -1 when it did not answer.
  int64_t Messages();
  bool WaitForOutput(const std::string& text, DWORD timeoutMs, size_t occurrences = 1) const;
  std::string Output() const;
  size_t OutputCount(const std::string& text) const;
  // The captured messages so far, one per line. Throws std::logic_error without capture.
  std::vector<std::string> Capture() const;
  // The capture file (empty without capture), for readers that follow it as it grows.
  const std::string& CapturePath() const { return m_capturePath; }
  // Polls until the capture holds at least count messages; returns what it holds then.
  std::vector<std::string> WaitForCapture(size_t count, DWORD timeoutMs) const;
  // Quits and waits for the exit; the exit code (999 when it did not exit in time).
  DWORD Quit();
  // Ends the viewer without warning, as a crash would, and waits for its end.
  void Kill() { m_process->Kill(); }

 private:
  std::string m_capturePath;  // empty without capture
  std::unique_ptr<ChildProcess> m_process;
};

}  // namespace bed
